#include <vector>

#include "app/CleanerDlg.h"
#include "sys/Findings.h"
#include "sys/ProcessList.h"
#include "sys/Text.h"

namespace {

// Every user of the list holds this many entries.
constexpr unsigned kProcessListCapacity = 256;

}  // namespace

unsigned CCleanerDlg::KillProcessByName(const std::vector<std::string>& killPair, bool matchFullPath) {
    if (killPair.empty() || killPair[0].empty()) return 0;  // an empty key would match every unknown path
    CProcessList list(m_platform);
    std::vector<ProcessEntry> entries(kProcessListCapacity);
    const unsigned count = list.Enumerate(entries.data(), kProcessListCapacity);
    unsigned ended = 0;
    for (unsigned i = 0; i < count; ++i) {
        const ProcessEntry& entry = entries[i];
        if (!EqualsNoCase(matchFullPath ? entry.fullPath : entry.name, killPair[0])) continue;
        const std::string target = entry.fullPath.empty() ? entry.name : entry.fullPath;
        const std::string line = killPair.size() < 2 ? std::string() : "   " + killPair[1];
        // The line says the module was removed from memory, so it is written
        // only for a process that really ended.
        bool gone = false;
        if (list.TerminateProcess(entry, &gone) != TerminateOutcome::Ended) {
            // A pair without a text belongs to a caller that reports on its
            // own. The script host is stopped before every script file of
            // the walk: one that refuses is one failure, not one per file.
            if (!gone && !line.empty() && m_failedStops.insert({entry.processId, line}).second) {
                m_view.ReportFinding(FailedStep(ActionKind::ProcessStopped, target, FamilyOfLine(line)));
            }
            continue;
        }
        ++ended;
        if (line.empty()) continue;
        Finding finding;
        finding.kind = ActionKind::ProcessStopped;
        finding.target = target;
        finding.line = line;
        finding.family = FamilyOfLine(finding.line);
        m_view.ReportFinding(finding);
    }
    return ended;
}
