// The platform seam: every call the program makes into Windows, and nothing
// more. Each operation mirrors one system call and answers with its Win32
// status, so the core reads like code written against the system itself and
// the Win32 backend stays a line or two per operation. Strings are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinDefs.h"

// Which folder a path leads to, whatever way it was reached: the volume's
// serial number and the file index the system keeps for the folder.
struct FolderId {
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FolderId& other) const { return volume == other.volume && index == other.index; }
};

// One entry of a directory search.
struct FindData {
    std::string name;              // without path
    std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_*
    std::uint64_t size = 0;
};

using FindHandle = std::uintptr_t;
constexpr FindHandle kInvalidFind = 0;

using ThreadProc = void (*)(void* arg);

// One process of the tool-help snapshot. The executable is a full path on
// the 9x family and a bare file name on the NT family.
struct SnapshotProcess {
    std::uint32_t processId = 0;
    std::string exeFile;
};

// One entry of the Internet cache, as the cache enumeration reports it.
struct CacheEntry {
    std::string sourceUrl;
    std::uint32_t entryType = 0;  // cache entry type bits; cookies carry 0x00100000
};
using CacheHandle = std::uintptr_t;
// A handle of the Internet library: a session or an opened address.
using InternetHandle = std::uintptr_t;

using ProcessHandle = std::uintptr_t;
using FileHandle = std::uintptr_t;
constexpr FileHandle kInvalidFile = 0;
// GetFileAttributes' answer for a path that is not there.
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
using TokenHandle = std::uintptr_t;

