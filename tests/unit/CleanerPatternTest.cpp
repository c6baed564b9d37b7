// The shared steps of the family cleaners: Run-command normalisation, the
// Run-value visit, file removal with its two line layouts, the webcheck
// repair, and a fault sweep over removal and repair together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const RegKey HKCR = winroot::kClassesRoot;
const char* const kWindowsDir = "C:\\WINDOWS";
const char* const kSystemDir = "C:\\WINDOWS\\System32";
const char* const kWebcheckKey = "CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
// The start-up lines every CTestMachine's log begins with.

std::pair<std::uint32_t, std::string> ValueOf(const CSimMachine& m, RegKey root, const std::string& key,
                                              const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!m.GetValue(root, key, name, type, data)) return {REG_NONE, "<missing>"};
    std::string s(data.begin(), data.end());
    return {type, s.substr(0, s.find('\0'))};
}

std::string FamilyName(std::uint32_t platformId) {
    return platformId == VER_PLATFORM_WIN32_NT ? "NT" : "Win9x";
}

}  // namespace

// --- NormalizeRunCommand: the pure part ------------------------------------

struct NormalizeCase {
    const char* name;
    std::string data;
    RunTrimRule trim;
    RunBaseDir base;
    std::string expected;
};

// A failure names its row; the long inputs are not worth printing.
void PrintTo(const NormalizeCase& c, std::ostream* os) { *os << c.name; }

class NormalizeRunCommandRows : public testing::TestWithParam<NormalizeCase> {};

TEST_P(NormalizeRunCommandRows, GivesThePathTheCommandStarts) {
    const NormalizeCase& c = GetParam();
    EXPECT_EQ(NormalizeRunCommand(c.data, c.trim, c.base, kWindowsDir, kSystemDir), c.expected);
}

