// A whole scan on a machine with a trace of each of several families: their
// lines come in the order the cleaners run, and the process stage after them
// names each family that registered a running program's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FamilyBench.h"
#include "cleaners/CleanerPattern.h"

using namespace bench;

namespace {

// Each expected line is looked for after the one before it; lines of other
// stages and families may stand between them.
void ExpectInOrder(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
    auto from = log.begin();
    for (const std::string& line : expected) {
        const auto at = std::find(from, log.end(), line);
        if (at == log.end()) {
            ADD_FAILURE() << "missing, or out of order: " << line;
            continue;
        }
        from = at + 1;
    }
}

}  // namespace

TEST(ScanOrder, FamilyLinesComeInTheCleanersOrder) {
    CTestMachine t;
    const auto put = [&](const std::string& relative, const std::string& bytes) { t.drive.WriteFile(relative, bytes); };
    // Traces that no classifier pass of an earlier cleaner takes away.
    put("WINDOWS/System32/intrenat.exe", kPlainProgram);
    t.machine.PutString(HKLM, kRunKeyPath, "gremlin", "C:\\WINDOWS\\System32\\intrenat.exe");
    t.machine.PutString(HKLM, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "run", "load32.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "Kernel32", "C:\\WINDOWS\\SYSTEM\\Kernel.dll");
    t.machine.PutString(HKLM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Windows", "run", "x.exe");
    t.machine.PutString(HKLM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "run", "x.exe");
    put("WINDOWS/Temp/door.exe", BodyOf(2));
    t.machine.StartProcess("C:\\WINDOWS\\Temp\\door.exe");
    put("WINDOWS/VisualGuard.exe", kPlainProgram);
    t.machine.PutString(HKLM, kRunKeyPath, "NetDy", "C:\\WINDOWS\\VisualGuard.exe");
    // Named by Randex and by Vesser, running from a drive the scan does
    // not reach.
    const std::uint32_t shared = t.machine.StartProcess("D:\\winlogin.exe");

    ASSERT_TRUE(t.Scan());

    ExpectInOrder(t.view.Log(), {
        T(IDS_VIRUS_FILE_DELETED) + "C:\\WINDOWS\\System32\\intrenat.exe (I-Worm.MyDoom.C)",
        "   " + T(IDS_REGISTRY_KEY_RESTORED) + "(Dumaru)",
        "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + "(VBS\\Redlof)",
        "   " + T(IDS_REGISTRY_KEY_RESTORED) + "(Worm.Randex)",
        "   " + T(IDS_REGISTRY_KEY_RESTORED) + " (Exploit: RPCDCom)",
        // Apdoor's own memory scan: no Run value led to the backdoor.
        T(IDS_VIRUS_FILE) + "C:\\WINDOWS\\Temp\\door.exe (Backdoor:Apdoor)" + T(IDS_DELETED_AT_RESTART),
        ModuleLine("door.exe"),
        "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + "(I-Worm.NetSky (alias Moodown)",
        T(IDS_VIRUS_FILE_DELETED) + "C:\\WINDOWS\\VisualGuard.exe (I-Worm.NetSky.O) ",
        T(IDS_STAGE_REGISTRY),
        KillRegisteredLine("Worm.Randex", "winlogin.exe"),
        KillRegisteredLine("Exploit: RPCDCom", "winlogin.exe"),
        T(IDS_STAGE_MEMORY),
    });
    EXPECT_FALSE(t.machine.IsRunning(shared));
}
