// The autostart checks: Run values that name a registered file, and the
// load/run/shell entries of win.ini and system.ini.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestMachine.h"
#include "platform/sim/SimMachine.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const char* const kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kRunServices = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";

std::string RunLine(const std::string& family, const std::string& name) {
    return "   Plik wirusa " + family + ": " + name + " usunięty z rejestru";
}

bool HasValue(const CSimMachine& m, RegKey root, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    return m.GetValue(root, key, name, type, data);
}

// Three families, the middle one without names, so that the family lookup
// has to pass over an empty registration: foo.exe (0) is I-Worm.Foo,
// bar.exe (1) and baz.exe (2) are I-Worm.Bar.
void RegisterFamilies(CCleanerDlg& dlg) {
    dlg.RegisterVirusNames({"foo.exe"}, "I-Worm.Foo");
    dlg.RegisterVirusNames({}, "I-Worm.Empty");
    dlg.RegisterVirusNames({"bar.exe", "baz.exe"}, "I-Worm.Bar");
}

std::string ToText(std::uint32_t platformId) { return platformId == VER_PLATFORM_WIN32_NT ? "NT" : "Win9x"; }

}  // namespace

// --- one Run value against the registered names ----------------------------

struct RunCase {
    const char* name;
    std::string valueName;
    std::string data;
    bool deleted;
    std::size_t registration;  // which registered name matched (when deleted)
    std::string newName;       // what that registration holds afterwards
    std::string family;
};

class RunValueMatch : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunValueMatch, DeletesRewritesAndLogs) {
    const RunCase& c = GetParam();
    CTestMachine t;
    RegisterFamilies(*t.dlg);
    const std::vector<std::string> before = t.dlg->m_virusFileNames;
    t.machine.PutString(HKLM, kRun, c.valueName, c.data);

    EXPECT_EQ(t.dlg->CheckRunEntries(t.dlg->m_virusFileNames), 0);

    EXPECT_EQ(HasValue(t.machine, HKLM, kRun, c.valueName), !c.deleted);
    std::vector<std::string> names = before;
    if (c.deleted) {
        names[c.registration] = c.newName;
        EXPECT_EQ(Lines(t), std::vector<std::string>{RunLine(c.family, c.newName)});
        const auto findings = t.view.Findings();
        ASSERT_EQ(findings.size(), 1u);
        EXPECT_EQ(findings[0].kind, ActionKind::RegistryValueDeleted);
        EXPECT_EQ(findings[0].target, std::string("HKEY_LOCAL_MACHINE\\") + kRun + "\\" + c.valueName);
        EXPECT_EQ(findings[0].family, c.family);
        EXPECT_TRUE(findings[0].succeeded);
    } else {
        EXPECT_TRUE(Lines(t).empty());
    }
    EXPECT_EQ(t.dlg->m_virusFileNames, names);
}

const RunCase kRunCases[] = {
    {"ArgumentsAfterTheFile", "Windows Update", "C:\\WINDOWS\\SYSTEM\\foo.exe -start", true, 0, "foo.exe",
     "I-Worm.Foo"},
    // The value's name is enough; the registration then follows the file the
    // value really starts.
    {"NameEqualIgnoringCase", "FOO.EXE", "C:\\Tools\\Real.EXE /x", true, 0, "real.exe", "I-Worm.Foo"},
    {"DataIsLowerCasedFirst", "Loader", "C:\\WINDOWS\\BAZ.EXE", true, 2, "baz.exe", "I-Worm.Bar"},
    // The substring search accepts a longer file name holding the registered one.
    {"LongerFileNameHoldingTheName", "Loader", "c:\\apps\\mybar.exe", true, 1, "mybar.exe", "I-Worm.Bar"},
    {"QuotedPathWithArguments", "Loader", "\"C:\\Program Files\\bar.exe\" -q", true, 1, "bar.exe", "I-Worm.Bar"},
    {"NoBackslash", "Loader", "foo.exe", true, 0, "foo.exe", "I-Worm.Foo"},
    // No dot and three characters anywhere: the cut ends at the empty text
    // and the registration keeps its name.
    {"NoDotInFilePart", "bar.exe", "C:\\tools\\runner", true, 1, "bar.exe", "I-Worm.Bar"},
    {"ShortFilePartWithDot", "baz.exe", "C:\\a.js", true, 2, "baz.exe", "I-Worm.Bar"},
    // Three characters after a leading dot are no name with an extension.
    {"FilePartOfADotAndTwo", "baz.exe", "C:\\tools\\.js", true, 2, "baz.exe", "I-Worm.Bar"},
    {"Unrelated", "Sound", "C:\\WINDOWS\\sndvol32.exe", false, 0, "", ""},
    // The search covers the whole command, folders included.
    {"RegisteredNameInAFolderName", "Sound", "C:\\foo.exe.d\\sndvol32.exe", true, 0, "sndvol32.exe", "I-Worm.Foo"},
};

