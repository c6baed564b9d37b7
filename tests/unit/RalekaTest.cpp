// The Raleka cleaner on the simulated machine: the names of its two variants
// and how the later stages attribute them, the user's compatibility key that
// goes on every scan without a line, and a fault sweep over that deletion.
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
const RegKey HKCU = winroot::kCurrentUser;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;

const char* const kCurrentVersion = "Software\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kAppCompat = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags";
const char* const kAppCompatFinding = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags";

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string FamilyName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }

// The compatibility key as the system fills it, with a subkey of its own,
// and the neighbours the deletion must leave.
void PlantAppCompat(CSimMachine& m) {
    m.PutString(HKCU, std::string(kAppCompat) + "\\Layers", "C:\\Games\\old.exe", "WIN98");
    m.PutString(HKCU, kAppCompat, "Flags", "1");
    m.PutString(HKCU, std::string(kCurrentVersion) + "\\Windows", "Device", "printer");
    m.PutString(HKLM, std::string(kAppCompat) + "\\Layers", "C:\\Games\\old.exe", "WIN98");
}

class RalekaOnPlatform : public testing::TestWithParam<std::uint32_t> {};

std::string PlatformRowName(const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); }

}  // namespace

TEST_P(RalekaOnPlatform, DeletesTheUsersCompatibilityKeySilentlyAndRegistersBothVariants) {
    CTestMachine t(GetParam());
    t.view.ResetLog();
    PlantAppCompat(t.machine);
    const SMachineState before = CaptureMachine(t.machine);

    EXPECT_TRUE(t.dlg->CleanRaleka());

    EXPECT_TRUE(t.view.Log().empty());
    SAuditOptions options;
    options.silentKeys = {kAppCompatFinding};
    AuditRun(before, CaptureMachine(t.machine), t.view.AllFindings(), options);
    EXPECT_FALSE(t.machine.HasKey(HKCU, kAppCompat));
    EXPECT_TRUE(t.machine.HasKey(HKCU, std::string(kCurrentVersion) + "\\Windows"));
    EXPECT_TRUE(t.machine.HasKey(HKLM, std::string(kAppCompat) + "\\Layers")) << "only the user's key goes";

    EXPECT_EQ(t.dlg->m_familyNames, (std::vector<std::string>{"Raleka.b", "Raleka.a"}));
    EXPECT_EQ(t.dlg->m_familyNameCount[0], 2);
    EXPECT_EQ(t.dlg->m_familyNameCount[1], 4);
    EXPECT_EQ(t.dlg->m_virusFileNames, (std::vector<std::string>{"scvhost.ini", "svchost.cmd", "ntrootkit.exe",
                                                                 "svchost32.exe", "ntrootkit.reg", "down.com"}));
    EXPECT_EQ(t.dlg->m_walker.Extensions(), (std::vector<std::string>{".exe", ".com", ".reg", ".ini", ".cmd"}));
}

TEST_P(RalekaOnPlatform, MachineWithoutTheKeyIsLeftAsItWas) {
    CTestMachine t(GetParam());
    t.view.ResetLog();
    t.machine.PutString(HKCU, std::string(kCurrentVersion) + "\\Windows", "Device", "printer");
    const SMachineState before = CaptureMachine(t.machine);

    EXPECT_TRUE(t.dlg->CleanRaleka());

    EXPECT_TRUE(t.view.Log().empty());
    AuditRun(before, CaptureMachine(t.machine), t.view.AllFindings());
}

// After the cleaner a running "svchost32.exe" is stopped under variant a, a
// file "svchost.cmd" deleted under variant b; the system's own svchost.exe,
// one letter away from the worm's names, keeps running.
TEST_P(RalekaOnPlatform, LaterStagesNameTheVariant) {
    CTestMachine t(GetParam());
    const std::string sys = t.dlg->m_sysDirs[1];
    Put(t, sys + "\\svchost32.exe");
    Put(t, sys + "\\svchost.exe");
    Put(t, "C:\\Temp\\svchost.cmd", "@echo off");
    Put(t, "C:\\Temp\\svchost.bat", "@echo off");
    const std::uint32_t worm = t.machine.StartProcess(sys + "\\svchost32.exe");
    const std::uint32_t system = t.machine.StartProcess(sys + "\\svchost.exe");
    t.dlg->CleanRaleka();
    t.view.ResetLog();

    t.dlg->KillRegisteredProcesses();
    t.dlg->m_walker.Walk("C:");

    EXPECT_EQ(t.view.Log(), (std::vector<std::string>{
                                T(IDS_VIRUS_FILE) + "Raleka.a: svchost32.exe" + T(IDS_REMOVED_FROM_MEMORY),
                                T(IDS_VIRUS_FILE_DELETED) + "Raleka.b: C:\\Temp\\svchost.cmd",
                                T(IDS_VIRUS_FILE_DELETED) + "Raleka.a: " + sys + "\\svchost32.exe"}));
    EXPECT_FALSE(t.machine.IsRunning(worm));
    EXPECT_TRUE(t.machine.IsRunning(system));
    EXPECT_TRUE(Exists(t, sys + "\\svchost.exe"));
    EXPECT_TRUE(Exists(t, "C:\\Temp\\svchost.bat"));
}

INSTANTIATE_TEST_SUITE_P(Families, RalekaOnPlatform, testing::Values(NT, W9X), PlatformRowName);

TEST(RalekaScan, RunningBodyIsReportedUnderVariantA) {
    CTestMachine t;
    const std::string body = t.dlg->m_sysDirs[1] + "\\svchost32.exe";
    Put(t, body);
    const std::uint32_t pid = t.machine.StartProcess(body);

    ASSERT_TRUE(t.Scan());

    const std::vector<std::string> stages = {T(34), T(35), T(36), T(37), T(38), T(39), T(40)};
    std::vector<std::string> findings;
    for (const std::string& line : t.view.Log()) {
        if (std::find(stages.begin(), stages.end(), line) == stages.end()) findings.push_back(line);
    }
    EXPECT_EQ(findings, (std::vector<std::string>{
                            T(IDS_VIRUS_FILE) + "Raleka.a: svchost32.exe" + T(IDS_REMOVED_FROM_MEMORY),
                            T(IDS_VIRUS_FILE_DELETED) + "Raleka.a: " + body}));
    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_FALSE(Exists(t, body));
}

// --- fault sweep ------------------------------------------------------------------

namespace {

int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    t.view.ResetLog();
    PlantAppCompat(t.machine);
    // More subkeys than one pass of the NT deletion takes.
    for (const char* sub : {"A", "B", "C", "D"}) {
        t.machine.PutString(HKCU, std::string(kAppCompat) + "\\Layers\\" + sub, "v", "x");
    }
    SAuditOptions options;
    options.silentKeys = {kAppCompatFinding};
    const int fired = AuditedFaultRun(t.machine, t.view, fault, [&] { t.dlg->CleanRaleka(); }, options);
    EXPECT_TRUE(t.view.Log().empty());
    EXPECT_TRUE(t.machine.HasKey(HKCU, std::string(kCurrentVersion) + "\\Windows"));
    EXPECT_EQ(t.dlg->m_familyNames.size(), 2u) << "the names are registered whatever fails";
    return fired;
}

}  // namespace

class RalekaFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(RalekaFaultSweep, NothingButTheKeyIsTouched) {
    const std::uint32_t platform = GetParam();
    SweepFaults({"OpenKey", "EnumKey", "DeleteKey"}, {ERROR_ACCESS_DENIED},
                [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, RalekaFaultSweep, testing::Values(NT, W9X), PlatformRowName);
