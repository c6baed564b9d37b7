#include <windows.h>

#include "platform/win32/DynCalls.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

HANDLE H(std::uintptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::int32_t CWin32Platform::ProcessSnapshot(std::vector<SnapshotProcess>& out) {
    out.clear();
    const ToolHelpCalls& th = ToolHelp();
    if (!th.createSnapshot || !th.processFirst || !th.processNext) return ERROR_PROC_NOT_FOUND;
    const HANDLE snap = th.createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return static_cast<std::int32_t>(GetLastError());
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!th.processFirst(snap, &entry)) {
        const DWORD error = GetLastError();
        CloseHandle(snap);
        return static_cast<std::int32_t>(error ? error : ERROR_NO_MORE_FILES);
    }
    do {
        out.push_back({entry.th32ProcessID, Narrow(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH))});
        entry.dwSize = sizeof(entry);
    } while (th.processNext(snap, &entry));
    CloseHandle(snap);
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::OpenProcess(std::uint32_t access, std::uint32_t processId, ProcessHandle& out) {
    const HANDLE h = ::OpenProcess(access, FALSE, processId);
    out = reinterpret_cast<ProcessHandle>(h);
    return h ? ERROR_SUCCESS : static_cast<std::int32_t>(GetLastError());
}

std::int32_t CWin32Platform::TerminateProcess(ProcessHandle process, std::uint32_t exitCode) {
    return ::TerminateProcess(H(process), exitCode) ? ERROR_SUCCESS : static_cast<std::int32_t>(GetLastError());
}

void CWin32Platform::CloseProcess(ProcessHandle process) { CloseHandle(H(process)); }

std::int32_t CWin32Platform::FirstModuleFileName(ProcessHandle process, std::string& path) {
    path.clear();
    const ProcessStatusCalls& ps = ProcessStatus();
    if (!ps.enumProcessModules || !ps.getModuleFileNameEx) return ERROR_PROC_NOT_FOUND;
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!ps.enumProcessModules(H(process), modules, sizeof(modules), &needed)) {
        return static_cast<std::int32_t>(GetLastError());
    }
    if (needed < sizeof(HMODULE)) return ERROR_NO_MORE_ITEMS;
    wchar_t name[MAX_PATH];
    const DWORD n = ps.getModuleFileNameEx(H(process), modules[0], name, MAX_PATH);
    if (n == 0) return static_cast<std::int32_t>(GetLastError());
    path = Narrow(name, n);
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::OpenProcessToken(TokenHandle& out) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return static_cast<std::int32_t>(GetLastError());
    }
    out = reinterpret_cast<TokenHandle>(token);
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::LookupPrivilege(const std::string& privilege, std::uint64_t& luid) {
    LUID value{};
    if (!LookupPrivilegeValueW(nullptr, Widen(privilege).c_str(), &value)) {
        return static_cast<std::int32_t>(GetLastError());
    }
    luid = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(value.HighPart)) << 32) | value.LowPart;
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::AdjustTokenPrivilege(TokenHandle token, std::uint64_t luid) {
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid);
    tp.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // The call succeeds even when the privilege is not held; only the last
    // error tells (ERROR_NOT_ALL_ASSIGNED).
    SetLastError(ERROR_SUCCESS);
    ::AdjustTokenPrivileges(H(token), FALSE, &tp, 0, nullptr, nullptr);
    return static_cast<std::int32_t>(GetLastError());
}

void CWin32Platform::CloseToken(TokenHandle token) { CloseHandle(H(token)); }
