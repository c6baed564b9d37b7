#include "WineFixtures.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/StringIds.h"

std::wstring InstalledProgramPath() { return std::wstring(kInstallDir) + L"\\kestro-cleaner.exe"; }
std::wstring InstalledMarkerPath() { return std::wstring(kInstallDir) + L"\\kc-wine-marker.exe"; }

std::wstring FromUtf8(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    if (n <= 0) throw std::runtime_error("not valid UTF-8: " + utf8);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string ToUtf8(const std::wstring& utf16) {
    if (utf16.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Text(std::uint32_t id) { return FromUtf8(BuiltInString(id)); }
std::wstring ProductTitle() { return FromUtf8(kProductTitle); }

std::vector<std::wstring> Texts(std::initializer_list<std::uint32_t> ids) {
    std::vector<std::wstring> out;
    for (std::uint32_t id : ids) out.push_back(Text(id));
    return out;
}

std::vector<std::wstring> StartupLines() {
    return {Text(18), L"", Text(20), Text(21), L"", Text(22), Text(23), Text(24)};
}

std::string Describe(const std::vector<std::wstring>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += "\n    [" + std::to_string(i) + "] \"" + ToUtf8(lines[i]) + "\"";
    return lines.empty() ? std::string(" (none)") : out;
}

std::wstring HostPath(const std::string& unixPath) {
    std::wstring path = FromUtf8(unixPath);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    // With no drive mapped to the host root, Wine still opens host files
    // through its own \\?\unix namespace.
    return L"\\\\?\\unix" + path;
}

// --- registry -----------------------------------------------------------------

namespace {

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

std::string RegError(const char* what, const std::wstring& key, LONG status) {
    return std::string(what) + " " + ToUtf8(key) + " failed with error " + std::to_string(status);
}

}  // namespace

CScopedRegValue::CScopedRegValue(HKEY root, std::wstring key, std::wstring value)
    : m_hRoot(root), m_strKey(std::move(key)), m_strValue(std::move(value)) {}

CScopedRegValue::~CScopedRegValue() { Restore(); }

void CScopedRegValue::Keep() {
    if (m_bTouched) return;
    // Remember what to put back, and which keys only this test made.
    for (std::size_t pos = 0;;) {
        pos = m_strKey.find(L'\\', pos + 1);
        const std::wstring partial = m_strKey.substr(0, pos);
        if (!KeyExists(m_hRoot, partial)) m_createdKeys.push_back(partial);
        if (pos == std::wstring::npos) break;
    }
    HKEY h = nullptr;
    if (RegOpenKeyExW(m_hRoot, m_strKey.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
        DWORD size = 0;
        if (RegQueryValueExW(h, m_strValue.c_str(), nullptr, &m_dwOldType, nullptr, &size) == ERROR_SUCCESS) {
            m_oldData.resize(size);
            m_bHadValue = RegQueryValueExW(h, m_strValue.c_str(), nullptr, &m_dwOldType, m_oldData.data(), &size) ==
                          ERROR_SUCCESS;
        }
        RegCloseKey(h);
    }
    m_bTouched = true;
}

void CScopedRegValue::Set(DWORD type, const std::vector<BYTE>& data) {
    Keep();
    HKEY h = nullptr;
    LONG status = RegCreateKeyExW(m_hRoot, m_strKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
    if (status != ERROR_SUCCESS) throw std::runtime_error(RegError("creating", m_strKey, status));
    status = RegSetValueExW(h, m_strValue.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(h);
    if (status != ERROR_SUCCESS) throw std::runtime_error(RegError("setting a value under", m_strKey, status));
}

void CScopedRegValue::SetString(const std::wstring& data) {
    const auto* p = reinterpret_cast<const BYTE*>(data.c_str());
    Set(REG_SZ, std::vector<BYTE>(p, p + (data.size() + 1) * sizeof(wchar_t)));
}

void CScopedRegValue::Restore() {
    if (!m_bTouched) return;
    HKEY h = nullptr;
    if (RegOpenKeyExW(m_hRoot, m_strKey.c_str(), 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        if (m_bHadValue) {
            RegSetValueExW(h, m_strValue.c_str(), 0, m_dwOldType, m_oldData.data(),
                           static_cast<DWORD>(m_oldData.size()));
        } else {
            RegDeleteValueW(h, m_strValue.c_str());
        }
        RegCloseKey(h);
    }
    for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it) RegDeleteKeyW(m_hRoot, it->c_str());
    m_bTouched = false;
}

CScopedWindowsVersion::CScopedWindowsVersion(const std::wstring& version)
    : m_value(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\kestro-cleaner.exe", L"Version") {
    if (!version.empty()) m_value.SetString(version);
}

// --- files --------------------------------------------------------------------

// The file functions take a path of MAX_PATH characters or more only with
// the long-path prefix; the hostile-tree tests plant such paths.
std::wstring LongPath(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    return L"\\\\?\\" + path;
}

void CreateDirectoryChecked(const std::wstring& path) {
    if (!CreateDirectoryW(LongPath(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        throw std::runtime_error("cannot create the directory " + ToUtf8(path) + ", error " +
                                 std::to_string(GetLastError()));
    }
}

void WriteFileChecked(const std::wstring& path, const std::string& content) {
    HANDLE h = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot create " + ToUtf8(path) + ", error " + std::to_string(GetLastError()));
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != content.size()) throw std::runtime_error("cannot write " + ToUtf8(path));
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(h);
    return content;
}

namespace {

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

bool IsInsideTestArea(const std::wstring& path) {
    if (path.find(L"..") != std::wstring::npos || path.find(L'/') != std::wstring::npos) return false;
    for (const wchar_t* drive : {kRemovableDrive, kCdromDrive, kNetworkDrive}) {
        const std::wstring root = std::wstring(drive) + L"\\";
        if (StartsWithNoCase(path, root) && path.size() > root.size()) return true;
    }
    return StartsWithNoCase(path, kPlantPrefixOnC) && path.size() > wcslen(kPlantPrefixOnC);
}

namespace {

bool RemoveTreeUnchecked(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesW(LongPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(LongPath(path).c_str()) != 0;
    // A link is removed, never followed: under Wine it may lead to the host.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryW(LongPath(path).c_str()) != 0;
    bool ok = true;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(LongPath(path + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            ok = RemoveTreeUnchecked(path + L"\\" + name) && ok;
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    return RemoveDirectoryW(LongPath(path).c_str()) && ok;
}

// Removes path and everything below it, but nothing outside the test area.
void RemoveTree(const std::wstring& path) {
    if (!IsInsideTestArea(path)) throw std::logic_error("refusing to remove " + ToUtf8(path));
    if (!RemoveTreeUnchecked(path)) throw std::runtime_error("could not remove all of " + ToUtf8(path));
}

// A stale tree from an earlier, killed run would change what a walk of the
// drive shows.
void EmptyTestDrive(const std::wstring& drive) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((drive + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    for (const std::wstring& name : names) RemoveTree(drive + L"\\" + name);
}

}  // namespace

CPlantedTree::CPlantedTree(std::wstring root) : m_strRoot(std::move(root)) {
    RemoveTree(m_strRoot);
    CreateDirectoryChecked(m_strRoot);
}

CPlantedTree::~CPlantedTree() {
    try {
        RemoveTree(m_strRoot);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "cleaning up: " << e.what();
    }
}

std::wstring CPlantedTree::AddChain(const std::vector<std::wstring>& names) {
    std::wstring dir = m_strRoot;
    for (const std::wstring& name : names) {
        dir += L"\\" + name;
        CreateDirectoryChecked(dir);
    }
    return dir;
}

void CPlantedTree::AddBushyTree(int fanout, int depth) { AddBushyLevel(m_strRoot, fanout, depth); }

void CPlantedTree::AddBushyLevel(const std::wstring& dir, int fanout, int depth) {
    if (depth == 0) return;
    for (int i = 0; i < fanout; ++i) {
        const std::wstring sub = dir + L"\\d" + std::to_wstring(i);
        CreateDirectoryChecked(sub);
        AddBushyLevel(sub, fanout, depth - 1);
    }
}

// --- the suite's machine --------------------------------------------------------

namespace {

// Everything below deletes files and runs a program that deletes files on
// every drive it walks; both are only safe inside the prefix wine-run makes.
void CheckMachine() {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        throw std::runtime_error("these tests run only under Wine, through tests/wine/wine-run");
    }
    struct SDrive {
        std::wstring root;
        UINT type;
    };
    const std::vector<SDrive> expected = {{L"C:\\", DRIVE_FIXED},
                                          {std::wstring(kRemovableDrive) + L"\\", DRIVE_REMOVABLE},
                                          {std::wstring(kCdromDrive) + L"\\", DRIVE_CDROM},
                                          {std::wstring(kNetworkDrive) + L"\\", DRIVE_REMOTE}};
    wchar_t buffer[512] = {};
    GetLogicalDriveStringsW(511, buffer);
    std::vector<SDrive> actual;
    for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1) actual.push_back({p, GetDriveTypeW(p)});
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i) {
        same = actual[i].root == expected[i].root && actual[i].type == expected[i].type;
    }
    if (!same) {
        std::string list;
        for (const SDrive& d : actual) list += " " + ToUtf8(d.root) + "(type " + std::to_string(d.type) + ")";
        throw std::runtime_error("refusing to run: the drives are" + list +
                                 ", not C: fixed, D: removable, E: CD-ROM and N: network as tests/wine/wine-run "
                                 "makes them");
    }
}

void ResetMachine() {
    // A test killed half-way leaves its values and trees behind; the next run
    // must not inherit a switched-on guard or a stale tree.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KESTRO");
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\kestro-cleaner.exe");
    for (const wchar_t* drive : {kRemovableDrive, kCdromDrive, kNetworkDrive}) EmptyTestDrive(drive);
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((std::wstring(kPlantPrefixOnC) + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        std::vector<std::wstring> stale;
        do stale.push_back(std::wstring(L"C:\\") + found.cFileName);
        while (FindNextFileW(h, &found));
        FindClose(h);
        for (const std::wstring& path : stale) RemoveTree(path);
    }
}

void Install(const std::string& unixPath, const std::wstring& target) {
    if (!CopyFileW(HostPath(unixPath).c_str(), target.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + unixPath + " to " + ToUtf8(target) + ", error " +
                                 std::to_string(GetLastError()));
    }
}

class CWineSuiteEnvironment : public testing::Environment {
public:
    void SetUp() override {
        try {
            CheckMachine();
            ResetMachine();
            CreateDirectoryChecked(kInstallDir);
            Install(KC_PROGRAM_PATH, InstalledProgramPath());
            Install(KC_MARKER_PATH, InstalledMarkerPath());
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
};

[[maybe_unused]] testing::Environment* const g_pEnvironment =
    testing::AddGlobalTestEnvironment(new CWineSuiteEnvironment);

}  // namespace
