#include "DemoMachine.h"

#include <windows.h>

#include "WineFixtures.h"

namespace {

enum class ETrace {
    RunValue,        // a Run value: root, name, command
    RegistryString,  // a hijacked setting: root, key, value, data
    RegistryDword,   // root, key, value, number
    File,            // a file the worm drops: path, content
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
};

SDemoTrace RunValue(const char* family, HKEY root, const wchar_t* name, const wchar_t* command) {
    return {family, ETrace::RunValue, root, kRunKey, L"", name, command, 0};
}
SDemoTrace Setting(const char* family, HKEY root, const wchar_t* key, const wchar_t* value, const wchar_t* data) {
    return {family, ETrace::RegistryString, root, key, L"", value, data, 0};
}
SDemoTrace Setting(const char* family, HKEY root, const wchar_t* key, const wchar_t* value, DWORD data) {
    return {family, ETrace::RegistryDword, root, key, L"", value, L"", data};
}
SDemoTrace File(const char* family, const wchar_t* path, const wchar_t* content) {
    return {family, ETrace::File, nullptr, path, L"", L"", content, 0};
}
SDemoTrace RunningBody(const char* family, const wchar_t* path, int ruleFamily) {
    return {family, ETrace::RunningBody, nullptr, path, L"", L"", L"", static_cast<DWORD>(ruleFamily)};
}
SDemoTrace IniEntry(const char* family, const wchar_t* file, const wchar_t* section, const wchar_t* key,
                    const wchar_t* value) {
    return {family, ETrace::IniEntry, nullptr, file, section, key, value, 0};
}

// Family codes of the classifier, for bodies that carry a rule window.
constexpr int kSwen = 4;
constexpr int kMyDoom = 12;
constexpr int kNetSky = 18;

const wchar_t kWebcheckKey[] = L"CLSID\\{E6FB5E20-DE35-11CF-9C87-00AA005127ED}\\InProcServer32";
const wchar_t kPoliciesKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

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
    };
    return traces;
}

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
        case ETrace::RegistryString:
            return ReadString(trace.root, trace.place, trace.name) == trace.data;
        case ETrace::RegistryDword:
            return ValueExists(trace.root, trace.place, trace.name);
        case ETrace::File:
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
                traces.PlantFile(trace.place, ToUtf8(trace.data));
                break;
            case ETrace::RunningBody:
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
