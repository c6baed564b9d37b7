// Trojan.Win32.Fakesvc: an executable that starts itself from the logon
// program list (WinLogon "userinit") on the NT family and from the
// RunServices key on 9x, known by two windows of its content, and a key of
// its own under Software\Microsoft.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

const char* const kFamily = "Trojan.Win32.Fakesvc";
const char* const kTag = "(Trojan.Win32.Fakesvc)";
const char* const kBodyName = "svcinit.exe";

const char* const kWinLogonParent = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kWinLogonName = "WinLogon";
const char* const kWinLogonKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon";
const char* const kUserinit = "userinit";
// The system's own logon program: an entry naming it is never tested.
const char* const kSystemLogonProgram = "userinit.exe";

const char* const kRunServicesParent = "Software\\Microsoft\\Windows\\CurrentVersion";
const char* const kRunServicesName = "RunServices";
const char* const kRunServicesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kServiceValue = "SVC Service";

// The trojan's file is known by either of these. Both end in a byte that
// is not zero, so a file too short to hold a window, whose missing bytes
// read as zeros, never matches it.
constexpr std::uint32_t kWindowLength = 16;
struct ContentWindow {
    std::uint64_t offset;
    std::uint8_t bytes[kWindowLength];
};
const ContentWindow kWindows[] = {
    {53952, {0x53, 0x23, 0x1C, 0xB5, 0xF7, 0x01, 0xF9, 0x00, 0x53, 0x49, 0x4E, 0x47, 0x00, 0x44, 0x4F, 0x4D}},
    {53776, {0x18, 0xCA, 0x32, 0x18, 0x87, 0x89, 0xA6, 0xA2, 0x15, 0x4D, 0x24, 0x21, 0x08, 0x42, 0x63, 0x51}},
};

enum class BodyTest {
    Match,
    NoMatch,
    Missing,     // the system says the file is not there
    Unreadable,  // there, or maybe there, but it would not open
};

BodyTest TestBody(IPlatform& platform, const std::string& path) {
    FileHandle file = kInvalidFile;
    const std::int32_t error = platform.OpenForRead(path, file);
    if (error != ERROR_SUCCESS) {
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? BodyTest::Missing
                                                                               : BodyTest::Unreadable;
    }
    // Both windows are read before either is compared; what a read does not
    // deliver stays zero.
    std::uint8_t blocks[std::size(kWindows)][kWindowLength] = {};
    for (std::size_t i = 0; i < std::size(kWindows); ++i) {
        std::uint32_t read = 0;
        if (platform.ReadAt(file, kWindows[i].offset, blocks[i], kWindowLength, read) != ERROR_SUCCESS) read = 0;
        if (read < kWindowLength) std::memset(blocks[i] + read, 0, kWindowLength - read);
    }
    platform.CloseFile(file);
    for (std::size_t i = 0; i < std::size(kWindows); ++i) {
        if (std::memcmp(blocks[i], kWindows[i].bytes, kWindowLength) == 0) return BodyTest::Match;
    }
    return BodyTest::NoMatch;
}

// "c:\..." and its kin: a path whose absence says the file is gone, unlike
// a bare name, which the logon resolves through the system's search path.
bool IsDrivePath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           path[2] == '\\';
}

// The entries of a logon program list: split at commas, empty entries
// skipped, the blanks after a comma skipped (the first entry keeps its
// own), each in lower case.
std::vector<std::string> SplitLogonList(const std::string& list) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string entry = list.substr(start, comma - start);
        start = comma + 1;
        if (entry.empty()) continue;
        if (!entries.empty()) entry.erase(0, entry.find_first_not_of(' '));
        // Nothing but blanks names no program; keeping it would leave an
        // empty entry in the list.
        if (entry.empty()) continue;
        entries.push_back(ToLowerName(entry));
    }
    return entries;
}

}  // namespace

