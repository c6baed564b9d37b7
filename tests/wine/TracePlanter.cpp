#include "TracePlanter.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "scan/RuleTable.h"

namespace {

// The opening text of the body sleeper's padding, and its length
// (BodySleeper.c).
constexpr char kPaddingMarker[] = "KC-BODY-PADDING-";
constexpr std::size_t kPaddingSize = 60 * 1024;

// The program's deletions at restart land here, on Wine as on Windows; a
// test whose scan schedules one puts the list back.
constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// A started body counts as running once the system names its file; before
// that the program under test could list it without a path.
constexpr DWORD kStartTimeoutMs = 10000;
constexpr DWORD kEndTimeoutMs = 10000;

const std::string& BuiltBody() {
    static const std::string image = [] {
        std::string bytes = ReadWholeFile(HostPath(KC_BODY_SLEEPER_PATH));
        if (bytes.empty()) throw std::runtime_error(std::string("cannot read ") + KC_BODY_SLEEPER_PATH);
        return bytes;
    }();
    return image;
}

std::wstring ModulePath(HANDLE process) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameExW(process, nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

void RemoveFileQuietly(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

}  // namespace

std::string BodyImage(int family) {
    std::string image = BuiltBody();
    if (family == 0) return image;
    const std::size_t padding = image.find(kPaddingMarker);
    if (padding == std::string::npos) throw std::runtime_error("the body sleeper has no padding");
    // The marker stays readable; the window goes anywhere after it.
    const std::size_t from = padding + sizeof kPaddingMarker - 1;
    const std::size_t to = std::min(padding + kPaddingSize, image.size());
    bool written = false;
    ForEachRule([&](const SignatureRule& rule) {
        if (written || rule.family != family || rule.offset < from || rule.offset + rule.length > to) return;
        std::copy(rule.bytes, rule.bytes + rule.length, image.begin() + rule.offset);
        written = true;
    });
    if (!written) throw std::runtime_error("no rule of family " + std::to_string(family) + " fits the body's padding");
    return image;
}

CTracePlanter::CTracePlanter() { Keep(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenames); }

CTracePlanter::~CTracePlanter() {
    // Processes first: a running body holds its file.
    for (auto& [id, process] : m_processes) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 0);
            WaitForSingleObject(process.hProcess, kEndTimeoutMs);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) RemoveFileQuietly(*it);
    // Only when empty: whatever else lies in one is not ours to remove.
    for (auto it = m_directories.rbegin(); it != m_directories.rend(); ++it) RemoveDirectoryW(it->c_str());
    for (const auto& [path, content] : m_iniFiles) {
        if (content) {
            try {
                WriteFileChecked(path, *content);
            } catch (const std::exception& e) {
                fprintf(stderr, "cleaning up: %s\n", e.what());
            }
        } else {
            DeleteFileW(path.c_str());
        }
    }
    // Latest first: a value planted below a key made for an earlier one goes
    // before that key.
    while (!m_values.empty()) m_values.pop_back();
}

CScopedRegValue& CTracePlanter::Value(HKEY root, const std::wstring& key, const std::wstring& value) {
    m_values.push_back(std::make_unique<CScopedRegValue>(root, key, value));
    return *m_values.back();
}

void CTracePlanter::SetString(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& data) {
    Value(root, key, value).SetString(data);
}

void CTracePlanter::SetDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD data) {
    const auto* p = reinterpret_cast<const BYTE*>(&data);
    Value(root, key, value).Set(REG_DWORD, std::vector<BYTE>(p, p + sizeof data));
}

void CTracePlanter::Keep(HKEY root, const std::wstring& key, const std::wstring& value) {
    Value(root, key, value).Keep();
}

void CTracePlanter::MakeDirectory(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    CreateDirectoryChecked(path);
    m_directories.push_back(path);
}