INSTANTIATE_TEST_SUITE_P(Rows, RunValueMatch, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A capitalised registration is only ever found by the value's name: the
// data is lower-cased before the case-sensitive search.
TEST(RunEntries, CapitalisedRegistrationIsNotFoundInData) {
    CTestMachine t;
    t.dlg->RegisterVirusNames({"Svc.exe"}, "Trojan.Svc");
    t.machine.PutString(HKLM, kRun, "Helper", "C:\\WINDOWS\\Svc.exe");
    t.machine.PutString(HKLM, kRun, "svc.EXE", "C:\\WINDOWS\\other.exe");

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "Helper"));
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRun, "svc.EXE"));
    EXPECT_EQ(Lines(t), std::vector<std::string>{RunLine("Trojan.Svc", "other.exe")});
}

// An empty registration (none is made on purpose, but the table is open to
// every cleaner) would be found in every value and delete them all.
TEST(RunEntries, EmptyRegistrationMatchesNothing) {
    CTestMachine t;
    t.dlg->RegisterVirusNames({""}, "Broken");
    t.machine.PutString(HKLM, kRun, "Sound", "C:\\WINDOWS\\sndvol32.exe");
    t.machine.PutString(HKLM, kRun, "", "C:\\WINDOWS\\default.exe");

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "Sound"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, ""));
    EXPECT_TRUE(Lines(t).empty());
}

// --- which keys, in which order, on which family ----------------------------

class RunKeysByPlatform : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(RunKeysByPlatform, BothRootsAndRunServicesOnlyOn9x) {
    const bool nt = GetParam() == VER_PLATFORM_WIN32_NT;
    CTestMachine t(GetParam());
    RegisterFamilies(*t.dlg);
    const char* const keys[] = {kRun, kRunOnce, kRunServices};
    for (const char* key : keys) {
        t.machine.PutString(HKLM, key, "m", "c:\\x\\foo.exe");
        t.machine.PutString(HKCU, key, "u", "c:\\x\\foo.exe");
    }

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    std::vector<std::string> expectedTargets;
    for (const char* key : keys) {
        const bool looked = nt ? key != kRunServices : true;
        EXPECT_EQ(HasValue(t.machine, HKLM, key, "m"), !looked) << key;
        EXPECT_EQ(HasValue(t.machine, HKCU, key, "u"), !looked) << key;
        if (!looked) continue;
        expectedTargets.push_back(std::string("HKEY_LOCAL_MACHINE\\") + key + "\\m");
        expectedTargets.push_back(std::string("HKEY_CURRENT_USER\\") + key + "\\u");
    }
    std::vector<std::string> targets;
    for (const Finding& f : t.view.Findings()) targets.push_back(f.target);
    EXPECT_EQ(targets, expectedTargets);
    EXPECT_EQ(Lines(t), std::vector<std::string>(expectedTargets.size(), RunLine("I-Worm.Foo", "foo.exe")));
}

INSTANTIATE_TEST_SUITE_P(Platforms, RunKeysByPlatform,
                         ::testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS),
                         [](const auto& info) { return ToText(info.param); });

// --- the enumeration -----------------------------------------------------------

