// The SpyBot cleaner on the simulated machine: bodies found through the Run
// key, the cleaner's own line when the classifier could not delete, the
// memory scan it runs, the names that scan leaves for the later stages, and
// a fault sweep. The built-in rule table has no SpyBot window, so the
// dialog is handed that table with a stand-in SpyBot rule added in its
// place among the families.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"
#include "sys/Text.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
constexpr int kSpyBotCode = 3;
const char* const kPlainProgram = "MZ an ordinary program";

// Where the worm's first window lies, with bytes of our own.
constexpr std::uint32_t kWindowOffset = 13275;
constexpr std::uint8_t kStandInWindow[40] = {
    0x55, 0x8B, 0xEC, 0x81, 0xEC, 0x00, 0x02, 0x00, 0x00, 0x53, 0x56, 0x57, 0x68, 0x73, 0x70, 0x79, 0x62, 0x6F, 0x74, 0x00,
    0x6A, 0x00, 0x6A, 0x00, 0xFF, 0x15, 0x30, 0x40, 0x40, 0x00, 0x8B, 0xF0, 0x85, 0xF6, 0x74, 0x2A, 0x50, 0x50, 0x50, 0x51};

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string PlatformName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }
std::string SysDir(std::uint32_t platform) { return platform == NT ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM"; }

// The product's table with the SpyBot rule where its code puts it.
std::vector<SignatureRule> TableWithSpyBot() {
    return RulesWithStandIns({{kSpyBotCode, kWindowOffset, sizeof kStandInWindow, kStandInWindow}});
}

std::string SpyBotBody() {
    std::string body(kWindowOffset + sizeof kStandInWindow, '\0');
    body.replace(kWindowOffset, sizeof kStandInWindow, reinterpret_cast<const char*>(kStandInWindow),
                 sizeof kStandInWindow);
    return body;
}

std::string ClassifierLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (SpyBot)"; }
std::string ClassifierRestartLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (SpyBot)" + T(IDS_DELETED_AT_RESTART);
}
std::string StoppedLine(const std::string& name) { return T(IDS_MODULE) + name + T(IDS_MODULE_STOPPED); }

// A machine whose classifier knows SpyBot.
struct CSpyBotMachine {
    explicit CSpyBotMachine(std::uint32_t platform) : t(platform) { t.dlg->UseRuleTable(TableWithSpyBot()); }

    std::string Put(const std::string& winPath, const std::string& bytes) { return ::Put(t, winPath, bytes); }
    bool Exists(const std::string& winPath) const { return ::Exists(t, winPath); }
    std::vector<std::string> Lines() const { return ::Lines(t); }
    bool HasRunValue(RegKey root, const std::string& name) const {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        return t.machine.GetValue(root, kRunKeyPath, name, type, data);
    }

    CTestMachine t;
};

class SpyBotOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(SpyBotOnPlatform, RunBodiesGoAndTheMemoryScanStopsARunningCopy) {
    const std::uint32_t platform = GetParam();
    CSpyBotMachine m(platform);
    const std::string quoted = m.Put(SysDir(platform) + "\\bot.exe", SpyBotBody());
    const std::string bare = m.Put(SysDir(platform) + "\\msgsrv.exe", SpyBotBody());
    // A copy that runs from a place no Run value names.
    const std::string running = m.Put("C:\\WINDOWS\\Temp\\wuamgrd.exe", SpyBotBody());
    // Another program of that name, harmless, in a folder of its own.
    const std::string namesake = m.Put("C:\\Program Files\\Tool\\wuamgrd.exe", kPlainProgram);
    const std::string program = m.Put("C:\\Program Files\\Tool\\tool.exe", kPlainProgram);
    const std::uint32_t runningPid = m.t.machine.StartProcess(running);
    const std::uint32_t namesakePid = m.t.machine.StartProcess(namesake);
    const std::uint32_t programPid = m.t.machine.StartProcess(program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Tool", program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Bot", "\"" + quoted + "\" -s");
    m.t.machine.PutString(HKCU, kRunKeyPath, "Msg", "msgsrv.exe /start");
    const std::size_t namesBefore = m.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = m.t.dlg->m_familyNames.size();

    m.t.dlg->CleanSpyBot();

