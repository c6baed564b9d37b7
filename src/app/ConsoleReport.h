// What the console program tells a script: its exit code and a JSON report,
// both made from the structured findings of the view seam.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/View.h"

enum ConsoleExitCode : int {
    kExitNothingFound = 0,
    kExitFound = 1,
    // The scan did not run or did not run to its end: the guard is on, the
    // command line is bad, the user interrupted it, or the report could not
    // be written.
    kExitNotRun = 2,
    // Something was found and at least one removal, stop or restoration
    // failed or waits for the next restart.
    kExitWorkLeft = 3,
};

// The exit code of a scan that ran to its end, from its findings (failed
// steps among them).
int ExitCodeOfFindings(const std::vector<Finding>& findings);

enum class ScanOutcome {
    Complete,
    Interrupted,  // the disk stage was stopped
    GuardOn,      // refused to start
    NotStarted,   // the scan thread could not be started
};

struct DriveRecord {
    std::string drive;  // "C:"
    std::string reason;  // empty when walked; else why not
};

struct ConsoleReport {
    std::string version;
    std::int64_t startTime = 0;  // seconds since 1970-01-01 UTC
    std::int64_t endTime = 0;
    bool bWinNT = true;
    ScanOutcome outcome = ScanOutcome::Complete;
    int exitCode = kExitNothingFound;
    std::vector<DriveRecord> drives;  // in the order the drive loop met them
    std::vector<Finding> findings;    // in the order they came, failed steps too
};

// The drive loop's decision as the report names it: "" for a walked drive.
std::string DriveReason(DriveAction action);

// The report as a JSON document (UTF-8, ending in a line break).
std::string FormatConsoleReport(const ConsoleReport& report);

// Appends `text` as a JSON string, quotes included. Quotes, backslashes and
// control characters are escaped; valid UTF-8 is kept as it is; a byte that
// is not part of valid UTF-8 (a damaged file name) becomes U+FFFD, so the
// document is always valid UTF-8 and valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

// "2024-03-01T12:00:05Z".
std::string FormatUtcTimestamp(std::int64_t secondsSinceEpoch);
