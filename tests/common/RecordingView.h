// A view that records what the scan shows and answers its questions from a
// script, for tests of the dialog logic on the simulated machine.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/View.h"

class CRecordingView : public ICleanerView {
public:
    struct Box {
        std::string text;
        std::uint32_t style;
    };

    // Everything in order, one entry each: "log:<line>", "caption:<text>",
    // "path:<text>", "box:<text>", "scan:on"/"scan:off", "exit:<text>",
    // "animation:create/play/stop", "reset", "banner-target:<address>",
    // "banner-picture:<bytes>". The banner warning is state only.
    std::vector<std::string> Events() const;
    std::vector<std::string> Log() const;
    std::vector<std::string> Paths() const;
    std::vector<Box> Boxes() const;
    // The findings the log shows a line for: the steps that succeeded.
    std::vector<Finding> Findings() const;
    // The steps that were tried and failed, which show no line.
    std::vector<Finding> FailedSteps() const;
    // Both, in the order they came.
    std::vector<Finding> AllFindings() const;
    struct DriveReport {
        std::string drive;
        DriveAction action;
    };
    std::vector<DriveReport> Drives() const;
    bool ScanButtonEnabled() const;
    std::string BannerTarget() const;
    // The data of the last ShowBannerPicture; empty before the first.
    std::vector<std::uint8_t> BannerPicture() const;
    bool BannerWarning() const;

    // Answers for Yes/No boxes, in order; IDNO when none is left.
    void AnswerNext(int answer);
    // Called (on the calling thread) after each event is recorded.
    void OnEvent(std::function<void(const std::string&)> hook);
    // Waits for OnScanThreadFinished; false after the deadline.
    bool WaitFinished(int seconds = 30);

    void AddLogLine(const std::string& line) override;
    void ReportFinding(const Finding& finding) override;
    void ResetLog() override;
    void SetPathText(const std::string& path) override;
    void SetCaption(const std::string& caption) override;
    void EnableScanButton(bool enable) override;
    std::string GetExitButtonText() override;
    void SetExitButtonText(const std::string& text) override;
    int MessageBox(const std::string& text, std::uint32_t style) override;
    bool CreateAnimation() override;
    void PlayAnimation() override;
    void StopAnimation() override;
    void SetBannerTarget(const std::string& target) override;
    bool ShowBannerPicture(const std::vector<std::uint8_t>& data) override;
    void SetBannerWarning(bool warn) override;
    void OnScanThreadFinished() override;
    void ReportDrive(const std::string& drive, DriveAction action) override;

private:
    void Record(const std::string& event);

    mutable std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_bFinished = false;
    std::vector<std::string> m_events;
    std::vector<std::string> m_log;
    std::vector<std::string> m_paths;
    std::vector<Box> m_boxes;
    std::vector<Finding> m_findings;  // all of them, failed steps too
    std::vector<DriveReport> m_drives;
    std::deque<int> m_answers;
    std::string m_exitText = "Zakończ";
    bool m_bScanEnabled = true;
    std::string m_bannerTarget;
    std::vector<std::uint8_t> m_bannerPicture;
    bool m_bBannerWarning = false;
    std::function<void(const std::string&)> m_hook;
};
