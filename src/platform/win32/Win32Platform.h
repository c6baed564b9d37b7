// The real Windows behind the platform seam. It only translates: W calls,
// UTF-8 <-> UTF-16, and the system's status codes passed back unchanged.
#pragma once

#include "platform/Platform.h"

class CWin32Platform : public IPlatform {
public:
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
};