const NormalizeCase kNormalizeCases[] = {
    {"QuotedPathWithArgument", "\"C:\\WINDOWS\\x.exe\" -arg", RunTrimRule::Dot, RunBaseDir::System,
     "C:\\WINDOWS\\x.exe"},
    {"PlainPathWithArguments", "C:\\WINDOWS\\x.exe -a -b", RunTrimRule::Dot, RunBaseDir::System, "C:\\WINDOWS\\x.exe"},
    {"BareNameInSystemDir", "x.exe", RunTrimRule::Dot, RunBaseDir::System, "C:\\WINDOWS\\System32\\x.exe"},
    {"BareNameInWindowsDir", "x.exe -q", RunTrimRule::Dot, RunBaseDir::Windows, "C:\\WINDOWS\\x.exe"},
    {"BareNameWithoutBase", "x.exe -q", RunTrimRule::Dot, RunBaseDir::None, "x.exe"},
    {"RelativeSubdirectory", "sub\\x.exe", RunTrimRule::Dot, RunBaseDir::System, "C:\\WINDOWS\\System32\\sub\\x.exe"},
    {"PathWithSpaces", "C:\\Program Files\\My App\\app.exe /min", RunTrimRule::Dot, RunBaseDir::System,
     "C:\\Program Files\\My App\\app.exe"},
    {"QuotedPathWithSpaces", "\"C:\\Program Files\\app.exe\"", RunTrimRule::Dot, RunBaseDir::System,
     "C:\\Program Files\\app.exe"},
    // The dot rule stops at any dot fourth from the end, a directory's too.
    {"DotOnlyInDirectory", "C:\\my.dir\\worm", RunTrimRule::Dot, RunBaseDir::System, "C:\\my.dir"},
    {"NoDotIsLeftWhole", "C:\\WINDOWS\\worm -x", RunTrimRule::Dot, RunBaseDir::System, "C:\\WINDOWS\\worm -x"},
    {"ShortExtensionNamesNothing", "C:\\WINDOWS\\a.js", RunTrimRule::Dot, RunBaseDir::System, ""},
    {"ShortExtensionRelativeNamesNothing", "a.js", RunTrimRule::Dot, RunBaseDir::System, ""},
    // The last character goes whatever it is: an unclosed quote costs the
    // extension its last letter, and the dot rule then finds no extension.
    {"UnclosedQuoteLosesLastLetter", "\"C:\\x.exe", RunTrimRule::Dot, RunBaseDir::System, ""},
    {"UnclosedQuoteExeRule", "\"C:\\x.exe", RunTrimRule::Exe, RunBaseDir::System, "C:\\x.ex"},
    {"Empty", "", RunTrimRule::Dot, RunBaseDir::System, ""},
    {"EmptyExeRule", "", RunTrimRule::Exe, RunBaseDir::Windows, ""},
    {"OnlyOneQuote", "\"", RunTrimRule::Dot, RunBaseDir::System, ""},
    {"OnlyTwoQuotes", "\"\"", RunTrimRule::Exe, RunBaseDir::System, ""},
    {"ExeRuleCutsArguments", "C:\\x.exe -a", RunTrimRule::Exe, RunBaseDir::System, "C:\\x.exe"},
    {"ExeRuleQuoted", "\"C:\\Program Files\\x.exe\" /s", RunTrimRule::Exe, RunBaseDir::System,
     "C:\\Program Files\\x.exe"},
    {"ExeRuleStopsAtUpperCaseSuffix", "C:\\x.exe.EXE -q", RunTrimRule::Exe, RunBaseDir::System, "C:\\x.exe.EXE"},
    {"ExeRuleNeedsExactCase", "C:\\X.EXE -a", RunTrimRule::Exe, RunBaseDir::System, "C:\\X.EXE -a"},
    {"ExeRuleLeavesOtherTypes", "C:\\x.dll arg", RunTrimRule::Exe, RunBaseDir::System, "C:\\x.dll arg"},
    {"ExeRuleCutsBackToDirectory", "C:\\a.exe\\b.dll x", RunTrimRule::Exe, RunBaseDir::System, "C:\\a.exe"},
    {"ExeRuleBareName", "x.exe -z", RunTrimRule::Exe, RunBaseDir::Windows, "C:\\WINDOWS\\x.exe"},
    {"VeryLongArgument", "C:\\x.exe " + std::string(100000, 'y'), RunTrimRule::Dot, RunBaseDir::System, "C:\\x.exe"},
    {"VeryLongWithoutExtension", "C:\\" + std::string(100000, 'y') + ".js", RunTrimRule::Dot, RunBaseDir::System,
     ""},
    {"VeryLongExeRule", "C:\\x.exe" + std::string(100000, '"'), RunTrimRule::Exe, RunBaseDir::System, "C:\\x.exe"},
};

INSTANTIATE_TEST_SUITE_P(Cases, NormalizeRunCommandRows, testing::ValuesIn(kNormalizeCases),
                         [](const testing::TestParamInfo<NormalizeCase>& info) { return info.param.name; });

TEST(NormalizeRunCommand, BareNameWithUnknownDirectoryNamesNoFile) {
    // A failed directory query must not turn "x.exe" into a path relative to
    // wherever the program happens to run.
    EXPECT_EQ(NormalizeRunCommand("x.exe", RunTrimRule::Dot, RunBaseDir::System, kWindowsDir, ""), "");
    EXPECT_EQ(NormalizeRunCommand("x.exe", RunTrimRule::Dot, RunBaseDir::Windows, "", kSystemDir), "");
    EXPECT_EQ(NormalizeRunCommand("D:\\x.exe", RunTrimRule::Dot, RunBaseDir::System, "", ""), "D:\\x.exe");
}

// --- NormalizeRunCommand on the dialog: placeholders and directories -------

struct PlaceholderCase {
    const char* name;
    std::uint32_t platform;
    const char* data;
    bool expand;
    RunBaseDir base;
    const char* expected;
};

void PrintTo(const PlaceholderCase& c, std::ostream* os) { *os << c.name; }

class NormalizeRunCommandOnDialog : public testing::TestWithParam<PlaceholderCase> {};

