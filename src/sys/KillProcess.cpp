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
        // The line says the module was removed from memory, so it is written
        // only for a process that really ended.
        if (list.TerminateProcess(entry) != TerminateOutcome::Ended) continue;
        ++ended;
        if (killPair.size() < 2) continue;
        Finding finding;
        finding.kind = ActionKind::ProcessStopped;
        finding.target = entry.fullPath.empty() ? entry.name : entry.fullPath;
        finding.line = "   " + killPair[1];
        finding.family = FamilyOfLine(finding.line);
        m_view.ReportFinding(finding);
    }
    return ended;
}
