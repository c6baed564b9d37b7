// The Apdoor cleaner on the simulated machine: bodies behind the machine's
// Run values and the names their values give, the memory scan when no Run
// value leads to the backdoor, the names as the later stages report them,
// and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "FamilyBench.h"
#include "MachineAudit.h"
#include "cleaners/CleanerPattern.h"

using namespace bench;

namespace {

constexpr int kApdoorCode = 2;
const char* const kFamily = "Backdoor: Apdoor.c";

std::string ClassifiedLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (Backdoor:Apdoor)"; }
std::string ScheduledLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (Backdoor:Apdoor)" + T(IDS_DELETED_AT_RESTART);
}

class ApdoorOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(ApdoorOnPlatform, BodiesBehindMachineRunValuesRegisterTheValuesNames) {
    CFamilyBench b(GetParam());
    const std::string quoted = b.Put("C:\\WINDOWS\\System32\\svc32.exe", BodyOf(kApdoorCode));
    // A bare name is looked for in the system directory of the family.
    const std::string bare = b.Put(b.t.dlg->m_sysDirs[1] + "\\winupd.exe", BodyOf(kApdoorCode));
    const std::string user = b.Put("C:\\WINDOWS\\System32\\user.exe", BodyOf(kApdoorCode));
    const std::string tool = b.Put("C:\\Program Files\\tool.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Svc32", "\"" + quoted + "\" -run");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", tool);
    b.t.machine.PutString(HKLM, kRunKeyPath, "WinUpd", "winupd.exe /q");
    // The user's Run key is not looked at.
    b.t.machine.PutString(HKCU, kRunKeyPath, "UserDoor", user);
    // With the backdoor found through the Run key, the running processes
    // are left to the memory stage of the scan.
    const std::string elsewhere = b.Put("C:\\WINDOWS\\Temp\\run.exe", BodyOf(kApdoorCode));
    const std::uint32_t pid = b.t.machine.StartProcess(elsewhere);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    EXPECT_TRUE(b.t.dlg->CleanApdoor());

    EXPECT_EQ(b.Log(), (std::vector<std::string>{ClassifiedLine(quoted), ClassifiedLine(bare)}));
    EXPECT_FALSE(b.Exists(quoted));
    EXPECT_FALSE(b.Exists(bare));
    EXPECT_TRUE(b.Exists(user));
    EXPECT_TRUE(b.Exists(tool));
    EXPECT_TRUE(b.Exists(elsewhere));
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    // The values are the autostart check's business.
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "Svc32"), "<missing>");
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "WinUpd"), "<missing>");

    // Two names per value, in lower case, under one family entry.
    EXPECT_EQ(b.NamesFrom(namesBefore),
              (std::vector<std::string>{"svc32.exe", "svc32.dll", "winupd.exe", "winupd.dll"}));
    ASSERT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(b.t.dlg->m_familyNames.back(), kFamily);
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], 4);
    for (const char* e : {".exe", ".tmp", ".dll"}) EXPECT_TRUE(b.HasExtension(e)) << e;
}

INSTANTIATE_TEST_SUITE_P(Families, ApdoorOnPlatform, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });

// --- no Run value leads to the backdoor ----------------------------------------

namespace {
class ApdoorMemory : public testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};
}  // namespace

TEST_P(ApdoorMemory, TheMemoryScanRunsOnceInstead) {
    const auto [platform, withRunValues] = GetParam();
    CFamilyBench b(platform);
    if (withRunValues) {
        b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", b.Put("C:\\Program Files\\tool.exe"));
        b.t.machine.PutString(HKCU, kRunKeyPath, "UserDoor", b.Put("C:\\WINDOWS\\user.exe", BodyOf(kApdoorCode)));
    }
    const std::string door = b.Put("C:\\WINDOWS\\Temp\\Door.exe", BodyOf(kApdoorCode));
    const std::string stubborn = b.Put("C:\\WINDOWS\\Temp\\abc.exe", BodyOf(kApdoorCode));
    const std::uint32_t doorPid = b.t.machine.StartProcess(door);
    const std::uint32_t stubbornPid = b.t.machine.StartProcess(stubborn, {true, true, false});
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();

    b.t.dlg->CleanApdoor();

    // A running body cannot be deleted: NT leaves it for the restart, 9x
    // cannot. One scheduled line per body shows the scan ran once.
    std::vector<std::string> expected;
    if (platform == NT) expected.push_back(ScheduledLine(door));
    expected.push_back(ModuleLine("Door.exe"));
    if (platform == NT) expected.push_back(ScheduledLine(stubborn));
    EXPECT_EQ(b.Log(), expected);
    EXPECT_FALSE(b.t.machine.IsRunning(doorPid));
    EXPECT_TRUE(b.t.machine.IsRunning(stubbornPid));
    EXPECT_EQ(b.NamesFrom(namesBefore), (std::vector<std::string>{"Door.exe", "Door.dll", "abc.exe", "abc.dll"}));
    EXPECT_EQ(b.t.dlg->m_familyNames.back(), kFamily);
}

INSTANTIATE_TEST_SUITE_P(Cases, ApdoorMemory, testing::Combine(testing::Values(NT, W9X), testing::Bool()),
                         [](const auto& info) {
                             return PlatformName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "OtherRunValues" : "NoRunKey");
                         });

// --- which Run value leads to the backdoor --------------------------------------

