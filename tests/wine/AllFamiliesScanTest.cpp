// One whole scan of the real program on a prefix that carries traces of all
// twenty families at once, laid out the way the worms leave them: bodies in
// the system and Windows directories started from Run values by bare name,
// programs running under the names the families register, hijacked settings,
// marker keys, ini entries, dropped files and an infected page. The log is
// read back in order and the prefix looked at afterwards, as Windows XP and,
// for the branches the 9x family takes (RunServices for Fakesvc and Randex,
// the ini lines, the webcheck data), as Windows 98.
//
// The built-in rule table has no bytes for SpyBot, Mimail and Randex, so
// their cleaners show here by what they do besides: SpyBot's memory scan,
// the names Mimail and Randex register, Randex's logon line and its look
// at RunServices. Every cleaner that follows Run values hands their files to
// the classifier, so a running body is scheduled for deletion at restart by
// each one that meets it before its own cleaner or a memory scan stops it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <ostream>

#include "ProgramDriver.h"
#include "ScanLog.h"
#include "TracePlanter.h"
#include "WineFixtures.h"
#include "scan/ScriptRepair.h"

namespace {

struct SAllFamiliesCase {
    const char* name;
    const wchar_t* wineVersion;
    bool nineX;
};

void PrintTo(const SAllFamiliesCase& row, std::ostream* os) { *os << row.name; }

const SAllFamiliesCase kAllFamiliesCases[] = {
    {"WindowsXp", L"winxp64", false},
    {"Windows98", L"win98", true},
};

class AllFamiliesScan : public testing::TestWithParam<SAllFamiliesCase> {};

// How long a process the program ended may take to be gone.
constexpr DWORD kEndWaitMs = 10000;

const wchar_t kWinLogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kWebcheckKey[] = L"CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
const wchar_t kExplorerKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer";
const wchar_t kPoliciesKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kExeOpenKey[] = L"exefile\\shell\\open\\command";

// Keys the cleaners delete whole, with all below them: Welchia's service,
// Raleka's compatibility flags, Dumaru's own key, Redlof's script engine,
// the markers of MyDoom, Swen and Bagle, and Fakesvc's own key.
struct SMarkerKey {
    HKEY root;
    const wchar_t* key;
};
const SMarkerKey kMarkerKeys[] = {
    {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\RpcTftpd"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\SARS"},
    {HKEY_CLASSES_ROOT, L"dllfile\\ScriptEngine"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\kcSwen"},
    {HKEY_CURRENT_USER, L"Software\\DateTime4"},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\DirectPlugin"},
};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring WindowsDirectory() {
    wchar_t dir[MAX_PATH] = {};
    GetWindowsDirectoryW(dir, MAX_PATH);
    return dir;
}

std::wstring SystemDirectory() {
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &length);
    return name;
}

// The prefix with every family's traces; they go with it.
struct CInfectedPrefix {
    explicit CInfectedPrefix(bool nineX) : nineX(nineX) {
        const auto run = [&](HKEY root, const wchar_t* name, const std::wstring& data) {
            traces.SetString(root, kRunKey, name, data);
        };
        const auto start = [&](const std::wstring& path, int family = 0) {
            processes.push_back({traces.StartBody(path, family), path});
        };

        // Welchia's process and service; the Sobig, Blaster, Raleka and
        // Dumaru programs under the names those families register.
        traces.MakeDirectory(sys + L"\\wins");
        start(sys + L"\\wins\\svchost.exe");
        traces.SetString(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\RpcTftpd\\Parameters", L"Port",
                         L"69");
        start(sys + L"\\winppr32.exe");
        start(sys + L"\\msblast.exe");
        start(sys + L"\\svchost32.exe");
        start(sys + L"\\load32.exe");
        // Redlof's script runs in a Script Host (the system's own stays where
        // it is).
        start(dir.Root() + L"\\wscript.exe");
        // The bodies of MyDoom, of a Bagle under a name of its own, the
        // Randex program, Naliv's, the RPC exploit Vesser spreads, Apdoor,
        // DoomHunter, NetSky.O (known by its Run value) and another NetSky
        // (by its content), Sober, a Dumaru body that no Run value names,
        // Swen, Bagle.M and the program under the name Bagle registers.
        start(sys + L"\\taskmon.exe", 12);
        start(sys + L"\\drvupd.exe", 10);
        start(sys + L"\\msmonk32.exe");
        start(sys + L"\\navlu.exe");
        start(sys + L"\\msrpcx.exe", 20);
        start(sys + L"\\door.exe", 2);
        start(sys + L"\\dhunt.exe", 17);
        start(win + L"\\VisualGuard.exe");
        start(win + L"\\wupdcli.exe", 18);
        start(sys + L"\\sysmon32.exe", 19);
        start(removable.Root() + L"\\setup32.exe", 11);
        start(win + L"\\qzrt.exe", 4);
        start(sys + L"\\winupd.exe");
        start(win + L"\\d3dupdate.exe");
        // Fakesvc starts from the logon list on XP and is caught running; on
        // 9x it starts from RunServices at boot and lies on disk.
        if (nineX) {
            traces.PlantBody(sys + L"\\svcinit.exe", 8);
        } else {
            start(sys + L"\\svcinit.exe", 8);
        }

        // The machine's Run values and the user's; the registry lists them
        // in name order.
        run(HKEY_LOCAL_MACHINE, L"Door", L"door.exe");
        run(HKEY_LOCAL_MACHINE, L"Kernel32", sys + L"\\Kernel.dll");
        traces.PlantBody(sys + L"\\Kernel.dll", 15);  // Redlof's script, its marker where the cleaner looks
        run(HKEY_LOCAL_MACHINE, L"NAV Live Update", sys + L"\\navlu.exe");
        run(HKEY_LOCAL_MACHINE, L"NetDy", win + L"\\VisualGuard.exe");
        run(HKEY_LOCAL_MACHINE, L"TaskMon", L"taskmon.exe");
        run(HKEY_LOCAL_MACHINE, L"windows auto update", L"msblast.exe");
        run(HKEY_LOCAL_MACHINE, L"winupd.exe", sys + L"\\winupd.exe");
        run(HKEY_CURRENT_USER, L"Delete Me", L"dhunt.exe");
        run(HKEY_CURRENT_USER, L"Drivers Update", sys + L"\\drvupd.exe");
        run(HKEY_CURRENT_USER, L"MsMonk", sys + L"\\msmonk32.exe");
        run(HKEY_CURRENT_USER, L"NetWatch32", win + L"\\netwatch32.exe");  // Mimail's
        run(HKEY_CURRENT_USER, L"qzrt", L"qzrt.exe autorun");
        run(HKEY_CURRENT_USER, L"RpcSvc", L"msrpcx.exe");
        run(HKEY_CURRENT_USER, L"Sysmon", L"sysmon32.exe");
        run(HKEY_CURRENT_USER, L"Windows Update Client", L"wupdcli.exe");
        traces.SetString(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SysCheck", win + L"\\d3dupdate.exe -q");
        traces.SetString(HKEY_LOCAL_MACHINE, kRunServicesKey, L"SVC Service", L"\"" + sys + L"\\svcinit.exe\"");
        if (!nineX) {
            traces.SetString(HKEY_LOCAL_MACHINE, kWinLogonKey, L"userinit",
                             sys + L"\\userinit.exe," + sys + L"\\svcinit.exe,");
        }

        // Hijacked settings and marker keys.
        traces.SetString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers",
                         L"x.exe", L"WIN95");
        traces.SetString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"run",
                         L"load32.exe");
        traces.SetString(HKEY_CURRENT_USER, kWinLogonKey, L"shell", L"explorer.exe load32.exe");
        traces.SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SARS\\Config", L"id", L"1");
        traces.SetString(HKEY_CLASSES_ROOT, L"dllfile\\ScriptEngine", L"", L"VBScript");
        traces.SetString(HKEY_LOCAL_MACHINE, std::wstring(kWinLogonKey) + L"\\Windows", L"run", L"msmonk32.exe");
        traces.SetString(HKEY_LOCAL_MACHINE, kWinLogonKey, L"run", L"msrpcx.exe");
        traces.SetString(HKEY_CURRENT_USER,
                         L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version\\Sub", L"x", L"1");
        traces.SetString(HKEY_CLASSES_ROOT, kWebcheckKey, L"", sys + L"\\shimgapi.dll");
        traces.SetDword(HKEY_CURRENT_USER, kPoliciesKey, L"DisableRegistryTools", 1);
        traces.SetString(HKEY_CLASSES_ROOT, kExeOpenKey, L"", L"\"" + win + L"\\qzrt.exe\" \"%1\" %*");
        traces.SetString(HKEY_LOCAL_MACHINE, std::wstring(kExplorerKey) + L"\\kcSwen", L"Install Item", L"qzrt");
        traces.SetString(HKEY_LOCAL_MACHINE, std::wstring(kExplorerKey) + L"\\kcSwen", L"Installed", L"... by Begbie");
        traces.SetString(HKEY_LOCAL_MACHINE, kExplorerKey, L"ZipName", L"qzrt.zip");
        traces.SetString(HKEY_CURRENT_USER, L"Software\\DateTime4", L"uid", L"kc");
        traces.SetString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\DirectPlugin\\Cfg", L"x", L"1");

        // Dropped files, the autostart entries of the ini files, and a page
        // only the disk walk repairs.
        traces.PlantFile(batchFile, "@start qzrt.exe");  // Swen's, named after the computer
        traces.PlantFile(win + L"\\germs0.dbv", "germs");
        traces.PlantFile(win + L"\\videodrv.exe", "MZ");
        traces.PlantFile(win + L"\\merda!.aaa", "opasoft");
        traces.PlantFile(sys + L"\\door.dll", "MZ");
        traces.PlantFile(sys + L"\\dwn.dat", "sobig");
        traces.PlantFile(sys + L"\\svchost.cmd", "raleka");
        traces.PlantFile(sys + L"\\readme.exeopen", "MZ");
        traces.PlantFile(page, "<html>" + std::string(ScriptMarkers()[0].text) + "<p>Strona</p></html>\r\n");
        traces.SetIniEntry(L"win.ini", L"windows", L"run", win + L"\\d3dupdate.exe");
        traces.SetIniEntry(L"system.ini", L"boot", L"shell", L"Explorer.exe load32.exe");
    }

