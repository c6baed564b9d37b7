// The Dumaru cleaner on the simulated machine: its three registry repairs,
// what it leaves alone, the names the later stages find under its family,
// and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "FamilyBench.h"
#include "MachineAudit.h"
#include "cleaners/CleanerPattern.h"

using namespace bench;

namespace {

const char* const kWindowsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const char* const kWinlogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char* const kSarsKey = "SOFTWARE\\SARS";

std::string RepairLine() { return "   " + T(IDS_REGISTRY_KEY_RESTORED) + "(Dumaru)"; }

const std::vector<std::string> kDumaruNames = {"load32.exe",  "dllreg.exe",  "vxdmgr32.exe", "windrv.exe",
                                               "guid32.dll",  "rundllx.sys", "vxdload.log",  "windrive.exe",
                                               "winload.log", "rundllw.exe"};

// The worm's three marks, each beside something of the system's own that
// looks alike.
void PlantInfection(CFamilyBench& b) {
    b.t.machine.PutString(HKLM, kWindowsKey, "run", "C:\\WINDOWS\\System32\\load32.exe");
    b.t.machine.PutString(HKLM, kWindowsKey, "AppInit_DLLs", "");
    b.t.machine.PutString(HKCU, kWinlogonKey, "shell", "explorer.exe C:\\WINDOWS\\System32\\dllreg.exe");
    b.t.machine.PutString(HKLM, std::string(kSarsKey) + "\\Keys", "Count", "3");
    b.t.machine.PutString(HKLM, kSarsKey, "Id", "x");
    // The user's own legacy run line and the machine's logon shell are not
    // the worm's.
    b.t.machine.PutString(HKCU, kWindowsKey, "run", "C:\\tools\\clock.exe");
    b.t.machine.PutString(HKLM, kWinlogonKey, "Shell", "Explorer.exe");
    b.t.machine.PutString(HKLM, "SOFTWARE\\SARSTools", "v", "1");
}

}  // namespace

TEST(Dumaru, InfectedMachineIsRepairedLineByLine) {
    CFamilyBench b;
    PlantInfection(b);

    EXPECT_TRUE(b.t.dlg->CleanDumaru());

    EXPECT_EQ(b.Log(), (std::vector<std::string>{RepairLine(), RepairLine()}));
    const auto findings = b.Findings();
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].kind, ActionKind::RegistryValueDeleted);
    EXPECT_EQ(findings[0].target, "HKEY_LOCAL_MACHINE\\" + std::string(kWindowsKey) + "\\run");
    EXPECT_EQ(findings[1].kind, ActionKind::RegistryValueRestored);
    EXPECT_EQ(findings[1].target, "HKEY_CURRENT_USER\\" + std::string(kWinlogonKey) + "\\shell");
    for (const Finding& f : findings) EXPECT_EQ(f.family, "Dumaru");

    EXPECT_EQ(b.Value(HKLM, kWindowsKey, "run"), "<missing>");
    EXPECT_EQ(b.Value(HKLM, kWindowsKey, "AppInit_DLLs"), "");
    EXPECT_EQ(b.Value(HKCU, kWinlogonKey, "shell"), "explorer.exe");
    EXPECT_FALSE(b.t.machine.HasKey(HKLM, kSarsKey));
    EXPECT_TRUE(b.t.machine.HasKey(HKLM, "SOFTWARE"));
    EXPECT_EQ(b.Value(HKCU, kWindowsKey, "run"), "C:\\tools\\clock.exe");
    EXPECT_EQ(b.Value(HKLM, kWinlogonKey, "Shell"), "Explorer.exe");
    EXPECT_TRUE(b.t.machine.HasKey(HKLM, "SOFTWARE\\SARSTools"));

    for (const char* e : {".log", ".dll", ".exe", ".sys"}) EXPECT_TRUE(b.HasExtension(e)) << e;
}

// --- the logon shell ----------------------------------------------------------

namespace {

struct ShellCase {
    const char* name;
    const char* current;  // null: no shell value
    const char* after;
    bool line;
};

void PrintTo(const ShellCase& c, std::ostream* os) { *os << c.name; }

class DumaruShell : public testing::TestWithParam<ShellCase> {};

const ShellCase kShellCases[] = {
    {"WormAfterExplorer", "explorer.exe C:\\WINDOWS\\System32\\dllreg.exe", "explorer.exe", true},
    {"OtherShell", "progman.exe", "explorer.exe", true},
    // Equal up to case is the system's own and is left as it is.
    {"ExplorerInOtherCase", "Explorer.exe", "Explorer.exe", false},
    {"MissingIsNotCreated", nullptr, "<missing>", false},
};

}  // namespace