TEST_P(NormalizeRunCommandOnDialog, ExpandsThePlaceholdersFirst) {
    const PlaceholderCase& c = GetParam();
    CTestMachine t(c.platform);
    RunCommandOptions options;
    options.bExpandPlaceholders = c.expand;
    options.base = c.base;
    EXPECT_EQ(t.dlg->NormalizeRunCommand(c.data, options), c.expected);
}

const PlaceholderCase kPlaceholderCases[] = {
    {"SystemRoot", VER_PLATFORM_WIN32_NT, "\"%systemroot%\\x.exe\" -s", true, RunBaseDir::System,
     "C:\\WINDOWS\\x.exe"},
    {"SystemNT", VER_PLATFORM_WIN32_NT, "%system%\\x.exe", true, RunBaseDir::Windows, "C:\\WINDOWS\\System32\\x.exe"},
    {"System9x", VER_PLATFORM_WIN32_WINDOWS, "%system%\\x.exe", true, RunBaseDir::Windows,
     "C:\\WINDOWS\\SYSTEM\\x.exe"},
    {"NotAskedFor", VER_PLATFORM_WIN32_NT, "%system%\\x.exe", false, RunBaseDir::System,
     "C:\\WINDOWS\\System32\\%system%\\x.exe"},
    // Only the lower-case spelling the worms write is expanded.
    {"MixedCaseStays", VER_PLATFORM_WIN32_NT, "%SystemRoot%\\x.exe", true, RunBaseDir::Windows,
     "C:\\WINDOWS\\%SystemRoot%\\x.exe"},
    {"BaseDirectory9x", VER_PLATFORM_WIN32_WINDOWS, "x.exe", true, RunBaseDir::System, "C:\\WINDOWS\\SYSTEM\\x.exe"},
};

INSTANTIATE_TEST_SUITE_P(Cases, NormalizeRunCommandOnDialog, testing::ValuesIn(kPlaceholderCases),
                         [](const testing::TestParamInfo<PlaceholderCase>& info) { return info.param.name; });

// --- ForEachRunValue --------------------------------------------------------

class ForEachRunValue : public testing::TestWithParam<std::uint32_t> {};

TEST_P(ForEachRunValue, VisitsTheRunKeyOfBothRootsInOrderAndNothingElse) {
    CTestMachine t(GetParam());
    t.machine.PutString(HKLM, kRunKeyPath, "Alpha", "C:\\a.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "Beta", "b.exe -x");
    t.machine.PutString(HKCU, kRunKeyPath, "Gamma", "C:\\g.exe");
    // Neighbouring autostart keys belong to other stages.
    t.machine.PutString(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Once", "o.exe");
    t.machine.PutString(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", "Svc", "s.exe");
    t.machine.PutString(HKCU, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", "Svc", "s.exe");

    std::vector<std::string> seen;
    t.dlg->ForEachRunValue([&](const RunValue& v) {
        const RegKey expectedRoot = v.rootIndex == 0 ? HKLM : HKCU;
        EXPECT_EQ(v.root, expectedRoot) << v.name;
        seen.push_back(std::to_string(v.rootIndex) + ":" + v.name + "=" + v.data);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"0:Alpha=C:\\a.exe", "0:Beta=b.exe -x", "1:Gamma=C:\\g.exe"}));
    EXPECT_EQ(Lines(t).size(), 0u) << "visiting writes nothing";
}

TEST_P(ForEachRunValue, DeletingDuringTheVisitKeepsTheListAlreadyRead) {
    CTestMachine t(GetParam());
    for (const char* name : {"w1", "keep", "w2", "w3"}) t.machine.PutString(HKLM, kRunKeyPath, name, "x.exe");
    const std::string message = t.dlg->LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + "(Worm.Test)";
    std::vector<std::string> seen;
    t.dlg->ForEachRunValue([&](const RunValue& v) {
        seen.push_back(v.name);
        if (v.name == "keep") return;
        t.dlg->RestoreRegistryValues(v.root, {kRunKeyParent, kRunKeyName, v.name, ""}, message, 0);
    });
    // A re-enumeration after each deletion would skip the value that slid
    // into the deleted one's index.
    EXPECT_EQ(seen, (std::vector<std::string>{"w1", "keep", "w2", "w3"}));
    EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, "keep").second, "x.exe");
    for (const char* name : {"w1", "w2", "w3"})
        EXPECT_EQ(ValueOf(t.machine, HKLM, kRunKeyPath, name).second, "<missing>") << name;
    EXPECT_EQ(Lines(t), std::vector<std::string>(3, "   " + message));
}

TEST_P(ForEachRunValue, MissingOrUnreadableKeysVisitNothing) {
    CTestMachine t(GetParam());
    t.machine.PutString(HKCU, kRunKeyPath, "Only", "C:\\o.exe");
    t.machine.FailCall("OpenKey", "Run", ERROR_ACCESS_DENIED, 2, false);  // HKCU's open
    int visits = 0;
    t.dlg->ForEachRunValue([&](const RunValue&) { ++visits; });
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(t.machine.FaultsFired(), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, ForEachRunValue,
                         testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); });

