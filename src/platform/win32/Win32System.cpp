#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

class CWin32Thread : public IThread {
public:
    explicit CWin32Thread(HANDLE h) : m_hThread(h) {}
    ~CWin32Thread() override { CloseHandle(m_hThread); }
    // The thread may be sending a message to a window of the joining
    // thread (the banner thread does); such messages are answered while
    // waiting, or neither thread would ever go on.
    void Join() override {
        while (MsgWaitForMultipleObjects(1, &m_hThread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        }
    }

private:
    HANDLE m_hThread;
};

struct ThreadStart {
    ThreadProc proc;
    void* arg;
};

DWORD WINAPI ThreadTrampoline(LPVOID param) {
    const ThreadStart start = *static_cast<ThreadStart*>(param);
    delete static_cast<ThreadStart*>(param);
    start.proc(start.arg);
    return 0;
}

std::uint32_t DirectoryResult(UINT n, const wchar_t* buffer, UINT capacity, std::string& out) {
    if (n == 0 || n >= capacity) return 0;
    out = Narrow(buffer, n);
    return static_cast<std::uint32_t>(out.size());
}

}  // namespace

std::uint32_t CWin32Platform::PlatformId() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) return VER_PLATFORM_WIN32_WINDOWS;
    return info.dwPlatformId;
}

std::uint32_t CWin32Platform::WindowsDirectory(std::string& out) {
    wchar_t buffer[MAX_PATH] = {};
    return DirectoryResult(GetWindowsDirectoryW(buffer, MAX_PATH), buffer, MAX_PATH, out);
}

std::uint32_t CWin32Platform::SystemDirectory(std::string& out) {
    wchar_t buffer[MAX_PATH] = {};
    return DirectoryResult(GetSystemDirectoryW(buffer, MAX_PATH), buffer, MAX_PATH, out);
}

std::string CWin32Platform::LoadText(std::uint32_t id) {
    const wchar_t* text = nullptr;
    // With a zero length the call hands out a pointer into the resource.
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? Narrow(text, static_cast<std::size_t>(n)) : std::string();
}

std::uint32_t CWin32Platform::ExpandEnvironment(const std::string& text, std::string& out, std::uint32_t capacity) {
    std::wstring buffer(capacity, L'\0');
    const DWORD n = ExpandEnvironmentStringsW(Widen(text).c_str(), buffer.data(), capacity);
    // n counts the terminator; a result that did not fit was not written.
    if (n == 0 || n > capacity) return n;
    out = Narrow(buffer.data(), n - 1);
    return n;
}

std::intptr_t CWin32Platform::ShellOpen(const std::string& verb, const std::string& file, const std::string& params,
                                        const std::string& dir, int showCmd) {
    const std::wstring wVerb = Widen(verb), wFile = Widen(file), wParams = Widen(params), wDir = Widen(dir);
    return reinterpret_cast<std::intptr_t>(ShellExecuteW(nullptr, wVerb.c_str(), wFile.c_str(),
                                                         params.empty() ? nullptr : wParams.c_str(),
                                                         dir.empty() ? nullptr : wDir.c_str(), showCmd));
}

std::unique_ptr<IThread> CWin32Platform::StartThread(ThreadProc proc, void* arg) {
    auto* start = new ThreadStart{proc, arg};
    const HANDLE h = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
    if (!h) {
        delete start;
        return nullptr;
    }
    return std::make_unique<CWin32Thread>(h);
}