    // The log the scan must write, cleaner by cleaner.
    SScanLog ExpectedLog() const {
        const std::wstring door = sys + L"\\door.exe";
        const std::wstring dhunt = sys + L"\\dhunt.exe";
        const std::wstring sober = sys + L"\\sysmon32.exe";
        const std::wstring exploit = sys + L"\\msrpcx.exe";
        const std::wstring swen = win + L"\\qzrt.exe";
        const std::wstring netsky = win + L"\\wupdcli.exe";
        const std::wstring netskyTag = L"(I-Worm.NetSky (alias Moodown)";
        SScanLog expected;
        std::vector<std::wstring>& c = expected.cleaners;
        // MyDoom, the machine's Run values: the running backdoor can only be
        // scheduled; Redlof's script goes at once; MyDoom's own body is
        // scheduled, then its value, its process and its file go.
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        c.push_back(FileDeletedLine(sys + L"\\Kernel.dll", L" (VBS\\Redlof))"));
        c.push_back(BodyScheduledLine(sys + L"\\taskmon.exe", L" (I-Worm.MyDoom)"));
        c.push_back(RunValueDeletedLine(L"(I-Worm.MyDoom)"));
        c.push_back(ModuleStoppedLine(L" (I-Worm.MyDoom)"));
        c.push_back(FileDeletedLine(sys + L"\\taskmon.exe", L" (I-Worm.MyDoom)"));
        // The user's: the classifier stops a Bagle itself before it deletes it.
        c.push_back(BodyScheduledLine(dhunt, L" (Worm.DoomHunter)"));
        c.push_back(ModuleStoppedLine(L" (I-Worm.Bagle)"));
        c.push_back(FileDeletedLine(sys + L"\\drvupd.exe", L" (I-Worm.Bagle)"));
        c.push_back(BodyScheduledLine(exploit, L" (Exploit: RPCDCom)"));
        c.push_back(BodyScheduledLine(sober, L" (I-Worm.Sober)"));
        c.push_back(L"   " + Text(2) + L" (I-Worm.MyDoom)");  // the webcheck server
        // Lovesan: Welchia's process.
        c.push_back(ModuleStoppedLine(L"(Lovesan.d alias Welchia)"));
        // Dumaru: the machine's "run" line and the user's shell.
        c.push_back(KeyRestoredLine(L"(Dumaru)"));
        c.push_back(KeyRestoredLine(L"(Dumaru)"));
        // Redlof: the Script Host, then the value whose script is gone.
        c.push_back(L"   " + Text(1));
        c.push_back(RunValueDeletedLine(L"(VBS\\Redlof)"));
        // Randex: on 9x it also follows RunServices to the Fakesvc on disk.
        if (nineX) c.push_back(FileDeletedLine(sys + L"\\svcinit.exe", L" (Trojan.Fakesvc)"));
        c.push_back(KeyRestoredLine(L"(Worm.Randex)"));
        // Vesser: the exploit.
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        c.push_back(BodyScheduledLine(dhunt, L" (Worm.DoomHunter)"));
        c.push_back(BodyScheduledLine(exploit, L" (Exploit: RPCDCom)"));
        c.push_back(RunValueDeletedLine(L"(Exploit: RPCDCom)"));
        c.push_back(ModuleStoppedLine(L" (Exploit: RPCDCom)"));
        c.push_back(FileDeletedLine(exploit, L" (Exploit: RPCDCom)"));
        c.push_back(BodyScheduledLine(sober, L" (I-Worm.Sober)"));
        c.push_back(KeyRestoredLine(L" (Exploit: RPCDCom)"));
        // Apdoor finds its body behind "Door", so it runs no memory scan.
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        // DoomHunter.
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        c.push_back(BodyScheduledLine(dhunt, L" (Worm.DoomHunter)"));
        c.push_back(ModuleStoppedLine(L" (I-Worm.DoomHunter)"));
        c.push_back(FileDeletedLine(dhunt, L" (Worm.DoomHunter)"));
        c.push_back(BodyScheduledLine(sober, L" (I-Worm.Sober)"));
        // NetSky: variant O by its value; Swen's body seen in passing in the
        // Windows directory; the body only the classifier knows.
        c.push_back(RunValueDeletedLine(netskyTag));
        c.push_back(ModuleStoppedLine(L" (I-Worm.NetSky.M) "));
        c.push_back(FileDeletedLine(win + L"\\VisualGuard.exe", L" (I-Worm.NetSky.O) "));
        c.push_back(BodyScheduledLine(swen, L" (I-Worm.Swen)"));
        c.push_back(BodyScheduledLine(netsky, L" (I-Worm.MooDown)"));
        c.push_back(RunValueDeletedLine(netskyTag));
        c.push_back(ModuleStoppedLine(L" (I-Worm.NetSky)"));
        c.push_back(FileDeletedLine(netsky, L" (I-Worm.NetSky)"));
        // Sober.
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        c.push_back(BodyScheduledLine(sober, L" (I-Worm.Sober)"));
        c.push_back(ModuleStoppedLine(L" (I-Worm.Sober)"));
        c.push_back(FileDeletedLine(sober, L" (I-Worm.Sober)"));
        // SpyBot: the backdoor once more, then its memory scan stops every
        // body that still runs.
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        c.push_back(BodyScheduledLine(door, L" (Backdoor:Apdoor)"));
        c.push_back(BodyStoppedLine(L"door.exe"));
        c.push_back(BodyScheduledLine(removable.Root() + L"\\setup32.exe", L" (I-Worm.Dumaru)"));
        c.push_back(BodyStoppedLine(L"setup32.exe"));
        c.push_back(BodyScheduledLine(swen, L" (I-Worm.Swen)"));
        c.push_back(BodyStoppedLine(L"qzrt.exe"));
        if (!nineX) {
            c.push_back(BodyScheduledLine(sys + L"\\svcinit.exe", L" (I-Worm.Fakesvc)"));
            c.push_back(BodyStoppedLine(L"svcinit.exe"));
        }
        // Swen: the body, no longer running, goes; then the settings.
        c.push_back(FileDeletedLine(swen, L" (I-Worm.Swen)"));
        c.push_back(KeyRestoredLine(L"(Worm.Swen)"));  // DisableRegistryTools
        c.push_back(KeyRestoredLine(L"(Worm.Swen)"));  // exefile's open command
        c.push_back(Text(6) + L"(Worm.Swen)");
        c.push_back(KeyRestoredLine(L"(Worm.Swen)"));  // ZipName
        // Bagle.M: process, value, file; then a leftover.
        c.push_back(ModuleStoppedLine(L" (I-Worm.Bagle.M) "));
        c.push_back(RunValueDeletedLine(L"(I-Worm.Bagle.M)"));
        c.push_back(FileDeletedLine(sys + L"\\winupd.exe", L" (I-Worm.Bagle.M) "));
        c.push_back(FileDeletedLine(sys + L"\\readme.exeopen", L" (I-Worm.Bagle)"));
        // Fakesvc: on XP the logon list loses the trojan, already stopped;
        // on both its RunServices value goes.
        if (!nineX) {
            c.push_back(Text(4) + Lower(sys) + L"\\svcinit.exe (Trojan.Win32.Fakesvc)");
            c.push_back(L"   " + Text(2));
        }
        c.push_back(KeyRestoredLine(L"(Trojan.Win32.Fakesvc)"));

        expected.registry = {
            NameRemovedFromRegistryLine(L"Backdoor: Apdoor.c", L"door.exe"),
            NameRemovedFromRegistryLine(L"I-Worm.Naliv", L"navlu.exe"),
            NameRemovedFromRegistryLine(L"Worm.Win32.Lovesan", L"msblast.exe"),
            NameRemovedFromRegistryLine(L"Worm.DoomHunter", L"dhunt.exe"),
            NameRemovedFromRegistryLine(L"Worm.Randex", L"msmonk32.exe"),
            NameRemovedFromRegistryLine(L"I-Worm.Mimail", L"netwatch32.exe"),
            NameRemovedFromRegistryLine(L"Worm.Swen", L"qzrt.exe"),
            NameRemovedFromRegistryLine(L"I-Worm.Bagle", L"d3dupdate.exe"),  // RunOnce
            // The programs under registered names, in the order they started.
            NameRemovedFromMemoryLine(L"Sobig.f", L"winppr32.exe"),
            NameRemovedFromMemoryLine(L"Worm.Win32.Lovesan", L"msblast.exe"),
            NameRemovedFromMemoryLine(L"Raleka.a", L"svchost32.exe"),
            NameRemovedFromMemoryLine(L"Win32/Dumaru.A", L"load32.exe"),
            NameRemovedFromMemoryLine(L"Worm.Randex", L"msmonk32.exe"),
            NameRemovedFromMemoryLine(L"I-Worm.Naliv", L"navlu.exe"),
            NameRemovedFromMemoryLine(L"I-Worm.Bagle", L"d3dupdate.exe"),
        };
        if (nineX) {
            expected.registry.push_back(Text(44) + L"win.ini" + Text(45));
            expected.registry.push_back(Text(44) + L"system.ini" + Text(45));
        } else {
            expected.registry.insert(expected.registry.end(), 2, Text(2));
        }
        expected.disks = {
            Text(12) + page + Text(42),
            FileDeletedLine(removable.Root() + L"\\setup32.exe", L" (I-Worm.Dumaru)"),
            NamedFileDeletedLine(L"I-Worm.Bagle", win + L"\\d3dupdate.exe"),
            NamedFileDeletedLine(L"Worm.Swen", win + L"\\germs0.dbv"),
            NamedFileDeletedLine(L"Worm.Opasoft", win + L"\\merda!.aaa"),
            NamedFileDeletedLine(L"Mimail", win + L"\\videodrv.exe"),
            NamedFileDeletedLine(L"Backdoor: Apdoor.c", sys + L"\\door.dll"),
            NamedFileDeletedLine(L"Backdoor: Apdoor.c", door),
            NamedFileDeletedLine(L"Sobig", sys + L"\\dwn.dat"),
            NamedFileDeletedLine(L"Win32/Dumaru.A", sys + L"\\load32.exe"),
            NamedFileDeletedLine(L"Worm.Win32.Lovesan", sys + L"\\msblast.exe"),
            NamedFileDeletedLine(L"Worm.Randex", sys + L"\\msmonk32.exe"),
            NamedFileDeletedLine(L"I-Worm.Naliv", sys + L"\\navlu.exe"),
            NamedFileDeletedLine(L"Raleka.b", sys + L"\\svchost.cmd"),
            NamedFileDeletedLine(L"Raleka.a", sys + L"\\svchost32.exe"),
            NamedFileDeletedLine(L"Sobig.f", sys + L"\\winppr32.exe"),
        };
        return expected;
    }

