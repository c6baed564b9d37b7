#include <windows.h>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

void Fill(const WIN32_FIND_DATAW& w, FindData& out) {
    out.name = Narrow(w.cFileName, wcslen(w.cFileName));
    out.attributes = w.dwFileAttributes;
    out.size = (static_cast<std::uint64_t>(w.nFileSizeHigh) << 32) | w.nFileSizeLow;
}

}  // namespace

std::uint32_t CWin32Platform::LogicalDriveStrings(std::uint32_t capacity, char* buffer) {
    std::wstring wide(capacity, L'\0');
    const DWORD n = GetLogicalDriveStringsW(capacity, wide.data());
    if (n == 0 || n >= capacity) return n;
    // Drive names are ASCII, so characters map one to one.
    for (DWORD i = 0; i <= n; ++i) buffer[i] = static_cast<char>(wide[i]);
    return n;
}

std::uint32_t CWin32Platform::DriveType(const std::string& root) { return GetDriveTypeW(Widen(root).c_str()); }

FindHandle CWin32Platform::FindFirst(const std::string& pattern, FindData& out, std::int32_t& error) {
    WIN32_FIND_DATAW w;
    const HANDLE h = FindFirstFileW(Widen(pattern).c_str(), &w);
    if (h == INVALID_HANDLE_VALUE) {
        error = static_cast<std::int32_t>(GetLastError());
        return kInvalidFind;
    }
    error = ERROR_SUCCESS;
    Fill(w, out);
    return reinterpret_cast<FindHandle>(h);
}

bool CWin32Platform::FindNext(FindHandle find, FindData& out) {
    WIN32_FIND_DATAW w;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(find), &w)) return false;
    Fill(w, out);
    return true;
}

void CWin32Platform::FindEnd(FindHandle find) { ::FindClose(reinterpret_cast<HANDLE>(find)); }
