// Worm.Win32.Lovesan (Blaster) and Lovesan.d, also known as Welchia. Lovesan
// is left to the later stages under the names it uses; Welchia is removed
// here: its three services, its processes and its files, all at fixed places
// below the system directory.
#include <string>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"

namespace {

const char* const kFamily = "Worm.Win32.Lovesan";

// "windows auto update" is the worm's Run value and "tftp" the program it
// fetches itself with; both are matched like file names by the later stages.
const char* const kLovesanNames[] = {"enbiei.exe",  "mspatch.exe", "mslaugh.exe", "msblast.exe",
                                     "index.exe",   "root32.exe",  "teekids.exe", "penis32.exe",
                                     "windows auto update", "tftp"};

const char* const kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
const char* const kWelchiaServices[] = {"rpcpatch", "RpcTftpd", "WksPatch"};

// Below the system directory: the order the processes are stopped in, and
// the order the files are deleted in.
const char* const kWelchiaProcesses[] = {"\\wins\\svchost.exe", "\\wins\\dllhost.exe", "\\drivers\\svchost.exe"};
const char* const kWelchiaFiles[] = {"\\wins\\dllhost.exe", "\\wins\\svchost.exe", "\\drivers\\svchost.exe"};

const char* const kExtensions[] = {".exe", "*"};

}  // namespace

bool CCleanerDlg::CleanLovesan() {
    // Nothing below registers names, so registering at once leaves the same
    // registry as counting now and naming the family at the end would.
    RegisterVirusNames(std::vector<std::string>(std::begin(kLovesanNames), std::end(kLovesanNames)), kFamily);

    std::vector<std::string> services;
    for (const char* service : kWelchiaServices) services.insert(services.end(), {kServicesKey, service, "", ""});
    // Whole keys are deleted without a line, so the message is never shown.
    RestoreRegistryValues(winroot::kLocalMachine, services, LoadText(IDS_REGISTRY_KEY_RESTORED) + "(Lovesan.d)", 0);

    std::string systemDir;
    if (m_platform.SystemDirectory(systemDir) == 0 || systemDir.empty()) {
        systemDir = m_sysDirs.size() > 1 ? m_sysDirs[1] : std::string();
    }
    // Without the directory the paths would name "\wins\svchost.exe" on
    // whatever drive is current, which is no file the worm wrote.
    if (!systemDir.empty()) {
        std::vector<std::string> killPair = {"", LoadText(IDS_VIRUS_MODULE_STOPPED) + "(Lovesan.d alias Welchia)"};
        for (const char* process : kWelchiaProcesses) {
            killPair[0] = systemDir + process;
            // By full path: the system's own svchost.exe runs from the
            // system directory itself and must not be touched.
            KillProcessByName(killPair, true);
        }
        // Only a file whose attributes could be reset is there to delete.
        // These deletions have never written a line, and a file still held
        // by a process that did not stop stays without a restart schedule.
        for (const char* file : kWelchiaFiles) {
            const std::string path = systemDir + file;
            if (m_platform.SetAttributes(path, FILE_ATTRIBUTE_NORMAL) == ERROR_SUCCESS) m_platform.RemoveFile(path);
        }
    }

    for (const char* extension : kExtensions) m_walker.AddExtension(extension);
    return true;
}
