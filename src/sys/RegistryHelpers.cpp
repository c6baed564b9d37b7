#include <cstring>
#include <vector>

#include "app/CleanerDlg.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

// Value names and data are read into buffers of this many bytes; a name or
// value that does not fit is not read at all.
constexpr std::uint32_t kRegBufferSize = 260;

std::string Join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "\\" + b;
}

// Data up to its first zero byte, as the program's string functions see it.
std::string AsText(const std::uint8_t* data, std::uint32_t size) {
    const void* zero = std::memchr(data, 0, size);
    const std::size_t n = zero ? static_cast<const std::uint8_t*>(zero) - data : size;
    return std::string(reinterpret_cast<const char*>(data), n);
}

RegKey RootOfIndex(int index) {
    switch (index) {
        case 0: return winroot::kLocalMachine;
        case 1: return winroot::kCurrentUser;
        case 2: return winroot::kClassesRoot;
        default: return 0;
    }
}

}  // namespace

void CCleanerDlg::ReadRegistryValues(std::vector<std::string>& values, int rootIndex) {
    const std::size_t n = values.size();
    const std::string keyPath = n > 0 ? values[0] : std::string();
    const std::string valueName = n > 1 ? values[1] : std::string();
    values.clear();
    if (rootIndex != 0 && rootIndex != 1) return;

    RegKey key = 0;
    if (m_platform.OpenKey(RootOfIndex(rootIndex), keyPath, key) != ERROR_SUCCESS) return;
    std::uint8_t data[kRegBufferSize];
    if (n == 1) {
        std::string name;
        for (std::uint32_t index = 0;; ++index) {
            std::memset(data, 0, sizeof data);
            std::uint32_t size = kRegBufferSize;
            if (m_platform.EnumValue(key, index, name, kRegBufferSize, nullptr, data, &size) != ERROR_SUCCESS) break;
            values.push_back(name);
            values.push_back(AsText(data, size));
        }
    } else if (n == 2) {
        std::memset(data, 0, sizeof data);
        std::uint32_t size = kRegBufferSize;
        const bool read = m_platform.QueryValue(key, valueName, nullptr, data, &size) == ERROR_SUCCESS;
        values.push_back(read ? AsText(data, size) : std::string());
    }
    m_platform.CloseKey(key);
}

bool CCleanerDlg::DeleteKeyTree(RegKey root, const std::string& parentPath, const std::string& keyName) {
    RegKey parent = 0;
    if (m_platform.OpenKey(root, parentPath, parent) != ERROR_SUCCESS) return true;  // nothing to delete
    // The 9x family deletes the whole subtree here; the NT family refuses
    // while the key has subkeys, so those go first.
    bool deleted = m_platform.DeleteKey(parent, keyName) == ERROR_SUCCESS;
    const std::string keyPath = Join(parentPath, keyName);
    while (!deleted) {
        RegKey key = 0;
        if (m_platform.OpenKey(root, keyPath, key) != ERROR_SUCCESS) break;
        // Each deletion moves the later subkeys down one index, so a pass
        // skips some; the next pass finds them.
        int removed = 0;
        std::string sub;
        for (std::uint32_t index = 0; m_platform.EnumKey(key, index, sub, kRegBufferSize) == ERROR_SUCCESS; ++index) {
            if (DeleteKeyTree(root, keyPath, sub)) ++removed;
        }
        m_platform.CloseKey(key);
        deleted = m_platform.DeleteKey(parent, keyName) == ERROR_SUCCESS;
        // A pass that removed nothing would be repeated without end.
        if (removed == 0) break;
    }
    m_platform.CloseKey(parent);
    return deleted;
}

int CCleanerDlg::RestoreRegistryValues(RegKey root, const std::vector<std::string>& table, const std::string& message,
                                       std::uint32_t valueType) {
    if (root < 3) root = RootOfIndex(static_cast<int>(root));
    const std::string line = "   " + message;
    for (std::size_t g = 0; g + 4 <= table.size(); g += 4) {
        const std::string& parentPath = table[g];
        const std::string& keyName = table[g + 1];
        const std::string& valueName = table[g + 2];
        const std::string& wanted = table[g + 3];
        if (valueName.empty() && wanted.empty()) {
            DeleteKeyTree(root, parentPath, keyName);
            continue;
        }
        RegKey key = 0;
        const std::string keyPath = Join(parentPath, keyName);
        if (m_platform.OpenKey(root, keyPath, key) != ERROR_SUCCESS) continue;

        Finding finding;
        finding.target = RootKeyName(root) + "\\" + keyPath + "\\" + valueName;
        finding.family = FamilyOfLine(line);
        finding.line = line;
        if (!wanted.empty()) {
            std::uint8_t current[kRegBufferSize] = {};
            std::uint32_t size = kRegBufferSize;
            if (m_platform.QueryValue(key, valueName, nullptr, current, &size) == ERROR_SUCCESS &&
                !EqualsNoCase(AsText(current, size), wanted)) {
                const auto* data = reinterpret_cast<const std::uint8_t*>(wanted.c_str());
                const auto length = static_cast<std::uint32_t>(wanted.size() + 1);
                // The 9x family writes a default value, the usual case there,
                // through the older call. That call takes its name argument
                // as a subkey, so a named value handed to it would land as
                // the default of a new subkey and leave the hijacked value
                // as it was while the line said it was restored: named
                // values go through the call both families have.
                const bool older = !m_bWinNT && valueName.empty();
                const std::int32_t status = older ? m_platform.SetKeyDefault(key, valueName, valueType, data, length)
                                                  : m_platform.SetValue(key, valueName, valueType, data, length);
                finding.kind = ActionKind::RegistryValueRestored;
                if (status == ERROR_SUCCESS) {
                    m_view.ReportFinding(finding);
                } else {
                    m_view.ReportFinding(FailedStep(finding.kind, finding.target, finding.family));
                }
            }
        } else {
            finding.kind = ActionKind::RegistryValueDeleted;
            const std::int32_t status = m_platform.DeleteValue(key, valueName);
            if (status == ERROR_SUCCESS) {
                m_view.ReportFinding(finding);
            } else if (status != ERROR_FILE_NOT_FOUND &&
                       m_platform.QueryValue(key, valueName, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
                // A value that is not there is nothing found; one that is
                // and stays was not removed.
                m_view.ReportFinding(FailedStep(finding.kind, finding.target, finding.family));
            }
        }
        m_platform.CloseKey(key);
    }
    return 1;
}

bool CCleanerDlg::ExpandSystemDirs(std::string& path) const {
    if (path.find('%') == std::string::npos) return true;
    // Lower case only, as the worms write them; only the first occurrence.
    static const std::string kSystemRoot = "%systemroot%";
    static const std::string kSystem = "%system%";
    std::size_t at = path.find(kSystemRoot);
    if (at != std::string::npos && m_sysDirs.size() > 0) {
        path = path.substr(0, at) + m_sysDirs[0] + path.substr(at + kSystemRoot.size());
        return true;
    }
    at = path.find(kSystem);
    if (at != std::string::npos && m_sysDirs.size() > 1) {
        path = path.substr(0, at) + m_sysDirs[1] + path.substr(at + kSystem.size());
        return true;
    }
    return false;
}