// --- RemoveVirusFile ----------------------------------------------------------

enum class Blocker { None, ReadOnly, Running, Locked, Missing, Directory };

struct RemoveCase {
    const char* name;
    std::uint32_t platform;
    RemoveFileOptions options;
    RestartTagOrder order;
    std::uint32_t deletedTextId;
    Blocker blocker;
    RemoveOutcome outcome;
    const char* line;  // nullptr: none
};

const char* const kVirusPath = "C:\\WINDOWS\\w.exe";
const RemoveFileOptions kRestartNoReset{false, true, true};
const RemoveFileOptions kResetNoRestart{true, false, true};
const RemoveFileOptions kFullSilent{true, true, false};

void PrintTo(const RemoveCase& c, std::ostream* os) { *os << c.name; }

class RemoveVirusFile : public testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveVirusFile, RemovesWhatItCanAndLogsOnlyThat) {
    const RemoveCase& c = GetParam();
    CTestMachine t(c.platform);
    if (c.blocker == Blocker::Directory) t.drive.MakeDir("WINDOWS/w.exe");
    else if (c.blocker != Blocker::Missing) t.drive.WriteFile("WINDOWS/w.exe", "MZ worm body");
    if (c.blocker == Blocker::ReadOnly) {
        ASSERT_EQ(t.machine.SetAttributes(kVirusPath, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), ERROR_SUCCESS);
    }
    if (c.blocker == Blocker::Running) t.machine.StartProcess(kVirusPath);
    if (c.blocker == Blocker::Locked) t.machine.LockFile(kVirusPath, true);

    VirusFileTags tags;
    tags.deleted = " (I-Worm.Test.B) ";
    tags.restart = c.order == RestartTagOrder::TagBeforePath ? "(I-Worm.Test.B) " : " (Worm.Vesser)";
    tags.order = c.order;
    tags.deletedTextId = c.deletedTextId;
    EXPECT_EQ(t.dlg->RemoveVirusFile(kVirusPath, c.options, tags), c.outcome);

    const bool gone = c.outcome == RemoveOutcome::Deleted;
    EXPECT_EQ(Exists(t, kVirusPath), !gone && c.blocker != Blocker::Missing);
    const auto scheduled = t.machine.RestartDeletions();
    EXPECT_EQ(scheduled.size(), c.outcome == RemoveOutcome::Scheduled ? 1u : 0u);

    const auto findings = t.view.Findings();
    if (c.line == nullptr) {
        EXPECT_TRUE(Lines(t).empty());
        EXPECT_TRUE(findings.empty());
        return;
    }
    ASSERT_EQ(Lines(t), std::vector<std::string>{c.line});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].line, c.line);
    EXPECT_EQ(findings[0].target, kVirusPath);
    EXPECT_TRUE(findings[0].succeeded);
    EXPECT_EQ(findings[0].kind, gone ? ActionKind::FileDeleted : ActionKind::FileDeleteScheduled);
    EXPECT_EQ(findings[0].family, gone || c.order == RestartTagOrder::TagBeforePath ? "I-Worm.Test.B" : "Worm.Vesser");
}

