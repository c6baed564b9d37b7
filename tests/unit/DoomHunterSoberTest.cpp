// The DoomHunter and Sober cleaners on the simulated machine. Both follow
// every Run value to its file and act only on a body the classifier names
// as theirs, so one table of the two drives the shared cases; DoomHunter's
// registration and webcheck repair have tests of their own.
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
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
const char* const kWebcheckKey = "CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
const char* const kPlainProgram = "MZ an ordinary program";
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string PlatformName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }
std::string SysDir(std::uint32_t platform) { return platform == NT ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM"; }

bool HasRunValue(const CSimMachine& m, RegKey root, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    return m.GetValue(root, kRunKeyPath, name, type, data);
}
std::string WebcheckValue(const CSimMachine& m) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!m.GetValue(HKCR, kWebcheckKey, "", type, data)) return "<missing>";
    std::string s(data.begin(), data.end());
    return s.substr(0, s.find('\0'));
}

struct Family {
    const char* name;
    void (CCleanerDlg::*clean)();
    int code;
    const char* killTag;
    const char* deletedTag;
    // The classifier's own lines for the family's body.
    const char* classifierDeletedTag;
    const char* classifierRestartTag;
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

const Family kDoomHunter = {"DoomHunter",          &CCleanerDlg::CleanDoomHunter, 17, " (I-Worm.DoomHunter)",
                            " (Worm.DoomHunter)",  " (Worm.DoomHunter))",         " (Worm.DoomHunter)"};
const Family kSober = {"Sober",          &CCleanerDlg::CleanSober, 19, " (I-Worm.Sober)",
                       " (I-Worm.Sober)", " (I-Worm.Sober))",      " (I-Worm.Sober)"};
const Family kFamilies[] = {kDoomHunter, kSober};

std::string KillLine(const Family& f) { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + f.killTag; }
std::string DeletedLine(const Family& f, const std::string& path) {
    return T(IDS_VIRUS_FILE_DELETED) + path + f.deletedTag;
}
std::string ClassifierDeletedLine(const Family& f, const std::string& path) {
    return T(IDS_VIRUS_FILE_DELETED) + path + f.classifierDeletedTag;
}
std::string ClassifierRestartLine(const Family& f, const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + f.classifierRestartTag + T(IDS_DELETED_AT_RESTART);
}

void Clean(CTestMachine& t, const Family& f) { ((*t.dlg).*(f.clean))(); }

using FamilyOnPlatform = std::tuple<Family, std::uint32_t>;
std::string CaseName(const testing::TestParamInfo<FamilyOnPlatform>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + PlatformName(std::get<1>(info.param));
}

class RunBodyCleaner : public testing::TestWithParam<FamilyOnPlatform> {};

}  // namespace

// --- bodies found through the Run key ----------------------------------------------

TEST_P(RunBodyCleaner, BodiesUnderBothRootsGoWithTheClassifiersLinesAndTheirValuesStay) {
    const auto& [f, platform] = GetParam();
    CTestMachine t(platform);
    const std::string machineWide = SysDir(platform) + "\\wininet32.exe";
    const std::string perUser = "C:\\WINDOWS\\kernel16.exe";
    const std::string program = "C:\\Program Files\\Tool\\tool.exe";
    Put(t, machineWide, BodyOf(f.code));
    Put(t, perUser, BodyOf(f.code));
    Put(t, program, kPlainProgram);
    const std::uint32_t toolPid = t.machine.StartProcess(program);
    t.machine.PutString(HKLM, kRunKeyPath, "Tool", "\"" + program + "\" /tray");
    t.machine.PutString(HKLM, kRunKeyPath, "Wininet", "%system%\\wininet32.exe -s");
    t.machine.PutString(HKCU, kRunKeyPath, "Kernel", "\"%systemroot%\\kernel16.exe\"");
    const std::vector<std::string> extensionsBefore = t.dlg->m_walker.Extensions();

    Clean(t, f);

    // HKLM first; the classifier deletes each body and writes the line, so
    // the cleaner's own deletion finds nothing left to write about.
    EXPECT_EQ(Lines(t), (std::vector<std::string>{ClassifierDeletedLine(f, machineWide),
                                                   ClassifierDeletedLine(f, perUser)}));
    EXPECT_FALSE(Exists(t, machineWide));
    EXPECT_FALSE(Exists(t, perUser));
    EXPECT_TRUE(Exists(t, program));
    EXPECT_TRUE(t.machine.IsRunning(toolPid));
    // The values are the autostart checks' to judge.
    const std::vector<std::pair<RegKey, std::string>> values = {{HKLM, "Tool"}, {HKLM, "Wininet"}, {HKCU, "Kernel"}};
    for (const auto& [root, name] : values) EXPECT_TRUE(HasRunValue(t.machine, root, name)) << name;
    EXPECT_EQ(t.dlg->m_walker.Extensions(), extensionsBefore) << "neither family adds extensions";
}

