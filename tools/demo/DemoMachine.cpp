#include "DemoMachine.h"

#include <windows.h>

#include "WineFixtures.h"

namespace {

enum class ETrace {
    RunValue,        // a Run value: root, name, command
    RegistryString,  // a hijacked setting or a marker key's value: root, key, value, data
    RegistryDword,   // root, key, value, number
    File,            // a file the worm drops: path, content
    Body,            // a copy of the body sleeper lying on disk: path, rule window family
    RunningBody,     // a copy of the body sleeper, started: path, rule window family (0: none)
    IniEntry,        // file, section, key, value
};

struct SDemoTrace {
    const char* family;
    ETrace kind;
    HKEY root;
    std::wstring place;    // key, file path, or ini file
    std::wstring section;  // ini section
    std::wstring name;     // value name or ini key
    std::wstring data;     // value data, file content, ini value
    DWORD number;          // dword data, or the rule window's family
    // A Run value's body, for the families known only by the content of the
    // file a value starts: their cleaners delete the body and leave the
    // value, which then starts nothing. Such a value counts as removed once
    // its body is gone.
    std::wstring body;
};

SDemoTrace RunValue(const char* family, HKEY root, const wchar_t* name, const wchar_t* command,
                    const wchar_t* body = L"") {
    return {family, ETrace::RunValue, root, kRunKey, L"", name, command, 0, body};
}
SDemoTrace Setting(const char* family, HKEY root, const wchar_t* key, const wchar_t* value, const wchar_t* data) {
    return {family, ETrace::RegistryString, root, key, L"", value, data, 0, L""};
}
SDemoTrace Setting(const char* family, HKEY root, const wchar_t* key, const wchar_t* value, DWORD data) {
    return {family, ETrace::RegistryDword, root, key, L"", value, L"", data, L""};
}
SDemoTrace File(const char* family, const wchar_t* path, const wchar_t* content) {
    return {family, ETrace::File, nullptr, path, L"", L"", content, 0, L""};
}
SDemoTrace Body(const char* family, const wchar_t* path, int ruleFamily) {
    return {family, ETrace::Body, nullptr, path, L"", L"", L"", static_cast<DWORD>(ruleFamily), L""};
}
SDemoTrace RunningBody(const char* family, const wchar_t* path, int ruleFamily) {
    return {family, ETrace::RunningBody, nullptr, path, L"", L"", L"", static_cast<DWORD>(ruleFamily), L""};
}
SDemoTrace IniEntry(const char* family, const wchar_t* file, const wchar_t* section, const wchar_t* key,
                    const wchar_t* value) {
    return {family, ETrace::IniEntry, nullptr, file, section, key, value, 0, L""};
}

// Family codes of the classifier, for bodies that carry a rule window. The
// table has no bytes for SpyBot, Mimail and Randex: their cleaners show by
// the names they register and by SpyBot's memory scan.
constexpr int kApdoor = 2;
constexpr int kSwen = 4;
constexpr int kFakesvc = 8;
constexpr int kDumaru = 11;
constexpr int kMyDoom = 12;
constexpr int kRedlof = 15;
constexpr int kDoomHunter = 17;
constexpr int kNetSky = 18;
constexpr int kSober = 19;
constexpr int kRpcExploit = 20;

const wchar_t kWebcheckKey[] = L"CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
const wchar_t kPoliciesKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kWinLogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kExplorerKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer";

// The machine as the worms left it. A new family appends its rows; a body
// is listed before the Run value that starts it.
const std::vector<SDemoTrace>& DemoTraces() {
    static const std::vector<SDemoTrace> traces = {
        // NetSky.O by its Run value, and a body only the classifier knows.
        RunningBody("I-Worm.NetSky", L"C:\\windows\\VisualGuard.exe", 0),
        RunValue("I-Worm.NetSky", HKEY_LOCAL_MACHINE, L"NetDy", L"C:\\windows\\VisualGuard.exe"),
        RunningBody("I-Worm.NetSky", L"C:\\windows\\wupdcli.exe", kNetSky),
        RunValue("I-Worm.NetSky", HKEY_CURRENT_USER, L"Windows Update Client", L"%systemroot%\\wupdcli.exe"),
        // MyDoom: a body in the system directory started by its bare name,
        // and the webcheck component pointed at the worm's library.
        RunningBody("I-Worm.MyDoom", L"C:\\windows\\system32\\taskmon.exe", kMyDoom),
        RunValue("I-Worm.MyDoom", HKEY_LOCAL_MACHINE, L"TaskMon", L"taskmon.exe"),
        Setting("I-Worm.MyDoom", HKEY_CLASSES_ROOT, kWebcheckKey, L"", L"C:\\windows\\system32\\shimgapi.dll"),
        // Bagle.M by its Run value, a copy under the name Bagle registers
        // started from win.ini, and a leftover in the system directory.
        RunningBody("I-Worm.Bagle", L"C:\\windows\\system32\\winupd.exe", 0),
        RunValue("I-Worm.Bagle", HKEY_CURRENT_USER, L"winupd.exe", L"C:\\windows\\system32\\winupd.exe"),
        RunningBody("I-Worm.Bagle", L"C:\\windows\\system32\\d3dupdate.exe", 0),
        IniEntry("I-Worm.Bagle", L"win.ini", L"windows", L"run", L"C:\\windows\\system32\\d3dupdate.exe"),
        File("I-Worm.Bagle", L"C:\\windows\\system32\\readme.exeopen", L"MZ"),
        // Swen under a random name, the open command of programs pointed at
        // it, the registry editor blocked, and its data file.
        RunningBody("Worm.Swen", L"C:\\windows\\qzrtwvux.exe", kSwen),
        RunValue("Worm.Swen", HKEY_LOCAL_MACHINE, L"qzrtwvux", L"\"C:\\windows\\qzrtwvux.exe\" autorun"),
        Setting("Worm.Swen", HKEY_CLASSES_ROOT, L"exefile\\shell\\open\\command", L"",
                L"\"C:\\windows\\qzrtwvux.exe\" \"%1\" %*"),
        Setting("Worm.Swen", HKEY_CURRENT_USER, kPoliciesKey, L"DisableRegistryTools", 1),
        File("Worm.Swen", L"C:\\windows\\germs0.dbv", L"germs"),
        Setting("Worm.Swen", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\qzrt",
                L"Install Item", L"qzrtwvux"),
        Setting("Worm.Swen", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\qzrt",
                L"Installed", L"... by Begbie"),
        Setting("Worm.Swen", HKEY_LOCAL_MACHINE, kExplorerKey, L"ZipName", L"qzrtwvux.zip"),
        // MyDoom's marker key; Bagle's.
        Setting("I-Worm.MyDoom", HKEY_CURRENT_USER,
                L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Version", L"", L"1"),
        Setting("I-Worm.Bagle", HKEY_CURRENT_USER, L"Software\\DateTime4", L"uid", L"kc"),
        // Sobig.F running under its name, and its data file.
        RunningBody("Sobig", L"C:\\windows\\system32\\winppr32.exe", 0),
        File("Sobig", L"C:\\windows\\system32\\dwn.dat", L"sobig"),
        // Welchia in its own folder with its service; Blaster started from
        // the Run value it is known by.
        RunningBody("Lovesan.d (Welchia)", L"C:\\windows\\system32\\wins\\svchost.exe", 0),
        Setting("Lovesan.d (Welchia)", HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\RpcTftpd\\Parameters",
                L"Port", L"69"),
        RunningBody("Worm.Win32.Lovesan", L"C:\\windows\\system32\\msblast.exe", 0),
        RunValue("Worm.Win32.Lovesan", HKEY_LOCAL_MACHINE, L"windows auto update", L"msblast.exe"),
        // Mimail under its fixed names.
        File("Mimail", L"C:\\windows\\videodrv.exe", L"MZ"),
        RunningBody("I-Worm.Mimail", L"C:\\windows\\netwatch32.exe", 0),
        RunValue("I-Worm.Mimail", HKEY_CURRENT_USER, L"NetWatch32", L"C:\\windows\\netwatch32.exe"),
        // Raleka: its compatibility flags, a program and a script.
        Setting("Raleka", HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers",
                L"svchost32.exe", L"WIN95"),
        RunningBody("Raleka", L"C:\\windows\\system32\\svchost32.exe", 0),
        File("Raleka", L"C:\\windows\\system32\\svchost.cmd", L"raleka"),
        // Dumaru: its program, the logon lines it starts from, its own key.
        RunningBody("Win32/Dumaru", L"C:\\windows\\system32\\load32.exe", 0),
        Setting("Win32/Dumaru", HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"run",
                L"load32.exe"),
        Setting("Win32/Dumaru", HKEY_CURRENT_USER, kWinLogonKey, L"shell", L"explorer.exe load32.exe"),
        Setting("Win32/Dumaru", HKEY_LOCAL_MACHINE, L"SOFTWARE\\SARS\\Config", L"id", L"1"),
        IniEntry("Win32/Dumaru", L"system.ini", L"boot", L"shell", L"Explorer.exe load32.exe"),
        // Redlof's script started as a library, and its script engine keys.
        Body("VBS\\Redlof", L"C:\\windows\\system32\\Kernel.dll", kRedlof),
        RunValue("VBS\\Redlof", HKEY_LOCAL_MACHINE, L"Kernel32", L"C:\\windows\\system32\\Kernel.dll"),
        Setting("VBS\\Redlof", HKEY_CLASSES_ROOT, L"dllfile\\ScriptEngine", L"", L"VBScript"),
        // Randex under one of its names, and the logon line it sets.
        RunningBody("Worm.Randex", L"C:\\windows\\system32\\msmonk32.exe", 0),
        RunValue("Worm.Randex", HKEY_CURRENT_USER, L"MsMonk", L"C:\\windows\\system32\\msmonk32.exe"),
        Setting("Worm.Randex", HKEY_LOCAL_MACHINE,
                L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Windows", L"run", L"msmonk32.exe"),
        // Naliv, started from the value it is known by.
        RunningBody("I-Worm.Naliv", L"C:\\windows\\system32\\navlu.exe", 0),
        RunValue("I-Worm.Naliv", HKEY_LOCAL_MACHINE, L"NAV Live Update", L"C:\\windows\\system32\\navlu.exe"),
        // The RPC exploit Vesser spreads, and the logon line it sets.
        RunningBody("Worm.Vesser", L"C:\\windows\\system32\\msrpcx.exe", kRpcExploit),
        RunValue("Worm.Vesser", HKEY_CURRENT_USER, L"RpcSvc", L"msrpcx.exe"),
        Setting("Worm.Vesser", HKEY_LOCAL_MACHINE, kWinLogonKey, L"run", L"msrpcx.exe"),
        // Apdoor, its library beside it.
        RunningBody("Backdoor.Apdoor", L"C:\\windows\\system32\\door.exe", kApdoor),
        RunValue("Backdoor.Apdoor", HKEY_LOCAL_MACHINE, L"Door", L"door.exe"),
        File("Backdoor.Apdoor", L"C:\\windows\\system32\\door.dll", L"MZ"),
        // DoomHunter under the Run value it is known by.
        RunningBody("Worm.DoomHunter", L"C:\\windows\\system32\\dhunt.exe", kDoomHunter),
        RunValue("Worm.DoomHunter", HKEY_CURRENT_USER, L"Delete Me", L"dhunt.exe"),
        // Sober, known only by its body's content.
        RunningBody("I-Worm.Sober", L"C:\\windows\\system32\\sysmon32.exe", kSober),
        RunValue("I-Worm.Sober", HKEY_CURRENT_USER, L"Sysmon", L"sysmon32.exe", L"C:\\windows\\system32\\sysmon32.exe"),
        // A body no autostart place names, running from the removable drive:
        // the memory scan the SpyBot cleaner runs is what finds it.
        RunningBody("Win32/Dumaru", L"D:\\setup32.exe", kDumaru),
        // Opasoft's dropping.
        File("Worm.Opasoft", L"C:\\windows\\merda!.aaa", L"opasoft"),
        // Fakesvc in the logon program list, its RunServices value and key.
        RunningBody("Trojan.Win32.Fakesvc", L"C:\\windows\\system32\\svcinit.exe", kFakesvc),
        Setting("Trojan.Win32.Fakesvc", HKEY_LOCAL_MACHINE, kWinLogonKey, L"userinit",
                L"C:\\windows\\system32\\userinit.exe,C:\\windows\\system32\\svcinit.exe,"),
        Setting("Trojan.Win32.Fakesvc", HKEY_LOCAL_MACHINE, kRunServicesKey, L"SVC Service",
                L"\"C:\\windows\\system32\\svcinit.exe\""),
        Setting("Trojan.Win32.Fakesvc", HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\DirectPlugin\\Cfg", L"x", L"1"),
    };
    return traces;
}

// A worm's own folder (Welchia's below the system directory) is made with
// its first file.
std::wstring ParentOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::string RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    return "?";
}

std::string DescribeTrace(const SDemoTrace& trace) {
    std::string text = std::string(trace.family) + ": ";
    switch (trace.kind) {
        case ETrace::RunValue:
            return text + "Run " + RootName(trace.root) + " \"" + ToUtf8(trace.name) + "\" = " + ToUtf8(trace.data);
        case ETrace::RegistryString:
            return text + RootName(trace.root) + "\\" + ToUtf8(trace.place) + " \"" + ToUtf8(trace.name) +
                   "\" = " + ToUtf8(trace.data);
        case ETrace::RegistryDword:
            return text + RootName(trace.root) + "\\" + ToUtf8(trace.place) + " \"" + ToUtf8(trace.name) +
                   "\" = " + std::to_string(trace.number);
        case ETrace::File:
            return text + "plik " + ToUtf8(trace.place);
        case ETrace::Body:
            return text + "plik " + ToUtf8(trace.place) + " (ciało rodziny " + std::to_string(trace.number) + ")";
        case ETrace::RunningBody:
            return text + "uruchomiony " + ToUtf8(trace.place) +
                   (trace.number ? " (ciało rodziny " + std::to_string(trace.number) + ")" : "");
        case ETrace::IniEntry:
            return text + ToUtf8(trace.place) + " [" + ToUtf8(trace.section) + "] " + ToUtf8(trace.name) + "=" +
                   ToUtf8(trace.data);
    }
    return text;
}

bool Remains(const SDemoTrace& trace) {
    switch (trace.kind) {
        case ETrace::RunValue:
            if (!trace.body.empty() && !FileExists(trace.body)) return false;
            return ReadString(trace.root, trace.place, trace.name) == trace.data;
        case ETrace::RegistryString:
            return ReadString(trace.root, trace.place, trace.name) == trace.data;
        case ETrace::RegistryDword:
            return ValueExists(trace.root, trace.place, trace.name);
        case ETrace::File:
        case ETrace::Body:
        case ETrace::RunningBody:
            return FileExists(trace.place);
        case ETrace::IniEntry: {
            wchar_t value[260] = {};
            GetPrivateProfileStringW(trace.section.c_str(), trace.name.c_str(), L"", value, 260, trace.place.c_str());
            return trace.data == value;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> PlantDemoTraces(CTracePlanter& traces) {
    std::vector<std::string> planted;
    for (const SDemoTrace& trace : DemoTraces()) {
        switch (trace.kind) {
            case ETrace::RunValue:
            case ETrace::RegistryString:
                traces.SetString(trace.root, trace.place, trace.name, trace.data);
                break;
            case ETrace::RegistryDword:
                traces.SetDword(trace.root, trace.place, trace.name, trace.number);
                break;
            case ETrace::File:
                traces.MakeDirectory(ParentOf(trace.place));
                traces.PlantFile(trace.place, ToUtf8(trace.data));
                break;
            case ETrace::Body:
                traces.MakeDirectory(ParentOf(trace.place));
                traces.PlantBody(trace.place, static_cast<int>(trace.number));
                break;
            case ETrace::RunningBody:
                traces.MakeDirectory(ParentOf(trace.place));
                traces.StartBody(trace.place, static_cast<int>(trace.number));
                break;
            case ETrace::IniEntry:
                traces.SetIniEntry(trace.place, trace.section, trace.name, trace.data);
                break;
        }
        planted.push_back(DescribeTrace(trace));
    }
    return planted;
}

std::vector<std::string> RemainingDemoTraces() {
    std::vector<std::string> remaining;
    for (const SDemoTrace& trace : DemoTraces()) {
        if (Remains(trace)) remaining.push_back(DescribeTrace(trace));
    }
    return remaining;
}