TEST_P(DumaruShell, IsResetOnlyWhenItDiffers) {
    const ShellCase& c = GetParam();
    CFamilyBench b;
    if (c.current) b.t.machine.PutString(HKCU, kWinlogonKey, "shell", c.current);
    else b.t.machine.PutString(HKCU, kWinlogonKey, "Userinit", "userinit.exe");

    b.t.dlg->CleanDumaru();

    EXPECT_EQ(b.Value(HKCU, kWinlogonKey, "shell"), c.after);
    EXPECT_EQ(b.Log(), c.line ? std::vector<std::string>{RepairLine()} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, DumaruShell, testing::ValuesIn(kShellCases),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
class DumaruOnPlatform : public testing::TestWithParam<std::uint32_t> {};
}  // namespace

TEST_P(DumaruOnPlatform, CleanMachineGetsNoLine) {
    CFamilyBench b(GetParam());
    b.t.machine.PutString(HKLM, kRunKeyPath, "Tool", "C:\\Program Files\\tool.exe");
    b.t.machine.PutString(HKLM, kWindowsKey, "AppInit_DLLs", "");
    b.t.machine.PutString(HKCU, kWindowsKey, "run", "");

    b.t.dlg->CleanDumaru();

    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Findings().empty());
    EXPECT_EQ(b.Value(HKCU, kWindowsKey, "run"), "");
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Tool"), "C:\\Program Files\\tool.exe");
    EXPECT_FALSE(b.t.machine.HasKey(HKCU, kWinlogonKey)) << "nothing is created";
}

INSTANTIATE_TEST_SUITE_P(Families, DumaruOnPlatform, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });

// --- the names, as the later stages report them --------------------------------

TEST(Dumaru, LaterStagesFindItsNamesUnderItsFamily) {
    CFamilyBench b;
    // An earlier family's registration first, so that the family is found by
    // the counts and not by being the first.
    b.t.dlg->CleanMyDoom();
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();
    b.t.dlg->CleanDumaru();

    EXPECT_EQ(b.NamesFrom(namesBefore), kDumaruNames);
    ASSERT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + 1);
    EXPECT_EQ(b.t.dlg->m_familyNames.back(), "Win32/Dumaru.A");
    EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], 10);

    // Programs whose files are elsewhere: the disk walk below finds only
    // the one file planted under a registered name.
    const std::uint32_t first = b.t.machine.StartProcess("D:\\windrv.exe");
    const std::uint32_t last = b.t.machine.StartProcess("D:\\RUNDLLW.EXE");
    const std::uint32_t other = b.t.machine.StartProcess("D:\\rundll32.exe");
    b.t.machine.PutString(HKLM, kRunKeyPath, "Loader", "C:\\WINDOWS\\System32\\LOAD32.EXE -q");
    const std::string log = b.Put("C:\\WINDOWS\\System32\\vxdload.log", "keys");
    const std::string keep = b.Put("C:\\WINDOWS\\System32\\vxdload.txt", "keys");
    b.ClearLog();

    b.t.dlg->CheckRunEntries(b.t.dlg->m_virusFileNames);
    b.t.dlg->KillRegisteredProcesses();
    b.t.dlg->m_walker.Walk("C:");

    EXPECT_EQ(b.Log(), (std::vector<std::string>{RunEntryLine("Win32/Dumaru.A", "load32.exe"),
                                                 KillRegisteredLine("Win32/Dumaru.A", "windrv.exe"),
                                                 KillRegisteredLine("Win32/Dumaru.A", "rundllw.exe"),
                                                 NamedFileLine("Win32/Dumaru.A", log)}));
    EXPECT_FALSE(b.t.machine.IsRunning(first));
    EXPECT_FALSE(b.t.machine.IsRunning(last));
    EXPECT_TRUE(b.t.machine.IsRunning(other));
    EXPECT_EQ(b.Value(HKLM, kRunKeyPath, "Loader"), "<missing>");
    EXPECT_FALSE(b.Exists(log));
    EXPECT_TRUE(b.Exists(keep));
}

// --- fault sweep --------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {"OpenKey",  "CloseKey",  "QueryValue", "SetValue", "SetKeyDefault",
                                              "EnumKey",  "DeleteKey", "DeleteValue"};

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CFamilyBench b(platform);
    PlantInfection(b);
    SAuditOptions options;
    options.silentKeys = {"HKEY_LOCAL_MACHINE\\" + std::string(kSarsKey)};
    const int fired = AuditedFaultRun(b.t.machine, b.t.view, fault, [&] { b.t.dlg->CleanDumaru(); }, options);
    EXPECT_EQ(b.Value(HKCU, kWindowsKey, "run"), "C:\\tools\\clock.exe");
    EXPECT_TRUE(b.t.machine.HasKey(HKLM, "SOFTWARE\\SARSTools"));
    return fired;
}

class DumaruFaultSweep : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(DumaruFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, DumaruFaultSweep, testing::Values(NT, W9X),
                         [](const auto& info) { return PlatformName(info.param); });