    const bool nineX;
    const std::wstring win = WindowsDirectory();
    const std::wstring sys = SystemDirectory();
    const std::wstring batchFile = win + L"\\" + ComputerName() + L".bat";
    CPlantedTree dir{L"C:\\kc-all"};
    CPlantedTree removable{std::wstring(kRemovableDrive) + L"\\kc-all"};
    const std::wstring page = dir.Root() + L"\\index.htm";
    // Last, so that it goes first: the processes end and the files go before
    // the folders they lie in.
    CTracePlanter traces;
    struct SProcess {
        DWORD id;
        std::wstring path;
    };
    std::vector<SProcess> processes;
};

std::wstring IniEntry(const wchar_t* file, const wchar_t* section, const wchar_t* key) {
    wchar_t value[260] = {};
    GetPrivateProfileStringW(section, key, L"(none)", value, 260, file);
    return value;
}

}  // namespace

TEST_P(AllFamiliesScan, EveryFamilyIsCleanedInOrder) {
    const SAllFamiliesCase& row = GetParam();
    CScopedWindowsVersion version(row.wineVersion);
    CInfectedPrefix prefix(row.nineX);

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const std::vector<std::wstring> log = ScanToTheEnd(program);
    ExpectScanLog(log, prefix.ExpectedLog());

    // Every program the traces started was ended by the program under test.
    for (const auto& process : prefix.processes) {
        DWORD code = 0;
        if (!prefix.traces.HasEnded(process.id, kEndWaitMs, &code)) {
            ADD_FAILURE() << ToUtf8(process.path) << " still runs";
        } else {
            EXPECT_EQ(code, 1u) << ToUtf8(process.path) << " ended by itself";
        }
    }
    // Every body and dropped file is gone, Welchia's and the batch file
    // without a line of their own; the Script Host stays, and so does the
    // page, repaired.
    const std::wstring& sys = prefix.sys;
    const std::wstring& win = prefix.win;
    std::vector<std::wstring> gone = {prefix.batchFile, prefix.removable.Root() + L"\\setup32.exe"};
    for (const wchar_t* name :
         {L"wins\\svchost.exe", L"taskmon.exe", L"drvupd.exe", L"msrpcx.exe", L"door.exe", L"door.dll", L"dhunt.exe",
          L"sysmon32.exe", L"svcinit.exe", L"Kernel.dll", L"winupd.exe", L"readme.exeopen", L"msmonk32.exe"}) {
        gone.push_back(sys + L"\\" + name);
    }
    for (const wchar_t* name : {L"qzrt.exe", L"wupdcli.exe", L"VisualGuard.exe", L"d3dupdate.exe", L"germs0.dbv",
                                L"videodrv.exe", L"merda!.aaa"}) {
        gone.push_back(win + L"\\" + name);
    }
    for (const std::wstring& path : gone) EXPECT_FALSE(FileExists(path)) << ToUtf8(path) << " is still there";
    // The bodies that could not go while they ran are also down for
    // deletion at the next restart.
    std::vector<std::wstring> scheduled = {prefix.removable.Root() + L"\\setup32.exe", win + L"\\qzrt.exe",
                                           win + L"\\wupdcli.exe"};
    for (const wchar_t* name : {L"door.exe", L"taskmon.exe", L"dhunt.exe", L"msrpcx.exe", L"sysmon32.exe"}) {
        scheduled.push_back(sys + L"\\" + name);
    }
    if (!row.nineX) scheduled.push_back(sys + L"\\svcinit.exe");
    const std::vector<std::wstring> atRestart = FilesDeletedAtRestart();
    for (const std::wstring& path : scheduled) {
        const bool listed = std::any_of(atRestart.begin(), atRestart.end(),
                                        [&](const std::wstring& p) { return _wcsicmp(p.c_str(), path.c_str()) == 0; });
        EXPECT_TRUE(listed) << ToUtf8(path) << " is not down for deletion at restart";
    }
    EXPECT_TRUE(FileExists(prefix.dir.Root() + L"\\wscript.exe"));
    EXPECT_EQ(ReadWholeFile(prefix.page), "<html><p>Strona</p></html>\r\n");

    for (const wchar_t* name :
         {L"Door", L"Kernel32", L"NAV Live Update", L"NetDy", L"TaskMon", L"windows auto update", L"winupd.exe"}) {
        EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, name)) << ToUtf8(name);
    }
    for (const wchar_t* name : {L"Delete Me", L"MsMonk", L"NetWatch32", L"qzrt", L"RpcSvc", L"Windows Update Client"}) {
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, name)) << ToUtf8(name);
    }
    // Two values outlive their bodies: nothing registers a name they hold,
    // and the cleaners that found the bodies leave Run values alone.
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"Drivers Update"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, L"Sysmon"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, L"SysCheck"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunServicesKey, L"SVC Service"));
    if (!row.nineX) {
        EXPECT_EQ(ToUtf8(ReadString(HKEY_LOCAL_MACHINE, kWinLogonKey, L"userinit").value_or(L"(none)")),
                  ToUtf8(Lower(sys) + L"\\userinit.exe,"));
    }
    const auto text = [](HKEY root, const std::wstring& key, const wchar_t* value, DWORD* type = nullptr) {
        return ToUtf8(ReadString(root, key, value, type).value_or(L"(none)"));
    };
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, kWinLogonKey, L"run"), "explorer.exe");
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, std::wstring(kWinLogonKey) + L"\\Windows", L"run"), "explorer.exe");
    EXPECT_EQ(text(HKEY_CURRENT_USER, kWinLogonKey, L"shell"), "explorer.exe");
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"run"));
    DWORD type = 0;
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, kWebcheckKey, L"", &type),
              row.nineX ? ToUtf8(sys + L"\\webcheck.dll") : "%SystemRoot%\\System32\\webcheck.dll");
    EXPECT_EQ(type, static_cast<DWORD>(row.nineX ? REG_SZ : REG_EXPAND_SZ));
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, kExeOpenKey, L""), "\"%1\" %*");
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kPoliciesKey, L"DisableRegistryTools"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kExplorerKey, L"ZipName"));
    for (const SMarkerKey& marker : kMarkerKeys) {
        EXPECT_FALSE(RegKeyExists(marker.root, marker.key)) << ToUtf8(marker.key) << " goes with all below it";
    }
    EXPECT_EQ(ToUtf8(IniEntry(L"win.ini", L"windows", L"run")), "explorer.exe");
    EXPECT_EQ(ToUtf8(IniEntry(L"system.ini", L"boot", L"shell")), "explorer.exe");
    program.ExitWithButton();
}

INSTANTIATE_TEST_SUITE_P(Platforms, AllFamiliesScan, testing::ValuesIn(kAllFamiliesCases),
                         [](const testing::TestParamInfo<SAllFamiliesCase>& info) { return info.param.name; });
