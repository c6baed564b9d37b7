#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegNode.h"
#include "sys/Text.h"

namespace fs = std::filesystem;

namespace {

// Splits "C:\a\b" into 'C' and {"a", "b"}. False for anything that is not a
// drive-letter path or that climbs with "..": a simulated path never leaves
// its drive's host directory.
bool SplitWinPath(const std::string& path, char& letter, std::vector<std::string>& parts) {
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return false;
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    parts.clear();
    std::string part;
    for (std::size_t i = 2; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (part == "..") return false;
            if (!part.empty() && part != ".") parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return true;
}

// The host entry of `dir` whose name equals `name` ignoring case, as the
// Windows file system would find it; the name itself when none does.
std::string FindHostName(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec)) return name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string have = it->path().filename().string();
        if (EqualsNoCase(have, name)) return have;
    }
    return name;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    // Only the patterns the program uses: everything, or one exact name.
    if (pattern == "*.*" || pattern == "*") return true;
    return EqualsNoCase(name, pattern);
}

}  // namespace

void CSimMachine::MapDrive(char letter, std::uint32_t driveType, const std::string& hostDir) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // The host root would put the whole test machine under the scan.
    if (!hostDir.empty() && fs::weakly_canonical(hostDir) == fs::path("/")) return;
    m_drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = {driveType, hostDir};
}

void CSimMachine::UnmapDrive(char letter) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_drives.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
}

std::string CSimMachine::HostPath(const std::string& winPath) const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return HostPathLocked(winPath);
}

std::string CSimMachine::HostPathLocked(const std::string& winPath) const {
    char letter = 0;
    std::vector<std::string> parts;
    if (!SplitWinPath(winPath, letter, parts)) return {};
    auto drive = m_drives.find(letter);
    if (drive == m_drives.end() || drive->second.hostDir.empty()) return {};
    fs::path host = drive->second.hostDir;
    // Most paths are spelled as they lie on the host: one look settles them;
    // only the others are matched name by name, ignoring case.
    fs::path direct = host;
    for (const std::string& part : parts) direct /= part;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(direct, ec))) return direct.string();
    for (const std::string& part : parts) host /= FindHostName(host, part);
    return host.string();
}

std::uint32_t CSimMachine::LogicalDriveStrings(std::uint32_t capacity, char* buffer) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::string list;
    for (const auto& [letter, drive] : m_drives) {
        list += letter;
        list += ":\\";
        list += '\0';
    }
    const auto n = static_cast<std::uint32_t>(list.size());
    if (n + 1 > capacity) return n + 1;
    std::copy(list.begin(), list.end(), buffer);
    buffer[n] = '\0';
    return n;
}

std::uint32_t CSimMachine::DriveType(const std::string& root) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (CheckFault("DriveType", root)) return DRIVE_UNKNOWN;
    if (root.size() < 2 || root[1] != ':') return DRIVE_NO_ROOT_DIR;
    auto drive = m_drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
    return drive == m_drives.end() ? DRIVE_NO_ROOT_DIR : drive->second.type;
}

void CSimMachine::ShowLinksAsFolders(bool shown) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_bLinksAsFolders = shown;
}

std::int32_t CSimMachine::FolderIdentity(const std::string& path, FolderId& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("FolderIdentity", path)) return e;
    // The 9x family's CreateFile does not open folders.
    if (m_platformId != VER_PLATFORM_WIN32_NT) return ERROR_ACCESS_DENIED;
    const std::string host = HostPathLocked(path);
    struct stat st {};
    // Through links, as the system opens the folder a link leads to.
    if (host.empty() || ::stat(host.c_str(), &st) != 0) return ERROR_PATH_NOT_FOUND;
    out.volume = static_cast<std::uint32_t>(st.st_dev);
    out.index = static_cast<std::uint64_t>(st.st_ino);
    return ERROR_SUCCESS;
}

FindHandle CSimMachine::FindFirst(const std::string& pattern, FindData& out, std::int32_t& error) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    error = CheckFault("FindFirst", pattern);
    if (error) return kInvalidFind;

    const std::size_t slash = pattern.find_last_of('\\');
    const std::string dir = slash == std::string::npos ? std::string() : pattern.substr(0, slash);
    const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    char letter = 0;
    std::vector<std::string> parts;
    const std::string host = HostPathLocked(dir);
    if (host.empty() || !SplitWinPath(dir, letter, parts)) {
        error = ERROR_PATH_NOT_FOUND;
        return kInvalidFind;
    }
    std::error_code ec;
    if (!fs::is_directory(host, ec)) {
        error = ERROR_PATH_NOT_FOUND;
        return kInvalidFind;
    }

    Search search;
    // Below a drive's root the system lists "." and ".." first.
    if (!parts.empty()) {
        for (const char* dot : {".", ".."})
            if (MatchesPattern(dot, mask)) search.entries.push_back({dot, FILE_ATTRIBUTE_DIRECTORY, 0});
    }
    std::vector<FindData> found;
    for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
        FindData entry;
        entry.name = it->path().filename().string();
        if (!MatchesPattern(entry.name, mask)) continue;
        std::error_code sec;
        struct stat st {};
        const bool statted = ::lstat(it->path().c_str(), &st) == 0;
        const bool isLink = statted && S_ISLNK(st.st_mode);
        const bool isDir = isLink ? it->is_directory(sec) : (statted && S_ISDIR(st.st_mode));
        entry.attributes = isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (isLink && !m_bLinksAsFolders) entry.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        auto extra = m_attributes.find(ToLowerName(dir + "\\" + entry.name));
        if (extra != m_attributes.end()) {
            entry.attributes = (entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) |
                               (extra->second & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        }
        entry.size = (!isDir && statted && S_ISREG(st.st_mode)) ? static_cast<std::uint64_t>(st.st_size) : 0;
        found.push_back(entry);
    }
    // NTFS hands names out in its collation order, close to this one.
    std::sort(found.begin(), found.end(),
              [](const FindData& a, const FindData& b) { return CompareNoCase(a.name, b.name) < 0; });
    search.entries.insert(search.entries.end(), found.begin(), found.end());
    if (search.entries.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return kInvalidFind;
    }
    out = search.entries[0];
    search.next = 1;
    const FindHandle h = m_nextSearch++;
    m_searches[h] = std::move(search);
    return h;
}

bool CSimMachine::FindNext(FindHandle find, FindData& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_searches.find(find);
    if (it == m_searches.end() || it->second.next >= it->second.entries.size()) return false;
    if (CheckFault("FindNext", it->second.entries[it->second.next].name)) return false;
    out = it->second.entries[it->second.next++];
    return true;
}

void CSimMachine::FindEnd(FindHandle find) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_searches.erase(find);
}
