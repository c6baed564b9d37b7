// The Vesser cleaner on the simulated machine: RPC exploit bodies behind the
// Run values of both roots, the restore table kept for the run, the file
// left for the restart under the worm's name, the logon "run" line, the
// names for the later stages, and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FamilyBench.h"
#include "MachineAudit.h"
#include "cleaners/CleanerPattern.h"

using namespace bench;

namespace {

constexpr int kExploitCode = 20;
const char* const kLogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

std::string ClassifiedLine(const std::string& path) {
    return T(IDS_VIRUS_FILE_DELETED) + path + " (Exploit: RPCDCom))";
}
std::string ClassifierScheduledLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (Exploit: RPCDCom)" + T(IDS_DELETED_AT_RESTART);
}
std::string RunValueLine() { return "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + "(Exploit: RPCDCom)"; }
std::string KillLine() { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + " (Exploit: RPCDCom)"; }
std::string DeletedLine(const std::string& path) { return T(IDS_VIRUS_FILE_DELETED) + path + " (Exploit: RPCDCom)"; }
// The path before the tag, and the worm's name in it.
std::string RestartLine(const std::string& path) {
    return T(IDS_VIRUS_FILE) + path + " (Worm.Vesser)" + T(IDS_DELETED_AT_RESTART);
}
std::string RestoreLine() { return "   " + T(IDS_REGISTRY_KEY_RESTORED) + " (Exploit: RPCDCom)"; }

class VesserOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST(Vesser, ExploitsBehindBothRootsGoWithTheirValuesAndTheLogonLineIsReset) {
    CFamilyBench b;
    // A bare name is looked for in the system directory; a placeholder is
    // expanded before the quote strip.
    const std::string bare = b.Put("C:\\WINDOWS\\System32\\msblast2.exe", BodyOf(kExploitCode));
    const std::string quoted = b.Put("C:\\WINDOWS\\System32\\dcom.exe", BodyOf(kExploitCode));
    const std::string tool = b.Put("C:\\tools\\shell.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Msupdate", "msblast2.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Shell32", "C:\\tools\\shell.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Keep", "C:\\tools\\keep.exe");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Shell32", "\"%system%\\dcom.exe\" -s");
    b.t.machine.PutString(HKLM, kLogonKey, "run", "C:\\WINDOWS\\System32\\dllhost16.exe");
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    EXPECT_TRUE(b.t.dlg->CleanVesser());

    // The last step applies the whole kept table to the machine's Run key:
    // the machine's "Shell32", named like the user's exploit value, goes as
    // well, under the restore message of that step.
    EXPECT_EQ(b.Log(), (std::vector<std::string>{ClassifiedLine(bare), RunValueLine(), ClassifiedLine(quoted),
                                                 RunValueLine(), RestoreLine(), RestoreLine()}));
    const auto findings = b.Findings();
    ASSERT_EQ(findings.size(), 6u);
    EXPECT_EQ(findings[3].target, "HKEY_CURRENT_USER\\" + std::string(kRunKeyPath) + "\\Shell32");
    EXPECT_EQ(findings[4].kind, ActionKind::RegistryValueDeleted);
    EXPECT_EQ(findings[4].target, "HKEY_LOCAL_MACHINE\\" + std::string(kRunKeyPath) + "\\Shell32");
    EXPECT_EQ(findings[5].kind, ActionKind::RegistryValueRestored);
    EXPECT_EQ(findings[5].target, "HKEY_LOCAL_MACHINE\\" + std::string(kLogonKey) + "\\run");

    EXPECT_FALSE(b.Exists(bare));
    EXPECT_FALSE(b.Exists(quoted));
    EXPECT_TRUE(b.Exists(tool));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Msupdate"), "<missing>");
    EXPECT_EQ(b.Value(HKCU, kRunKeyPath, "Shell32"), "<missing>");
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Shell32"), "<missing>");
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Keep"), "C:\\tools\\keep.exe");
    EXPECT_EQ(b.Value(HKLM, kLogonKey, "run"), "explorer.exe");

    EXPECT_EQ(b.NamesFrom(namesBefore), (std::vector<std::string>{"winlogin.exe", "yuetyutr.dll", "dllhost16.exe"}));
    ASSERT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(b.t.dlg->m_familyNames.back(), "Exploit: RPCDCom");
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], 3);
    EXPECT_TRUE(b.HasExtension(".exe"));
    EXPECT_TRUE(b.HasExtension(".tmp"));
}

TEST_P(VesserOnPlatform, RunningExploitIsStoppedAndDeletedNow) {
    CFamilyBench b(GetParam());
    const std::string path = b.Put("C:\\WINDOWS\\System32\\dcom.exe", BodyOf(kExploitCode));
    const std::uint32_t pid = b.t.machine.StartProcess(path);
    b.t.machine.PutString(HKCU, kRunKeyPath, "Dcom", path + " -p 135");

    b.t.dlg->CleanVesser();

    std::vector<std::string> expected;
    if (GetParam() == NT) expected.push_back(ClassifierScheduledLine(path));
    expected.insert(expected.end(), {RunValueLine(), KillLine(), DeletedLine(path)});
    EXPECT_EQ(b.Log(), expected);
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_FALSE(b.Exists(path));
}

