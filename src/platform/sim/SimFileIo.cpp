// Files of the simulated machine: real host files, with the Windows rules
// for attributes, sharing and programs that are running from them.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegNode.h"
#include "sys/Text.h"

namespace fs = std::filesystem;

std::uint32_t CSimMachine::AttributesLocked(const std::string& winPath) const {
    const std::string host = HostPathLocked(winPath);
    std::error_code ec;
    if (host.empty() || !fs::exists(fs::symlink_status(host, ec))) return kInvalidAttributes;
    const bool dir = fs::is_directory(host, ec);
    auto extra = m_attributes.find(ToLowerName(winPath));
    std::uint32_t attributes = extra != m_attributes.end() ? extra->second : (dir ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    attributes &= ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    if (dir) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    // The system reports "normal" only for a file with no other attribute.
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

std::int32_t CSimMachine::InUse(const std::string& winPath) const {
    const std::string key = ToLowerName(winPath);
    if (std::find(m_lockedFiles.begin(), m_lockedFiles.end(), key) != m_lockedFiles.end()) {
        return ERROR_SHARING_VIOLATION;
    }
    for (const auto& [h, f] : m_files)
        if (f.winPath == key) return ERROR_SHARING_VIOLATION;
    // The file of a running program cannot go while the program runs.
    for (const Process& p : m_processes)
        if (p.running && EqualsNoCase(p.path, winPath)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

void CSimMachine::LockFile(const std::string& winPath, bool locked) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const std::string key = ToLowerName(winPath);
    m_lockedFiles.erase(std::remove(m_lockedFiles.begin(), m_lockedFiles.end(), key), m_lockedFiles.end());
    if (locked) m_lockedFiles.push_back(key);
}

std::vector<std::string> CSimMachine::RestartDeletions() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_restartDeletions;
}

int CSimMachine::OpenFileCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return static_cast<int>(m_files.size());
}

std::int32_t CSimMachine::OpenForRead(const std::string& path, FileHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = kInvalidFile;
    if (std::int32_t e = CheckFault("OpenForRead", path)) return e;
    const std::string host = HostPathLocked(path);
    if (host.empty()) return ERROR_PATH_NOT_FOUND;
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return ERROR_FILE_NOT_FOUND;
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    const std::string key = ToLowerName(path);
    if (std::find(m_lockedFiles.begin(), m_lockedFiles.end(), key) != m_lockedFiles.end()) {
        return ERROR_SHARING_VIOLATION;
    }
    for (const auto& [h, f] : m_files)
        if (f.winPath == key && f.write) return ERROR_SHARING_VIOLATION;
    const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ERROR_ACCESS_DENIED;
    out = m_nextFile;
    m_nextFile += 4;
    m_files[out] = {key, host, false, fd};
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::CreateForWrite(const std::string& path, bool failIfExists, FileHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = kInvalidFile;
    if (std::int32_t e = CheckFault("CreateForWrite", path)) return e;
    const std::string host = HostPathLocked(path);
    std::error_code ec;
    if (host.empty() || !fs::is_directory(fs::path(host).parent_path(), ec)) return ERROR_PATH_NOT_FOUND;
    const std::uint32_t attributes = AttributesLocked(path);
    if (attributes != kInvalidAttributes) {
        if (failIfExists) return ERROR_FILE_EXISTS;
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        if (std::int32_t e = InUse(path)) return e;
    }
    std::ofstream create(host, std::ios::binary | std::ios::trunc);
    if (!create) return ERROR_ACCESS_DENIED;
    m_attributes.erase(ToLowerName(path));
    out = m_nextFile;
    m_nextFile += 4;
    m_files[out] = {ToLowerName(path), host, true};
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length,
                                 std::uint32_t& read) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    read = 0;
    auto it = m_files.find(file);
    if (it == m_files.end() || it->second.write) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("ReadAt", it->second.winPath)) {
        if (e != kShortTransfer) return e;
        length /= 2;
    }
    // Like ReadFile, a read returns what is there: fewer bytes near the end,
    // none past it.
    while (read < length) {
        const ssize_t n = ::pread(it->second.fd, buffer + read, length - read, static_cast<off_t>(offset + read));
        if (n < 0) return ERROR_ACCESS_DENIED;
        if (n == 0) break;
        read += static_cast<std::uint32_t>(n);
    }
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::WriteTo(FileHandle file, const std::uint8_t* data, std::uint32_t length,
                                  std::uint32_t& written) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    written = 0;
    auto it = m_files.find(file);
    if (it == m_files.end() || !it->second.write) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("WriteTo", it->second.winPath)) {
        if (e != kShortTransfer) return e;
        length /= 2;
    }
    std::ofstream out(it->second.hostPath, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(data), length);
    if (!out) return ERROR_DISK_FULL;
    written = length;
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::FileInfo(FileHandle file, std::uint32_t& attributes, std::uint64_t& size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_files.find(file);
    if (it == m_files.end()) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("FileInfo", it->second.winPath)) return e;
    // The handle knows its Windows path in lower case, the key attributes
    // are kept under, and holds the host file itself.
    struct stat st {};
    if (it->second.fd < 0 || ::fstat(it->second.fd, &st) != 0) return ERROR_ACCESS_DENIED;
    auto extra = m_attributes.find(it->second.winPath);
    attributes = extra != m_attributes.end() ? extra->second : FILE_ATTRIBUTE_ARCHIVE;
    attributes &= ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    if (!attributes) attributes = FILE_ATTRIBUTE_NORMAL;
    size = static_cast<std::uint64_t>(st.st_size);
    return ERROR_SUCCESS;
}

