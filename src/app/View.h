// The view seam: everything the scan shows or asks, as the dialog's window
// would do it. The real dialog implements it with window messages; tests and
// other front ends implement it with a recording.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a result-log line reports as done to the machine. The line itself is
// what the user reads; the rest lets front ends and tests reason about it.
enum class ActionKind {
    ProcessStopped,
    FileDeleted,
    FileDeleteScheduled,
    FileRepaired,
    RegistryValueDeleted,
    RegistryValueRestored,
    RegistryKeyDeleted,
    IniEntryRestored,
    // A file named in the log as infected and left where it is (the step
    // that deals with it, if any, reports separately).
    InfectedFileReported,
};

struct Finding {
    ActionKind kind = ActionKind::FileDeleted;
    std::string target;   // path, "key\value", key, or process name
    std::string family;   // family named by the line; empty when it names none
    bool succeeded = true;
    std::string line;     // the exact result-log line; a failed step shows none
};

// What the drive loop did with one drive of the system's list.
enum class DriveAction {
    Walked,
    SkippedCdrom,
    SkippedNetwork,      // the question was answered No
    SkippedNotSelected,  // outside the drives the front end limited the walk to
    SkippedAborted,
};

class ICleanerView {
public:
    virtual ~ICleanerView() = default;

    // Result log (control 1001). A line the list refuses is lost silently.
    virtual void AddLogLine(const std::string& line) = 0;
    // A result-log line that reports something done to the machine. A step
    // that was tried and failed comes here too, with succeeded false; the
    // log shows no line for it.
    virtual void ReportFinding(const Finding& finding) = 0;
    virtual void ResetLog() = 0;

    virtual void SetPathText(const std::string& path) = 0;    // control 1000
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void EnableScanButton(bool enable) = 0;           // control 1002
    virtual std::string GetExitButtonText() = 0;              // control 1003
    virtual void SetExitButtonText(const std::string& text) = 0;

    // A modal message box captioned with the product title; returns IDOK,
    // IDYES, IDNO, ...
    virtual int MessageBox(const std::string& text, std::uint32_t style) = 0;

    // The animation that plays during a scan. Create returns whether a
    // window now exists (it may exist yet show nothing).
    virtual bool CreateAnimation() = 0;
    virtual void PlayAnimation() = 0;
    virtual void StopAnimation() = 0;

    // The banner (control 1007). The banner thread sets its target and its
    // picture, the UI thread its warning.
    //
    // What a click on the banner opens.
    virtual void SetBannerTarget(const std::string& target) = 0;
    // Puts the picture in `data` (GIF, JPEG, BMP, ...) in place of the current
    // one and starts showing it. The current picture goes first, so data that
    // is no picture leaves the banner empty; returns whether the new one shows.
    virtual bool ShowBannerPicture(const std::vector<std::uint8_t>& data) = 0;
    // While set, a click on the banner asks before it opens the target.
    virtual void SetBannerWarning(bool warn) = 0;

    // Called last by the scan thread, after the idle state is restored. The
    // dialog must not wait for the thread before this arrives: the thread
    // reaches the window through synchronous messages until then.
    virtual void OnScanThreadFinished() = 0;

    // The drive loop's decision on one drive, made before the drive is
    // walked. The dialog shows none of it; front ends that report the walk
    // do.
    virtual void ReportDrive(const std::string& drive, DriveAction action) {
        (void)drive;
        (void)action;
    }
};