TEST_P(RunBodyCleaner, RunningBodyIsStoppedAndDeletedNow) {
    const auto& [f, platform] = GetParam();
    CTestMachine t(platform);
    const std::string path = SysDir(platform) + "\\svc.exe";
    Put(t, path, BodyOf(f.code));
    const std::uint32_t pid = t.machine.StartProcess(path);
    t.machine.PutString(HKCU, kRunKeyPath, "Svc", "svc.exe");

    Clean(t, f);

    // The running body defeats the classifier's deletion; NT then schedules
    // it, the 9x family cannot. The cleaner stops it and deletes it at once.
    std::vector<std::string> expected;
    if (platform == NT) expected.push_back(ClassifierRestartLine(f, path));
    expected.push_back(KillLine(f));
    expected.push_back(DeletedLine(f, path));
    EXPECT_EQ(Lines(t), expected);
    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_FALSE(Exists(t, path));
    const std::vector<Finding> findings = t.view.Findings();
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(findings.back().kind, ActionKind::FileDeleted);
    EXPECT_EQ(findings.back().target, path);
}

TEST_P(RunBodyCleaner, BodyThatWillNotStopKeepsItsFileAndGetsNoLineFromTheCleaner) {
    const auto& [f, platform] = GetParam();
    CTestMachine t(platform);
    const std::string path = SysDir(platform) + "\\svc.exe";
    Put(t, path, BodyOf(f.code));
    const std::uint32_t pid = t.machine.StartProcess(path, kStubborn);
    t.machine.PutString(HKLM, kRunKeyPath, "Svc", path);

    Clean(t, f);

    // The short form has no restart fallback of its own: the classifier's
    // scheduling (NT only) is the one line.
    std::vector<std::string> expected;
    if (platform == NT) expected.push_back(ClassifierRestartLine(f, path));
    EXPECT_EQ(Lines(t), expected);
    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, path));
    EXPECT_EQ(t.machine.RestartDeletions().size(), platform == NT ? 1u : 0u);
}

TEST_P(RunBodyCleaner, CleanMachineGetsNoLine) {
    const auto& [f, platform] = GetParam();
    CTestMachine t(platform);
    const std::string program = "C:\\Program Files\\Tool\\tool.exe";
    Put(t, program, kPlainProgram);
    const std::uint32_t pid = t.machine.StartProcess(program);
    t.machine.PutString(HKLM, kRunKeyPath, "Tool", program);
    t.machine.PutString(HKCU, kRunKeyPath, "Empty", "");
    t.machine.PutString(HKCU, kRunKeyPath, "NoFile", "C:\\nowhere\\gone.exe");
    const std::string intact =
        platform == NT ? "%SystemRoot%\\System32\\webcheck.dll" : "C:\\WINDOWS\\SYSTEM\\webcheck.dll";
    t.machine.PutString(HKCR, kWebcheckKey, "", intact);

    Clean(t, f);

    EXPECT_TRUE(Lines(t).empty());
    EXPECT_TRUE(t.view.Findings().empty());
    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, program));
    EXPECT_EQ(WebcheckValue(t.machine), intact);
}

INSTANTIATE_TEST_SUITE_P(Families, RunBodyCleaner,
                         testing::Combine(testing::ValuesIn(kFamilies), testing::Values(NT, W9X)), CaseName);

// --- which Run data leads to the body ------------------------------------------------

