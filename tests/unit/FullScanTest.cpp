// One whole scan of a machine that carries traces of all twenty families at
// once, on the NT and on the 9x family: the result log line by line, the
// machine afterwards, and the audit that every line stands for a change and
// every change has its line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InfectedMachine.h"

using namespace infected;

namespace {

void ExpectSameLines(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
    const std::size_t n = std::max(log.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string got = i < log.size() ? log[i] : "(none)";
        const std::string want = i < expected.size() ? expected[i] : "(none)";
        if (got != want) {
            ADD_FAILURE() << "line " << i << ":\n  got:      " << got << "\n  expected: " << want;
            return;  // everything after the first difference is shifted
        }
    }
}

class FullScan : public testing::TestWithParam<std::uint32_t> {};

}  // namespace

TEST_P(FullScan, EveryFamilyIsCleanedInOrderAndEveryChangeHasItsLine) {
    CInfectedMachine m(GetParam());
    CSimMachine& machine = m.b.t.machine;
    const SMachineState before = CaptureMachine(machine);

    ASSERT_TRUE(m.b.t.Scan());

    ExpectSameLines(m.b.Log(), m.ExpectedLog());
    AuditRun(before, CaptureMachine(machine), m.b.AllFindings(), AuditOptionsFor(m), PlatformName(GetParam()));

    // Every program the traces started has been stopped.
    for (const std::uint32_t id : m.processes) EXPECT_FALSE(machine.IsRunning(id)) << "process " << id;
    // The bodies and the files the worms dropped are gone; the user's page
    // stays, repaired.
    for (const std::string& path :
         {m.sys + "\\taskmon.exe", m.sys + "\\door.exe", m.sys + "\\door.dll", m.sys + "\\Kernel.dll",
          m.sys + "\\svcinit.exe", m.win + "\\qzrt.exe", m.win + "\\mimail.exe", m.win + "\\wupdcli.exe",
          m.win + "\\Temp\\wuamgrd.exe", m.win + "\\germs0.dbv", m.win + "\\KESTRO-PC.bat",
          std::string("C:\\Pobrane\\setup.exe")}) {
        EXPECT_FALSE(m.b.Exists(path)) << path;
    }
    EXPECT_TRUE(m.b.Exists("C:\\Dokumenty\\index.htm"));
    EXPECT_TRUE(m.b.Exists(m.sys + "\\wscript.exe")) << "the Script Host is stopped, not deleted";

    const auto value = [&](RegKey root, const std::string& key, const std::string& name) {
        return m.b.Value(root, key, name);
    };
    for (const char* name :
         {"Door", "Kernel32", "NAV Live Update", "NetDy", "TaskMon", "windows auto update", "winupd.exe"}) {
        EXPECT_EQ(value(HKLM, kRunKeyPath, name), "<missing>") << name;
    }
    for (const char* name : {"Delete Me", "Mail Drivers", "MsMonk", "qzrt", "RpcSvc", "Windows Update Client"}) {
        EXPECT_EQ(value(HKCU, kRunKeyPath, name), "<missing>") << name;
    }
    // Two values outlive their bodies: nothing registers a name they hold,
    // and the cleaners that found the bodies leave Run values alone.
    EXPECT_EQ(value(HKCU, kRunKeyPath, "Drivers Update"), m.sys + "\\drvupd.exe");
    EXPECT_EQ(value(HKCU, kRunKeyPath, "Sysmon"), "sysmon32.exe");
    EXPECT_EQ(value(HKLM, kRunOnceKey, "SysCheck"), "<missing>");
    EXPECT_EQ(value(HKLM, kRunServicesKey, "SVC Service"), "<missing>");
    if (m.nt) {
        EXPECT_EQ(value(HKLM, kWinLogonKey, "userinit"), ToLowerName(m.sys) + "\\userinit.exe,");
    }
    EXPECT_EQ(value(HKLM, kWinLogonKey, "run"), "explorer.exe");
    EXPECT_EQ(value(HKLM, std::string(kWinLogonKey) + "\\Windows", "run"), "explorer.exe");
    EXPECT_EQ(value(HKCU, kWinLogonKey, "shell"), "explorer.exe");
    EXPECT_EQ(value(HKCR, kWebcheckKey, ""),
              m.nt ? std::string("%SystemRoot%\\System32\\webcheck.dll") : m.sys + "\\webcheck.dll");
    EXPECT_EQ(value(HKCR, "exefile\\shell\\open\\command", ""), "\"%1\" %*");
    EXPECT_EQ(value(HKCU, kPoliciesKey, "DisableRegistryTools"), "<missing>");
    for (const std::string& key : kKeysDeletedWithoutALine) {
        const std::size_t cut = key.find('\\');
        const std::string root = key.substr(0, cut);
        const RegKey handle = root == "HKEY_CURRENT_USER" ? HKCU : root == "HKEY_CLASSES_ROOT" ? HKCR : HKLM;
        EXPECT_FALSE(machine.HasKey(handle, key.substr(cut + 1))) << key;
    }
    EXPECT_FALSE(machine.HasKey(HKLM, std::string(kExplorerKey) + "\\kcSwen"));
    std::string entry;
    machine.GetProfileText("win.ini", "windows", "run", entry, 260);
    EXPECT_EQ(entry, "explorer.exe");
    machine.GetProfileText("system.ini", "boot", "shell", entry, 260);
    EXPECT_EQ(entry, "explorer.exe");
}

INSTANTIATE_TEST_SUITE_P(Platforms, FullScan, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& info) { return PlatformName(info.param); });