// After a deletion the next value moves into the index just read; reading
// on from the next index would skip it.
TEST(RunEntries, ConsecutiveMatchesAreAllDeleted) {
    CTestMachine t;
    RegisterFamilies(*t.dlg);
    t.machine.PutString(HKLM, kRun, "keep1", "C:\\WINDOWS\\ok.exe");
    t.machine.PutString(HKLM, kRun, "a", "c:\\x\\foo.exe");
    t.machine.PutString(HKLM, kRun, "b", "c:\\x\\bar.exe");
    t.machine.PutString(HKLM, kRun, "c", "c:\\x\\baz.exe -q");
    t.machine.PutString(HKLM, kRun, "keep2", "C:\\WINDOWS\\fine.exe");

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    for (const char* gone : {"a", "b", "c"}) EXPECT_FALSE(HasValue(t.machine, HKLM, kRun, gone)) << gone;
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "keep1"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "keep2"));
    EXPECT_EQ(Lines(t), (std::vector<std::string>{RunLine("I-Worm.Foo", "foo.exe"), RunLine("I-Worm.Bar", "bar.exe"),
                                                  RunLine("I-Worm.Bar", "baz.exe")}));
}

TEST(RunEntries, FailedDeletionLogsNothingAndGoesOn) {
    CTestMachine t;
    RegisterFamilies(*t.dlg);
    t.machine.PutString(HKLM, kRun, "stuck", "c:\\x\\Foo.exe /run");
    t.machine.PutString(HKLM, kRun, "next", "c:\\x\\bar.exe");
    t.machine.FailCall("DeleteValue", "stuck", ERROR_ACCESS_DENIED);

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "stuck"));
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRun, "next"));
    EXPECT_EQ(Lines(t), std::vector<std::string>{RunLine("I-Worm.Bar", "bar.exe")});
    // The registration still follows the file the stuck value starts, so
    // the later stages find it.
    EXPECT_EQ(t.dlg->m_virusFileNames[0], "foo.exe");
}

// The program lists values into a 260-byte buffer; a longer one is not
// listed and ends the listing of its key (only of that key).
TEST(RunEntries, OverlongValueEndsItsKeyOnly) {
    CTestMachine t;
    RegisterFamilies(*t.dlg);
    const std::string longData = "c:\\" + std::string(280, 'x') + "\\foo.exe";
    t.machine.PutString(HKLM, kRun, "first", "c:\\x\\bar.exe");
    t.machine.PutString(HKLM, kRun, "long", longData);
    t.machine.PutString(HKLM, kRun, "after", "c:\\x\\baz.exe");
    t.machine.PutString(HKCU, kRun, "user", "c:\\x\\baz.exe");
    // Exactly 260 bytes with the terminator still fits.
    const std::string fitting = "c:\\" + std::string(259 - 3 - 8, 'y') + "\\foo.exe";
    ASSERT_EQ(fitting.size() + 1, 260u);
    t.machine.PutString(HKLM, kRunOnce, "fits", fitting);

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    EXPECT_FALSE(HasValue(t.machine, HKLM, kRun, "first"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "long"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "after"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRun, "user"));
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRunOnce, "fits"));
    EXPECT_EQ(Lines(t).size(), 3u);
}

TEST(RunEntries, KeyThatDoesNotOpenIsPassedOver) {
    CTestMachine t;
    RegisterFamilies(*t.dlg);
    t.machine.PutString(HKLM, kRun, "m", "c:\\x\\foo.exe");
    t.machine.PutString(HKCU, kRun, "u", "c:\\x\\foo.exe");
    t.machine.FailCall("OpenKey", "", ERROR_ACCESS_DENIED, 1, false);

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);

    EXPECT_TRUE(HasValue(t.machine, HKLM, kRun, "m"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRun, "u"));
    EXPECT_EQ(Lines(t).size(), 1u);
}

namespace {

// A registry that answers the first deletions with success and keeps the
// value. After enough of them it gives in, so that a loop on one index ends
// as a failed test rather than a hung one.
class CStickyDeleteMachine : public CSimMachine {
public:
    std::int32_t DeleteValue(RegKey key, const std::string& name) override {
        if (++m_calls < 50) return ERROR_SUCCESS;
        return CSimMachine::DeleteValue(key, name);
    }
    int Calls() const { return m_calls; }

private:
    int m_calls = 0;
};

}  // namespace