TEST_P(VesserOnPlatform, ExploitThatWillNotEndIsLeftForTheRestartUnderTheWormsName) {
    CFamilyBench b(GetParam());
    const std::string path = b.Put("C:\\WINDOWS\\System32\\dcom.exe", BodyOf(kExploitCode));
    const std::uint32_t pid = b.t.machine.StartProcess(path, {true, true, false});
    b.t.machine.PutString(HKLM, kRunKeyPath, "Dcom", path);

    b.t.dlg->CleanVesser();

    // No kill line for a process still there. On 9x nothing can be left for
    // the restart, and no line says so.
    std::vector<std::string> expected;
    if (GetParam() == NT) {
        expected = {ClassifierScheduledLine(path), RunValueLine(), RestartLine(path)};
    } else {
        expected = {RunValueLine()};
    }
    EXPECT_EQ(b.Log(), expected);
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_TRUE(b.Exists(path));
}

TEST_P(VesserOnPlatform, CleanMachineGetsNoLine) {
    CFamilyBench b(GetParam());
    const std::string tool = b.Put("C:\\WINDOWS\\System32\\tool.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "tool.exe /min");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Other", "\"C:\\Program Files\\other.exe\"");
    if (GetParam() == NT) b.t.machine.PutString(HKLM, kLogonKey, "run", "Explorer.exe");

    b.t.dlg->CleanVesser();

    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Findings().empty());
    EXPECT_TRUE(b.Exists(tool));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Tool"), "tool.exe /min");
    EXPECT_EQ(b.Value(HKCU, kRunKeyPath, "Other"), "\"C:\\Program Files\\other.exe\"");
    if (GetParam() == NT) {
        EXPECT_EQ(b.Value(HKLM, kLogonKey, "run"), "Explorer.exe");
    }
}

INSTANTIATE_TEST_SUITE_P(Families, VesserOnPlatform, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });

TEST(Vesser, BodyOfAnotherFamilyKeepsItsRunValue) {
    CFamilyBench b;
    const std::string path = b.Put("C:\\WINDOWS\\System32\\door.exe", BodyOf(2));
    b.t.machine.PutString(HKLM, kRunKeyPath, "Door", path);

    b.t.dlg->CleanVesser();

    EXPECT_EQ(b.Log(), std::vector<std::string>{T(IDS_VIRUS_FILE_DELETED) + path + " (Backdoor:Apdoor)"});
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Door"), path);
}

TEST(Vesser, LaterStagesFindItsNamesUnderItsFamily) {
    CFamilyBench b;
    b.t.dlg->CleanMyDoom();
    b.t.dlg->CleanVesser();
    const std::uint32_t pid = b.t.machine.StartProcess("D:\\DllHost16.exe");
    const std::uint32_t system = b.t.machine.StartProcess("C:\\WINDOWS\\System32\\dllhost.exe");
    b.t.machine.PutString(HKCU, kRunKeyPath, "Host", "c:\\windows\\system32\\dllhost16.exe");
    const std::string copy = b.Put("C:\\WINDOWS\\System32\\winlogin.exe");
    b.ClearLog();

    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);
    b.t.dlg->KillRegisteredProcesses();
    b.t.dlg->m_walker.Walk("C:");

    EXPECT_EQ(b.Log(), (std::vector<std::string>{RunEntryLine("Exploit: RPCDCom", "dllhost16.exe"),
                                                 KillRegisteredLine("Exploit: RPCDCom", "dllhost16.exe"),
                                                 NamedFileLine("Exploit: RPCDCom", copy)}));
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_TRUE(b.t.machine.IsRunning(system));
    EXPECT_FALSE(b.Exists(copy));
}

// --- fault sweep --------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",         "CloseKey",    "EnumValue",        "QueryValue",          "SetValue",    "SetKeyDefault",
    "DeleteValue",     "ProcessSnapshot", "OpenProcess",  "TerminateProcess",    "FirstModuleFileName",
    "OpenForRead",     "ReadAt",      "FileInfo",         "GetAttributes",       "SetAttributes", "RemoveFile",
    "RemoveAtRestart"};

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CFamilyBench b(platform);
    const std::string stopped = b.Put("C:\\WINDOWS\\System32\\a.exe", BodyOf(kExploitCode));
    const std::string stubborn = b.Put("C:\\WINDOWS\\System32\\b.exe", BodyOf(kExploitCode));
    b.Put("C:\\WINDOWS\\System32\\c.exe", BodyOf(kExploitCode));
    const std::string tool = b.Put("C:\\tools\\tool.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "A", "a.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "B", stubborn + " -x");
    b.t.machine.PutString(HKCU, kRunKeyPath, "C", "%system%\\c.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "C", tool);
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", tool);
    b.t.machine.PutString(HKLM, kLogonKey, "run", "a.exe");
    b.t.machine.StartProcess(stopped);
    b.t.machine.StartProcess(stubborn, {true, true, false});
    b.t.machine.StartProcess(tool);

    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanVesser(); });
    EXPECT_TRUE(b.Exists(tool));
    EXPECT_NE(b.Value(HKLM, kRunKeyPath, "Tool"), "<missing>");
    return fired;
}

class VesserFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(VesserFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, VesserFaultSweep, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });
