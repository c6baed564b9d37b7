// Worm.Randex: the many names its variants go by, bodies under any other
// name found by the classifier through the autostart keys, and the "run"
// line the worm sets for the logon.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "sys/Text.h"

namespace {

constexpr int kFamilyRandex = 9;
const char* const kFamily = "Worm.Randex";
const char* const kTag = "(Worm.Randex)";
const char* const kDeletedTag = " (Worm.Randex)";

const char* const kFileNames[] = {
    "metalrock-is-gay.exe", "musirc4.71.exe", "spoolsrv.exe",     "ph32.exe",     "netfd32.exe",  "winnt32.dat",
    "winlogonn.exe",        "netd32.exe",     "nstask32.exe",     "winlogin.exe", "win32sockdrv.dll",
    "yuetyutr.dll",         "msmsgri32.exe",  "payload.dat",      "msmonk32.exe", "gesfm32.exe",  "msslut32.exe",
    "ns32.exe",             "hxedofos.exe",   "cnqmax.exe",       "amqj.exe",     "gfac.exe"};

// Only the 9x family starts programs from RunServices.
const char* const kRunServicesKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";

const char* const kLogonParent = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char* const kLogonKey = "Windows";
const char* const kLogonValue = "run";
const char* const kLogonData = "explorer.exe";

const char* const kExtensions[] = {".exe", ".dat", ".dll"};

std::string FilePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether `family` has `name` among its registrations already: one of the
// fixed names, or a copy found before. A second registration would have the
// process stage stop such a program with one line for each of them.
bool IsRegisteredFor(const CCleanerDlg& dlg, const std::string& name, const std::string& family) {
    for (std::size_t i = 0; i < dlg.m_virusFileNames.size(); ++i) {
        if (EqualsNoCase(dlg.m_virusFileNames[i], name) && dlg.FamilyNameOfRegisteredName(i) == family) return true;
    }
    return false;
}

}  // namespace

bool CCleanerDlg::CleanRandex() {
    RegisterVirusNames(std::vector<std::string>(std::begin(kFileNames), std::end(kFileNames)), kFamily);

    std::vector<const char*> keys = {kRunKeyPath};
    if (!m_bWinNT) keys.push_back(kRunServicesKeyPath);

    // The data is taken as it stands: a command without a drive is left to
    // the classifier as it is.
    RunCommandOptions options;
    options.bExpandPlaceholders = false;
    options.trim = RunTrimRule::Dot;
    options.base = RunBaseDir::None;

    for (const char* keyPath : keys) {
        for (int rootIndex = 0; rootIndex < 2; ++rootIndex) {
            std::vector<std::string> values{keyPath};
            ReadRegistryValues(values, rootIndex);
            for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
                const std::string path = NormalizeRunCommand(values[i + 1], options);
                // The classifier removes a recognised body itself.
                if (path.empty() || ClassifyFile(path) != kFamilyRandex) continue;
                // A body found means the worm is here: whatever runs under
                // any registered name goes before the file is tried again.
                KillRegisteredProcesses();
                VirusFileTags tags;
                tags.deleted = kDeletedTag;
                RemoveVirusFile(path, RemoveFileOptions::Short(), tags);
                // The later stages look for this copy's name as well. It is
                // registered with its own count: a name outside every count
                // would make each later name count for the family before it.
                // A path ending in a backslash has no name to register.
                const std::string name = ToLowerName(FilePart(path));
                if (!name.empty() && !IsRegisteredFor(*this, name, kFamily)) RegisterVirusNames({name}, kFamily);
                // The autostart value stays; the autostart checks take it by
                // the name just registered.
            }
        }
    }

    RestoreRegistryValues(winroot::kLocalMachine, {kLogonParent, kLogonKey, kLogonValue, kLogonData},
                          LoadText(IDS_REGISTRY_KEY_RESTORED) + kTag, REG_SZ);

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
