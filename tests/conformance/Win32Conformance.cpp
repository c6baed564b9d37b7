// The conformance questions asked of the real Windows backend, run under
// Wine. With --family=win98 or --family=winxp the program runs a copy of
// itself under that Windows version (Wine chooses it by program name), so
// both families' answers are checked for real.
#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <cstdio>
#include <map>
#include <vector>

#include "ConformanceSuite.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Wine reaches host files through its own namespace, drive Z: being gone.
std::wstring HostPath(const std::string& unixPath) {
    std::wstring path = Widen(unixPath);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return L"\\\\?\\unix" + path;
}

bool IsWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class CWin32Host : public IConformanceHost {
public:
    CWin32Host() { m_root = L"C:\\kc-conformance-" + std::to_wstring(GetCurrentProcessId()); }
    ~CWin32Host() override {
        for (auto& [id, h] : m_processes) {
            ::TerminateProcess(h, 0);
            WaitForSingleObject(h, 5000);
            CloseHandle(h);
        }
        for (const auto& file : m_files) DeleteFileW(file.c_str());
        for (const auto& url : m_cacheUrls) DeleteUrlCacheEntryW(url.c_str());
        SHDeleteKeyW(HKEY_CURRENT_USER, m_scratchRoot.c_str());
    }

    IPlatform& Platform() override { return m_platform; }
    std::string Name() const override { return "Win32"; }

    std::uint32_t StartProcess(const std::string& dirName, const std::string& fileName) override {
        const std::wstring dir = m_root + L"\\" + Widen(dirName);
        CreateDirectoryW(m_root.c_str(), nullptr);
        CreateDirectoryW(dir.c_str(), nullptr);
        const std::wstring exe = Widen(ExecutablePath(dirName, fileName));
        if (!CopyFileW(HostPath(KC_SLEEPER_PATH).c_str(), exe.c_str(), FALSE)) return 0;
        m_files.push_back(exe);
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            return 0;
        }
        CloseHandle(pi.hThread);
        WaitForInputIdle(pi.hProcess, 2000);
        m_processes[pi.dwProcessId] = pi.hProcess;
        return pi.dwProcessId;
    }

    std::string ExecutablePath(const std::string& dirName, const std::string& fileName) override {
        return Narrow(m_root) + "\\" + dirName + "\\" + fileName;
    }

    bool HasEnded(std::uint32_t processId) override {
        auto it = m_processes.find(processId);
        return it == m_processes.end() || WaitForSingleObject(it->second, 5000) == WAIT_OBJECT_0;
    }

    std::string ScratchKey() override {
        const std::wstring key = m_scratchRoot + L"\\" + std::to_wstring(++m_keys);
        HKEY h = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        if (h) RegCloseKey(h);
        return Narrow(key);
    }

    std::string ScratchIniFile() override {
        CreateDirectoryW(m_root.c_str(), nullptr);
        const std::wstring ini = m_root + L"\\conformance.ini";
        m_files.push_back(ini);
        return Narrow(ini);
    }

    bool AddCacheEntry(const std::string& url, bool cookie) override {
        const std::wstring wurl = Widen(url);
        wchar_t local[MAX_PATH];
        if (!CreateUrlCacheEntryW(wurl.c_str(), 0, cookie ? L"txt" : L"htm", local, 0)) return false;
        HANDLE f = CreateFileW(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        WriteFile(f, "x", 1, &written, nullptr);
        CloseHandle(f);
        FILETIME never{};
        const BOOL ok = CommitUrlCacheEntryW(wurl.c_str(), local, never, never,
                                             cookie ? COOKIE_CACHE_ENTRY : NORMAL_CACHE_ENTRY, nullptr, 0, nullptr,
                                             nullptr);
        if (ok && !cookie) m_cacheUrls.push_back(wurl);
        return ok;
    }

    std::string KnownDeviation(const std::string& test) const override {
        if (!IsWine()) return {};
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
        GetVersionExW(&v);
        const bool nineX = v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
        if (nineX) {
            // Wine plays the 9x family's version numbers only; the registry
            // and the process functions stay those of NT.
            if (test == "DeletingAKeyWithSubkeysFollowsTheFamily")
                return "Wine refuses to delete a key with subkeys in 9x mode too";
            if (test == "SnapshotPathOn9x") return "Wine's snapshot names the bare file in 9x mode too";
            if (test == "ModulePathOn9x") return "Wine has the process-status library in 9x mode too";
            if (test == "FolderIdentityOn9x") return "Wine opens folders in 9x mode too";
        }
        return {};
    }

private:
    CWin32Platform m_platform;
    std::wstring m_root;
    std::wstring m_scratchRoot = L"Software\\KestroConformance\\" + std::to_wstring(GetCurrentProcessId());
    std::map<DWORD, HANDLE> m_processes;
    std::vector<std::wstring> m_files;
    std::vector<std::wstring> m_cacheUrls;
    int m_keys = 0;
};

int RunAsFamily(const std::wstring& family, int argc, wchar_t** argv) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        fprintf(stderr, "cannot find this program's own path\n");
        return 2;
    }
    std::wstring source(self, n);
    // Started from a host path, Wine names the program "unix\..." without
    // the namespace prefix that opening it needs.
    if (source.rfind(L"unix\\", 0) == 0) source = L"\\\\?\\" + source;
    const std::wstring copyName = L"kc_conformance_" + family + L".exe";
    const std::wstring copy = L"C:\\" + copyName;
    if (!CopyFileW(source.c_str(), copy.c_str(), FALSE)) {
        fprintf(stderr, "cannot copy %ls to %ls: error %lu\n", self, copy.c_str(), GetLastError());
        return 2;
    }

    // Wine's per-program Windows version.
    const std::wstring appKey = L"Software\\Wine\\AppDefaults\\" + copyName;
    const std::wstring version = family == L"winxp" ? L"winxp64" : family;
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (h) {
        RegSetValueExW(h, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }

    std::wstring commandLine = L"\"" + copy + L"\"";
    for (int i = 1; i < argc; ++i) {
        if (wcsncmp(argv[i], L"--family=", 9) != 0) commandLine += L" \"" + std::wstring(argv[i]) + L"\"";
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    DWORD code = 2;
    if (CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, appKey.c_str());
    DeleteFileW(copy.c_str());
    return static_cast<int>(code);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Real, PlatformConformance,
                         testing::Values(ConformanceFactory([] { return std::make_unique<CWin32Host>(); })),
                         [](const auto& info) { return info.param()->Name(); });

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        if (wcsncmp(argv[i], L"--family=", 9) == 0) return RunAsFamily(argv[i] + 9, argc, argv);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
