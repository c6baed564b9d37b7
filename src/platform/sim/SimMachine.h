// A simulated Windows machine behind the platform seam, for tests. It keeps
// a registry with the system's semantics, drives backed by host directories
// (never the host root), a record of shell launches, and a switch between
// the NT and the 9x family. Any operation can be told to fail.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

class CSimMachine : public IPlatform {
public:
    CSimMachine();
    ~CSimMachine() override;

    // --- the machine, as a test sets it up ---------------------------------
    void SetPlatform(std::uint32_t platformId);  // VER_PLATFORM_WIN32_NT or _WINDOWS
    // Maps drive `letter` to a host directory (empty: a drive with no medium).
    void MapDrive(char letter, std::uint32_t driveType, const std::string& hostDir);
    void UnmapDrive(char letter);
    // Files the system will delete at the next restart, in request order.
    std::vector<std::string> RestartDeletions() const;
    // A file some other program holds open without sharing: opening,
    // deleting and renaming it are refused with a sharing violation.
    void LockFile(const std::string& winPath, bool locked);
    // A system that lists a link to a folder as a plain folder, as a network
    // share whose server follows its own links does (and as Wine does).
    void ShowLinksAsFolders(bool shown);
    // The host path behind a Windows path on a mapped drive; empty if none.
    std::string HostPath(const std::string& winPath) const;

    void PutValue(RegKey root, const std::string& key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data);
    void PutString(RegKey root, const std::string& key, const std::string& name, const std::string& text);
    void PutDword(RegKey root, const std::string& key, const std::string& name, std::uint32_t value);
    bool HasKey(RegKey root, const std::string& key) const;
    bool GetValue(RegKey root, const std::string& key, const std::string& name, std::uint32_t& type,
                  std::vector<std::uint8_t>& data) const;

    // --- processes ------------------------------------------------------------
    struct ProcessOptions {
        bool canOpen = true;           // false: OpenProcess is refused
        bool refusesTerminate = false;  // true: TerminateProcess is refused
        bool moduleHidden = false;      // true: its module path cannot be read
    };
    // Starts a process of the executable at `winPath`; returns its id.
    std::uint32_t StartProcess(const std::string& winPath, ProcessOptions options);
    std::uint32_t StartProcess(const std::string& winPath) { return StartProcess(winPath, ProcessOptions()); }
    bool IsRunning(std::uint32_t processId) const;
    struct RunningProcess {
        std::uint32_t id;
        std::string path;
    };
    std::vector<RunningProcess> RunningProcesses() const;
    // The performance counters of a machine where they are disabled or
    // damaged: the query answers, with no data.
    void DisablePerformanceData(bool disabled);
    // The performance-data block the system would return now.
    std::vector<std::uint8_t> PerformanceData() const;

    // --- configuration files and the Internet cache ---------------------------
    void SetComputerName(const std::string& name);
    struct SimCacheEntry {
        std::string url;
        std::uint32_t type;
        std::uint32_t size;  // bytes the entry and its strings need
    };
    void AddCacheEntry(const std::string& url, std::uint32_t type, std::uint32_t size = 600);
    std::vector<SimCacheEntry> CacheEntries() const;

    struct Launch {
        std::string verb, file, params, dir;
        int showCmd;
    };
    std::vector<Launch> Launches() const;

    // --- environment and the web ------------------------------------------------
    // An environment variable; an empty value removes it. TEMP is set from
    // the start.
    void SetEnvironment(const std::string& name, const std::string& value);
    // Without the Internet library there is no download at all.
    void SetInternetAvailable(bool available);
    // What the web answers at `url`: the body and the HTTP status. An
    // address nothing serves cannot be reached (its host is unknown).
    void ServeUrl(const std::string& url, const std::string& body, std::uint32_t status = 200);
    // The most an InternetQueryAvailable reports at once, as a network
    // delivers data in pieces.
    void SetInternetChunk(std::uint32_t bytes);
    // Every address opened, in order.
    std::vector<std::string> UrlRequests() const;
    // Internet handles not yet closed: a download that leaves one open is a fault.
    int OpenInternetHandleCount() const;

    // --- fault injection ----------------------------------------------------
    // Fails the `nth` call (1-based) of `op` whose target contains `target`
    // (case-insensitive; empty matches every target) with `error`, and, when
    // `persistent`, every matching call after it.
    void FailCall(const std::string& op, const std::string& target, std::int32_t error, int nth = 1,
                  bool persistent = true);
    // Given as the error of a ReadAt or WriteTo fault: the call succeeds
    // but moves only half the bytes asked for (none of a single byte), as a
    // read of a file that shrank meanwhile or a write to a full disk does.
    static constexpr std::int32_t kShortTransfer = 0x7FFF0001;
    void ClearFaults();
    int FaultsFired() const;
    // How often each operation was called since the machine was made.
    std::map<std::string, int> CallCounts() const;

