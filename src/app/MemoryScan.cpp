// The two stages that deal with running programs: stopping processes under
// the names the family cleaners registered, and handing every running
// executable to the classifier. A body that is running cannot be deleted, so
// memory is where the disk walk's work starts: what is found here registers
// its name, and the walk then deletes the copies under that name elsewhere.
#include <algorithm>
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "sys/Findings.h"
#include "sys/ProcessList.h"
#include "sys/Text.h"

namespace {

// Every user of the process list holds this many entries.
constexpr unsigned kProcessListCapacity = 256;
// Query-information and memory-read: what reading a process's module list
// needs. A process that refuses these rights is one the program could not
// look into, so its file is left to the disk walk.
constexpr std::uint32_t kProcessQueryAndRead = 0x410;

constexpr int kFamilyApdoor = 2;
constexpr int kFamilySpyBot = 3;
constexpr int kFamilySwen = 4;

std::vector<ProcessEntry> EnumerateProcesses(CProcessList& list) {
    std::vector<ProcessEntry> entries(kProcessListCapacity);
    entries.resize(list.Enumerate(entries.data(), kProcessListCapacity));
    return entries;
}

std::string TargetOf(const ProcessEntry& entry) { return entry.fullPath.empty() ? entry.name : entry.fullPath; }

// Swen drops a batch file named after the computer beside the Windows
// directory's other files; it restarts the worm, so it goes with the body.
// Nothing is reported either way, as the log has never named this file.
void DeleteSwenBatchFile(CCleanerDlg& dlg) {
    std::string computer;
    if (!dlg.Platform().ComputerName(computer) || computer.empty()) return;
    // Without the Windows directory the name would point at the root of the
    // current drive, where the worm never writes.
    if (dlg.m_sysDirs.empty() || dlg.m_sysDirs[0].empty()) return;
    dlg.Platform().RemoveFile(dlg.m_sysDirs[0] + "\\" + computer + ".bat");
}

// The names a recognised running body leaves for the disk walk and the
// later process checks of this scan.
void RegisterRunningBody(CCleanerDlg& dlg, int family, const std::string& processName) {
    // An empty name would be registered as a name no file has, spending one
    // of the registry's fixed family slots for nothing.
    if (processName.empty()) return;
    switch (family) {
        case kFamilyApdoor: {
            // The backdoor runs as a program and keeps a library of the same
            // name beside it. The last three characters are replaced, not the
            // extension, as the registry has always held these names; a name
            // shorter than that has no stem to keep and registers nothing.
            if (processName.size() < 3) return;
            const std::string stem = processName.substr(0, processName.size() - 3);
            dlg.RegisterVirusNames({stem + "exe", stem + "dll"}, "Backdoor: Apdoor.c");
            break;
        }
        case kFamilySpyBot:
            dlg.RegisterVirusNames({processName}, "SpyBot!p2p");
            break;
        case kFamilySwen:
            DeleteSwenBatchFile(dlg);
            dlg.RegisterVirusNames({processName}, "Worm.Swen");
            break;
        default:
            break;
    }
}

}  // namespace

void CCleanerDlg::KillRegisteredProcesses() {
    CProcessList list(m_platform);
    const std::vector<ProcessEntry> entries = EnumerateProcesses(list);
    for (const ProcessEntry& entry : entries) {
        bool ended = false;
        bool gone = false;
        std::size_t firstMatch = m_virusFileNames.size();
        // Every registration is visited, also after a match: a name that two
        // families registered is reported once for each of them.
        for (std::size_t i = 0; i < m_virusFileNames.size(); ++i) {
            const std::string& name = m_virusFileNames[i];
            if (name.empty() || !EqualsNoCase(entry.name, name)) continue;
            if (firstMatch == m_virusFileNames.size()) firstMatch = i;
            // The line says the file was removed from memory, so it stands
            // only for a process that really ended; one that could not be
            // opened or refused is tried again for the next registration.
            if (!ended && !gone) ended = list.TerminateProcess(entry, &gone) == TerminateOutcome::Ended;
            if (!ended) continue;
            const int k = FamilyOfRegisteredName(i);
            const std::string family = k >= 0 ? m_familyNames[static_cast<std::size_t>(k)] : std::string();
            Finding finding;
            finding.kind = ActionKind::ProcessStopped;
            finding.target = TargetOf(entry);
            finding.family = family;
            finding.line = LoadText(IDS_VIRUS_FILE) + family + ": " + name + LoadText(IDS_REMOVED_FROM_MEMORY);
            m_view.ReportFinding(finding);
        }
        // A process under a registered name that every try left running.
        if (firstMatch < m_virusFileNames.size() && !ended && !gone) {
            m_view.ReportFinding(
                FailedStep(ActionKind::ProcessStopped, TargetOf(entry), FamilyNameOfRegisteredName(firstMatch)));
        }
    }
}

void CCleanerDlg::ScanMemory() {
    CProcessList list(m_platform);
    const std::vector<ProcessEntry> entries = EnumerateProcesses(list);
    for (const ProcessEntry& entry : entries) {
        ProcessHandle probe = 0;
        if (m_platform.OpenProcess(kProcessQueryAndRead, entry.processId, probe) != ERROR_SUCCESS) continue;
        m_platform.CloseProcess(probe);
        // The system's idle and kernel processes have no file, and a path
        // that could not be read names none the classifier could open.
        if (entry.fullPath.empty()) continue;
        const int family = ClassifyFile(entry.fullPath);
        if (family == 0) continue;
        RegisterRunningBody(*this, family, entry.name);
        // Terminate alone reports a process that could not be opened as
        // stopped; the line claims it was, so only a real end counts. The
        // classifier may have stopped it already (a running Bagle), and then
        // its own line stands for it.
        bool gone = false;
        if (list.TerminateProcess(entry, &gone) != TerminateOutcome::Ended) {
            if (!gone) m_view.ReportFinding(FailedStep(ActionKind::ProcessStopped, TargetOf(entry), ""));
            continue;
        }
        Finding finding;
        finding.kind = ActionKind::ProcessStopped;
        finding.target = TargetOf(entry);
        finding.line = LoadText(IDS_MODULE) + entry.name + LoadText(IDS_MODULE_STOPPED);
        m_view.ReportFinding(finding);
    }
}
