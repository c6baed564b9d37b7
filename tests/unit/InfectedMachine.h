// A simulated machine carrying traces of all twenty families at once, laid
// out the way the worms leave them, and the result log a whole scan of it
// writes. Used by the test of that scan and by the fault sweeps over it.
//
// The classifier looks at the file of every Run value in every cleaner that
// follows Run values, so a body is usually met first by a cleaner that runs
// before its own one. A body that is not running goes there and then, with
// the classifier's line; a running body cannot be deleted, so on the NT
// family each look at it schedules it for deletion at restart (9x has no
// such request) until its own cleaner, or a memory scan, stops it. The
// expected log follows that through, cleaner by cleaner.
#pragma once

#include <string>
#include <vector>

#include "FamilyBench.h"
#include "MachineAudit.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"
#include "scan/ScriptRepair.h"
#include "sys/Text.h"

namespace infected {

using namespace bench;

// The product's table has no bytes for SpyBot, Mimail and Randex; stand-in
// windows let their cleaners' classifier steps run in the whole scan too.
inline constexpr int kSpyBot = 3;
inline constexpr int kMimail = 6;
inline constexpr int kRandex = 9;
inline constexpr std::uint32_t kStandInOffset = 640;
inline const std::uint8_t kSpyBotWindow[16] = {'K', 'C', '-', 'S', 'P', 'Y', 'B', 'O', 'T', '-', 'B', 'O', 'D', 'Y', '-', '3'};
inline const std::uint8_t kMimailWindow[16] = {'K', 'C', '-', 'M', 'I', 'M', 'A', 'I', 'L', '-', 'B', 'O', 'D', 'Y', '-', '6'};
inline const std::uint8_t kRandexWindow[16] = {'K', 'C', '-', 'R', 'A', 'N', 'D', 'E', 'X', '-', 'B', 'O', 'D', 'Y', '-', '9'};

inline std::vector<SignatureRule> TableWithStandIns() {
    return RulesWithStandIns({{kRandex, kStandInOffset, 16, kRandexWindow},
                              {kMimail, kStandInOffset, 16, kMimailWindow},
                              {kSpyBot, kStandInOffset, 16, kSpyBotWindow}});
}

inline std::string StandInBody(const std::uint8_t (&window)[16]) {
    std::string body = "MZ";
    body.resize(kStandInOffset, '\0');
    body.append(reinterpret_cast<const char*>(window), sizeof window);
    return body + "rest of the worm";
}

inline const char* const kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline const char* const kRunServicesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
inline const char* const kWinLogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline const char* const kWebcheckKey = "CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
inline const char* const kExplorerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer";
inline const char* const kPoliciesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// Keys whose whole subtree a restore group deletes: such a deletion writes
// no line, so the audit must not ask for one.
inline const std::vector<std::string> kKeysDeletedWithoutALine = {
    // Welchia's service, Raleka's compatibility flags (every scan), Dumaru's
    // own key, Redlof's script engine, MyDoom's marker, Bagle's marker and
    // Fakesvc's own key.
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\RpcTftpd",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\SARS",
    "HKEY_CLASSES_ROOT\\dllfile\\ScriptEngine",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version",
    "HKEY_CURRENT_USER\\Software\\DateTime4",
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\DirectPlugin",
};

inline std::string Scheduled(const std::string& path, const std::string& tag) {
    return T(IDS_VIRUS_FILE) + path + tag + T(IDS_DELETED_AT_RESTART);
}
inline std::string Deleted(const std::string& path, const std::string& tag) { return T(IDS_VIRUS_FILE_DELETED) + path + tag; }
inline std::string Stopped(const std::string& tag) { return "   " + T(IDS_VIRUS_MODULE_STOPPED) + tag; }
inline std::string RunValueGone(const std::string& tag) { return "   " + T(IDS_VIRUS_RUN_VALUE_DELETED) + tag; }
inline std::string Restored(const std::string& tag) { return "   " + T(IDS_REGISTRY_KEY_RESTORED) + tag; }

// The machine with every family's traces. Paths follow the platform's
// system directory; the bodies the test checks afterwards are kept by name.
struct CInfectedMachine {
    explicit CInfectedMachine(std::uint32_t platform) : b(platform), nt(platform == NT) {
        b.t.dlg->UseRuleTable(TableWithStandIns());
        CSimMachine& m = b.t.machine;
        const auto run = [&](RegKey root, const char* name, const std::string& data) {
            m.PutString(root, kRunKeyPath, name, data);
        };
        const auto start = [&](const std::string& path, const std::string& bytes = kPlainProgram) {
            b.Put(path, bytes);
            processes.push_back(m.StartProcess(path));
            return path;
        };

        // Welchia's process, its service, and the Blaster, Sobig, Raleka and
        // Dumaru programs running under the names those families register.
        start(sys + "\\wins\\svchost.exe");
        m.PutString(HKLM, "SYSTEM\\CurrentControlSet\\Services\\RpcTftpd\\Parameters", "Port", "69");
        start(sys + "\\winppr32.exe");
        start(sys + "\\msblast.exe");
        start(sys + "\\svchost32.exe");
        start(sys + "\\load32.exe");
        // Redlof runs in the Script Host.
        start(sys + "\\wscript.exe");
        // The bodies of MyDoom, of a Bagle under a name of its own, of Randex,
        // Naliv's program, the RPC exploit Vesser spreads, Apdoor, DoomHunter,
        // NetSky.O (known by its Run value) and another NetSky (by its
        // content), Sober, SpyBot (in memory only), Swen, and Bagle.M.
        start(sys + "\\taskmon.exe", BodyOf(12));
        start(sys + "\\drvupd.exe", BodyOf(10));
        start(sys + "\\msmonk32.exe", StandInBody(kRandexWindow));
        start(sys + "\\navlu.exe");
        start(sys + "\\msrpcx.exe", BodyOf(20));
        start(sys + "\\door.exe", BodyOf(2));
        start(sys + "\\dhunt.exe", BodyOf(17));
        start(win + "\\VisualGuard.exe");
        start(win + "\\wupdcli.exe", BodyOf(18));
        start(sys + "\\sysmon32.exe", BodyOf(19));
        start(win + "\\Temp\\wuamgrd.exe", StandInBody(kSpyBotWindow));
        start(win + "\\qzrt.exe", BodyOf(4));
        start(sys + "\\winupd.exe");
        // The name Bagle registers.
        start(win + "\\d3dupdate.exe");
        // Fakesvc starts from the logon list on NT and is caught running;
        // on 9x it starts from RunServices at boot and lies on disk.
        if (nt) {
            start(sys + "\\svcinit.exe", BodyOf(8));
        } else {
            b.Put(sys + "\\svcinit.exe", BodyOf(8));
        }

        // The machine's Run values, in the order the registry lists them.
        run(HKLM, "Door", "door.exe");
        run(HKLM, "Kernel32", sys + "\\Kernel.dll");
        b.Put(sys + "\\Kernel.dll", BodyOf(15));  // Redlof's script, its marker where the cleaner looks
        run(HKLM, "NAV Live Update", sys + "\\navlu.exe");
        run(HKLM, "NetDy", win + "\\VisualGuard.exe");
        run(HKLM, "TaskMon", "taskmon.exe");
        run(HKLM, "windows auto update", "msblast.exe");
        run(HKLM, "winupd.exe", sys + "\\winupd.exe");
        // The user's.
        run(HKCU, "Delete Me", "dhunt.exe");
        run(HKCU, "Drivers Update", sys + "\\drvupd.exe");
        // Mimail copies itself into the Windows directory whatever path the
        // value gives; only its own cleaner looks there by the file name.
        run(HKCU, "Mail Drivers", "Drivers\\MIMAIL.exe");
        b.Put(win + "\\mimail.exe", StandInBody(kMimailWindow));
        run(HKCU, "MsMonk", sys + "\\msmonk32.exe");
        run(HKCU, "qzrt", "qzrt.exe autorun");
        run(HKCU, "RpcSvc", "msrpcx.exe");
        run(HKCU, "Sysmon", "sysmon32.exe");
        run(HKCU, "Windows Update Client", "wupdcli.exe");
        m.PutString(HKLM, kRunOnceKey, "SysCheck", win + "\\d3dupdate.exe -q");
        m.PutString(HKLM, kRunServicesKey, "SVC Service", "\"" + sys + "\\svcinit.exe\"");
        if (nt) {
            m.PutString(HKLM, kWinLogonKey, "userinit", sys + "\\userinit.exe," + sys + "\\svcinit.exe,");
        }

        // Hijacked settings and marker keys.
        m.PutString(HKCU, "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers", "x.exe", "WIN95");
        m.PutString(HKLM, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "run", "load32.exe");
        m.PutString(HKCU, kWinLogonKey, "shell", "explorer.exe load32.exe");
        m.PutString(HKLM, "SOFTWARE\\SARS\\Config", "id", "1");
        m.PutString(HKCR, "dllfile\\ScriptEngine", "", "VBScript");
        m.PutString(HKLM, std::string(kWinLogonKey) + "\\Windows", "run", "msmonk32.exe");
        m.PutString(HKLM, kWinLogonKey, "run", "msrpcx.exe");
        m.PutString(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version\\Sub", "x", "1");
        m.PutString(HKCR, kWebcheckKey, "", sys + "\\shimgapi.dll");
        m.PutDword(HKCU, kPoliciesKey, "DisableRegistryTools", 1);
        m.PutString(HKCR, "exefile\\shell\\open\\command", "", "\"" + win + "\\qzrt.exe\" \"%1\" %*");
        m.PutString(HKLM, std::string(kExplorerKey) + "\\kcSwen", "Install Item", "qzrt");
        m.PutString(HKLM, std::string(kExplorerKey) + "\\kcSwen", "Installed", "... by Begbie");
        m.PutString(HKLM, kExplorerKey, "ZipName", "qzrt.zip");
        m.PutString(HKCU, "Software\\DateTime4", "uid", "kc");
        m.PutString(HKLM, "Software\\Microsoft\\DirectPlugin\\Cfg", "x", "1");

        // Files the worms drop, and what only the disk walk finds.
        b.Put(win + "\\KESTRO-PC.bat", "@start qzrt.exe");  // Swen's, named after the computer
        b.Put(win + "\\germs0.dbv", "germs");
        b.Put(win + "\\videodrv.exe");
        b.Put(win + "\\merda!.aaa", "opasoft");
        b.Put(sys + "\\door.dll");
        b.Put(sys + "\\dwn.dat", "sobig");
        b.Put(sys + "\\svchost.cmd", "raleka");
        b.Put(sys + "\\readme.exeopen", "MZ");
        b.Put("C:\\Pobrane\\setup.exe", BodyOf(11));  // Dumaru
        const ScriptMarker& marker = ScriptMarkers()[0];
        b.Put("C:\\Dokumenty\\index.htm", "<html>" + std::string(marker.text) + "<p>Strona</p></html>\r\n");
        b.t.drive.WriteFile("WINDOWS/win.ini", "[windows]\r\nrun=" + win + "\\d3dupdate.exe\r\n");
        b.t.drive.WriteFile("WINDOWS/system.ini", "[boot]\r\nshell=Explorer.exe load32.exe\r\n");
    }

    // The log the scan must write, stage by stage and cleaner by cleaner.
    std::vector<std::string> ExpectedLog() const {
        std::vector<std::string> log;
        const auto line = [&](const std::string& text) { log.push_back(text); };
        // Only the NT family can schedule a deletion at restart.
        const auto scheduled = [&](const std::string& path, const std::string& tag) {
            if (nt) line(Scheduled(path, tag));
        };
        const std::string door = sys + "\\door.exe";
        const std::string dhunt = sys + "\\dhunt.exe";
        const std::string sober = sys + "\\sysmon32.exe";

        line(T(IDS_STAGE_TEMP_FILES));
        // MyDoom, the machine's Run values: the running backdoor can only be
        // scheduled; Redlof's script goes at once; its own body is scheduled,
        // then its value, its process and its file go.
        scheduled(door, " (Backdoor:Apdoor)");
        line(Deleted(sys + "\\Kernel.dll", " (VBS\\Redlof))"));
        scheduled(sys + "\\taskmon.exe", " (I-Worm.MyDoom)");
        line(RunValueGone("(I-Worm.MyDoom)"));
        line(Stopped(" (I-Worm.MyDoom)"));
        line(Deleted(sys + "\\taskmon.exe", " (I-Worm.MyDoom)"));
        // The user's: a Bagle is stopped by the classifier itself, and goes.
        scheduled(dhunt, " (Worm.DoomHunter)");
        line(Stopped(" (I-Worm.Bagle)"));
        line(Deleted(sys + "\\drvupd.exe", " (I-Worm.Bagle)"));
        scheduled(sys + "\\msmonk32.exe", " (Worm.Randex)");
        scheduled(sys + "\\msrpcx.exe", " (Exploit: RPCDCom)");
        scheduled(sober, " (I-Worm.Sober)");
        // The webcheck server, as the platform registers it.
        line("   " + T(IDS_LOGON_KEY_CHECKED) + " (I-Worm.MyDoom)");
        // Lovesan: Welchia's process.
        line(Stopped("(Lovesan.d alias Welchia)"));
        // Dumaru: the machine's "run" line and the user's shell.
        line(Restored("(Dumaru)"));
        line(Restored("(Dumaru)"));
        // Redlof: the Script Host, then the value whose script is gone.
        line("   " + T(IDS_SCRIPT_HOST_STOPPED));
        line(RunValueGone("(VBS\\Redlof)"));
        // Randex: its body; every registered program that runs goes first.
        scheduled(sys + "\\msmonk32.exe", " (Worm.Randex)");
        line(KillRegisteredLine("Sobig.f", "winppr32.exe"));
        line(KillRegisteredLine("Worm.Win32.Lovesan", "msblast.exe"));
        line(KillRegisteredLine("Raleka.a", "svchost32.exe"));
        line(KillRegisteredLine("Win32/Dumaru.A", "load32.exe"));
        line(KillRegisteredLine("Worm.Randex", "msmonk32.exe"));
        line(Deleted(sys + "\\msmonk32.exe", " (Worm.Randex)"));
        // On 9x it also follows RunServices, where Fakesvc waits on disk.
        if (!nt) line(Deleted(sys + "\\svcinit.exe", " (Trojan.Fakesvc)"));
        line(Restored("(Worm.Randex)"));
        // Vesser: the exploit.
        scheduled(door, " (Backdoor:Apdoor)");
        scheduled(dhunt, " (Worm.DoomHunter)");
        scheduled(sys + "\\msrpcx.exe", " (Exploit: RPCDCom)");
        line(RunValueGone("(Exploit: RPCDCom)"));
        line(Stopped(" (Exploit: RPCDCom)"));
        line(Deleted(sys + "\\msrpcx.exe", " (Exploit: RPCDCom)"));
        scheduled(sober, " (I-Worm.Sober)");
        line(Restored(" (Exploit: RPCDCom)"));
        // Apdoor finds its body, so it runs no memory scan of its own.
        scheduled(door, " (Backdoor:Apdoor)");
        // DoomHunter.
        scheduled(door, " (Backdoor:Apdoor)");
        scheduled(dhunt, " (Worm.DoomHunter)");
        line(Stopped(" (I-Worm.DoomHunter)"));
        line(Deleted(dhunt, " (Worm.DoomHunter)"));
        scheduled(sober, " (I-Worm.Sober)");
        // NetSky: variant O by its value; Swen's body seen in passing; the
        // body only the classifier knows.
        line(RunValueGone("(I-Worm.NetSky (alias Moodown)"));
        line(Stopped(" (I-Worm.NetSky.M) "));
        line(Deleted(win + "\\VisualGuard.exe", " (I-Worm.NetSky.O) "));
        scheduled(win + "\\qzrt.exe", " (I-Worm.Swen)");
        scheduled(win + "\\wupdcli.exe", " (I-Worm.MooDown)");
        line(RunValueGone("(I-Worm.NetSky (alias Moodown)"));
        line(Stopped(" (I-Worm.NetSky)"));
        line(Deleted(win + "\\wupdcli.exe", " (I-Worm.NetSky)"));
        // Sober.
        scheduled(door, " (Backdoor:Apdoor)");
        scheduled(sober, " (I-Worm.Sober)");
        line(Stopped(" (I-Worm.Sober)"));
        line(Deleted(sober, " (I-Worm.Sober)"));
        // SpyBot: the backdoor once more, then its memory scan stops every
        // body still running, its own among them.
        scheduled(door, " (Backdoor:Apdoor)");
        scheduled(door, " (Backdoor:Apdoor)");
        line(ModuleLine("door.exe"));
        scheduled(win + "\\Temp\\wuamgrd.exe", " (SpyBot)");
        line(ModuleLine("wuamgrd.exe"));
        scheduled(win + "\\qzrt.exe", " (I-Worm.Swen)");
        line(ModuleLine("qzrt.exe"));
        if (nt) {
            scheduled(sys + "\\svcinit.exe", " (I-Worm.Fakesvc)");
            line(ModuleLine("svcinit.exe"));
        }
        // Swen: the body, no longer running, goes; then the settings.
        line(Deleted(win + "\\qzrt.exe", " (I-Worm.Swen)"));
        line(Restored("(Worm.Swen)"));  // DisableRegistryTools
        line(Restored("(Worm.Swen)"));  // exefile's open command
        line(T(IDS_VIRUS_KEY_DELETED) + "(Worm.Swen)");
        line(Restored("(Worm.Swen)"));  // ZipName
        // Opasoft has no body here. Mimail: the copy in the Windows directory.
        line(Deleted(win + "\\mimail.exe", " (Worm.Mimail)"));
        // Bagle.M: process, value, file; then a leftover.
        line(Stopped(" (I-Worm.Bagle.M) "));
        line(RunValueGone("(I-Worm.Bagle.M)"));
        line(Deleted(sys + "\\winupd.exe", " (I-Worm.Bagle.M) "));
        line(Deleted(sys + "\\readme.exeopen", " (I-Worm.Bagle)"));
        // Fakesvc: on NT the logon list loses the trojan (already stopped);
        // on both its RunServices value goes.
        if (nt) {
            line(T(IDS_FILE_DELETED) + ToLowerName(sys) + "\\svcinit.exe (Trojan.Win32.Fakesvc)");
            line("   " + T(IDS_LOGON_KEY_CHECKED));
        }
        line(Restored("(Trojan.Win32.Fakesvc)"));

        line(T(IDS_STAGE_REGISTRY));
        line(RunEntryLine("Backdoor: Apdoor.c", "door.exe"));
        line(RunEntryLine("I-Worm.Naliv", "navlu.exe"));
        line(RunEntryLine("Worm.Win32.Lovesan", "msblast.exe"));
        line(RunEntryLine("Worm.DoomHunter", "dhunt.exe"));
        line(RunEntryLine("I-Worm.Mimail", "mimail.exe"));
        line(RunEntryLine("Worm.Randex", "msmonk32.exe"));
        line(RunEntryLine("Worm.Swen", "qzrt.exe"));
        line(RunEntryLine("I-Worm.Bagle", "d3dupdate.exe"));  // RunOnce
        line(KillRegisteredLine("I-Worm.Naliv", "navlu.exe"));
        line(KillRegisteredLine("I-Worm.Bagle", "d3dupdate.exe"));
        if (nt) {
            line(T(IDS_LOGON_KEY_CHECKED));
            line(T(IDS_LOGON_KEY_CHECKED));
        } else {
            line(T(44) + "win.ini" + T(45));
            line(T(44) + "system.ini" + T(45));
        }
        line(T(IDS_STAGE_REGISTRY_DONE));
        line(T(IDS_STAGE_MEMORY));
        line(T(IDS_STAGE_MEMORY_DONE));
        line(T(IDS_STAGE_DISKS));
        line(T(IDS_INFECTED_FILE) + "C:\\Dokumenty\\index.htm" + T(IDS_REPAIRED));
        line(Deleted("C:\\Pobrane\\setup.exe", " (I-Worm.Dumaru)"));
        line(NamedFileLine("I-Worm.Bagle", win + "\\d3dupdate.exe"));
        line(NamedFileLine("Worm.Swen", win + "\\germs0.dbv"));
        line(NamedFileLine("Worm.Opasoft", win + "\\merda!.aaa"));
        line(NamedFileLine("Backdoor: Apdoor.c", sys + "\\door.dll"));
        line(NamedFileLine("Backdoor: Apdoor.c", door));
        line(NamedFileLine("Sobig", sys + "\\dwn.dat"));
        line(NamedFileLine("Win32/Dumaru.A", sys + "\\load32.exe"));
        line(NamedFileLine("Worm.Win32.Lovesan", sys + "\\msblast.exe"));
        line(NamedFileLine("I-Worm.Naliv", sys + "\\navlu.exe"));
        line(NamedFileLine("Raleka.b", sys + "\\svchost.cmd"));
        line(NamedFileLine("Raleka.a", sys + "\\svchost32.exe"));
        line(NamedFileLine("Sobig.f", sys + "\\winppr32.exe"));
        line(NamedFileLine("SpyBot!p2p", win + "\\Temp\\wuamgrd.exe"));
        line(NamedFileLine("Mimail", win + "\\videodrv.exe"));
        line(T(IDS_STAGE_DISKS_DONE));
        return log;
    }

    CFamilyBench b;
    const bool nt;
    const std::string win = "C:\\WINDOWS";
    const std::string sys = nt ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM";
    std::vector<std::uint32_t> processes;
};

// What a whole scan of the machine changes without a line, by design.
inline SAuditOptions AuditOptionsFor(const CInfectedMachine& m) {
    SAuditOptions options;
    options.silentKeys = kKeysDeletedWithoutALine;
    // Welchia's file goes without a line once its process is stopped; Swen's
    // batch file goes without one whenever a Swen body is found.
    options.silentFiles = {m.sys + "\\wins\\svchost.exe", m.win + "\\KESTRO-PC.bat"};
    return options;
}

}  // namespace infected
