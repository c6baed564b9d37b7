// The running processes of either Windows family, and ending them.
#pragma once

#include <cstdint>
#include <string>

class IPlatform;

struct ProcessEntry {
    std::uint32_t processId = 0;
    std::uintptr_t hWnd = 0;  // a top-level window; no enumeration fills it
    std::string name;         // the executable's file name
    std::string fullPath;     // the executable's path; empty when it cannot be had
};

// How an attempt to end a process went. The system's answer alone cannot
// tell "ended" from "could not even be opened": both are reported as
// success by Terminate, which callers that only stop processes rely on.
enum class TerminateOutcome { Ended, NotOpened, Refused };

class CProcessList {
public:
    // Detects the family and, on NT, enables the debugging privilege so
    // that processes of other accounts and services can be opened.
    explicit CProcessList(IPlatform& platform);

    // Fills entries from index 0 and returns how many it filled.
    unsigned Enumerate(ProcessEntry* entries, unsigned capacity);
    // True unless an opened process refused to end.
    bool Terminate(const ProcessEntry& entry, bool force);
    // When it does not end, `pGone` says whether the process had gone before
    // it could be opened (it ended by itself or through an earlier step),
    // which is no refusal: the system names no such process.
    TerminateOutcome TerminateProcess(const ProcessEntry& entry, bool* pGone = nullptr);
    std::string GetModulePath(std::uint32_t processId);
    bool EnableDebugPrivilege();

    bool IsNT() const { return m_bNT; }

private:
    unsigned EnumerateSnapshot(ProcessEntry* entries, unsigned capacity);
    unsigned EnumeratePerformanceData(ProcessEntry* entries, unsigned capacity);

    IPlatform& m_platform;
    bool m_bNT;
};
