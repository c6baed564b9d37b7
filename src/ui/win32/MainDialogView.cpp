// The main dialog's side of the view seam. The scan thread calls all of this:
// every control is reached with a synchronous message (SetWindowText and
// EnableWindow send one to a window of another thread), so controls are only
// ever touched on the UI thread, and the UI thread never waits for the scan.
#include "app/StringIds.h"
#include "platform/win32/Utf.h"
#include "resource.h"
#include "ui/win32/MainDialog.h"
#include "ui/win32/WindowText.h"

void CMainDialog::AddLogLine(const std::string& line) {
    const std::wstring text = Widen(line);
    SendMessageW(Item(IDC_LOG), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A step that failed has no line: the log says only what was done.
void CMainDialog::ReportFinding(const Finding& finding) {
    if (finding.succeeded) AddLogLine(finding.line);
}

void CMainDialog::ResetLog() { SendMessageW(Item(IDC_LOG), LB_RESETCONTENT, 0, 0); }

void CMainDialog::SetPathText(const std::string& path) { SetWindowTextUtf8(Item(IDC_PATH), path); }

void CMainDialog::SetCaption(const std::string& caption) { SetWindowTextUtf8(Handle(), caption); }

void CMainDialog::EnableScanButton(bool enable) {
    const HWND scan = Item(IDC_SCAN);
    // A disabled button that keeps the focus leaves the dialog without a
    // keyboard focus; the log takes it over. GetFocus only sees the focus of
    // the calling thread, so this applies on the UI thread alone.
    if (!enable && GetFocus() == scan) {
        SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_LOG)), TRUE);
    }
    EnableWindow(scan, enable ? TRUE : FALSE);
}

std::string CMainDialog::GetExitButtonText() { return GetWindowTextUtf8(Item(IDC_EXIT)); }

void CMainDialog::SetExitButtonText(const std::string& text) { SetWindowTextUtf8(Item(IDC_EXIT), text); }

int CMainDialog::MessageBox(const std::string& text, std::uint32_t style) {
    // Runs its own message loop on the calling thread, owned by the dialog.
    return ::MessageBoxW(Handle(), Widen(text).c_str(), Widen(kProductTitle).c_str(), style);
}

bool CMainDialog::CreateAnimation() { return m_animate.Create(Handle()); }

void CMainDialog::PlayAnimation() { m_animate.Play(); }

void CMainDialog::StopAnimation() { m_animate.Stop(); }

// The banner thread's two calls reach the banner on the UI thread, which owns
// its picture and its canvas; the message returns once the banner has done.
void CMainDialog::SetBannerTarget(const std::string& target) {
    const std::wstring wide = Widen(target);
    SendMessageW(Item(IDC_BANNER), CAnimatedGifCtrl::kSetTargetMessage, 0, reinterpret_cast<LPARAM>(&wide));
}

bool CMainDialog::ShowBannerPicture(const std::vector<std::uint8_t>& data) {
    return SendMessageW(Item(IDC_BANNER), CAnimatedGifCtrl::kShowPictureMessage, 0,
                        reinterpret_cast<LPARAM>(&data)) != FALSE;
}

void CMainDialog::SetBannerWarning(bool warn) { m_banner.SetWarnBeforeOpen(warn); }

void CMainDialog::OnScanThreadFinished() { PostMessageW(Handle(), kScanThreadFinished, 0, 0); }
