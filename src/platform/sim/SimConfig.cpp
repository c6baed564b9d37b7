// The simulated machine's computer name, its win.ini and system.ini (real
// files in its Windows directory), and its Internet cache.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegNode.h"
#include "sys/Text.h"

namespace {

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool IsSection(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    name = Trim(t.substr(1, t.size() - 2));
    return true;
}

}  // namespace

void CSimMachine::SetComputerName(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_computerName = name;
}

bool CSimMachine::ComputerName(std::string& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (CheckFault("ComputerName", "")) return false;
    out = m_computerName;
    return true;
}

// A bare file name lives in the Windows directory, as for the system.
std::string CSimMachine::ProfileHostPath(const std::string& file) const {
    const bool bare = file.find('\\') == std::string::npos && file.find(':') == std::string::npos;
    return HostPathLocked(bare ? "C:\\WINDOWS\\" + file : file);
}

std::uint32_t CSimMachine::GetProfileText(const std::string& file, const std::string& section, const std::string& key,
                                          std::string& out, std::uint32_t capacity) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out.clear();
    if (CheckFault("GetProfileText", key) || capacity == 0) return 0;
    std::ifstream in(ProfileHostPath(file));
    std::string line, current;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (IsSection(line, current)) {
            inSection = EqualsNoCase(current, section);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos || !EqualsNoCase(Trim(line.substr(0, eq)), key)) continue;
        out = Trim(line.substr(eq + 1));
        if (out.size() >= capacity) out.resize(capacity - 1);
        break;
    }
    return static_cast<std::uint32_t>(out.size());
}

std::int32_t CSimMachine::WriteProfileText(const std::string& file, const std::string& section,
                                           const std::string& key, const std::string& value) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("WriteProfileText", key)) return e;
    const std::string host = ProfileHostPath(file);
    if (host.empty()) return ERROR_PATH_NOT_FOUND;
    std::vector<std::string> lines;
    {
        std::ifstream in(host);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    std::string current;
    bool inSection = false, written = false;
    std::size_t sectionEnd = lines.size();
    bool haveSection = false;
    for (std::size_t i = 0; i < lines.size() && !written; ++i) {
        if (IsSection(lines[i], current)) {
            if (inSection) {
                sectionEnd = i;
                break;
            }
            inSection = EqualsNoCase(current, section);
            haveSection = haveSection || inSection;
            continue;
        }
        const std::size_t eq = lines[i].find('=');
        if (inSection && eq != std::string::npos && EqualsNoCase(Trim(lines[i].substr(0, eq)), key)) {
            lines[i] = Trim(lines[i].substr(0, eq)) + "=" + value + "\r";
            written = true;
        }
    }
    if (!written) {
        if (haveSection) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), key + "=" + value + "\r");
        } else {
            lines.push_back("[" + section + "]\r");
            lines.push_back(key + "=" + value + "\r");
        }
    }
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
    return out ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

void CSimMachine::AddCacheEntry(const std::string& url, std::uint32_t type, std::uint32_t size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_cache.push_back({url, type, size});
}

std::vector<CSimMachine::SimCacheEntry> CSimMachine::CacheEntries() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_cache;
}

std::int32_t CSimMachine::NextCacheEntry(CacheSearch& search, std::uint32_t bufferSize, CacheEntry& entry,
                                         std::uint32_t& needed) {
    // Entries deleted since the search began are not reported again.
    while (search.next < search.entries.size()) {
        const SimCacheEntry& candidate = search.entries[search.next];
        const bool alive = std::any_of(m_cache.begin(), m_cache.end(),
                                       [&](const SimCacheEntry& e) { return e.url == candidate.url; });
        if (!alive) {
            ++search.next;
            continue;
        }
        if (candidate.size > bufferSize) {
            needed = candidate.size;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        entry.sourceUrl = candidate.url;
        entry.entryType = candidate.type;
        ++search.next;
        return ERROR_SUCCESS;
    }
    return ERROR_NO_MORE_ITEMS;
}

std::int32_t CSimMachine::CacheFindFirst(std::uint32_t bufferSize, CacheEntry& entry, std::uint32_t& needed,
                                         CacheHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    if (std::int32_t e = CheckFault("CacheFindFirst", "")) return e;
    CacheSearch search{m_cache, 0};
    const std::int32_t status = NextCacheEntry(search, bufferSize, entry, needed);
    // Like the system: a first entry that does not fit leaves no search open.
    if (status != ERROR_SUCCESS) return status;
    out = m_nextCacheSearch;
    m_nextCacheSearch += 4;
    m_cacheSearches[out] = std::move(search);
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::CacheFindNext(CacheHandle find, std::uint32_t bufferSize, CacheEntry& entry,
                                        std::uint32_t& needed) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_cacheSearches.find(find);
    if (it == m_cacheSearches.end()) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("CacheFindNext", "")) return e;
    return NextCacheEntry(it->second, bufferSize, entry, needed);
}

std::int32_t CSimMachine::CacheDeleteEntry(const std::string& sourceUrl) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("CacheDeleteEntry", sourceUrl)) return e;
    auto it = std::find_if(m_cache.begin(), m_cache.end(), [&](const SimCacheEntry& e) { return e.url == sourceUrl; });
    if (it == m_cache.end()) return ERROR_FILE_NOT_FOUND;
    m_cache.erase(it);
    return ERROR_SUCCESS;
}

void CSimMachine::CacheFindClose(CacheHandle find) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_cacheSearches.erase(find);
}
