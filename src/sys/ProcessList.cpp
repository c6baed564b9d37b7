#include "sys/ProcessList.h"

#include <cstdio>
#include <vector>

#include "platform/Platform.h"
#include "sys/PerfData.h"

namespace {

const char* const kPerflibKey = "software\\microsoft\\windows nt\\currentversion\\perflib";
// The English (neutral) counter names, whatever the system's language.
constexpr unsigned kNeutralLanguage = 9;
// The performance query starts with this buffer and grows by the step
// while the system answers that it needs more.
constexpr std::uint32_t kPerfBufferStart = 51200;
constexpr std::uint32_t kPerfBufferStep = 25600;
// A process list never needs more than this; a system that keeps asking for
// more past it is answering nonsense.
constexpr std::uint32_t kPerfBufferLimit = 64u << 20;
// The rights the program asks for, as the headers of its time define them.
constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
constexpr std::uint32_t kProcessQueryAndRead = 0x410;

}  // namespace

CProcessList::CProcessList(IPlatform& platform)
    : m_platform(platform), m_bNT(platform.PlatformId() == VER_PLATFORM_WIN32_NT) {
    if (m_bNT) EnableDebugPrivilege();
}

bool CProcessList::EnableDebugPrivilege() {
    if (!m_bNT) return true;
    // The program has no console; the diagnostics are for whoever runs it
    // with one attached.
    TokenHandle token = 0;
    if (std::int32_t e = m_platform.OpenProcessToken(token)) {
        std::printf("OpenProcessToken failed with %d\n", static_cast<int>(e));
        return false;
    }
    std::uint64_t luid = 0;
    if (std::int32_t e = m_platform.LookupPrivilege("SeDebugPrivilege", luid)) {
        std::printf("LookupPrivilegeValue failed with %d\n", static_cast<int>(e));
        m_platform.CloseToken(token);
        return false;
    }
    const std::int32_t e = m_platform.AdjustTokenPrivilege(token, luid);
    m_platform.CloseToken(token);
    if (e) {
        std::printf("AdjustTokenPrivileges failed with %d\n", static_cast<int>(e));
        return false;
    }
    return true;
}

unsigned CProcessList::Enumerate(ProcessEntry* entries, unsigned capacity) {
    if (!m_bNT) return EnumerateSnapshot(entries, capacity);
    const unsigned n = EnumeratePerformanceData(entries, capacity);
    // Performance counters can be disabled or damaged (and some systems
    // have none); the tool-help snapshot exists on every NT-family system
    // the program runs on, and running malware must still be found.
    return n > 0 ? n : EnumerateSnapshot(entries, capacity);
}

unsigned CProcessList::EnumerateSnapshot(ProcessEntry* entries, unsigned capacity) {
    if (capacity == 0) return 0;
    std::vector<SnapshotProcess> snapshot;
    if (m_platform.ProcessSnapshot(snapshot) != ERROR_SUCCESS) return 0;
    unsigned count = 0;
    for (const SnapshotProcess& p : snapshot) {
        if (count == capacity) break;
        ProcessEntry& e = entries[count++];
        e.processId = p.processId;
        const std::size_t slash = p.exeFile.find_last_of('\\');
        e.name = slash == std::string::npos ? p.exeFile : p.exeFile.substr(slash + 1);
        // The 9x family reports the path; the NT family (and Wine in either
        // mode) only the file name, so then the path comes from the process.
        e.fullPath = slash == std::string::npos ? GetModulePath(p.processId) : p.exeFile;
    }
    return count;
}

unsigned CProcessList::EnumeratePerformanceData(ProcessEntry* entries, unsigned capacity) {
    if (capacity == 0) return 0;
    char keyName[80];
    std::snprintf(keyName, sizeof keyName, "%s\\%03x", kPerflibKey, kNeutralLanguage);
    RegKey perflib = 0;
    if (m_platform.OpenKey(winroot::kLocalMachine, keyName, perflib) != ERROR_SUCCESS) return 0;

    std::uint32_t size = 0;
    std::string counters;
    if (m_platform.QueryValue(perflib, "Counters", nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        std::vector<std::uint8_t> buffer(size, 0);
        if (m_platform.QueryValue(perflib, "Counters", nullptr, buffer.data(), &size) == ERROR_SUCCESS) {
            counters.assign(buffer.begin(), buffer.begin() + std::min<std::size_t>(size, buffer.size()));
        }
    }
    m_platform.CloseKey(perflib);
    const PerfCounterIndexes indexes = ParsePerfCounterNames(counters);
    if (!indexes.found) return 0;

    std::vector<std::uint8_t> data;
    std::uint32_t capacityBytes = kPerfBufferStart;
    std::int32_t status = ERROR_MORE_DATA;
    std::uint32_t got = 0;
    while (status == ERROR_MORE_DATA && capacityBytes <= kPerfBufferLimit) {
        data.assign(capacityBytes, 0);
        got = capacityBytes;
        status = m_platform.QueryValue(winroot::kPerformanceData, indexes.processObject, nullptr, data.data(), &got);
        capacityBytes += kPerfBufferStep;
    }
    m_platform.CloseKey(winroot::kPerformanceData);
    if (status != ERROR_SUCCESS || got == 0) return 0;

    const std::vector<PerfProcess> processes =
        ParsePerfProcesses(data.data(), std::min<std::size_t>(got, data.size()), indexes.idProcessCounter,
                           capacity - 1);
    unsigned count = 0;
    for (const PerfProcess& p : processes) {
        ProcessEntry& e = entries[count++];
        e.processId = p.processId;
        e.name = p.name;
        e.fullPath = GetModulePath(p.processId);
    }
    return count;
}

std::string CProcessList::GetModulePath(std::uint32_t processId) {
    ProcessHandle process = 0;
    if (m_platform.OpenProcess(kProcessQueryAndRead, processId, process) != ERROR_SUCCESS) return {};
    std::string path;
    if (m_platform.FirstModuleFileName(process, path) != ERROR_SUCCESS) path.clear();
    m_platform.CloseProcess(process);
    return path;
}

TerminateOutcome CProcessList::TerminateProcess(const ProcessEntry& entry, bool* pGone) {
    if (pGone) *pGone = false;
    ProcessHandle process = 0;
    const std::int32_t error = m_platform.OpenProcess(kProcessAllAccess, entry.processId, process);
    if (error != ERROR_SUCCESS) {
        // OpenProcess answers an identifier that names no process this way.
        if (pGone) *pGone = error == ERROR_INVALID_PARAMETER;
        return TerminateOutcome::NotOpened;
    }
    const std::int32_t status = m_platform.TerminateProcess(process, 1);
    m_platform.CloseProcess(process);
    return status == ERROR_SUCCESS ? TerminateOutcome::Ended : TerminateOutcome::Refused;
}

bool CProcessList::Terminate(const ProcessEntry& entry, bool force) {
    // No enumeration fills a window handle, so the polite close through the
    // window never applies; a process that cannot be opened counts as done
    // because nothing more could be tried.
    (void)force;
    return TerminateProcess(entry) != TerminateOutcome::Refused;
}
