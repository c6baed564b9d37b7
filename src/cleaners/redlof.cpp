// VBS\Redlof: a script worm that runs in the Script Host, starts from a
// machine-wide Run value named "Kernel32" and has the system run its script
// as a library through script-engine keys of the "dllfile" class.
#include <cstring>
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

const char* const kFamily = "VBS\\Redlof";
const char* const kTag = "(VBS\\Redlof)";
const char* const kDeletedTag = " (VBS\\Redlof)";

const char* const kScriptHost = "wscript.exe";
const char* const kValueName = "Kernel32";
const char* const kDataMarker = "kernel";

// The worm's script holds this text at this offset; the file it starts has
// no other mark to tell it from a library of that name.
constexpr std::uint64_t kMarkerOffset = 10744;
constexpr std::uint32_t kMarkerLength = 16;
const char kMarker[kMarkerLength + 1] = "For i=1 To Len(E";

// The subkeys through which a "library" is run as a script.
const char* const kDllFileClass = "dllfile";
const char* const kDllFileKeys[] = {"shell", "shellex", "scriptengine", "scripthostencode"};

const char* const kExtensions[] = {".chk", ".gif"};

// The content test: the marker at its offset in the file the value starts.
bool HasRedlofMarker(IPlatform& platform, const std::string& path) {
    FileHandle file = kInvalidFile;
    if (path.empty() || platform.OpenForRead(path, file) != ERROR_SUCCESS) return false;
    // Zero-filled, so that a file ending before the marker's last byte can
    // never pass: the marker holds no zero.
    std::uint8_t buffer[kMarkerLength] = {};
    std::uint32_t read = 0;
    const bool readOk = platform.ReadAt(file, kMarkerOffset, buffer, kMarkerLength, read) == ERROR_SUCCESS;
    platform.CloseFile(file);
    return readOk && std::memcmp(buffer, kMarker, kMarkerLength) == 0;
}

}  // namespace

bool CCleanerDlg::CleanRedlof() {
    // The worm's script runs in the Script Host; every host goes, whatever
    // script it is running, before the worm's files are touched.
    KillProcessByName({kScriptHost, LoadText(IDS_SCRIPT_HOST_STOPPED)}, false);

    std::vector<std::string> values{kRunKeyPath};
    ReadRegistryValues(values, 0);
    for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
        if (!EqualsNoCase(values[i], kValueName)) continue;
        // The rest works on the lower-cased data, so the lines show the
        // path in lower case.
        std::string path = ToLowerName(values[i + 1]);
        if (path.find(kDataMarker) == std::string::npos) continue;
        if (!path.empty() && path.front() == '"') {
            path.erase(0, 1);
            if (!path.empty()) path.pop_back();
        }

        if (HasRedlofMarker(m_platform, path)) {
            VirusFileTags tags;
            tags.deleted = kDeletedTag;
            // Attributes reset, but no deletion at restart: the marker test
            // is all there is, and a file that will not go now is left.
            RemoveVirusFile(path, RemoveFileOptions{true, false, true}, tags);
        }

        // The value alone shows the machine is infected: the class keys go
        // even when the script itself is not (or no longer) there.
        std::vector<std::string> classKeys;
        for (const char* key : kDllFileKeys) classKeys.insert(classKeys.end(), {kDllFileClass, key, "", ""});
        RestoreRegistryValues(winroot::kClassesRoot, classKeys, LoadText(IDS_REGISTRY_KEY_RESTORED) + kTag, 0);

        RestoreRegistryValues(winroot::kLocalMachine, {kRunKeyParent, kRunKeyName, kValueName, ""},
                              LoadText(IDS_VIRUS_RUN_VALUE_DELETED) + kTag, 0);
    }

    RegisterVirusNames({"stationery"}, kFamily);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
