#include "app/ConsoleView.h"

#include "platform/WinDefs.h"

void CConsoleView::WaitFinished() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finished.wait(lock, [this] { return m_bFinished; });
    m_bFinished = false;
}

std::vector<Finding> CConsoleView::Findings() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_findings;
}

std::vector<std::pair<std::string, DriveAction>> CConsoleView::Drives() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_drives;
}

std::vector<std::string> CConsoleView::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

void CConsoleView::AddLogLine(const std::string& line) {
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        open = m_bLogOpen;
    }
    if (open) m_output.WriteLine(line);
}

void CConsoleView::ReportFinding(const Finding& finding) {
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_findings.push_back(finding);
        open = m_bLogOpen;
    }
    // As in the dialog: a step that failed has no line.
    if (open && finding.succeeded) m_output.WriteLine(finding.line);
}

void CConsoleView::ResetLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bLogOpen = true;
}

void CConsoleView::SetPathText(const std::string& path) { m_output.ShowPath(path); }

std::string CConsoleView::GetExitButtonText() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitText;
}

void CConsoleView::SetExitButtonText(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exitText = text;
}

int CConsoleView::MessageBox(const std::string& text, std::uint32_t style) {
    // The scan asks one question, whether to walk a network drive; the
    // command line has answered it. Everything else is a message to read.
    if ((style & 0xF) == MB_YESNO) return m_bWalkNetwork ? IDYES : IDNO;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(text);
    }
    m_output.WriteMessage(text);
    return IDOK;
}

void CConsoleView::OnScanThreadFinished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFinished = true;
    m_finished.notify_all();
}

void CConsoleView::ReportDrive(const std::string& drive, DriveAction action) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drives.emplace_back(drive, action);
}
