// The MyDoom cleaner on the simulated machine: its two variants found by Run
// value, bodies found by the classifier, the marker keys, the webcheck
// hijack, what it leaves for the later stages, and a fault sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const RegKey HKCR = winroot::kClassesRoot;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
const char* const kWebcheckKey = "CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
const char* const kComDlgVersion = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version";
const char* const kShellKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell";
constexpr int kMyDoom = 12;

std::string T(std::uint32_t id) { return BuiltInString(id); }

// The lines, built from the texts the way the log reads them.
std::string Killed(const std::string& tag) { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + tag; }
std::string Deleted(const std::string& path, const std::string& tag) { return T(IDS_VIRUS_FILE_DELETED) + path + tag; }
std::string Scheduled(const std::string& tag, const std::string& path) {
    return T(IDS_VIRUS_FILE) + tag + path + T(IDS_DELETED_AT_RESTART);
}
const std::string kRunValueLine = "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + "(I-Worm.MyDoom)";

std::string ValueOf(const CSimMachine& m, RegKey root, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!m.GetValue(root, key, name, type, data)) return "<missing>";
    std::string s(data.begin(), data.end());
    return s.substr(0, s.find('\0'));
}

// A body the classifier takes for MyDoom: zeros around the family's window.
std::string MyDoomBody() { return BodyOf(kMyDoom) + std::string(64, '\0'); }

void PlantFile(CTestMachine& t, const std::string& winPath, const std::string& content = "MZ worm") {
    t.drive.WriteFile(Relative(winPath), content);
}

std::string FamilyName(std::uint32_t platformId) { return platformId == NT ? "NT" : "Win9x"; }

}  // namespace

// --- the variants -------------------------------------------------------------

class MyDoomVariants : public testing::TestWithParam<std::uint32_t> {
protected:
    MyDoomVariants() : t(GetParam()) {}
    std::string Sys() const { return t.dlg->m_sysDirs[1]; }
    CTestMachine t;
};

TEST_P(MyDoomVariants, VariantDIsStoppedAndDeletedWithItsAttributesResetAndItsValueKept) {
    const std::string path = Sys() + "\\regedit.exe";
    PlantFile(t, path);
    ASSERT_EQ(t.machine.SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), ERROR_SUCCESS);
    const std::uint32_t pid = t.machine.StartProcess(path);
    t.machine.PutString(HKLM, kRunKeyPath, "NeroCheck", "\"%system%\\regedit.exe\" -hide");

    t.dlg->CleanMyDoom();

    EXPECT_EQ(Lines(t), (std::vector<std::string>{Killed(" (I-Worm.MyDoom.D)"), Deleted(path, " (I-Worm.MyDoom.D)")}));
    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_FALSE(Exists(t, path));
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "NeroCheck"), "\"%system%\\regedit.exe\" -hide");
}

TEST_P(MyDoomVariants, VariantCFileIsDeletedAsItIsOrScheduledWithTheTagRunIntoThePath) {
    // One copy is plain, one read-only: without the attribute reset the
    // read-only one can only go at restart (which the 9x family lacks).
    const std::string plain = "C:\\intrenat\\a.exe";
    const std::string readOnly = Sys() + "\\intrenat.exe";
    PlantFile(t, plain);
    PlantFile(t, readOnly);
    ASSERT_EQ(t.machine.SetAttributes(readOnly, FILE_ATTRIBUTE_READONLY), ERROR_SUCCESS);
    t.machine.PutString(HKLM, kRunKeyPath, "Gremlin", plain);
    t.machine.PutString(HKCU, kRunKeyPath, "GREMLIN", "intrenat.exe");

    t.dlg->CleanMyDoom();

    std::vector<std::string> expected{Deleted(plain, " (I-Worm.MyDoom.C)")};
    if (GetParam() == NT) expected.push_back(Scheduled("(I-Worm.MyDoom.C)", readOnly));
    EXPECT_EQ(Lines(t), expected);
    EXPECT_FALSE(Exists(t, plain));
    EXPECT_TRUE(Exists(t, readOnly));
    EXPECT_EQ(t.machine.RestartDeletions(),
              GetParam() == NT ? std::vector<std::string>{readOnly} : std::vector<std::string>{});
    // The autostart checks remove these through the registered name.
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "Gremlin"), plain);
    EXPECT_EQ(ValueOf(t.machine, HKCU, kRunKeyPath, "GREMLIN"), "intrenat.exe");
}

