#include "RecordingView.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "platform/WinDefs.h"

void CRecordingView::Record(const std::string& event) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
        hook = m_hook;
    }
    if (hook) hook(event);
}

std::vector<std::string> CRecordingView::Events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}
std::vector<std::string> CRecordingView::Log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}
std::vector<std::string> CRecordingView::Paths() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_paths;
}
std::vector<CRecordingView::Box> CRecordingView::Boxes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}
std::vector<Finding> CRecordingView::Findings() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Finding> out;
    std::copy_if(m_findings.begin(), m_findings.end(), std::back_inserter(out),
                 [](const Finding& f) { return f.succeeded; });
    return out;
}
std::vector<Finding> CRecordingView::FailedSteps() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Finding> out;
    std::copy_if(m_findings.begin(), m_findings.end(), std::back_inserter(out),
                 [](const Finding& f) { return !f.succeeded; });
    return out;
}
std::vector<Finding> CRecordingView::AllFindings() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_findings;
}
std::vector<CRecordingView::DriveReport> CRecordingView::Drives() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_drives;
}
bool CRecordingView::ScanButtonEnabled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bScanEnabled;
}

void CRecordingView::AnswerNext(int answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(answer);
}

void CRecordingView::OnEvent(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
}

bool CRecordingView::WaitFinished(int seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool done = m_finished.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_bFinished; });
    m_bFinished = false;
    return done;
}

void CRecordingView::AddLogLine(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(line);
    }
    Record("log:" + line);
}

void CRecordingView::ReportFinding(const Finding& finding) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_findings.push_back(finding);
        // As in the dialog: a step that failed has no line.
        if (!finding.succeeded) return;
        m_log.push_back(finding.line);
    }
    Record("log:" + finding.line);
}

void CRecordingView::ReportDrive(const std::string& drive, DriveAction action) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drives.push_back({drive, action});
}

void CRecordingView::ResetLog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.clear();
    }
    Record("reset");
}

void CRecordingView::SetPathText(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paths.push_back(path);
    }
    Record("path:" + path);
}

void CRecordingView::SetCaption(const std::string& caption) { Record("caption:" + caption); }

void CRecordingView::EnableScanButton(bool enable) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bScanEnabled = enable;
    }
    Record(enable ? "scan:on" : "scan:off");
}

std::string CRecordingView::GetExitButtonText() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitText;
}

void CRecordingView::SetExitButtonText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exitText = text;
    }
    Record("exit:" + text);
}

int CRecordingView::MessageBox(const std::string& text, std::uint32_t style) {
    int answer = IDOK;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_boxes.push_back({text, style});
        if ((style & 0xF) == MB_YESNO) {
            answer = IDNO;
            if (!m_answers.empty()) {
                answer = m_answers.front();
                m_answers.pop_front();
            }
        }
    }
    Record("box:" + text);
    return answer;
}

bool CRecordingView::CreateAnimation() {
    Record("animation:create");
    return true;
}
void CRecordingView::PlayAnimation() { Record("animation:play"); }
void CRecordingView::StopAnimation() { Record("animation:stop"); }

std::string CRecordingView::BannerTarget() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bannerTarget;
}
std::vector<std::uint8_t> CRecordingView::BannerPicture() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bannerPicture;
}
bool CRecordingView::BannerWarning() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bBannerWarning;
}

void CRecordingView::SetBannerTarget(const std::string& target) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bannerTarget = target;
    }
    Record("banner-target:" + target);
}

bool CRecordingView::ShowBannerPicture(const std::vector<std::uint8_t>& data) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bannerPicture = data;
    }
    Record("banner-picture:" + std::to_string(data.size()));
    return !data.empty();
}

void CRecordingView::SetBannerWarning(bool warn) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bBannerWarning = warn;
}

void CRecordingView::OnScanThreadFinished() {
    Record("finished");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFinished = true;
    m_finished.notify_all();
}
