#include "ui/win32/MainDialog.h"

#include <commctrl.h>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "platform/win32/Utf.h"
#include "resource.h"

namespace {

// Tool ids of the button tooltips.
constexpr UINT_PTR kInfoToolId = 9345;
constexpr UINT_PTR kScanToolId = 9346;

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED));
}

}  // namespace

CMainDialog::CMainDialog(HINSTANCE instance)
    : CDialog(instance, IDD_CLEANER_DIALOG),
      m_hIcon(LoadAppIcon(instance, SM_CXICON, SM_CYICON)),
      m_hSmallIcon(LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON)) {}

INT_PTR CMainDialog::DoModal(CCleanerDlg& core) {
    m_pCore = &core;
    const INT_PTR result = CDialog::DoModal();
    m_pCore = nullptr;
    return result;
}

bool CMainDialog::OnInitDialog() {
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    // The log must measure the start-up lines, so it is hooked first.
    m_log.Subclass(Item(IDC_LOG));
    m_banner.Attach(Item(IDC_BANNER));
    m_linkWeb.Attach(Item(IDC_LINK_WEB));
    m_linkMail.Attach(Item(IDC_LINK_MAIL));

    m_pCore->OnInitDialog();

    SetUpLinks();
    SetUpToolTips();
    SetUpBanner();
    // Last: the banner thread may replace the built-in banner and its target.
    m_pCore->StartBannerDownload();
    return true;
}

void CMainDialog::SetUpLinks() {
    m_linkWeb.SetLinkText(m_pCore->LoadText(IDS_WEB_ADDRESS));
    m_linkWeb.SetTarget(m_pCore->LoadText(IDS_WEB_ADDRESS));
    m_linkWeb.SetTipText(m_pCore->LoadText(IDS_WEB_TOOLTIP));
    m_linkMail.SetLinkText(m_pCore->LoadText(IDS_MAIL_TEXT));
    m_linkMail.SetTarget(m_pCore->LoadText(IDS_MAIL_TARGET));
    m_linkMail.SetTipText(m_pCore->LoadText(IDS_MAIL_TOOLTIP));
}

void CMainDialog::SetUpBanner() {
    // Without the built-in picture the banner stays empty, with no target.
    if (!m_banner.LoadFromResource(Instance(), MAKEINTRESOURCEW(IDR_BANNER_GIF), L"GIF")) return;
    m_banner.Start();
    m_banner.SetTarget(Widen(m_pCore->LoadText(IDS_WEB_ADDRESS)));
    m_banner.SetTipText(m_pCore->LoadText(IDS_WEB_TOOLTIP));
}

void CMainDialog::OnInfo() {
    // A new dialog each time; the one before goes first.
    m_pInfoDlg.reset();
    m_pInfoDlg = std::make_unique<CInfoDlg>(Instance(), m_pCore->Platform());
    m_pInfoDlg->DoModal(Handle());
}

void CMainDialog::SetUpToolTips() {
    if (!m_toolTip.Create(Handle(), TTS_BALLOON)) return;
    m_toolTip.AddTool(Item(IDC_INFO), kInfoToolId, m_pCore->LoadText(IDS_INFO_TOOLTIP));
    m_toolTip.AddTool(Item(IDC_SCAN), kScanToolId, m_pCore->LoadText(IDS_SCAN_TOOLTIP));
    m_toolTip.Activate(true);
}

bool CMainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(m_hIcon);
            return true;
        case kScanThreadFinished:
            OnScanThreadDone();
            return true;
        default:
            return CDialog::OnMessage(message, wParam, lParam, result);
    }
}

bool CMainDialog::OnPaint() {
    if (!IsIconic(Handle())) return false;
    // Systems that still paint a minimised window's client area get the
    // icon centred in it.
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(Handle(), &ps);
    if (!dc) return true;
    SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(Handle(), &client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(Handle(), &ps);
    return true;
}

bool CMainDialog::OnCommand(int id, int code, HWND) {
    switch (id) {
        case IDC_SCAN:
            if (code == BN_CLICKED) OnScanClicked();
            return true;
        case IDC_EXIT:
            if (code == BN_CLICKED && m_pCore->OnExitOrAbort()) EndDialog(IDOK);
            return true;
        case IDC_INFO:
            if (code == BN_CLICKED) OnInfo();
            return true;
        case IDCANCEL:
            return OnClose();
        default:
            return false;
    }
}

bool CMainDialog::OnClose() {
    if (m_pCore->OnCloseRequest()) EndDialog(IDCANCEL);
    return true;
}

void CMainDialog::OnScanClicked() {
    if (!m_pCore->IsScanning()) {
        m_pCore->OnScan();
    } else if (IsWindowEnabled(Item(IDC_SCAN))) {
        // The thread has already enabled the button again but has not yet
        // reported that it is done, and the dialog never waits for it.
        m_bScanQueued = true;
    }
    // Otherwise a scan runs and the button is disabled: only a message sent
    // straight to the dialog gets here, and it is ignored like a click on a
    // disabled button.
}

void CMainDialog::OnScanThreadDone() {
    if (m_pCore->OnScanFinished()) {
        EndDialog(IDCANCEL);
        return;
    }
    if (m_bScanQueued) {
        m_bScanQueued = false;
        m_pCore->OnScan();
    }
}
