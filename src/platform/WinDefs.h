// The few Windows constants and types the portable core speaks in. The core
// never includes <windows.h>; each definition here is skipped when the system
// header already made it, and the values are the system's, so both can meet
// in the Win32 backend without a clash.
#pragma once

#include <cstdint>

// Fixed-width types stand in for DWORD and LONG: the system's own typedefs
// differ (unsigned long on Windows), and a seam signature must mangle the
// same in the core and in the backend.
// Registry handle as the core sees it: the predefined roots carry the same
// sign-extended values as on Windows, so a root can travel through tables
// and the Win32 backend can cast straight back to HKEY.
using RegKey = std::uintptr_t;
constexpr RegKey MakeRootKey(std::uint32_t v) {
    return static_cast<RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(v)));
}

namespace winroot {
constexpr RegKey kClassesRoot = MakeRootKey(0x80000000u);
constexpr RegKey kCurrentUser = MakeRootKey(0x80000001u);
constexpr RegKey kLocalMachine = MakeRootKey(0x80000002u);
constexpr RegKey kUsers = MakeRootKey(0x80000003u);
constexpr RegKey kPerformanceData = MakeRootKey(0x80000004u);
}  // namespace winroot

#ifndef ERROR_SUCCESS
constexpr std::int32_t ERROR_SUCCESS = 0;
constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::int32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
constexpr std::int32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::int32_t ERROR_SHARING_VIOLATION = 32;
constexpr std::int32_t ERROR_HANDLE_EOF = 38;
constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::int32_t ERROR_MORE_DATA = 234;
constexpr std::int32_t ERROR_NO_MORE_ITEMS = 259;
constexpr std::int32_t ERROR_NO_MORE_FILES = 18;
constexpr std::int32_t ERROR_KEY_HAS_CHILDREN = 1020;
constexpr std::int32_t ERROR_CANTREAD = 1012;
constexpr std::int32_t ERROR_PROC_NOT_FOUND = 127;
constexpr std::int32_t ERROR_KEY_DELETED = 1018;
constexpr std::int32_t ERROR_FILE_EXISTS = 80;
constexpr std::int32_t ERROR_ALREADY_EXISTS = 183;
constexpr std::int32_t ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr std::int32_t ERROR_DISK_FULL = 112;
constexpr std::int32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::int32_t ERROR_INVALID_FUNCTION = 1;
constexpr std::int32_t ERROR_NOT_ALL_ASSIGNED = 1300;
#endif

#ifndef PROCESS_ALL_ACCESS
// The value the program was built with: the full rights of the XP-era
// headers, which every later system still accepts.
constexpr std::uint32_t PROCESS_ALL_ACCESS = 0x1F0FFF;
constexpr std::uint32_t PROCESS_QUERY_INFORMATION = 0x400;
constexpr std::uint32_t PROCESS_VM_READ = 0x10;
#endif

#ifndef REG_NONE
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;
#endif

#ifndef DRIVE_UNKNOWN
constexpr std::uint32_t DRIVE_UNKNOWN = 0;
constexpr std::uint32_t DRIVE_NO_ROOT_DIR = 1;
constexpr std::uint32_t DRIVE_REMOVABLE = 2;
constexpr std::uint32_t DRIVE_FIXED = 3;
constexpr std::uint32_t DRIVE_REMOTE = 4;
constexpr std::uint32_t DRIVE_CDROM = 5;
constexpr std::uint32_t DRIVE_RAMDISK = 6;
#endif

#ifndef FILE_ATTRIBUTE_READONLY
constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr std::uint32_t FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr std::uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
#endif

#ifndef VER_PLATFORM_WIN32_NT
constexpr std::uint32_t VER_PLATFORM_WIN32s = 0;
constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;
#endif

#ifndef MB_OK
constexpr std::uint32_t MB_OK = 0x0;
constexpr std::uint32_t MB_YESNO = 0x4;
constexpr std::uint32_t MB_ICONQUESTION = 0x20;
constexpr std::uint32_t MB_ICONEXCLAMATION = 0x30;
constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
#endif

#ifndef SW_SHOWDEFAULT
constexpr int SW_SHOWDEFAULT = 10;
#endif

#ifndef MAX_PATH
constexpr int MAX_PATH = 260;
#endif