TEST_P(MyDoomVariants, VariantDHeldByAnotherProgramIsScheduledWithTheTagRunIntoThePath) {
    const std::string path = "C:\\WINDOWS\\regedit32.scr";
    PlantFile(t, path);
    t.machine.LockFile(path, true);
    t.machine.PutString(HKCU, kRunKeyPath, "nerocheck", path);

    t.dlg->CleanMyDoom();

    if (GetParam() == NT) {
        EXPECT_EQ(Lines(t), std::vector<std::string>{"   Plik wirusa  (I-Worm.MyDoom.D)" + path +
                                                     " zostanie usunięty po restarcie komputera"});
        EXPECT_EQ(t.machine.RestartDeletions(), std::vector<std::string>{path});
    } else {
        EXPECT_TRUE(Lines(t).empty()) << "neither way worked, so nothing is claimed";
    }
    t.machine.LockFile(path, false);
    EXPECT_TRUE(Exists(t, path));
}

INSTANTIATE_TEST_SUITE_P(Families, MyDoomVariants, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); });

// Which Run values name a variant: the name in any case, the text anywhere
// in the normalised path but in its exact case.
struct MatchCase {
    const char* name;
    const char* valueName;
    const char* data;
    const char* file;  // where the data leads on the NT machine
    const char* tag;   // nullptr: not a variant
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class MyDoomVariantMatch : public testing::TestWithParam<MatchCase> {};

TEST_P(MyDoomVariantMatch, ActsOnlyOnTheNamedPairs) {
    const MatchCase& c = GetParam();
    CTestMachine t;
    PlantFile(t, c.file);
    t.machine.PutString(HKLM, kRunKeyPath, c.valueName, c.data);

    t.dlg->CleanMyDoom();

    if (c.tag == nullptr) {
        EXPECT_TRUE(Lines(t).empty());
        EXPECT_TRUE(Exists(t, c.file));
    } else {
        EXPECT_EQ(Lines(t), std::vector<std::string>{Deleted(c.file, c.tag)});
        EXPECT_FALSE(Exists(t, c.file));
    }
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, c.valueName), c.data) << "a variant's value is left in place";
}

