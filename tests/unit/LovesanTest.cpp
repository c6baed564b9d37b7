// The Lovesan cleaner on the simulated machine: Welchia's services, processes
// and files removed by their fixed places, the system's own programs of the
// same names left alone, Lovesan's names and how the later stages attribute
// them, and that no line claims a step that failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
constexpr std::uint32_t kIdsRemovedFromRegistry = 10;
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

const char* const kServices = "SYSTEM\\CurrentControlSet\\Services";
const char* const kWelchiaServices[] = {"rpcpatch", "RpcTftpd", "WksPatch"};

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string FamilyName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }
std::string PlatformRowName(const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); }

std::string KillLine() { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + "(Lovesan.d alias Welchia)"; }

// Welchia's three programs and the system's own ones of the same names.
struct Welchia {
    std::string winsSvchost, winsDllhost, driversSvchost;
    std::string systemSvchost, systemDllhost;
    std::vector<std::string> Worm() const { return {winsSvchost, winsDllhost, driversSvchost}; }
};

Welchia PlantWelchia(CTestMachine& t) {
    const std::string sys = t.dlg->m_sysDirs[1];
    Welchia w{sys + "\\wins\\svchost.exe", sys + "\\wins\\dllhost.exe", sys + "\\drivers\\svchost.exe",
              sys + "\\svchost.exe", sys + "\\dllhost.exe"};
    for (const std::string& p : {w.winsSvchost, w.winsDllhost, w.driversSvchost, w.systemSvchost, w.systemDllhost}) {
        Put(t, p);
    }
    // The worm hides its copy as a read-only system file.
    t.machine.SetAttributes(w.winsDllhost, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    for (const char* service : kWelchiaServices) {
        const std::string key = std::string(kServices) + "\\" + service;
        t.machine.PutString(HKLM, key, "ImagePath", w.winsSvchost);
        t.machine.PutString(HKLM, key + "\\Security", "Security", "x");
        t.machine.PutString(HKLM, key + "\\Enum", "0", "Root\\LEGACY");
    }
    t.machine.PutString(HKLM, std::string(kServices) + "\\RpcSs", "ImagePath", w.systemSvchost + " -k rpcss");
    return w;
}

class LovesanOnPlatform : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(LovesanOnPlatform, WelchiaLosesItsServicesProcessesAndFiles) {
    CTestMachine t(GetParam());
    t.view.ResetLog();
    const Welchia w = PlantWelchia(t);
    // Started in the order opposite to the stops, so that the lines follow
    // the cleaner's order and not the process list's.
    const std::uint32_t driversPid = t.machine.StartProcess(w.driversSvchost);
    const std::uint32_t dllhostPid = t.machine.StartProcess(w.winsDllhost);
    const std::uint32_t svchostPid = t.machine.StartProcess(w.winsSvchost);
    const std::uint32_t systemPid = t.machine.StartProcess(w.systemSvchost);
    const std::uint32_t systemDllPid = t.machine.StartProcess(w.systemDllhost);

    EXPECT_TRUE(t.dlg->CleanLovesan());

    EXPECT_EQ(t.view.Log(), (std::vector<std::string>{KillLine(), KillLine(), KillLine()}));
    const auto findings = t.view.Findings();
    ASSERT_EQ(findings.size(), 3u);
    const std::vector<std::string> order = {w.winsSvchost, w.winsDllhost, w.driversSvchost};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(findings[i].kind, ActionKind::ProcessStopped);
        EXPECT_EQ(findings[i].target, order[i]);
        EXPECT_EQ(findings[i].family, "Lovesan.d alias Welchia");
    }
    for (const std::uint32_t pid : {driversPid, dllhostPid, svchostPid}) EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_TRUE(t.machine.IsRunning(systemPid));
    EXPECT_TRUE(t.machine.IsRunning(systemDllPid));
    for (const std::string& p : w.Worm()) EXPECT_FALSE(Exists(t, p)) << p;
    EXPECT_TRUE(Exists(t, w.systemSvchost));
    EXPECT_TRUE(Exists(t, w.systemDllhost));
    EXPECT_TRUE(t.machine.RestartDeletions().empty());

    for (const char* service : kWelchiaServices) {
        EXPECT_FALSE(t.machine.HasKey(HKLM, std::string(kServices) + "\\" + service)) << service;
    }
    EXPECT_TRUE(t.machine.HasKey(HKLM, std::string(kServices) + "\\RpcSs"));
}

TEST_P(LovesanOnPlatform, ProcessThatWillNotEndKeepsItsFileWithoutLineOrRestart) {
    CTestMachine t(GetParam());
    t.view.ResetLog();
    const Welchia w = PlantWelchia(t);
    const std::uint32_t pid = t.machine.StartProcess(w.winsSvchost, kStubborn);
    t.machine.StartProcess(w.driversSvchost);

    t.dlg->CleanLovesan();

    EXPECT_EQ(t.view.Log(), std::vector<std::string>{KillLine()});
    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, w.winsSvchost));
    EXPECT_FALSE(Exists(t, w.winsDllhost));
    EXPECT_FALSE(Exists(t, w.driversSvchost));
    EXPECT_TRUE(t.machine.RestartDeletions().empty());
}

// A file whose attributes cannot be reset is not deleted, even where the
// deletion itself would have been allowed.
TEST_P(LovesanOnPlatform, FileIsDeletedOnlyAfterItsAttributesWereReset) {
    CTestMachine t(GetParam());
    const Welchia w = PlantWelchia(t);
    t.machine.SetAttributes(w.driversSvchost, FILE_ATTRIBUTE_ARCHIVE);
    t.machine.FailCall("SetAttributes", "drivers", ERROR_ACCESS_DENIED, 1, true);

    t.dlg->CleanLovesan();
    t.machine.ClearFaults();

    EXPECT_TRUE(Exists(t, w.driversSvchost));
    EXPECT_FALSE(Exists(t, w.winsSvchost));
    EXPECT_FALSE(Exists(t, w.winsDllhost));
}

