// Swen: a body under a random name started from the Run key, data files
// with fixed names, the registry editor blocked by policy, the open commands
// of the executable file types pointed at the worm, and marker keys and
// values under the Explorer key.
#include <cstring>
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

const char* const kFamily = "Worm.Swen";
const char* const kTag = "(Worm.Swen)";
// The classifier's family code of the worm's body.
constexpr int kFamilyCode = 4;

const char* const kFixedNames[] = {"germs0.dbv", "germs1d.dbv", "swen1.dat"};
const char* const kExtensions[] = {".exe", ".dbv", ".tmp", ".dat", ".scr", ".pif"};

// The open command the system registers for most executable types.
const char* const kOpenCommand = "\"%1\" %*";

struct RestoreRow {
    RegKey root;
    const char* parent;
    const char* key;
    const char* value;
    const char* data;  // empty: the value is deleted
    std::uint32_t type;
};

const RestoreRow kRestoreRows[] = {
    {winroot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies", "System", "DisableRegistryTools",
     "", 0},
    {winroot::kClassesRoot, "comfile\\shell\\open", "command", "", kOpenCommand, REG_SZ},
    {winroot::kClassesRoot, "batfile\\shell\\open", "command", "", kOpenCommand, REG_SZ},
    {winroot::kClassesRoot, "exefile\\shell\\open", "command", "", kOpenCommand, REG_SZ},
    {winroot::kClassesRoot, "regfile\\shell\\open", "command", "", "regedit.exe \"%1\"", REG_SZ},
    {winroot::kClassesRoot, "piffile\\shell\\open", "command", "", kOpenCommand, REG_SZ},
    {winroot::kClassesRoot, "scrfile\\shell\\open", "command", "", "\"%1\" /S", REG_SZ},
    {winroot::kClassesRoot, "scrfile\\shell\\config", "command", "", kOpenCommand, REG_SZ},
};

const char* const kExplorerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer";
const char* const kExplorerParent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const kExplorerName = "explorer";
// Values the worm leaves on the Explorer key itself.
const char* const kMarkerValues[] = {"Install Item", "Installed",   "Kazaa Infect",
                                     "Mirc Install Folder", "Unfile", "ZipName"};
// A marker subkey carries both values, the second with the worm's signature.
const char* const kInstallItem = "Install Item";
const char* const kInstalled = "Installed";
const char* const kSignature = "... by Begbie";

// Subkey names and value data are read into buffers of this many bytes.
constexpr std::uint32_t kNameBufferSize = 260;

std::string FilePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Data up to its first zero byte, as the worm's own string functions wrote it.
std::string AsText(const std::uint8_t* data, std::uint32_t size) {
    const void* zero = std::memchr(data, 0, size);
    const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), n);
}

bool IsMarkerKey(IPlatform& platform, RegKey key) {
    // Existence of the first value is all the worm's mark needs.
    if (platform.QueryValue(key, kInstallItem, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
    std::uint8_t data[kNameBufferSize] = {};
    std::uint32_t size = kNameBufferSize;
    if (platform.QueryValue(key, kInstalled, nullptr, data, &size) != ERROR_SUCCESS) return false;
    return EqualsNoCase(AsText(data, size), kSignature);
}

}  // namespace

void CCleanerDlg::CleanSwen() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kFixedNames), std::end(kFixedNames)), kFamily);

    std::string computerName;
    if (!m_platform.ComputerName(computerName)) computerName.clear();

    // The body runs under a random name; only the classifier can tell it,
    // and the Run value is what leads to it. The classifier deletes it and
    // writes the line; the name is left for the autostart and memory stages,
    // which take the Run value and the process.
    RunCommandOptions options;
    options.bExpandPlaceholders = false;
    options.trim = RunTrimRule::Exe;
    options.base = RunBaseDir::Windows;
    std::vector<std::string> found;
    ForEachRunValue([&](const RunValue& value) {
        const std::string path = NormalizeRunCommand(value.data, options);
        if (path.empty() || ClassifyFile(path) != kFamilyCode) return;
        // A name without a file part would register a name no file has.
        const std::string name = ToLowerName(FilePart(path));
        if (!name.empty()) found.push_back(name);
    });

    if (!found.empty()) {
        // The batch file named after the computer starts the worm again.
        // Nothing is reported, whether or not it was there. Without the
        // computer name or the Windows directory the path would name a file
        // the worm never wrote ("\.bat", "C:\WINDOWS\.bat").
        if (!computerName.empty() && !m_sysDirs.empty() && !m_sysDirs[0].empty()) {
            m_platform.RemoveFile(m_sysDirs[0] + "\\" + computerName + ".bat");
        }
        RegisterVirusNames(found, kFamily);
    } else {
        // No Run value led to the body: it may still run, started some other
        // way, and the memory scan is what finds it by its content.
        ScanMemory();
    }

    const std::string restoreMessage = LoadText(IDS_REGISTRY_KEY_RESTORED) + kTag;
    for (const RestoreRow& row : kRestoreRows) {
        RestoreRegistryValues(row.root, {row.parent, row.key, row.value, row.data}, restoreMessage, row.type);
    }

    RegKey explorer = 0;
    if (m_platform.OpenKey(winroot::kLocalMachine, kExplorerKey, explorer) == ERROR_SUCCESS) {
        const std::string line = LoadText(IDS_VIRUS_KEY_DELETED) + kTag;
        std::string subName;
        for (std::uint32_t index = 0;
             m_platform.EnumKey(explorer, index, subName, kNameBufferSize) == ERROR_SUCCESS;) {
            RegKey sub = 0;
            if (m_platform.OpenKey(explorer, subName, sub) != ERROR_SUCCESS) {
                ++index;
                continue;
            }
            const bool marker = IsMarkerKey(m_platform, sub);
            m_platform.CloseKey(sub);
            // A deletion moves the next subkey into this index; reading the
            // same index again keeps a second marker right behind the first
            // from being passed over.
            Finding finding;
            finding.kind = ActionKind::RegistryKeyDeleted;
            finding.target = RootKeyName(winroot::kLocalMachine) + "\\" + kExplorerKey + "\\" + subName;
            finding.family = FamilyOfLine(line);
            if (!marker || m_platform.DeleteKey(explorer, subName) != ERROR_SUCCESS) {
                if (marker) m_view.ReportFinding(FailedStep(finding.kind, finding.target, finding.family));
                ++index;
                continue;
            }
            finding.line = line;
            m_view.ReportFinding(finding);
        }
        m_platform.CloseKey(explorer);
    }

    std::vector<std::string> markerValues;
    for (const char* value : kMarkerValues) {
        markerValues.insert(markerValues.end(), {kExplorerParent, kExplorerName, value, ""});
    }
    RestoreRegistryValues(winroot::kLocalMachine, markerValues, restoreMessage, 0);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
}
