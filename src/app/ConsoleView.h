// The view seam of the console program: the result log goes to standard
// output line by line as the dialog would show it, the dialog's question is
// answered from the command line, and every finding and drive decision is
// kept for the exit code and the report.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/View.h"

// Where the console program's text goes; the Windows front end writes it to
// the console or to whatever the streams were redirected to.
class IConsoleOutput {
public:
    virtual ~IConsoleOutput() = default;
    // One line on standard output: a result-log line, or help.
    virtual void WriteLine(const std::string& line) = 0;
    // A message for whoever started the program, on standard error.
    virtual void WriteMessage(const std::string& text) = 0;
    // The path being checked, for a status line that the front end keeps
    // only when standard error is a console; empty clears it.
    virtual void ShowPath(const std::string& path) = 0;
};

class CConsoleView : public ICleanerView {
public:
    explicit CConsoleView(IConsoleOutput& output) : m_output(output) {}

    // The answer to the network-drive question.
    void SetWalkNetworkDrives(bool walk) { m_bWalkNetwork = walk; }

    // Waits until the scan thread has said it is done.
    void WaitFinished();
    std::vector<Finding> Findings() const;
    std::vector<std::pair<std::string, DriveAction>> Drives() const;
    // The texts of the message boxes the scan showed, in order.
    std::vector<std::string> Messages() const;

    void AddLogLine(const std::string& line) override;
    void ReportFinding(const Finding& finding) override;
    void ResetLog() override;
    void SetPathText(const std::string& path) override;
    void SetCaption(const std::string&) override {}
    void EnableScanButton(bool) override {}
    std::string GetExitButtonText() override;
    void SetExitButtonText(const std::string& text) override;
    int MessageBox(const std::string& text, std::uint32_t style) override;
    bool CreateAnimation() override { return false; }
    void PlayAnimation() override {}
    void StopAnimation() override {}
    // There is no banner; the dialog's front end is the one that fetches it.
    void SetBannerTarget(const std::string&) override {}
    bool ShowBannerPicture(const std::vector<std::uint8_t>&) override { return false; }
    void SetBannerWarning(bool) override {}
    void OnScanThreadFinished() override;
    void ReportDrive(const std::string& drive, DriveAction action) override;

private:
    IConsoleOutput& m_output;
    bool m_bWalkNetwork = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_bFinished = false;
    // The dialog empties its log when the scan starts; the start-up advice
    // before that is for a user about to press "Skanuj", so the console's
    // log begins there too.
    bool m_bLogOpen = false;
    std::vector<Finding> m_findings;
    std::vector<std::pair<std::string, DriveAction>> m_drives;
    std::vector<std::string> m_messages;
    std::string m_exitText;
};