// The directory read at start-up stands in when the system will not say.
TEST_P(LovesanOnPlatform, UnreadableSystemDirectoryFallsBackToTheOneReadAtStartUp) {
    CTestMachine t(GetParam());
    t.view.ResetLog();
    const Welchia w = PlantWelchia(t);
    const std::uint32_t pid = t.machine.StartProcess(w.winsSvchost);
    t.machine.FailCall("SystemDirectory", "", ERROR_ACCESS_DENIED, 1, true);

    t.dlg->CleanLovesan();
    t.machine.ClearFaults();

    EXPECT_EQ(t.view.Log(), std::vector<std::string>{KillLine()});
    EXPECT_FALSE(t.machine.IsRunning(pid));
    for (const std::string& p : w.Worm()) EXPECT_FALSE(Exists(t, p)) << p;
}

TEST_P(LovesanOnPlatform, CleanMachineGetsNoLineButTheNamesAndExtensions) {
    CTestMachine t(GetParam());
    t.view.ResetLog();
    const std::string sys = t.dlg->m_sysDirs[1];
    Put(t, sys + "\\svchost.exe");
    const std::uint32_t pid = t.machine.StartProcess(sys + "\\svchost.exe");
    t.machine.PutString(HKLM, std::string(kServices) + "\\RpcSs", "ImagePath", sys + "\\svchost.exe -k rpcss");
    const SMachineState before = CaptureMachine(t.machine);

    EXPECT_TRUE(t.dlg->CleanLovesan());

    EXPECT_TRUE(t.view.Log().empty());
    AuditRun(before, CaptureMachine(t.machine), t.view.AllFindings());
    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_EQ(t.dlg->m_virusFileNames,
              (std::vector<std::string>{"enbiei.exe", "mspatch.exe", "mslaugh.exe", "msblast.exe", "index.exe",
                                        "root32.exe", "teekids.exe", "penis32.exe", "windows auto update", "tftp"}));
    EXPECT_EQ(t.dlg->m_familyNames, std::vector<std::string>{"Worm.Win32.Lovesan"});
    EXPECT_EQ(t.dlg->m_familyNameCount[0], 10);
    EXPECT_EQ(t.dlg->m_walker.Extensions(), (std::vector<std::string>{".exe", "*"}));
}

// Blaster's Run value, its running body and a copy elsewhere: each later
// stage names the family. The extension "*" lets the walk see files without
// a dot, such as "tftp".
TEST_P(LovesanOnPlatform, LaterStagesNameTheFamily) {
    CTestMachine t(GetParam());
    const std::string sys = t.dlg->m_sysDirs[1];
    Put(t, sys + "\\msblast.exe");
    Put(t, "C:\\Temp\\tftp", "tftp client");
    Put(t, "C:\\Temp\\tftpd.exe");
    const std::uint32_t pid = t.machine.StartProcess(sys + "\\msblast.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "windows auto update", "msblast.exe");
    t.dlg->CleanLovesan();
    t.view.ResetLog();

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);
    t.dlg->KillRegisteredProcesses();
    t.dlg->m_walker.Walk("C:");

    const std::string family = "Worm.Win32.Lovesan";
    EXPECT_EQ(t.view.Log(), (std::vector<std::string>{
                                T(IDS_VIRUS_FILE) + family + ": msblast.exe" + T(kIdsRemovedFromRegistry),
                                T(IDS_VIRUS_FILE) + family + ": msblast.exe" + T(IDS_REMOVED_FROM_MEMORY),
                                T(IDS_VIRUS_FILE_DELETED) + family + ": C:\\Temp\\tftp",
                                T(IDS_VIRUS_FILE_DELETED) + family + ": " + sys + "\\msblast.exe"}));
    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, "C:\\Temp\\tftpd.exe"));
}

INSTANTIATE_TEST_SUITE_P(Families, LovesanOnPlatform, testing::Values(NT, W9X), PlatformRowName);

// --- fault sweep ------------------------------------------------------------------

namespace {

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    t.view.ResetLog();
    const Welchia w = PlantWelchia(t);
    for (const std::string& p : w.Worm()) t.machine.StartProcess(p);
    t.machine.StartProcess(w.systemSvchost);
    // The services and the files go without lines of their own.
    SAuditOptions options;
    for (const char* service : kWelchiaServices) {
        options.silentKeys.push_back("HKEY_LOCAL_MACHINE\\" + std::string(kServices) + "\\" + service);
    }
    options.silentFiles = w.Worm();
    const int fired = AuditedFaultRun(t.machine, t.view, fault, [&] { t.dlg->CleanLovesan(); }, options);
    EXPECT_TRUE(Exists(t, w.systemSvchost));
    EXPECT_TRUE(Exists(t, w.systemDllhost));
    EXPECT_TRUE(t.machine.HasKey(HKLM, std::string(kServices) + "\\RpcSs"));
    EXPECT_TRUE(t.machine.RestartDeletions().empty());
    return fired;
}

}  // namespace

class LovesanFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(LovesanFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults({"OpenKey", "EnumKey", "DeleteKey", "SystemDirectory", "ProcessSnapshot", "OpenProcess",
                 "TerminateProcess", "FirstModuleFileName", "SetAttributes", "RemoveFile", "GetAttributes"},
                {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, LovesanFaultSweep, testing::Values(NT, W9X), PlatformRowName);
