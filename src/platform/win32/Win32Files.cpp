#include <windows.h>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

// The file functions refuse a path of MAX_PATH characters or more unless it
// carries the "\\?\" prefix, and a body buried deep in a tree would be out of
// reach. The prefix also turns off the functions' clean-up of the name
// (trailing dots and blanks, "." and ".."), so only long paths get it; the
// walk builds them from listed names, which need no clean-up. The margin
// covers the "\*.*" a search adds to a folder's path.
std::wstring WidePath(const std::string& path) {
    std::wstring wide = Widen(path);
    constexpr std::size_t kLongPath = MAX_PATH - 12;
    if (wide.size() >= kLongPath && wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') {
        wide.insert(0, L"\\\\?\\");
    }
    return wide;
}

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
    const HANDLE h = FindFirstFileW(WidePath(pattern).c_str(), &w);
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

std::int32_t CWin32Platform::FolderIdentity(const std::string& path, FolderId& out) {
    // No access to the folder's content is asked for, only to its
    // attributes, and every kind of sharing is granted: the open disturbs
    // no other program.
    const HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<std::int32_t>(GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(h, &info);
    const std::int32_t error = ok ? ERROR_SUCCESS : static_cast<std::int32_t>(GetLastError());
    CloseHandle(h);
    if (!ok) return error;
    out.volume = info.dwVolumeSerialNumber;
    out.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return ERROR_SUCCESS;
}

namespace {

HANDLE FH(FileHandle h) { return reinterpret_cast<HANDLE>(h); }
std::int32_t LastError() { return static_cast<std::int32_t>(GetLastError()); }

}  // namespace

std::int32_t CWin32Platform::OpenForRead(const std::string& path, FileHandle& out) {
    const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    out = h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
    return h == INVALID_HANDLE_VALUE ? LastError() : ERROR_SUCCESS;
}

std::int32_t CWin32Platform::CreateForWrite(const std::string& path, bool failIfExists, FileHandle& out) {
    const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                 failIfExists ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    out = h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
    return h == INVALID_HANDLE_VALUE ? LastError() : ERROR_SUCCESS;
}

std::int32_t CWin32Platform::ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer,
                                    std::uint32_t length, std::uint32_t& read) {
    read = 0;
    LONG high = static_cast<LONG>(offset >> 32);
    if (SetFilePointer(FH(file), static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        return LastError();
    }
    DWORD got = 0;
    if (!ReadFile(FH(file), buffer, length, &got, nullptr)) return LastError();
    read = got;
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::WriteTo(FileHandle file, const std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t& written) {
    DWORD put = 0;
    const BOOL ok = WriteFile(FH(file), data, length, &put, nullptr);
    written = put;
    return ok ? ERROR_SUCCESS : LastError();
}

std::int32_t CWin32Platform::FileInfo(FileHandle file, std::uint32_t& attributes, std::uint64_t& size) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(FH(file), &info)) return LastError();
    attributes = info.dwFileAttributes;
    size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return ERROR_SUCCESS;
}

void CWin32Platform::CloseFile(FileHandle file) { CloseHandle(FH(file)); }

std::uint32_t CWin32Platform::GetAttributes(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str());
}

std::int32_t CWin32Platform::SetAttributes(const std::string& path, std::uint32_t attributes) {
    return SetFileAttributesW(WidePath(path).c_str(), attributes) ? ERROR_SUCCESS : LastError();
}

std::int32_t CWin32Platform::RemoveFile(const std::string& path) {
    return DeleteFileW(WidePath(path).c_str()) ? ERROR_SUCCESS : LastError();
}

std::int32_t CWin32Platform::RemoveAtRestart(const std::string& path) {
    return MoveFileExW(WidePath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? ERROR_SUCCESS : LastError();
}

std::int32_t CWin32Platform::RenameFile(const std::string& from, const std::string& to, bool replaceExisting) {
    const std::wstring wFrom = WidePath(from), wTo = WidePath(to);
    const BOOL ok = replaceExisting ? MoveFileExW(wFrom.c_str(), wTo.c_str(), MOVEFILE_REPLACE_EXISTING)
                                    : MoveFileW(wFrom.c_str(), wTo.c_str());
    return ok ? ERROR_SUCCESS : LastError();
}

std::int32_t CWin32Platform::MakeDirectory(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) ? ERROR_SUCCESS : LastError();
}
