#include "ui/win32/InfoDlg.h"

#include "app/StringIds.h"
#include "platform/Platform.h"
#include "resource.h"

namespace {

constexpr COLORREF kFirstEntryColour = RGB(0, 0, 255);
constexpr int kFirstEntryPoints = 9;
constexpr int kBold = 700;

}  // namespace

CInfoDlg::CInfoDlg(HINSTANCE instance, IPlatform& platform) : CDialog(instance, IDD_INFO_DIALOG), m_platform(platform) {}

CInfoDlg::~CInfoDlg() {
    if (m_hFirstEntryFont) DeleteObject(m_hFirstEntryFont);
}

bool CInfoDlg::OnInitDialog() {
    m_linkWeb.Attach(Item(IDC_INFO_LINK_WEB));
    m_linkWeb.SetTarget(m_platform.LoadText(IDS_WEB_ADDRESS));
    m_linkWeb.SetLinkText(m_platform.LoadText(IDS_WEB_ADDRESS));
    m_linkWeb.SetTipText(m_platform.LoadText(IDS_WEB_TOOLTIP));
    m_linkMail.Attach(Item(IDC_INFO_LINK_MAIL));
    m_linkMail.SetTarget(m_platform.LoadText(IDS_MAIL_TARGET));
    m_linkMail.SetLinkText(m_platform.LoadText(IDS_MAIL_TEXT));
    m_linkMail.SetTipText(m_platform.LoadText(IDS_MAIL_TOOLTIP));

    const HDC dc = GetDC(Handle());
    const int pixelsPerInch = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(Handle(), dc);
    LOGFONTW font{};
    font.lfHeight = -MulDiv(kFirstEntryPoints, pixelsPerInch, 72);
    font.lfWeight = kBold;
    m_hFirstEntryFont = CreateFontIndirectW(&font);
    // Given to the control rather than selected while it paints: a static
    // control selects its own font after it has asked for its colours.
    if (m_hFirstEntryFont) {
        SendMessageW(Item(IDC_INFO_FIRST_ENTRY), WM_SETFONT, reinterpret_cast<WPARAM>(m_hFirstEntryFont), FALSE);
    }
    return true;
}

bool CInfoDlg::OnCommand(int id, int code, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        if (code == BN_CLICKED) EndDialog(id);
        return true;
    }
    return false;
}

bool CInfoDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (message == WM_CTLCOLORSTATIC && GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_INFO_FIRST_ENTRY) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, kFirstEntryColour);
        SetBkMode(dc, TRANSPARENT);
        result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
}