void CSimMachine::CloseFile(FileHandle file) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_files.find(file);
    if (it == m_files.end()) return;
    if (it->second.fd >= 0) ::close(it->second.fd);
    m_files.erase(it);
}

std::uint32_t CSimMachine::GetAttributes(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (CheckFault("GetAttributes", path)) return kInvalidAttributes;
    return AttributesLocked(path);
}

std::int32_t CSimMachine::SetAttributes(const std::string& path, std::uint32_t attributes) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("SetAttributes", path)) return e;
    if (AttributesLocked(path) == kInvalidAttributes) return ERROR_FILE_NOT_FOUND;
    m_attributes[ToLowerName(path)] = attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::RemoveFile(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("RemoveFile", path)) return e;
    const std::uint32_t attributes = AttributesLocked(path);
    if (attributes == kInvalidAttributes) return ERROR_FILE_NOT_FOUND;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
    if (std::int32_t e = InUse(path)) return e;
    std::error_code ec;
    if (!fs::remove(HostPathLocked(path), ec)) return ERROR_ACCESS_DENIED;
    m_attributes.erase(ToLowerName(path));
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::RemoveAtRestart(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("RemoveAtRestart", path)) return e;
    // The 9x family has no such request (it keeps a WININIT.INI instead).
    if (m_platformId != VER_PLATFORM_WIN32_NT) return ERROR_CALL_NOT_IMPLEMENTED;
    m_restartDeletions.push_back(path);
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::RenameFile(const std::string& from, const std::string& to, bool replaceExisting) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("RenameFile", from)) return e;
    const std::uint32_t fromAttributes = AttributesLocked(from);
    if (fromAttributes == kInvalidAttributes) return ERROR_FILE_NOT_FOUND;
    if (std::int32_t e = InUse(from)) return e;
    const std::uint32_t toAttributes = AttributesLocked(to);
    const std::string toHost = HostPathLocked(to);
    if (toHost.empty()) return ERROR_PATH_NOT_FOUND;
    if (toAttributes != kInvalidAttributes) {
        if (!replaceExisting) return ERROR_ALREADY_EXISTS;
        if (toAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        if (std::int32_t e = InUse(to)) return e;
    }
    std::error_code ec;
    fs::rename(HostPathLocked(from), toHost, ec);
    if (ec) return ERROR_ACCESS_DENIED;
    auto attrs = m_attributes.find(ToLowerName(from));
    if (attrs != m_attributes.end()) {
        const std::uint32_t value = attrs->second;
        m_attributes.erase(attrs);
        m_attributes[ToLowerName(to)] = value;
    } else {
        m_attributes.erase(ToLowerName(to));
    }
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::MakeDirectory(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("MakeDirectory", path)) return e;
    const std::string host = HostPathLocked(path);
    std::error_code ec;
    if (host.empty() || !fs::is_directory(fs::path(host).parent_path(), ec)) return ERROR_PATH_NOT_FOUND;
    if (AttributesLocked(path) != kInvalidAttributes) return ERROR_ALREADY_EXISTS;
    return fs::create_directory(host, ec) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
