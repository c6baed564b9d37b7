// The main dialog's window: routes its messages and buttons to the core
// CCleanerDlg and shows what the core says through the view seam.
#pragma once

#include <windows.h>
// <windows.h> renames MessageBox to MessageBoxW; the view seam's MessageBox
// must keep the name the core compiles it with.
#undef MessageBox

#include <memory>

#include "app/View.h"
#include "ui/win32/AnimatedGifCtrl.h"
#include "ui/win32/Dialog.h"
#include "ui/win32/InfoDlg.h"
#include "ui/win32/LinkLabel.h"
#include "ui/win32/LogListBox.h"
#include "ui/win32/ShellAnimation.h"
#include "ui/win32/ToolTipCtrl.h"

class CCleanerDlg;

class CMainDialog : public CDialog, public ICleanerView {
public:
    explicit CMainDialog(HINSTANCE instance);

    // Runs the dialog for `core` until it ends; the core must outlive it.
    INT_PTR DoModal(CCleanerDlg& core);

    // The view seam (MainDialogView.cpp). The scan thread calls these too,
    // so each one only sends or posts messages to the dialog's windows.
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

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnClose() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // Posted by the scan thread as its last step.
    static constexpr UINT kScanThreadFinished = WM_APP + 1;

    bool OnPaint();
    void OnScanClicked();
    void OnScanThreadDone();
    void OnInfo();
    void SetUpLinks();
    void SetUpToolTips();
    void SetUpBanner();

    CCleanerDlg* m_pCore = nullptr;
    HICON m_hIcon;       // shared resource icons: never destroyed
    HICON m_hSmallIcon;
    // A Skanuj click that came while the scan thread was in its last steps;
    // it runs once the thread has been reaped.
    bool m_bScanQueued = false;
    CLogListBox m_log;
    CAnimatedGifCtrl m_banner;
    CLinkLabel m_linkWeb;
    CLinkLabel m_linkMail;
    // The information dialog last opened; kept until the next one.
    std::unique_ptr<CInfoDlg> m_pInfoDlg;
    CToolTipCtrl m_toolTip;
    CShellAnimation m_animate;
};