    // The Run bodies, HKLM first, then what the memory scan found running:
    // its file cannot go while it runs (NT schedules it, the 9x family
    // cannot), then it is stopped.
    std::vector<std::string> expected = {ClassifierLine(quoted), ClassifierLine(bare)};
    if (platform == NT) expected.push_back(ClassifierRestartLine(running));
    expected.push_back(StoppedLine("wuamgrd.exe"));
    EXPECT_EQ(m.Lines(), expected);
    EXPECT_FALSE(m.Exists(quoted));
    EXPECT_FALSE(m.Exists(bare));
    EXPECT_FALSE(m.t.machine.IsRunning(runningPid));
    EXPECT_TRUE(m.t.machine.IsRunning(namesakePid));
    EXPECT_TRUE(m.t.machine.IsRunning(programPid));
    EXPECT_TRUE(m.Exists(program));
    // The Run values are the autostart checks' to judge.
    EXPECT_TRUE(m.HasRunValue(HKLM, "Bot"));
    EXPECT_TRUE(m.HasRunValue(HKCU, "Msg"));
    const std::vector<std::string> extensions = m.t.dlg->m_walker.Extensions();
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), ".exe"), extensions.end());

    // The cleaner registers nothing of its own; the memory scan registers
    // the running copy's name.
    ASSERT_EQ(m.t.dlg->m_virusFileNames.size(), namesBefore + 1);
    EXPECT_EQ(m.t.dlg->m_virusFileNames[namesBefore], "wuamgrd.exe");
    ASSERT_EQ(m.t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(m.t.dlg->m_familyNames[familiesBefore], "SpyBot!p2p");
    EXPECT_EQ(m.t.dlg->m_familyNameCount[familiesBefore], 1);

    // The kill stage later stops any process of that name under the family
    // the memory scan gave it.
    m.t.view.ResetLog();
    m.t.dlg->KillRegisteredProcesses();
    EXPECT_EQ(m.t.view.Log(),
              std::vector<std::string>{T(IDS_VIRUS_FILE) + "SpyBot!p2p: wuamgrd.exe" + T(IDS_REMOVED_FROM_MEMORY)});
    EXPECT_FALSE(m.t.machine.IsRunning(namesakePid));
    EXPECT_TRUE(m.t.machine.IsRunning(programPid));
}

TEST_P(SpyBotOnPlatform, FileTheClassifierCouldNotDeleteGoesWithTheCleanersOwnLine) {
    const std::uint32_t platform = GetParam();
    CSpyBotMachine m(platform);
    const std::string path = m.Put(SysDir(platform) + "\\bot.exe", SpyBotBody());
    m.t.machine.PutString(HKLM, kRunKeyPath, "Bot", path);
    // Someone held the file for the classifier's attempt only.
    m.t.machine.FailCall("RemoveFile", "bot.exe", ERROR_SHARING_VIOLATION, 1, false);

    m.t.dlg->CleanSpyBot();

    std::vector<std::string> expected;
    if (platform == NT) expected.push_back(ClassifierRestartLine(path));
    expected.push_back(T(IDS_FILE_DELETED) + path + " (P2P.SpyBot)");
    EXPECT_EQ(m.Lines(), expected);
    EXPECT_FALSE(m.Exists(path));
    const std::vector<Finding> findings = m.t.view.Findings();
    ASSERT_FALSE(findings.empty());
    EXPECT_EQ(findings.back().kind, ActionKind::FileDeleted);
    EXPECT_EQ(findings.back().family, "P2P.SpyBot");
}

TEST_P(SpyBotOnPlatform, CleanMachineGetsNoLineAndNoName) {
    CSpyBotMachine m(GetParam());
    const std::string program = m.Put("C:\\Program Files\\Tool\\tool.exe", kPlainProgram);
    const std::uint32_t pid = m.t.machine.StartProcess(program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "\"" + program + "\" /tray");
    m.t.machine.PutString(HKCU, kRunKeyPath, "Gone", "C:\\nowhere\\gone.exe");
    const std::vector<std::string> names = m.t.dlg->m_virusFileNames;

    m.t.dlg->CleanSpyBot();

    EXPECT_TRUE(m.Lines().empty());
    EXPECT_TRUE(m.t.view.Findings().empty());
    EXPECT_TRUE(m.t.machine.IsRunning(pid));
    EXPECT_TRUE(m.Exists(program));
    EXPECT_EQ(m.t.dlg->m_virusFileNames, names);
}