const MatchCase kMatchCases[] = {
    {"DInAnyCase", "NEROCHECK", "C:\\WINDOWS\\regedit.exe", "C:\\WINDOWS\\regedit.exe", " (I-Worm.MyDoom.D)"},
    {"DTextInDirectory", "NeroCheck", "C:\\regedit\\svc.exe /q", "C:\\regedit\\svc.exe", " (I-Worm.MyDoom.D)"},
    {"DRelativeInSystemDir", "NeroCheck", "regedit.exe", "C:\\WINDOWS\\System32\\regedit.exe", " (I-Worm.MyDoom.D)"},
    {"DTextNeedsExactCase", "NeroCheck", "C:\\WINDOWS\\RegEdit.exe", "C:\\WINDOWS\\RegEdit.exe", nullptr},
    {"DOtherValueName", "NeroCheck2", "C:\\WINDOWS\\regedit.exe", "C:\\WINDOWS\\regedit.exe", nullptr},
    {"DPairIsNotCrossed", "Gremlin", "C:\\WINDOWS\\regedit.exe", "C:\\WINDOWS\\regedit.exe", nullptr},
    {"CQuotedWithArgument", "gremlin", "\"C:\\WINDOWS\\intrenat.exe\" x", "C:\\WINDOWS\\intrenat.exe",
     " (I-Worm.MyDoom.C)"},
    {"CTextNeedsExactCase", "Gremlin", "C:\\WINDOWS\\Intrenat.exe", "C:\\WINDOWS\\Intrenat.exe", nullptr},
    {"CPairIsNotCrossed", "NeroCheck", "C:\\WINDOWS\\intrenat.exe", "C:\\WINDOWS\\intrenat.exe", nullptr},
    // Expanded before the tests: the placeholder itself holds neither text.
    {"CPlaceholderExpanded", "Gremlin", "%systemroot%\\intrenat.com", "C:\\WINDOWS\\intrenat.com",
     " (I-Worm.MyDoom.C)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, MyDoomVariantMatch, testing::ValuesIn(kMatchCases),
                         [](const testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

TEST(MyDoomVariantMatch, ACommandNamingNoFileIsNotActedOn) {
    CTestMachine t;
    // "regedit.js" trims down to nothing; the worm's test must not fall
    // back on a directory or the system directory itself.
    t.drive.MakeDir("WINDOWS/System32");
    t.machine.PutString(HKLM, kRunKeyPath, "NeroCheck", "regedit.js");
    t.machine.PutString(HKLM, kRunKeyPath, "Gremlin", "C:\\intrenat.dir\\x y");
    t.drive.MakeDir("intrenat.dir");
    t.dlg->CleanMyDoom();
    EXPECT_TRUE(Lines(t).empty());
    EXPECT_TRUE(t.machine.RestartDeletions().empty());
    EXPECT_TRUE(fs::is_directory(t.machine.HostPath("C:\\intrenat.dir")));
}

// --- bodies found by the classifier --------------------------------------------

class MyDoomBodies : public testing::TestWithParam<std::uint32_t> {};

TEST_P(MyDoomBodies, RunningBodyLosesItsValueUnderBothRootsThenItsProcessThenItsFile) {
    CTestMachine t(GetParam());
    const std::string body = MyDoomBody();
    const std::string running = "C:\\WINDOWS\\taskmon.exe";
    const std::string idle = "C:\\Temp\\shimg.exe";
    PlantFile(t, running, body);
    PlantFile(t, idle, body);
    const std::uint32_t pid = t.machine.StartProcess(running);
    t.machine.PutString(HKLM, kRunKeyPath, "Harmless", "C:\\WINDOWS\\notepad.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "TaskMon", "\"C:\\WINDOWS\\taskmon.exe\" -s");
    // The same name under HKCU goes with the next match there, whatever it
    // starts; the idle body's own value goes with it.
    t.machine.PutString(HKCU, kRunKeyPath, "TaskMon", "C:\\WINDOWS\\notepad.exe");
    t.machine.PutString(HKCU, kRunKeyPath, "Shim", idle);
    PlantFile(t, "C:\\WINDOWS\\notepad.exe", "MZ editor");

    t.dlg->CleanMyDoom();

    // The classifier goes first with its own line: for the running body
    // only the restart on NT, nothing on 9x; the idle one it deletes.
    std::vector<std::string> expected;
    if (GetParam() == NT) {
        expected.push_back(T(IDS_VIRUS_FILE) + running + " (I-Worm.MyDoom)" + T(IDS_DELETED_AT_RESTART));
    }
    expected.push_back(kRunValueLine);
    expected.push_back(Killed(" (I-Worm.MyDoom)"));
    expected.push_back(Deleted(running, " (I-Worm.MyDoom)"));
    expected.push_back(Deleted(idle, " (I-Worm.MyDoom)"));
    expected.push_back(kRunValueLine);  // HKCU TaskMon
    expected.push_back(kRunValueLine);  // HKCU Shim
    EXPECT_EQ(Lines(t), expected);

    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_FALSE(Exists(t, running));
    EXPECT_FALSE(Exists(t, idle));
    EXPECT_TRUE(Exists(t, "C:\\WINDOWS\\notepad.exe"));
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "Harmless"), "C:\\WINDOWS\\notepad.exe");
    for (const auto& [root, name] : std::vector<std::pair<RegKey, std::string>>{
             {HKLM, "TaskMon"}, {HKCU, "TaskMon"}, {HKCU, "Shim"}}) {
        EXPECT_EQ(ValueOf(t.machine, root, kRunKeyPath, name), "<missing>") << name;
    }

    // Deletion lines report what the view also records as done.
    const auto findings = t.view.Findings();
    ASSERT_EQ(findings.size(), expected.size());
    for (const Finding& f : findings) EXPECT_TRUE(f.succeeded) << f.line;
}

TEST_P(MyDoomBodies, VariantBodyIsHandledByTheVariantAndNotAgainByTheClassifier) {
    CTestMachine t(GetParam());
    const std::string path = "C:\\WINDOWS\\regedit.exe";
    PlantFile(t, path, MyDoomBody());
    t.machine.PutString(HKLM, kRunKeyPath, "NeroCheck", path);
    t.dlg->CleanMyDoom();
    // The variant's deletion took the file; the classifier then finds none.
    EXPECT_EQ(Lines(t), std::vector<std::string>{Deleted(path, " (I-Worm.MyDoom.D)")});
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "NeroCheck"), path);
}