TEST(RunEntries, ValueThatSurvivesAReportedDeletionIsNotRetriedForever) {
    CStickyDeleteMachine machine;
    CRecordingView view;
    CCleanerDlg dlg(machine, view);
    dlg.DetectPlatform();
    dlg.RegisterVirusNames({"foo.exe"}, "I-Worm.Foo");
    machine.PutString(HKLM, kRun, "a", "c:\\x\\foo.exe");
    machine.PutString(HKLM, kRun, "b", "c:\\x\\foo.exe");

    dlg.CheckRunEntries(dlg.m_virusFileNames);

    EXPECT_EQ(machine.Calls(), 2);
    EXPECT_EQ(view.Log().size(), 2u);
}

// --- the ini entries -------------------------------------------------------------

struct IniCase {
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    std::string entry;  // what stands after "key="
    bool rewritten;
    bool failWrite;
};

class IniEntryCheck : public ::testing::TestWithParam<std::tuple<IniCase, std::uint32_t>> {};

TEST_P(IniEntryCheck, RewritesOnlyMatchesAndLogsOnlyWhatWasWritten) {
    const IniCase& c = std::get<0>(GetParam());
    const bool nt = std::get<1>(GetParam()) == VER_PLATFORM_WIN32_NT;
    CTestMachine t(std::get<1>(GetParam()));
    RegisterFamilies(*t.dlg);
    const std::string content = std::string("[") + c.section + "]\r\nother=keep\r\n" + c.key + "=" + c.entry +
                                "\r\n[next]\r\n" + c.key + "=foo.exe\r\n";
    const std::string host = t.drive.WriteFile(std::string("WINDOWS/") + c.file, content);
    if (c.failWrite) t.machine.FailCall("WriteProfileText", c.key, ERROR_ACCESS_DENIED);

    const int result = t.dlg->CheckIniEntry(c.file, c.section, c.key);

    std::string now;
    t.machine.GetProfileText(c.file, c.section, c.key, now, 260);
    std::string next;
    t.machine.GetProfileText(c.file, "next", c.key, next, 260);
    EXPECT_EQ(next, "foo.exe") << "another section was touched";
    if (c.rewritten && !c.failWrite) {
        EXPECT_NE(result, 0);
        EXPECT_EQ(now, "explorer.exe");
        const std::string line = nt ? "Klucz logowania w rejestrze został sprawdzony"
                                    : std::string("Wpis w pliku ") + c.file + " został przywrócony";
        EXPECT_EQ(Lines(t), std::vector<std::string>{line});
        ASSERT_EQ(t.view.Findings().size(), 1u);
        EXPECT_EQ(t.view.Findings()[0].kind, ActionKind::IniEntryRestored);
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(now, c.entry);
        std::ifstream in(host, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str(), content);
        EXPECT_TRUE(Lines(t).empty());
    }
}

const IniCase kIniCases[] = {
    {"RunNamesFile", "win.ini", "windows", "run", "foo.exe", true, false},
    {"LoadWithPath", "win.ini", "windows", "load", "C:\\WINDOWS\\SYSTEM\\bar.exe", true, false},
    {"ShellWithWorm", "system.ini", "boot", "shell", "Explorer.exe baz.exe", true, false},
    {"EqualIgnoringCase", "win.ini", "windows", "run", "FOO.EXE", true, false},
    {"Empty", "win.ini", "windows", "run", "", false, false},
    {"Unrelated", "system.ini", "boot", "shell", "Explorer.exe", false, false},
    {"FailedWrite", "win.ini", "windows", "run", "foo.exe", true, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, IniEntryCheck,
                         ::testing::Combine(::testing::ValuesIn(kIniCases),
                                            ::testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    ToText(std::get<1>(info.param));
                         });

// The Run check rewrites registrations that the ini check then reads.
TEST(IniEntry, FindsTheFileTheRunValueNamed) {
    CTestMachine t;
    RegisterFamilies(*t.dlg);
    t.machine.PutString(HKLM, kRun, "foo.exe", "C:\\WINDOWS\\renamed.exe -s");
    t.drive.WriteFile("WINDOWS/win.ini", "[windows]\r\nrun=C:\\WINDOWS\\renamed.exe\r\n");

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);
    EXPECT_NE(t.dlg->CheckIniEntry("win.ini", "windows", "run"), 0);

    std::string now;
    t.machine.GetProfileText("win.ini", "windows", "run", now, 260);
    EXPECT_EQ(now, "explorer.exe");
}