class IThread {
public:
    virtual ~IThread() = default;
    // Waits until the thread function has returned.
    virtual void Join() = 0;
};

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // --- system information -------------------------------------------------
    // GetVersionEx's platform id: VER_PLATFORM_WIN32_NT or _WINDOWS.
    virtual std::uint32_t PlatformId() = 0;
    // Both return the length written (0 on failure), like the system calls;
    // the text has no trailing backslash except for a drive root.
    virtual std::uint32_t WindowsDirectory(std::string& out) = 0;
    virtual std::uint32_t SystemDirectory(std::string& out) = 0;
    // A text of the program's string table; empty when the id has none.
    virtual std::string LoadText(std::uint32_t id) = 0;
    // GetComputerName; false when the system gives none.
    virtual bool ComputerName(std::string& out) = 0;
    // ExpandEnvironmentStrings into a buffer of `capacity` characters: the
    // size the expansion needs, terminator included (0 on failure). `out` is
    // set only when it fits. An undefined variable stays as it was written.
    virtual std::uint32_t ExpandEnvironment(const std::string& text, std::string& out, std::uint32_t capacity) = 0;

    // --- configuration files (win.ini, system.ini) ----------------------------
    // GetPrivateProfileString with an empty default into a buffer of
    // `capacity` bytes: the text (cut to fit) and its length.
    virtual std::uint32_t GetProfileText(const std::string& file, const std::string& section, const std::string& key,
                                         std::string& out, std::uint32_t capacity) = 0;
    // WritePrivateProfileString; the system's error when it fails.
    virtual std::int32_t WriteProfileText(const std::string& file, const std::string& section,
                                          const std::string& key, const std::string& value) = 0;

    // --- the Internet cache of the current user --------------------------------
    // FindFirstUrlCacheEntry/FindNextUrlCacheEntry with a buffer of
    // `bufferSize` bytes for the entry and its strings: ERROR_INSUFFICIENT_BUFFER
    // with `needed` set when it does not fit (the next call with a larger
    // buffer fetches the same entry), ERROR_NO_MORE_ITEMS at the end.
    virtual std::int32_t CacheFindFirst(std::uint32_t bufferSize, CacheEntry& entry, std::uint32_t& needed,
                                        CacheHandle& out) = 0;
    virtual std::int32_t CacheFindNext(CacheHandle find, std::uint32_t bufferSize, CacheEntry& entry,
                                       std::uint32_t& needed) = 0;
    virtual std::int32_t CacheDeleteEntry(const std::string& sourceUrl) = 0;
    virtual void CacheFindClose(CacheHandle find) = 0;

    // --- HTTP download (the Internet library, resolved at run time) -------------
    // Whether the library and its download functions are there.
    virtual bool InternetAvailable() = 0;
    // InternetOpen with the system's own proxy settings (access type
    // "preconfigured"), no proxy or bypass list of the caller, flags 0.
    virtual std::int32_t InternetOpenSession(const std::string& agent, InternetHandle& out) = 0;
    // InternetSetOption: the connect, send and receive time-outs of a session.
    virtual std::int32_t InternetSetTimeouts(InternetHandle session, std::uint32_t milliseconds) = 0;
    // InternetOpenUrl with no extra headers and the INTERNET_FLAG_* `flags`.
    virtual std::int32_t InternetOpenAddress(InternetHandle session, const std::string& url, std::uint32_t flags,
                                             InternetHandle& out) = 0;
    // HttpQueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER).
    virtual std::int32_t HttpQueryStatus(InternetHandle request, std::uint32_t& status) = 0;
    // InternetQueryDataAvailable: bytes that can be read now; 0 at the end.
    virtual std::int32_t InternetQueryAvailable(InternetHandle request, std::uint32_t& available) = 0;
    // InternetReadFile of up to `length` bytes; `read` says how many came.
    virtual std::int32_t InternetRead(InternetHandle request, std::uint8_t* buffer, std::uint32_t length,
                                      std::uint32_t& read) = 0;
    virtual void InternetClose(InternetHandle handle) = 0;

    // --- registry -----------------------------------------------------------
    virtual std::int32_t OpenKey(RegKey parent, const std::string& subKey, RegKey& out) = 0;
    virtual std::int32_t CreateKey(RegKey parent, const std::string& subKey, RegKey& out) = 0;
    virtual std::int32_t CloseKey(RegKey key) = 0;
    // RegQueryValueEx with a caller buffer of *size bytes. On entry *size is
    // the buffer's capacity; on return the data's size. Too small a buffer
    // gives ERROR_MORE_DATA with *size the needed length.
    virtual std::int32_t QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* size) = 0;
    virtual std::int32_t SetValue(RegKey key, const std::string& name, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t size) = 0;
    // RegSetValue, the 9x family's write: sets the default value of
    // `subKey` below `key` (of the key itself when empty), creating it.
    virtual std::int32_t SetKeyDefault(RegKey key, const std::string& subKey, std::uint32_t type,
                                       const std::uint8_t* data, std::uint32_t size) = 0;
    // RegEnumValue with a name buffer of `nameCapacity` bytes (terminator
    // included) and a data buffer of *size bytes; a name or data that does
    // not fit gives ERROR_MORE_DATA. ERROR_NO_MORE_ITEMS past the end.
    virtual std::int32_t EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t nameCapacity,
                                   std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) = 0;
    // RegEnumKeyEx with a name buffer of `nameCapacity` bytes.
    virtual std::int32_t EnumKey(RegKey key, std::uint32_t index, std::string& name,
                                 std::uint32_t nameCapacity) = 0;
    // RegDeleteKey: on the NT family a key with subkeys is refused, on the
    // 9x family it goes with its whole subtree.
    virtual std::int32_t DeleteKey(RegKey parent, const std::string& subKey) = 0;
    virtual std::int32_t DeleteValue(RegKey key, const std::string& name) = 0;

    // --- drives, directories ------------------------------------------------
    // GetLogicalDriveStrings into a buffer of `capacity` characters. Returns
    // the characters stored without the final terminator, or, when the list
    // does not fit, the size needed (terminator included) and stores nothing.
    virtual std::uint32_t LogicalDriveStrings(std::uint32_t capacity, char* buffer) = 0;
    virtual std::uint32_t DriveType(const std::string& root) = 0;
    // FindFirstFile/FindNextFile/FindClose. A failed start returns
    // kInvalidFind; `error` tells why.
    virtual FindHandle FindFirst(const std::string& pattern, FindData& out, std::int32_t& error) = 0;
    virtual bool FindNext(FindHandle find, FindData& out) = 0;
    virtual void FindEnd(FindHandle find) = 0;
    // The identity of the folder at `path` ("C:\" for a drive's root), from
    // the folder opened with backup semantics. The 9x family cannot open a
    // folder and answers with an error.
    virtual std::int32_t FolderIdentity(const std::string& path, FolderId& out) = 0;

    // --- files ------------------------------------------------------------------
    // CreateFile for reading, read sharing only, an existing file.
    virtual std::int32_t OpenForRead(const std::string& path, FileHandle& out) = 0;
    // CreateFile for writing, no sharing, normal attributes; with
    // `failIfExists` an existing file is never touched (ERROR_FILE_EXISTS).
    virtual std::int32_t CreateForWrite(const std::string& path, bool failIfExists, FileHandle& out) = 0;
    // SetFilePointer and ReadFile: up to `length` bytes at `offset`; `read`
    // says how many came (0 at or past the end, which is no error).
    virtual std::int32_t ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length,
                                std::uint32_t& read) = 0;
    virtual std::int32_t WriteTo(FileHandle file, const std::uint8_t* data, std::uint32_t length,
                                 std::uint32_t& written) = 0;
    // GetFileInformationByHandle: the attributes and the size.
    virtual std::int32_t FileInfo(FileHandle file, std::uint32_t& attributes, std::uint64_t& size) = 0;
    virtual void CloseFile(FileHandle file) = 0;
    // GetFileAttributes; kInvalidAttributes when the path is not there.
    virtual std::uint32_t GetAttributes(const std::string& path) = 0;
    virtual std::int32_t SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
    // DeleteFile. A read-only file, a running program's file and a file
    // someone holds open refuse.
    virtual std::int32_t RemoveFile(const std::string& path) = 0;
    // MoveFileEx with no new name and MOVEFILE_DELAY_UNTIL_REBOOT.
    virtual std::int32_t RemoveAtRestart(const std::string& path) = 0;
    // MoveFileEx(from, to), replacing `to` in the same step when asked to.
    virtual std::int32_t RenameFile(const std::string& from, const std::string& to, bool replaceExisting) = 0;
    // CreateDirectory of one level; ERROR_ALREADY_EXISTS when it is there.
    virtual std::int32_t MakeDirectory(const std::string& path) = 0;

    // --- processes and threads ----------------------------------------------
    // The tool-help snapshot, its functions looked up by name in the loaded
    // kernel module; an error when they are missing or the snapshot fails.
    virtual std::int32_t ProcessSnapshot(std::vector<SnapshotProcess>& out) = 0;
    virtual std::int32_t OpenProcess(std::uint32_t access, std::uint32_t processId, ProcessHandle& out) = 0;
    virtual std::int32_t TerminateProcess(ProcessHandle process, std::uint32_t exitCode) = 0;
    virtual void CloseProcess(ProcessHandle process) = 0;
    // The file name of the process's first module, through the
    // process-status library resolved at run time.
    virtual std::int32_t FirstModuleFileName(ProcessHandle process, std::string& path) = 0;
    // The three steps of enabling a privilege; each answers the error the
    // system reported (GetLastError after AdjustTokenPrivileges).
    virtual std::int32_t OpenProcessToken(TokenHandle& out) = 0;
    virtual std::int32_t LookupPrivilege(const std::string& privilege, std::uint64_t& luid) = 0;
    virtual std::int32_t AdjustTokenPrivilege(TokenHandle token, std::uint64_t luid) = 0;
    virtual void CloseToken(TokenHandle token) = 0;
    // ShellExecute; the result is the system's (above 32 means started).
    virtual std::intptr_t ShellOpen(const std::string& verb, const std::string& file,
                                       const std::string& params, const std::string& dir,
                                       int showCmd) = 0;
    virtual std::unique_ptr<IThread> StartThread(ThreadProc proc, void* arg) = 0;
};