    // --- the seam -----------------------------------------------------------
    std::uint32_t PlatformId() override;
    std::uint32_t WindowsDirectory(std::string& out) override;
    std::uint32_t SystemDirectory(std::string& out) override;
    std::string LoadText(std::uint32_t id) override;

    bool ComputerName(std::string& out) override;
    std::uint32_t ExpandEnvironment(const std::string& text, std::string& out, std::uint32_t capacity) override;
    std::uint32_t GetProfileText(const std::string& file, const std::string& section, const std::string& key,
                                 std::string& out, std::uint32_t capacity) override;
    std::int32_t WriteProfileText(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& value) override;
    std::int32_t CacheFindFirst(std::uint32_t bufferSize, CacheEntry& entry, std::uint32_t& needed,
                                CacheHandle& out) override;
    std::int32_t CacheFindNext(CacheHandle find, std::uint32_t bufferSize, CacheEntry& entry,
                               std::uint32_t& needed) override;
    std::int32_t CacheDeleteEntry(const std::string& sourceUrl) override;
    void CacheFindClose(CacheHandle find) override;

    bool InternetAvailable() override;
    std::int32_t InternetOpenSession(const std::string& agent, InternetHandle& out) override;
    std::int32_t InternetSetTimeouts(InternetHandle session, std::uint32_t milliseconds) override;
    std::int32_t InternetOpenAddress(InternetHandle session, const std::string& url, std::uint32_t flags,
                                     InternetHandle& out) override;
    std::int32_t HttpQueryStatus(InternetHandle request, std::uint32_t& status) override;
    std::int32_t InternetQueryAvailable(InternetHandle request, std::uint32_t& available) override;
    std::int32_t InternetRead(InternetHandle request, std::uint8_t* buffer, std::uint32_t length,
                              std::uint32_t& read) override;
    void InternetClose(InternetHandle handle) override;

    std::int32_t OpenKey(RegKey parent, const std::string& subKey, RegKey& out) override;
    std::int32_t CreateKey(RegKey parent, const std::string& subKey, RegKey& out) override;
    std::int32_t CloseKey(RegKey key) override;
    std::int32_t QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                            std::uint32_t* size) override;
    std::int32_t SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t size) override;
    std::int32_t SetKeyDefault(RegKey key, const std::string& subKey, std::uint32_t type, const std::uint8_t* data,
                               std::uint32_t size) override;
    std::int32_t EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t nameCapacity,
                           std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override;
    std::int32_t EnumKey(RegKey key, std::uint32_t index, std::string& name, std::uint32_t nameCapacity) override;
    std::int32_t DeleteKey(RegKey parent, const std::string& subKey) override;
    std::int32_t DeleteValue(RegKey key, const std::string& name) override;

    std::uint32_t LogicalDriveStrings(std::uint32_t capacity, char* buffer) override;
    std::uint32_t DriveType(const std::string& root) override;
    FindHandle FindFirst(const std::string& pattern, FindData& out, std::int32_t& error) override;
    bool FindNext(FindHandle find, FindData& out) override;
    void FindEnd(FindHandle find) override;
    std::int32_t FolderIdentity(const std::string& path, FolderId& out) override;

    std::int32_t OpenForRead(const std::string& path, FileHandle& out) override;
    std::int32_t CreateForWrite(const std::string& path, bool failIfExists, FileHandle& out) override;
    std::int32_t ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length,
                        std::uint32_t& read) override;
    std::int32_t WriteTo(FileHandle file, const std::uint8_t* data, std::uint32_t length,
                         std::uint32_t& written) override;
    std::int32_t FileInfo(FileHandle file, std::uint32_t& attributes, std::uint64_t& size) override;
    void CloseFile(FileHandle file) override;
    std::uint32_t GetAttributes(const std::string& path) override;
    std::int32_t SetAttributes(const std::string& path, std::uint32_t attributes) override;
    std::int32_t RemoveFile(const std::string& path) override;
    std::int32_t RemoveAtRestart(const std::string& path) override;
    std::int32_t RenameFile(const std::string& from, const std::string& to, bool replaceExisting) override;
    std::int32_t MakeDirectory(const std::string& path) override;
    // How many files are open now: a stage that leaves one open is a fault.
    int OpenFileCount() const;

    std::intptr_t ShellOpen(const std::string& verb, const std::string& file, const std::string& params,
                            const std::string& dir, int showCmd) override;
    std::int32_t ProcessSnapshot(std::vector<SnapshotProcess>& out) override;
    std::int32_t OpenProcess(std::uint32_t access, std::uint32_t processId, ProcessHandle& out) override;
    std::int32_t TerminateProcess(ProcessHandle process, std::uint32_t exitCode) override;
    void CloseProcess(ProcessHandle process) override;
    std::int32_t FirstModuleFileName(ProcessHandle process, std::string& path) override;
    std::int32_t OpenProcessToken(TokenHandle& out) override;
    std::int32_t LookupPrivilege(const std::string& privilege, std::uint64_t& luid) override;
    std::int32_t AdjustTokenPrivilege(TokenHandle token, std::uint64_t luid) override;
    void CloseToken(TokenHandle token) override;
    std::unique_ptr<IThread> StartThread(ThreadProc proc, void* arg) override;

    struct RegNode;

