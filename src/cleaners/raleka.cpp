// I-Worm.Raleka, variants a and b: its files have fixed names, so they are
// only registered for the autostart checks, the memory scan and the disk
// walk that follow. The user's application-compatibility key is deleted on
// every scan, whether the worm was found or not.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"

namespace {

struct RalekaVariant {
    const char* family;
    std::vector<std::string> names;
};

const RalekaVariant kVariants[] = {
    {"Raleka.b", {"scvhost.ini", "svchost.cmd"}},
    {"Raleka.a", {"ntrootkit.exe", "svchost32.exe", "ntrootkit.reg", "down.com"}},
};

const char* const kExtensions[] = {".exe", ".com", ".reg", ".ini", ".cmd"};

const char* const kAppCompatParent = "Software\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kAppCompatKey = "AppCompatFlags";

}  // namespace

bool CCleanerDlg::CleanRaleka() {
    for (const RalekaVariant& variant : kVariants) RegisterVirusNames(variant.names, variant.family);

    // The key goes whether or not the worm was here, with all its subkeys.
    // A whole key's deletion writes no line, so the message is never shown.
    RestoreRegistryValues(winroot::kCurrentUser, {kAppCompatParent, kAppCompatKey, "", ""},
                          LoadText(IDS_REGISTRY_KEY_RESTORED) + "(Raleka)", 0);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