const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
const RestartTagOrder TagFirst = RestartTagOrder::TagBeforePath;
const RestartTagOrder PathFirst = RestartTagOrder::PathBeforeTag;

const RemoveCase kRemoveCases[] = {
    {"FullDeletes", NT, RemoveFileOptions::Full(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::None,
     RemoveOutcome::Deleted, "   Usunięty plik wirusa C:\\WINDOWS\\w.exe (I-Worm.Test.B) "},
    {"FullResetsReadOnly", NT, RemoveFileOptions::Full(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::ReadOnly,
     RemoveOutcome::Deleted, "   Usunięty plik wirusa C:\\WINDOWS\\w.exe (I-Worm.Test.B) "},
    {"ShortDeletes", W9X, RemoveFileOptions::Short(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::None,
     RemoveOutcome::Deleted, "   Usunięty plik wirusa C:\\WINDOWS\\w.exe (I-Worm.Test.B) "},
    {"ShortLeavesReadOnly", NT, RemoveFileOptions::Short(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::ReadOnly,
     RemoveOutcome::NotRemoved, nullptr},
    {"FullSchedulesRunningFile", NT, RemoveFileOptions::Full(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Running,
     RemoveOutcome::Scheduled,
     "   Plik wirusa (I-Worm.Test.B) C:\\WINDOWS\\w.exe zostanie usunięty po restarcie komputera"},
    {"FullSchedulesLockedFilePathFirst", NT, RemoveFileOptions::Full(), PathFirst, IDS_VIRUS_FILE_DELETED,
     Blocker::Locked, RemoveOutcome::Scheduled,
     "   Plik wirusa C:\\WINDOWS\\w.exe (Worm.Vesser) zostanie usunięty po restarcie komputera"},
    {"ShortGivesUpOnRunningFile", NT, RemoveFileOptions::Short(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Running,
     RemoveOutcome::NotRemoved, nullptr},
    // The 9x family has no deletion at restart: both ways fail, no line.
    {"FullOn9xCannotSchedule", W9X, RemoveFileOptions::Full(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Running,
     RemoveOutcome::NotRemoved, nullptr},
    {"RestartWithoutResetSchedulesReadOnly", NT, kRestartNoReset, TagFirst, IDS_VIRUS_FILE_DELETED,
     Blocker::ReadOnly, RemoveOutcome::Scheduled,
     "   Plik wirusa (I-Worm.Test.B) C:\\WINDOWS\\w.exe zostanie usunięty po restarcie komputera"},
    {"ResetWithoutRestartLeavesRunningFile", NT, kResetNoRestart, TagFirst, IDS_VIRUS_FILE_DELETED,
     Blocker::Running, RemoveOutcome::NotRemoved, nullptr},
    {"SilentFormDeletesWithoutLine", NT, kFullSilent, TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::None,
     RemoveOutcome::Deleted, nullptr},
    {"SilentFormSchedulesWithoutLine", NT, kFullSilent, TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Locked,
     RemoveOutcome::Scheduled, nullptr},
    {"OwnDeletionText", NT, RemoveFileOptions::Short(), TagFirst, IDS_FILE_DELETED, Blocker::None,
     RemoveOutcome::Deleted, "   Usunięty plik: C:\\WINDOWS\\w.exe (I-Worm.Test.B) "},
    // Already taken by the classifier: no second line, and no restart
    // request (and line) for a file that is not there.
    {"MissingFileFull", NT, RemoveFileOptions::Full(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Missing,
     RemoveOutcome::NotRemoved, nullptr},
    {"MissingFileShort", NT, RemoveFileOptions::Short(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Missing,
     RemoveOutcome::NotRemoved, nullptr},
    {"DirectoryIsLeftAlone", NT, RemoveFileOptions::Full(), TagFirst, IDS_VIRUS_FILE_DELETED, Blocker::Directory,
     RemoveOutcome::NotRemoved, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, RemoveVirusFile, testing::ValuesIn(kRemoveCases),
                         [](const testing::TestParamInfo<RemoveCase>& info) { return info.param.name; });

TEST(RemoveVirusFileEdges, EmptyPathTouchesNothing) {
    CTestMachine t;
    t.machine.FailCall("GetAttributes", "", ERROR_ACCESS_DENIED);
    t.machine.FailCall("RemoveFile", "", ERROR_ACCESS_DENIED);
    t.machine.FailCall("RemoveAtRestart", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(t.dlg->RemoveVirusFile("", RemoveFileOptions::Full(), {" (X)", "(X) "}), RemoveOutcome::NotRemoved);
    EXPECT_EQ(t.machine.FaultsFired(), 0) << "an empty path is never handed to the system";
    EXPECT_TRUE(t.view.Findings().empty());
}

// --- RestoreWebcheckServer ------------------------------------------------------

struct WebcheckCase {
    const char* name;
    std::uint32_t platform;
    std::uint32_t currentType;  // REG_NONE: the key does not exist
    const char* current;
    std::uint32_t afterType;
    const char* after;
    bool line;
};

void PrintTo(const WebcheckCase& c, std::ostream* os) { *os << c.name; }

class RestoreWebcheckServer : public testing::TestWithParam<WebcheckCase> {};

TEST_P(RestoreWebcheckServer, PutsBackWhatTheFamilyRegisters) {
    const WebcheckCase& c = GetParam();
    CTestMachine t(c.platform);
    if (c.currentType != REG_NONE) {
        std::vector<std::uint8_t> data(c.current, c.current + std::string(c.current).size() + 1);
        t.machine.PutValue(HKCR, kWebcheckKey, "", c.currentType, data);
    }
    const std::string message = t.dlg->LoadText(IDS_LOGON_KEY_CHECKED) + " (I-Worm.MyDoom)";
    t.dlg->RestoreWebcheckServer(message);

    const auto after = ValueOf(t.machine, HKCR, kWebcheckKey, "");
    EXPECT_EQ(after.second, c.after);
    EXPECT_EQ(after.first, c.afterType);
    if (!c.line) {
        EXPECT_TRUE(t.view.Findings().empty());
        EXPECT_TRUE(Lines(t).empty());
        return;
    }
    EXPECT_EQ(Lines(t), std::vector<std::string>{"   " + message});
    ASSERT_EQ(t.view.Findings().size(), 1u);
    EXPECT_EQ(t.view.Findings()[0].kind, ActionKind::RegistryValueRestored);
    EXPECT_EQ(t.view.Findings()[0].family, "I-Worm.MyDoom");
}

const WebcheckCase kWebcheckCases[] = {
    {"NtHijacked", NT, REG_SZ, "C:\\WINDOWS\\System32\\shimgapi.dll", REG_EXPAND_SZ,
     "%SystemRoot%\\System32\\webcheck.dll", true},
    {"NtHijackedExpandable", NT, REG_EXPAND_SZ, "%SystemRoot%\\System32\\shimgapi.dll", REG_EXPAND_SZ,
     "%SystemRoot%\\System32\\webcheck.dll", true},
    // The system's own registration is left as it is, whatever its case.
    {"NtIntact", NT, REG_EXPAND_SZ, "%SystemRoot%\\System32\\webcheck.dll", REG_EXPAND_SZ,
     "%SystemRoot%\\System32\\webcheck.dll", false},
    {"NtIntactOtherCase", NT, REG_EXPAND_SZ, "%systemroot%\\system32\\WEBCHECK.DLL", REG_EXPAND_SZ,
     "%systemroot%\\system32\\WEBCHECK.DLL", false},
    {"NtNoKey", NT, REG_NONE, "", REG_NONE, "<missing>", false},
    {"Win9xHijacked", W9X, REG_SZ, "C:\\WINDOWS\\SYSTEM\\shimgapi.dll", REG_SZ, "C:\\WINDOWS\\SYSTEM\\webcheck.dll",
     true},
    {"Win9xIntact", W9X, REG_SZ, "c:\\windows\\system\\webcheck.dll", REG_SZ, "c:\\windows\\system\\webcheck.dll",
     false},
    {"Win9xNoKey", W9X, REG_NONE, "", REG_NONE, "<missing>", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, RestoreWebcheckServer, testing::ValuesIn(kWebcheckCases),
                         [](const testing::TestParamInfo<WebcheckCase>& info) { return info.param.name; });

TEST(RestoreWebcheckServerEdges, Win9xWithoutAnySystemDirectoryWritesNothing) {
    CTestMachine t(VER_PLATFORM_WIN32_WINDOWS);
    t.machine.PutString(HKCR, kWebcheckKey, "", "C:\\WINDOWS\\SYSTEM\\shimgapi.dll");
    // Known from start-up: the query failing now does not matter.
    t.machine.FailCall("SystemDirectory", "", 1);
    t.dlg->RestoreWebcheckServer("Klucz (X)");
    EXPECT_EQ(ValueOf(t.machine, HKCR, kWebcheckKey, "").second, "C:\\WINDOWS\\SYSTEM\\webcheck.dll");

    // Known nowhere: "\webcheck.dll" would break the component further.
    t.machine.PutString(HKCR, kWebcheckKey, "", "C:\\WINDOWS\\SYSTEM\\shimgapi.dll");
    t.dlg->m_sysDirs = {"", ""};
    t.dlg->RestoreWebcheckServer("Klucz (X)");
    EXPECT_EQ(ValueOf(t.machine, HKCR, kWebcheckKey, "").second, "C:\\WINDOWS\\SYSTEM\\shimgapi.dll");
    EXPECT_EQ(Lines(t).size(), 1u);
}

// --- fault sweep ---------------------------------------------------------------

namespace {

// Every platform call the removal and the repair make.
const std::vector<std::string> kSweptCalls = {"GetAttributes", "SetAttributes", "RemoveFile", "RemoveAtRestart",
                                              "SystemDirectory", "OpenKey", "QueryValue", "SetValue",
                                              "SetKeyDefault"};

// Plants a plain, a read-only and a locked virus file and a hijacked
// webcheck value, runs the steps with one injected fault, and audits every
// line against the machine and every change against the lines.
int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    const std::string paths[] = {"C:\\WINDOWS\\plain.exe", "C:\\WINDOWS\\ro.exe", "C:\\WINDOWS\\locked.exe"};
    t.drive.WriteFile("WINDOWS/plain.exe", "MZ");
    t.drive.WriteFile("WINDOWS/ro.exe", "MZ");
    t.drive.WriteFile("WINDOWS/locked.exe", "MZ");
    t.machine.SetAttributes(paths[1], FILE_ATTRIBUTE_READONLY);
    t.machine.LockFile(paths[2], true);
    t.machine.PutString(HKCR, kWebcheckKey, "", "C:\\WINDOWS\\System32\\shimgapi.dll");

    const int fired = AuditedFaultRun(t.machine, t.view, fault, [&] {
        const VirusFileTags tags{" (I-Worm.Test)", "(I-Worm.Test) ", RestartTagOrder::TagBeforePath,
                                 IDS_VIRUS_FILE_DELETED};
        for (const std::string& p : paths) t.dlg->RemoveVirusFile(p, RemoveFileOptions::Full(), tags);
        t.dlg->RestoreWebcheckServer(t.dlg->LoadText(IDS_REGISTRY_KEY_RESTORED));
    });
    return fired;
}

}  // namespace

class CleanerPatternFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CleanerPatternFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION},
                [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, CleanerPatternFaultSweep,
                         testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); });