void CTracePlanter::PlantFile(const std::wstring& path, const std::string& content) {
    if (!IsInsideTestArea(path) && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        throw std::logic_error("refusing to plant over the machine's own " + ToUtf8(path));
    }
    WriteFileChecked(path, content);
    m_files.push_back(path);
}

void CTracePlanter::PlantBody(const std::wstring& path, int family) { PlantFile(path, BodyImage(family)); }

DWORD CTracePlanter::StartBody(const std::wstring& path, int family) {
    PlantBody(path, family);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Started in the root, so that no planted folder is any process's
    // current directory and each can be removed.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                        &process)) {
        throw std::runtime_error("cannot start " + ToUtf8(path) + ", error " + std::to_string(GetLastError()));
    }
    m_processes[process.dwProcessId] = process;
    const DWORD start = GetTickCount();
    while (_wcsicmp(ModulePath(process.hProcess).c_str(), path.c_str()) != 0) {
        if (GetTickCount() - start > kStartTimeoutMs) {
            throw std::runtime_error(ToUtf8(path) + " did not come up as a process of that file");
        }
        Sleep(20);
    }
    return process.dwProcessId;
}

bool CTracePlanter::HasEnded(DWORD processId, DWORD waitMs, DWORD* exitCode) const {
    const auto it = m_processes.find(processId);
    if (it == m_processes.end()) throw std::logic_error("not a process of this planter");
    if (WaitForSingleObject(it->second.hProcess, waitMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(it->second.hProcess, exitCode);
    return true;
}

void CTracePlanter::SetIniEntry(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                                const std::wstring& value) {
    const std::wstring path = IniFilePath(file);
    if (!m_iniFiles.count(path)) {
        m_iniFiles[path] = FileExists(path) ? std::optional<std::string>(ReadWholeFile(path)) : std::nullopt;
    }
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str())) {
        throw std::runtime_error("cannot write [" + ToUtf8(section) + "] " + ToUtf8(key) + " into " + ToUtf8(file));
    }
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const std::wstring& value, DWORD* type) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
    DWORD valueType = 0;
    DWORD size = 0;
    std::optional<std::wstring> text;
    if (RegQueryValueExW(h, value.c_str(), nullptr, &valueType, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (RegQueryValueExW(h, value.c_str(), nullptr, &valueType, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            data.resize(wcsnlen(data.c_str(), size / sizeof(wchar_t)));
            text = data;
            if (type) *type = valueType;
        }
    }
    RegCloseKey(h);
    return text;
}

bool ValueExists(HKEY root, const std::wstring& key, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    const bool exists = RegQueryValueExW(h, value.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(h);
    return exists;
}

bool RegKeyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

std::vector<std::wstring> FilesDeletedAtRestart() {
    std::vector<std::wstring> files;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_READ, &h) != ERROR_SUCCESS) return files;
    DWORD size = 0;
    std::wstring list;
    if (RegQueryValueExW(h, kPendingRenames, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        list.assign(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(h, kPendingRenames, nullptr, nullptr, reinterpret_cast<BYTE*>(list.data()), &size) !=
            ERROR_SUCCESS) {
            list.clear();
        }
    }
    RegCloseKey(h);
    // Pairs of a source and a target; an empty target asks for a deletion.
    // Sources are in the native form, "\??\C:\...".
    const std::wstring nativePrefix = L"\\??\\";
    std::size_t at = 0;
    while (at < list.size() && list[at] != L'\0') {
        const std::wstring source = list.c_str() + at;
        at += source.size() + 1;
        const std::wstring target = at < list.size() ? list.c_str() + at : L"";
        at += target.size() + 1;
        if (!target.empty()) continue;
        files.push_back(source.compare(0, nativePrefix.size(), nativePrefix) == 0 ? source.substr(nativePrefix.size())
                                                                                  : source);
    }
    return files;
}

std::wstring IniFilePath(const std::wstring& file) {
    if (file.find(L'\\') != std::wstring::npos) return file;
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\" + file;
}