namespace {

struct RunCase {
    const char* name;
    const char* valueName;
    const char* data;
    bool classified;  // the body is taken by the classifier
    std::vector<std::string> registered;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class ApdoorRunValue : public testing::TestWithParam<RunCase> {};

const char* const kBodyPath = "C:\\WINDOWS\\System32\\Svc.exe";

const RunCase kRunCases[] = {
    {"QuotedWithSwitch", "Svc", "\"C:\\WINDOWS\\System32\\Svc.exe\" -r", true, {"svc.exe", "svc.dll"}},
    {"BareNameInTheSystemDirectory", "Svc", "Svc.exe", true, {"svc.exe", "svc.dll"}},
    {"CapitalsInTheValueName", "WinSVC", "C:\\WINDOWS\\System32\\Svc.exe", true, {"winsvc.exe", "winsvc.dll"}},
    // Only ".exe" in lower case starts the cut: the argument stays and the
    // path names no file.
    {"UpperCaseExeKeepsItsArguments", "Svc", "C:\\WINDOWS\\System32\\SVC.EXE -r", false, {}},
    // The key's unnamed value would register the bare endings, found in
    // every Run value by the autostart check.
    {"UnnamedValue", "", "C:\\WINDOWS\\System32\\Svc.exe", true, {}},
};

}  // namespace

TEST_P(ApdoorRunValue, RegistersWhatTheValueGives) {
    const RunCase& c = GetParam();
    CFamilyBench b;
    b.Put(kBodyPath, BodyOf(kApdoorCode));
    b.t.machine.PutString(HKLM, kRunKeyPath, c.valueName, c.data);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    b.t.dlg->CleanApdoor();

    EXPECT_EQ(b.Log(), c.classified ? std::vector<std::string>{ClassifiedLine(kBodyPath)} : std::vector<std::string>{});
    EXPECT_EQ(b.Exists(kBodyPath), !c.classified);
    EXPECT_EQ(b.NamesFrom(namesBefore), c.registered);
    EXPECT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + (c.registered.empty() ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, ApdoorRunValue, testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Apdoor, UnnamedValueLeavesEveryOtherRunValueToTheAutostartCheck) {
    CFamilyBench b;
    b.Put(kBodyPath, BodyOf(kApdoorCode));
    b.t.machine.PutString(HKLM, kRunKeyPath, "", kBodyPath);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "C:\\Program Files\\tool.exe");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Helper", "C:\\Program Files\\helper.dll,Start");
    b.t.dlg->CleanApdoor();
    b.ClearLog();

    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);

    EXPECT_TRUE(b.Log().empty());
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Tool"), "C:\\Program Files\\tool.exe");
    EXPECT_EQ(b.Value(HKCU, kRunKeyPath, "Helper"), "C:\\Program Files\\helper.dll,Start");
}

TEST(Apdoor, LaterStagesFindItsNamesUnderItsFamily) {
    CFamilyBench b;
    b.t.dlg->CleanMyDoom();
    b.Put("C:\\WINDOWS\\System32\\svc32.exe", BodyOf(kApdoorCode));
    b.t.machine.PutString(HKLM, kRunKeyPath, "svc32", "C:\\WINDOWS\\System32\\svc32.exe -k");
    b.t.dlg->CleanApdoor();
    // The library the backdoor keeps beside its program, and its program
    // running from a copy.
    const std::string library = b.Put("C:\\WINDOWS\\System32\\svc32.dll", "MZ library");
    const std::uint32_t pid = b.t.machine.StartProcess("D:\\SVC32.EXE");
    b.ClearLog();

    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);
    b.t.dlg->KillRegisteredProcesses();
    b.t.dlg->m_walker.Walk("C:");

    EXPECT_EQ(b.Log(), (std::vector<std::string>{RunEntryLine(kFamily, "svc32.exe"), KillRegisteredLine(kFamily, "svc32.exe"),
                                                 NamedFileLine(kFamily, library)}));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "svc32"), "<missing>");
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_FALSE(b.Exists(library));
}

// --- fault sweep --------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",       "CloseKey",      "EnumValue",  "ProcessSnapshot", "OpenProcess",    "TerminateProcess",
    "FirstModuleFileName", "OpenForRead", "ReadAt", "FileInfo",        "GetAttributes",  "SetAttributes",
    "RemoveFile",    "RemoveAtRestart"};

// With Run values leading to the backdoor, or with only running bodies.
int RunWithFault(std::uint32_t platform, bool memory, const SFault& fault) {
    CFamilyBench b(platform);
    const std::string tool = b.Put("C:\\Program Files\\tool.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", tool);
    b.t.machine.StartProcess(tool);
    if (!memory) {
        b.Put("C:\\WINDOWS\\System32\\a.exe", BodyOf(kApdoorCode));
        b.Put("C:\\WINDOWS\\System32\\b.exe", BodyOf(kApdoorCode));
        b.t.machine.PutString(HKLM, kRunKeyPath, "A", "a.exe -x");
        b.t.machine.PutString(HKLM, kRunKeyPath, "B", "\"C:\\WINDOWS\\System32\\b.exe\"");
    }
    b.t.machine.StartProcess(b.Put("C:\\WINDOWS\\Temp\\door.exe", BodyOf(kApdoorCode)));
    b.t.machine.StartProcess(b.Put("C:\\WINDOWS\\Temp\\abc.exe", BodyOf(kApdoorCode)), {true, true, false});

    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanApdoor(); });
    EXPECT_TRUE(b.Exists(tool));
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "Tool"), "<missing>");
    return fired;
}

class ApdoorFaultSweep : public testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};

}  // namespace

TEST_P(ApdoorFaultSweep, NoLineClaimsAFailedStep) {
    const auto [platform, memory] = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED},
                [&](const SFault& fault) { return RunWithFault(platform, memory, fault); });
}

INSTANTIATE_TEST_SUITE_P(Cases, ApdoorFaultSweep, testing::Combine(testing::Values(NT, W9X), testing::Bool()),
                         [](const auto& info) {
                             return PlatformName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "Memory" : "RunValues");
                         });
