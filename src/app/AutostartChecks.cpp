// The last look for registered malware files in the places Windows starts
// programs from: the Run keys of the registry and the load/run/shell entries
// of win.ini and system.ini.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/AutostartChecks.h"
#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

// The texts of the string table these checks log that have no name in
// StringIds.h: the tail of the Run-value line and the two halves of the 9x
// ini line.
constexpr std::uint32_t kIdsRemovedFromRegistry = 10;  // " usunięty z rejestru"
constexpr std::uint32_t kIdsIniEntryPrefix = 44;       // "Wpis w pliku "
constexpr std::uint32_t kIdsIniEntryRestored = 45;     // " został przywrócony"

// The program reads Run values and ini entries into fixed buffers of this
// size; a longer value is not listed, and that ends the listing of its key.
constexpr std::uint32_t kEntryBuffer = 260;

// Length of a three-letter extension with its dot.
constexpr std::size_t kExtensionLength = 4;

const char* const kRunKeys[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    // Only the 9x family starts anything from here.
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
};

const char* const kDefaultShell = "explorer.exe";

// Registry data as the program's character buffer holds it: up to the
// first terminator.
std::string DataText(const std::uint8_t* data, std::uint32_t size) {
    const auto* begin = reinterpret_cast<const char*>(data);
    const char* end = std::find(begin, begin + size, '\0');
    return std::string(begin, end);
}

}  // namespace

std::string RunFilePart(const std::string& lowerData) {
    const std::size_t slash = lowerData.rfind('\\');
    std::string part = slash == std::string::npos ? lowerData : lowerData.substr(slash + 1);
    // Fewer than four characters hold no dot with three after it, even when
    // the first is a dot: ".js" names no file, and as a registration it
    // would match every value and file holding that text.
    while (!part.empty() && !(part.size() >= kExtensionLength && part[part.size() - kExtensionLength] == '.')) {
        part.pop_back();
    }
    return part;
}

// Two tests on purpose: the value's name against the registered name
// without regard to case, and the registered name as it stands inside the
// lower-cased data. The second is case-sensitive, so a name registered with
// capitals never matches there, and a registered "svc.exe" also matches
// "mysvc.exe"; the registrations are written with that in mind.
std::size_t MatchRegistered(const std::vector<std::string>& names, const std::string& valueName,
                            const std::string& lowerData) {
    for (std::size_t j = 0; j < names.size(); ++j) {
        // An empty text occurs in every value: it would delete them all.
        if (names[j].empty()) continue;
        if (EqualsNoCase(names[j], valueName) || lowerData.find(names[j]) != std::string::npos) return j;
    }
    return names.size();
}

int CCleanerDlg::CheckRunEntries(std::vector<std::string>& names) {
    static const RegKey kRoots[] = {winroot::kLocalMachine, winroot::kCurrentUser};
    const std::size_t keyCount = m_bWinNT ? 2 : 3;
    for (std::size_t k = 0; k < keyCount; ++k) {
        const std::string keyPath = kRunKeys[k];
        for (RegKey root : kRoots) {
            RegKey key = 0;
            if (m_platform.OpenKey(root, keyPath, key) != ERROR_SUCCESS) continue;

            std::uint32_t index = 0;
            std::string justDeleted;
            for (;;) {
                std::string valueName;
                std::uint8_t data[kEntryBuffer] = {};
                std::uint32_t size = kEntryBuffer;
                std::uint32_t type = REG_NONE;
                if (m_platform.EnumValue(key, index, valueName, kEntryBuffer, &type, data, &size) != ERROR_SUCCESS) {
                    break;
                }
                // A system that reports a deletion and still lists the value
                // would hold this loop on one index for ever.
                if (!justDeleted.empty() && EqualsNoCase(valueName, justDeleted)) {
                    justDeleted.clear();
                    ++index;
                    continue;
                }
                justDeleted.clear();

                const std::string lowerData = ToLowerName(DataText(data, std::min(size, kEntryBuffer)));
                const std::size_t j = MatchRegistered(names, valueName, lowerData);
                if (j == names.size()) {
                    ++index;
                    continue;
                }

                // From here on the later stages look for the file the value
                // really started. A command with no file name in it keeps
                // the registration it matched: an empty registration would
                // be found in every Run value and every ini entry.
                const std::string file = RunFilePart(lowerData);
                if (!file.empty()) names[j] = file;

                Finding finding;
                finding.kind = ActionKind::RegistryValueDeleted;
                finding.target = RootKeyName(root) + "\\" + keyPath + "\\" + valueName;
                finding.family = FamilyNameOfRegisteredName(j);
                if (m_platform.DeleteValue(key, valueName) != ERROR_SUCCESS) {
                    m_view.ReportFinding(FailedStep(finding.kind, finding.target, finding.family));
                    ++index;
                    continue;
                }
                finding.line = LoadText(IDS_VIRUS_FILE) + finding.family + ": " + names[j] +
                               LoadText(kIdsRemovedFromRegistry);
                m_view.ReportFinding(finding);
                // The values after it have moved down by one: the same index
                // now lists the next one.
                justDeleted = valueName;
            }
            m_platform.CloseKey(key);
        }
    }
    return 0;
}

int CCleanerDlg::CheckIniEntry(const std::string& file, const std::string& section, const std::string& key) {
    std::string entry;
    m_platform.GetProfileText(file, section, key, entry, kEntryBuffer);
    if (entry.empty()) return 0;

    for (const std::string& name : m_virusFileNames) {
        if (name.empty()) continue;
        if (entry.find(name) == std::string::npos && !EqualsNoCase(entry, name)) continue;

        Finding finding;
        finding.kind = ActionKind::IniEntryRestored;
        finding.target = file + "\\" + section + "\\" + key;
        // Only a rewrite that took has a line: a line for an entry that
        // still starts the worm would tell the user the machine is clean.
        if (m_platform.WriteProfileText(file, section, key, kDefaultShell) != ERROR_SUCCESS) {
            m_view.ReportFinding(FailedStep(finding.kind, finding.target, finding.family));
            return 0;
        }
        finding.line = m_bWinNT ? LoadText(IDS_LOGON_KEY_CHECKED)
                                : LoadText(kIdsIniEntryPrefix) + file + LoadText(kIdsIniEntryRestored);
        m_view.ReportFinding(finding);
        return 1;
    }
    return 0;
}