void CCleanerDlg::CleanFakesvc() {
    RegisterVirusNames({kBodyName}, kFamily);

    const auto removeBody = [&](const std::string& path) {
        // The kill pair carries no text: the line is the trojan's own. It
        // says the module left memory, so it stands only for a process
        // that really ended; a trojan that was not running is reported by
        // its deletion line alone.
        if (KillProcessByName({path}, true) > 0) {
            Finding finding;
            finding.kind = ActionKind::ProcessStopped;
            finding.target = path;
            finding.family = kFamily;
            finding.line = LoadText(IDS_VIRUS_MODULE_STOPPED) + kTag;
            m_view.ReportFinding(finding);
        }
        VirusFileTags tags;
        tags.deleted = std::string(" ") + kTag;
        tags.deletedTextId = IDS_FILE_DELETED;
        RemoveVirusFile(path, RemoveFileOptions{true, false, true}, tags);
    };

    if (m_bWinNT) {
        std::vector<std::string> values{kWinLogonKey, kUserinit};
        ReadRegistryValues(values, 0);
        const std::string stored = values.empty() ? std::string() : values[0];

        std::string rebuilt;
        bool droppedTrojan = false;
        for (const std::string& entry : SplitLogonList(stored)) {
            if (entry.find(kSystemLogonProgram) != std::string::npos) {
                rebuilt += entry + ",";
                continue;
            }
            switch (TestBody(m_platform, entry)) {
                case BodyTest::Match:
                    removeBody(entry);
                    droppedTrojan = true;
                    break;
                case BodyTest::Missing:
                    // A full path to a file that is gone starts nothing: a
                    // trojan removed before. A bare name (the system's own
                    // "userinit" written without its extension among them)
                    // is found by the logon in the system directory, not
                    // where this program runs, so it stays.
                    if (!IsDrivePath(entry)) rebuilt += entry + ",";
                    break;
                case BodyTest::NoMatch:
                case BodyTest::Unreadable:
                    // Only a proven trojan leaves the list: a program the
                    // test cannot read (locked, no access) may be what the
                    // user needs to log on.
                    rebuilt += entry + ",";
                    break;
            }
        }
        // A list that named only the trojan would, left alone, name a file
        // that is gone or still the trojan, and the user could no longer log
        // on; it gets the system's own logon program instead. Any other
        // empty list (an unread value) is never written.
        if (rebuilt.empty() && droppedTrojan && m_sysDirs.size() > 1 && !m_sysDirs[1].empty()) {
            rebuilt = ToLowerName(m_sysDirs[1] + "\\" + kSystemLogonProgram) + ",";
        }
        if (!rebuilt.empty()) {
            // The system keeps the list as a plain string; one kept as an
            // expandable string stays expandable, or its "%systemroot%"
            // would no longer name the logon program.
            std::uint32_t type = REG_SZ;
            RegKey key = 0;
            if (m_platform.OpenKey(winroot::kLocalMachine, kWinLogonKey, key) == ERROR_SUCCESS) {
                std::uint32_t storedType = 0;
                if (m_platform.QueryValue(key, kUserinit, &storedType, nullptr, nullptr) == ERROR_SUCCESS &&
                    storedType == REG_EXPAND_SZ) {
                    type = REG_EXPAND_SZ;
                }
                m_platform.CloseKey(key);
            }
            RestoreRegistryValues(winroot::kLocalMachine, {kWinLogonParent, kWinLogonName, kUserinit, rebuilt},
                                  LoadText(IDS_LOGON_KEY_CHECKED), type);
        }
    } else {
        std::vector<std::string> values{kRunServicesKey};
        ReadRegistryValues(values, 0);
        for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
            if (!EqualsNoCase(values[i], kServiceValue)) continue;
            if (ToLowerName(values[i + 1]).find(kBodyName) == std::string::npos) continue;
            std::string path = values[i + 1];
            if (!path.empty() && path.front() == '"') {
                path.erase(0, 1);
                if (!path.empty()) path.pop_back();
            }
            if (TestBody(m_platform, path) == BodyTest::Match) removeBody(path);
        }
    }

    // The trojan's key goes whole and without a line; its RunServices value
    // goes on both families, whatever it starts.
    RestoreRegistryValues(winroot::kLocalMachine,
                          {"Software\\Microsoft", "DirectPlugin", "", "", kRunServicesParent, kRunServicesName,
                           kServiceValue, ""},
                          LoadText(IDS_REGISTRY_KEY_RESTORED) + kTag, 0);

    m_walker.AddExtension(".exe");
}