namespace {

struct RunDataCase {
    const char* name;
    const char* file;  // where the body lies
    const char* data;  // the Run value
    bool found;
};

void PrintTo(const RunDataCase& c, std::ostream* os) { *os << c.name; }

const RunDataCase kRunDataCases[] = {
    {"SystemRootPlaceholder", "C:\\WINDOWS\\w.exe", "%systemroot%\\w.exe /q", true},
    {"SystemPlaceholder", "C:\\WINDOWS\\System32\\w.exe", "%system%\\w.exe", true},
    {"BareNameInSystemDir", "C:\\WINDOWS\\System32\\w.exe", "w.exe -start", true},
    {"QuotedWithArguments", "C:\\Program Files\\w w.exe", "\"C:\\Program Files\\w w.exe\" -a -b", true},
    // Only the system directory is looked in for a bare name.
    {"BareNameNotInWindowsDir", "C:\\WINDOWS\\w.exe", "w.exe", false},
    // The placeholders are expanded in lower case only.
    {"CapitalPlaceholder", "C:\\WINDOWS\\w.exe", "%SYSTEMROOT%\\w.exe", false},
    // No extension of three letters: the trim leaves no file to look at.
    {"NoExtension", "C:\\WINDOWS\\System32\\w.js", "C:\\WINDOWS\\System32\\w.js", false},
};

class RunBodyData : public testing::TestWithParam<std::tuple<Family, RunDataCase>> {};

}  // namespace