INSTANTIATE_TEST_SUITE_P(Families, MyDoomBodies, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); });

// --- marker keys, webcheck, and what is left for the later stages ------------------

class MyDoomMachineWide : public testing::TestWithParam<std::uint32_t> {};

TEST_P(MyDoomMachineWide, CleanMachineGetsNoLineButTheRegistrationsAndExtensions) {
    CTestMachine t(GetParam());
    t.machine.PutString(HKLM, kRunKeyPath, "Editor", "C:\\WINDOWS\\notepad.exe");
    PlantFile(t, "C:\\WINDOWS\\notepad.exe", "MZ editor");
    const std::string systemWebcheck = GetParam() == NT ? "%SystemRoot%\\System32\\webcheck.dll"
                                                         : "C:\\WINDOWS\\SYSTEM\\webcheck.dll";
    t.machine.PutString(HKCR, kWebcheckKey, "", systemWebcheck);
    const std::size_t namesBefore = t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = t.dlg->m_familyNames.size();

    t.dlg->CleanMyDoom();

    EXPECT_TRUE(Lines(t).empty());
    EXPECT_TRUE(t.view.Findings().empty());
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "Editor"), "C:\\WINDOWS\\notepad.exe");
    EXPECT_EQ(ValueOf(t.machine, HKCR, kWebcheckKey, ""), systemWebcheck);

    ASSERT_EQ(t.dlg->m_virusFileNames.size(), namesBefore + 1);
    EXPECT_EQ(t.dlg->m_virusFileNames.back(), "gremlin");
    ASSERT_EQ(t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(t.dlg->m_familyNames.back(), "I-Worm.MyDoom");
    EXPECT_EQ(t.dlg->m_familyNameCount[familiesBefore], 1);
    EXPECT_EQ(t.dlg->FamilyNameOfRegisteredName(namesBefore), "I-Worm.MyDoom");

    const auto& extensions = t.dlg->m_walker.Extensions();
    for (const char* e : {".bat", ".scr", ".com", ".zip", ".exe", ".pif"}) {
        const auto at = std::find(extensions.begin(), extensions.end(), e);
        EXPECT_NE(at, extensions.end()) << e;
    }
    EXPECT_EQ(std::count(extensions.begin(), extensions.end(), ".exe"), 1) << "duplicates are ignored";
}