INSTANTIATE_TEST_SUITE_P(Families, SpyBotOnPlatform, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });

// --- which Run data leads to the body ---------------------------------------------

namespace {

struct SpyBotRunCase {
    const char* name;
    const char* file;  // where the body lies
    const char* data;  // the Run value
    bool found;
};

void PrintTo(const SpyBotRunCase& c, std::ostream* os) { *os << c.name; }

const SpyBotRunCase kRunCases[] = {
    {"QuotedWithSwitch", "C:\\Program Files\\Bot\\b.exe", "\"C:\\Program Files\\Bot\\b.exe\" -run", true},
    {"BareNameInSystemDir", "C:\\WINDOWS\\System32\\b.exe", "b.exe -x", true},
    // The cut looks for ".exe", not for any extension: a dot in an argument
    // does not stop it.
    {"DottedArgument", "C:\\WINDOWS\\b.exe", "C:\\WINDOWS\\b.exe -cfg a.ini", true},
    {"CapitalExtensionAlone", "C:\\WINDOWS\\B.EXE", "C:\\WINDOWS\\B.EXE", true},
    // Only ".exe" in lower case starts the cut: the switch stays.
    {"CapitalExtensionWithSwitch", "C:\\WINDOWS\\B.EXE", "C:\\WINDOWS\\B.EXE /q", false},
    // No placeholder expansion here.
    {"PlaceholderNotExpanded", "C:\\WINDOWS\\System32\\b.exe", "%system%\\b.exe", false},
    {"BareNameNotInWindowsDir", "C:\\WINDOWS\\b.exe", "b.exe", false},
};

class SpyBotRunValue : public testing::TestWithParam<SpyBotRunCase> {};

}  // namespace

TEST_P(SpyBotRunValue, LeadsToTheBodyOrNot) {
    const SpyBotRunCase& c = GetParam();
    CSpyBotMachine m(NT);
    m.Put(c.file, SpyBotBody());
    m.t.machine.PutString(HKCU, kRunKeyPath, "Bot", c.data);

    m.t.dlg->CleanSpyBot();

    EXPECT_EQ(m.Exists(c.file), !c.found);
    EXPECT_EQ(m.Lines(), c.found ? std::vector<std::string>{ClassifierLine(c.file)} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, SpyBotRunValue, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<SpyBotRunCase>& info) { return info.param.name; });

// --- fault sweep -------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",         "EnumValue",   "QueryValue",       "ProcessSnapshot", "OpenProcess",    "TerminateProcess",
    "FirstModuleFileName", "OpenForRead", "ReadAt",       "FileInfo",        "GetAttributes",  "SetAttributes",
    "RemoveFile",      "RemoveAtRestart", "ComputerName"};

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CSpyBotMachine m(platform);
    const std::string idle = m.Put(SysDir(platform) + "\\bot.exe", SpyBotBody());
    const std::string runningRun = m.Put("C:\\WINDOWS\\msgsrv.exe", SpyBotBody());
    const std::string running = m.Put("C:\\WINDOWS\\Temp\\wuamgrd.exe", SpyBotBody());
    const std::string program = m.Put("C:\\Program Files\\Tool\\tool.exe", kPlainProgram);
    m.t.machine.StartProcess(runningRun);
    m.t.machine.StartProcess(running);
    m.t.machine.StartProcess(program);
    m.t.machine.PutString(HKLM, kRunKeyPath, "Bot", "bot.exe");
    m.t.machine.PutString(HKCU, kRunKeyPath, "Msg", "\"" + runningRun + "\" -s");
    m.t.machine.PutString(HKCU, kRunKeyPath, "Tool", program);

    const int fired = AuditedFaultRun(m.t.machine, m.t.view, fault, [&] { m.t.dlg->CleanSpyBot(); });
    EXPECT_TRUE(m.Exists(program));
    return fired;
}

class SpyBotFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(SpyBotFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, SpyBotFaultSweep, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });
