// Win32/Dumaru: its file names for the later stages, and the three places in
// the registry the worm starts itself from or marks itself by.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"

namespace {

const char* const kFamily = "Win32/Dumaru.A";
const char* const kTag = "(Dumaru)";

// The worm drops its bodies and its logs of captured keystrokes under these
// names; the memory scan, the autostart checks and the disk walk take them.
const char* const kFileNames[] = {"load32.exe",  "dllreg.exe",  "vxdmgr32.exe", "windrv.exe",  "guid32.dll",
                                  "rundllx.sys", "vxdload.log", "windrive.exe", "winload.log", "rundllw.exe"};
const char* const kExtensions[] = {".log", ".dll", ".exe", ".sys"};

struct RestoreRule {
    RegKey root;
    const char* parent;
    const char* key;
    const char* value;
    const char* data;
    std::uint32_t type;
};

// Applied one at a time, each under its own root.
const RestoreRule kRules[] = {
    // The system keeps its own legacy "run" line per user; the machine-wide
    // one is the worm's, so it goes whatever it holds.
    {winroot::kLocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion", "Windows", "run", "", 0},
    {winroot::kCurrentUser, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "Winlogon", "shell", "explorer.exe",
     REG_SZ},
    // The worm's own key, with everything below it; a key deletion writes
    // no line.
    {winroot::kLocalMachine, "SOFTWARE", "SARS", "", "", 0},
};

}  // namespace

bool CCleanerDlg::CleanDumaru() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kFileNames), std::end(kFileNames)), kFamily);

    const std::string message = LoadText(IDS_REGISTRY_KEY_RESTORED) + kTag;
    for (const RestoreRule& rule : kRules) {
        RestoreRegistryValues(rule.root, {rule.parent, rule.key, rule.value, rule.data}, message, rule.type);
    }

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