TEST_P(MyDoomMachineWide, MarkerKeysGoWithTheirSubkeysAndTheWebcheckServerIsPutBack) {
    CTestMachine t(GetParam());
    for (RegKey root : {HKLM, HKCU}) {
        t.machine.PutString(root, kComDlgVersion, "", "x");
        t.machine.PutString(root, std::string(kComDlgVersion) + "\\Deep\\Deeper", "v", "y");
        t.machine.PutString(root, std::string(kShellKey) + "\\Sub", "", "z");
        // Neighbours of the markers belong to the system.
        t.machine.PutString(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU",
                            "a", "C:\\doc.txt");
        t.machine.PutString(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions", "b", "c");
    }
    t.machine.PutString(HKCR, kWebcheckKey, "", "C:\\WINDOWS\\System32\\shimgapi.dll");

    t.dlg->CleanMyDoom();

    EXPECT_EQ(Lines(t), std::vector<std::string>{"   " + T(IDS_LOGON_KEY_CHECKED) + " (I-Worm.MyDoom)"});
    for (RegKey root : {HKLM, HKCU}) {
        SCOPED_TRACE(root == HKLM ? "HKLM" : "HKCU");
        EXPECT_FALSE(t.machine.HasKey(root, kComDlgVersion));
        EXPECT_FALSE(t.machine.HasKey(root, kShellKey));
        EXPECT_TRUE(t.machine.HasKey(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU"));
        EXPECT_TRUE(t.machine.HasKey(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions"));
    }
    EXPECT_EQ(ValueOf(t.machine, HKCR, kWebcheckKey, ""),
              GetParam() == NT ? "%SystemRoot%\\System32\\webcheck.dll" : "C:\\WINDOWS\\SYSTEM\\webcheck.dll");
}

INSTANTIATE_TEST_SUITE_P(Families, MyDoomMachineWide, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); });

// --- fault sweep ----------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",       "EnumValue",     "QueryValue",      "DeleteValue",     "SetValue",        "SetKeyDefault",
    "DeleteKey",     "EnumKey",       "OpenForRead",     "ReadAt",          "GetAttributes",   "SetAttributes",
    "RemoveFile",    "RemoveAtRestart", "ProcessSnapshot", "OpenProcess",   "TerminateProcess", "FirstModuleFileName",
    "SystemDirectory"};

// Every trace at once and one injected fault; the audit holds every line
// against the machine and every change on the machine against the lines.
int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    const std::string body = MyDoomBody();
    const std::string sys = t.dlg->m_sysDirs[1];
    const std::string dPath = sys + "\\regedit.exe";
    const std::string cPath = "C:\\WINDOWS\\intrenat.exe";
    const std::string gPath = "C:\\WINDOWS\\taskmon.exe";
    PlantFile(t, dPath);
    PlantFile(t, cPath);
    PlantFile(t, gPath, body);
    t.machine.SetAttributes(cPath, FILE_ATTRIBUTE_READONLY);
    t.machine.StartProcess(dPath);
    t.machine.StartProcess(gPath);
    t.machine.PutString(HKLM, kRunKeyPath, "NeroCheck", dPath);
    t.machine.PutString(HKLM, kRunKeyPath, "Gremlin", cPath);
    t.machine.PutString(HKLM, kRunKeyPath, "TaskMon", gPath);
    t.machine.PutString(HKCU, kRunKeyPath, "TaskMon", gPath);
    t.machine.PutString(HKLM, kComDlgVersion, "", "x");
    t.machine.PutString(HKCU, std::string(kShellKey) + "\\Sub", "", "z");
    t.machine.PutString(HKCR, kWebcheckKey, "", "C:\\WINDOWS\\System32\\shimgapi.dll");

    SAuditOptions options;
    // The marker keys go whole, and a whole key's deletion writes no line.
    options.silentKeys = {std::string("HKEY_LOCAL_MACHINE\\") + kComDlgVersion,
                          std::string("HKEY_CURRENT_USER\\") + kComDlgVersion,
                          std::string("HKEY_CURRENT_USER\\") + kShellKey};
    const int fired = AuditedFaultRun(t.machine, t.view, fault, [&] { t.dlg->CleanMyDoom(); }, options);
    // Only the worm's own values go: these two start what their names say.
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "NeroCheck"), dPath);
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "Gremlin"), cPath);
    return fired;
}

}  // namespace

class MyDoomFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(MyDoomFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, MyDoomFaultSweep, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); });