TEST_P(RunBodyData, LeadsToTheBodyOrNot) {
    const auto& [f, c] = GetParam();
    CTestMachine t(NT);
    Put(t, c.file, BodyOf(f.code));
    t.machine.PutString(HKLM, kRunKeyPath, "Worm", c.data);

    Clean(t, f);

    EXPECT_EQ(Exists(t, c.file), !c.found);
    EXPECT_EQ(Lines(t), c.found ? std::vector<std::string>{ClassifierDeletedLine(f, c.file)} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, RunBodyData,
                         testing::Combine(testing::ValuesIn(kFamilies), testing::ValuesIn(kRunDataCases)),
                         [](const testing::TestParamInfo<std::tuple<Family, RunDataCase>>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// --- each acts on its own family only -----------------------------------------------

TEST(RunBodyCleaners, EachActsOnlyOnItsOwnFamilysBody) {
    CTestMachine t(NT);
    // Each body running, so only the cleaner of its family, not the
    // classifier, can delete it.
    const std::string hunter = "C:\\WINDOWS\\System32\\hunter.exe";
    const std::string sober = "C:\\WINDOWS\\System32\\sober.exe";
    Put(t, hunter, BodyOf(kDoomHunter.code));
    Put(t, sober, BodyOf(kSober.code));
    const std::uint32_t hunterPid = t.machine.StartProcess(hunter);
    const std::uint32_t soberPid = t.machine.StartProcess(sober);
    t.machine.PutString(HKLM, kRunKeyPath, "Hunter", hunter);
    t.machine.PutString(HKLM, kRunKeyPath, "Sober", sober);

    t.dlg->CleanDoomHunter();
    EXPECT_TRUE(t.machine.IsRunning(soberPid));
    EXPECT_TRUE(Exists(t, sober));
    EXPECT_FALSE(t.machine.IsRunning(hunterPid));
    EXPECT_FALSE(Exists(t, hunter));

    t.view.ResetLog();
    t.dlg->CleanSober();
    EXPECT_FALSE(t.machine.IsRunning(soberPid));
    EXPECT_FALSE(Exists(t, sober));
    // The classifier schedules the body it cannot delete, then the cleaner
    // stops and deletes it.
    EXPECT_EQ(t.view.Log(), (std::vector<std::string>{ClassifierRestartLine(kSober, sober), KillLine(kSober),
                                                       DeletedLine(kSober, sober)}));
}

// --- DoomHunter's registration and webcheck repair ---------------------------------

TEST(DoomHunter, RegistersItsRunValueNameForTheAutostartChecks) {
    CTestMachine t(NT);
    const std::size_t namesBefore = t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = t.dlg->m_familyNames.size();
    // The worm's Run value, pointing at a file no rule knows.
    t.machine.PutString(HKLM, kRunKeyPath, "Delete Me", "C:\\WINDOWS\\System32\\dh.exe -r");
    t.machine.PutString(HKLM, kRunKeyPath, "Keep", "C:\\WINDOWS\\keep.exe");

    t.dlg->CleanDoomHunter();
    ASSERT_EQ(t.dlg->m_virusFileNames.size(), namesBefore + 1);
    EXPECT_EQ(t.dlg->m_virusFileNames[namesBefore], "Delete Me");
    ASSERT_EQ(t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(t.dlg->m_familyNames[familiesBefore], "Worm.DoomHunter");
    EXPECT_EQ(t.dlg->m_familyNameCount[familiesBefore], 1);
    EXPECT_TRUE(Lines(t).empty()) << "registration writes nothing";
    EXPECT_TRUE(HasRunValue(t.machine, HKLM, "Delete Me")) << "the cleaner leaves the value";

    // The autostart checks take the value by its name and name the family.
    t.view.ResetLog();
    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);
    EXPECT_EQ(t.view.Log(), std::vector<std::string>{T(IDS_VIRUS_FILE) + "Worm.DoomHunter: dh.exe" + T(10)});
    EXPECT_FALSE(HasRunValue(t.machine, HKLM, "Delete Me"));
    EXPECT_TRUE(HasRunValue(t.machine, HKLM, "Keep"));
}

TEST(Sober, RegistersNothing) {
    CTestMachine t(NT);
    const std::vector<std::string> names = t.dlg->m_virusFileNames;
    const std::size_t families = t.dlg->m_familyNames.size();
    t.dlg->CleanSober();
    EXPECT_EQ(t.dlg->m_virusFileNames, names);
    EXPECT_EQ(t.dlg->m_familyNames.size(), families);
}

namespace {
class DoomHunterWebcheck : public testing::TestWithParam<std::uint32_t> {};
}  // namespace

TEST_P(DoomHunterWebcheck, HijackedServerIsPutBackLast) {
    const std::uint32_t platform = GetParam();
    CTestMachine t(platform);
    const std::string body = SysDir(platform) + "\\dh.exe";
    Put(t, body, BodyOf(kDoomHunter.code));
    t.machine.PutString(HKLM, kRunKeyPath, "Delete Me", body);
    t.machine.PutString(HKCR, kWebcheckKey, "", SysDir(platform) + "\\dhwebcheck.dll");

    t.dlg->CleanDoomHunter();

    EXPECT_EQ(Lines(t), (std::vector<std::string>{ClassifierDeletedLine(kDoomHunter, body),
                                                  "   " + T(IDS_REGISTRY_KEY_RESTORED)}));
    EXPECT_EQ(WebcheckValue(t.machine), platform == NT ? "%SystemRoot%\\System32\\webcheck.dll"
                                                       : "C:\\WINDOWS\\SYSTEM\\webcheck.dll");
    const std::vector<Finding> findings = t.view.Findings();
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[1].kind, ActionKind::RegistryValueRestored);
}

INSTANTIATE_TEST_SUITE_P(Families, DoomHunterWebcheck, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

// --- fault sweep -----------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",      "EnumValue",        "QueryValue",      "SetValue",    "SetKeyDefault",   "ProcessSnapshot",
    "OpenProcess",  "TerminateProcess", "FirstModuleFileName", "OpenForRead", "ReadAt",     "FileInfo",
    "GetAttributes", "SetAttributes",   "RemoveFile",      "RemoveAtRestart", "SystemDirectory"};

// Bodies running and not, under both roots, beside an ordinary program and
// a hijacked webcheck server, with one injected fault.
int RunWithFault(const Family& f, std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    const std::string running = SysDir(platform) + "\\run.exe";
    const std::string idle = "C:\\WINDOWS\\idle.exe";
    const std::string program = "C:\\Program Files\\Tool\\tool.exe";
    Put(t, running, BodyOf(f.code));
    Put(t, idle, BodyOf(f.code));
    Put(t, program, kPlainProgram);
    t.machine.StartProcess(running);
    t.machine.StartProcess(program);
    t.machine.PutString(HKLM, kRunKeyPath, "Run", "run.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "Tool", program);
    t.machine.PutString(HKCU, kRunKeyPath, "Idle", "%systemroot%\\idle.exe");
    t.machine.PutString(HKCR, kWebcheckKey, "", SysDir(platform) + "\\dhwebcheck.dll");

    const int fired = AuditedFaultRun(t.machine, t.view, fault, [&] { Clean(t, f); });
    EXPECT_TRUE(Exists(t, program));
    return fired;
}

class RunBodyFaultSweep : public testing::TestWithParam<FamilyOnPlatform> {};

}  // namespace

TEST_P(RunBodyFaultSweep, NoLineClaimsAFailedStep) {
    const auto& [f, platform] = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED},
                [&](const SFault& fault) { return RunWithFault(f, platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, RunBodyFaultSweep,
                         testing::Combine(testing::ValuesIn(kFamilies), testing::Values(NT, W9X)), CaseName);
