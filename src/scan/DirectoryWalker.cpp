#include "scan/DirectoryWalker.h"

#include <algorithm>

#include "platform/Platform.h"
#include "sys/Text.h"

namespace {

// The last four characters of a name (the whole name when shorter), counted
// in characters, not bytes, so a name ending in letters outside ASCII never
// yields a cut sequence.
std::string LastFourChars(const std::string& name) {
    std::size_t pos = name.size();
    for (int chars = 0; chars < 4 && pos > 0; ++chars) {
        --pos;
        while (pos > 0 && (static_cast<unsigned char>(name[pos]) & 0xC0) == 0x80) --pos;
    }
    return name.substr(pos);
}

}  // namespace

CDirectoryWalker::CDirectoryWalker(IPlatform& platform) : m_platform(platform) {}

CDirectoryWalker::~CDirectoryWalker() {
    m_extensions.clear();
    m_bAbort = 0;
}

void CDirectoryWalker::OnEnterDirectory(std::string) {}
void CDirectoryWalker::OnFile(std::string) {}
void CDirectoryWalker::OnMatchingFile(std::string) {}

bool CDirectoryWalker::AddExtension(const std::string& ext) {
    for (const std::string& have : m_extensions) {
        if (EqualsNoCase(have, ext)) return false;
    }
    m_extensions.push_back(ext);
    return true;
}

void CDirectoryWalker::ClearExtensions() { m_extensions.clear(); }

void CDirectoryWalker::Walk(const std::string& dir) {
    // A link to a folder is passed over where the system marks it (see
    // ProcessEntry), but a network share whose server follows its own links
    // shows them as plain folders. A folder that is one of its own
    // ancestors would be walked again and again, and two such links in one
    // folder would make the walk go on for ever, so it is not entered.
    FolderId id;
    const bool known = m_platform.FolderIdentity(dir.size() == 2 ? dir + "\\" : dir, id) == ERROR_SUCCESS;
    if (known && std::find(m_ancestors.begin(), m_ancestors.end(), id) != m_ancestors.end()) return;
    if (known) m_ancestors.push_back(id);

    m_strParentDir = m_strCurrentDir;
    m_strCurrentDir = dir;
    OnEnterDirectory(m_strCurrentDir);

    m_strCurrentDir += '\\';
    FindData entry;
    std::int32_t error = 0;
    const FindHandle find = m_platform.FindFirst(m_strCurrentDir + "*.*", entry, error);
    if (find != kInvalidFind) {
        // The first entry is handled before the abort flag is looked at, so
        // an abort takes effect between entries at every level.
        ProcessEntry(entry.name, entry.attributes);
        while (m_platform.FindNext(find, entry)) {
            if (m_bAbort) break;
            ProcessEntry(entry.name, entry.attributes);
        }
        m_platform.FindEnd(find);
    }

    // One level up: C:\WINDOWS\ becomes C:\, and C:\ stays C:\.
    m_strCurrentDir = m_strParentDir;
    if (m_strParentDir.size() > 3) m_strParentDir.pop_back();
    const std::size_t slash = m_strParentDir.rfind('\\');
    if (slash != std::string::npos) m_strParentDir.erase(slash);
    m_strParentDir += '\\';
    if (known) m_ancestors.pop_back();
}

void CDirectoryWalker::ProcessEntry(const std::string& name, std::uint32_t attributes) {
    // Skips "." and ".." and, on purpose, every other name with a leading
    // dot: such folders (.svn, .git) hold no files of interest to the scan.
    if (name.empty() || name[0] == '.') return;

    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or directory symbolic link may point back up the tree
        // (Vista and later ship such links under the profile folders); its
        // target is walked where it really lives.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return;
        if (m_depth >= kMaxDepth) return;
        ++m_depth;
        Walk(m_strCurrentDir + name);
        --m_depth;
        return;
    }

    const std::string path = m_strCurrentDir + name;
    OnFile(path);
    if (m_extensions.empty()) {
        OnMatchingFile(path);
        return;
    }
    const std::string ext = LastFourChars(name);
    for (const std::string& entry : m_extensions) {
        if (EqualsNoCase(ext, entry)) {
            OnMatchingFile(path);
        } else if (entry == "*" && name.find('.') == std::string::npos) {
            OnMatchingFile(path);
        }
    }
}