private:
    struct Drive {
        std::uint32_t type;
        std::string hostDir;
    };
    struct Fault {
        std::string op, target;
        std::int32_t error;
        int nth;
        bool persistent;
        int seen = 0;
    };
    struct Process {
        std::uint32_t id;
        std::string path;
        ProcessOptions options;
        bool running = true;
    };
    struct OpenFile {
        std::string winPath;  // lower case, the key of the sharing checks
        std::string hostPath;
        bool write;
        int fd = -1;  // the host file, held open like the system's handle
    };
    struct Search {
        std::vector<FindData> entries;
        std::size_t next = 0;
    };

    void InitRegistry();
    std::int32_t QueryPerformanceData(const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                      std::uint32_t* size);
    const Process* FindProcess(std::uint32_t processId) const;
    std::int32_t CheckFault(const char* op, const std::string& target);
    RegNode* Resolve(RegKey key) const;
    RegNode* Walk(RegNode* from, const std::string& subKey, bool create) const;
    RegKey NewHandle(RegNode* node);
    std::shared_ptr<RegNode> SharedNode(RegNode* node) const;
    std::string HostPathLocked(const std::string& winPath) const;
    std::uint32_t AttributesLocked(const std::string& winPath) const;
    std::string ProfileHostPath(const std::string& file) const;
    struct CacheSearch;
    std::int32_t NextCacheEntry(CacheSearch& search, std::uint32_t bufferSize, CacheEntry& entry,
                                std::uint32_t& needed);
    // Why the file cannot be deleted or replaced now, or ERROR_SUCCESS.
    std::int32_t InUse(const std::string& winPath) const;

    mutable std::recursive_mutex m_mutex;
    std::uint32_t m_platformId = VER_PLATFORM_WIN32_NT;
    std::map<char, Drive> m_drives;
    std::map<std::string, std::uint32_t> m_attributes;  // by lower-case Windows path
    std::shared_ptr<RegNode> m_hklm, m_hkcu, m_hku;
    std::map<RegKey, std::shared_ptr<RegNode>> m_keys;
    RegKey m_nextKey = 0x1000;
    std::map<FindHandle, Search> m_searches;
    FindHandle m_nextSearch = 1;
    std::vector<Launch> m_launches;
    std::vector<Process> m_processes;
    std::uint32_t m_nextProcessId = 1000;
    std::map<ProcessHandle, std::uint32_t> m_processHandles;
    ProcessHandle m_nextProcessHandle = 0x100;
    bool m_bPerfDataDisabled = false;
    bool m_bLinksAsFolders = false;
    std::string m_computerName = "KESTRO-PC";
    std::vector<SimCacheEntry> m_cache;
    struct CacheSearch {
        std::vector<SimCacheEntry> entries;  // as they were when the search began
        std::size_t next = 0;
    };
    std::map<CacheHandle, CacheSearch> m_cacheSearches;
    CacheHandle m_nextCacheSearch = 0x40;
    std::map<FileHandle, OpenFile> m_files;
    FileHandle m_nextFile = 0x10;
    std::map<std::string, std::string> m_environment;  // by upper-case name
    bool m_bInternetAvailable = true;
    struct WebPage {
        std::string body;
        std::uint32_t status;
    };
    std::map<std::string, WebPage> m_web;
    struct InternetObject {
        bool session;
        WebPage page;
        std::size_t next = 0;  // bytes of the body read so far
    };
    std::map<InternetHandle, InternetObject> m_internet;
    InternetHandle m_nextInternet = 0x7000;
    std::uint32_t m_internetChunk = 700;
    std::vector<std::string> m_urlRequests;
    std::vector<std::string> m_restartDeletions;
    std::vector<std::string> m_lockedFiles;  // lower-case Windows paths
    std::vector<Fault> m_faults;
    int m_faultsFired = 0;
    std::map<std::string, int> m_callCounts;
};
