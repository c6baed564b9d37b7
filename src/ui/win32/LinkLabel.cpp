#include "ui/win32/LinkLabel.h"

#include <shellapi.h>

#include "app/StringIds.h"
#include "platform/win32/Utf.h"
#include "ui/LinkLayout.h"
#include "ui/LinkOpen.h"
#include "ui/win32/WindowText.h"

namespace {

// The tooltip style the labels were designed with; the system ignores the
// bits it does not know.
constexpr DWORD kToolTipStyle = 0x478;
// The hand cursor of the help program, for systems older than IDC_HAND.
constexpr WORD kHelpHandCursorId = 106;
// Registry values are read into buffers of this many characters.
constexpr DWORD kClassValueChars = 260;

LinkRect RectInParent(HWND hWnd, bool client) {
    RECT r{};
    if (client) {
        GetClientRect(hWnd, &r);
        MapWindowPoints(hWnd, GetParent(hWnd), reinterpret_cast<POINT*>(&r), 2);
    } else {
        GetWindowRect(hWnd, &r);
        MapWindowPoints(nullptr, GetParent(hWnd), reinterpret_cast<POINT*>(&r), 2);
    }
    return {r.left, r.top, r.right, r.bottom};
}

// The default value of a key under HKEY_CLASSES_ROOT.
bool ReadClassesValue(const std::wstring& key, std::wstring& out) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
    wchar_t buffer[kClassValueChars + 1] = {};
    DWORD type = 0;
    DWORD size = kClassValueChars * sizeof(wchar_t);
    const LONG status = RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(h);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    out = buffer;
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[MAX_PATH * 2] = {};
        const DWORD n = ExpandEnvironmentStringsW(buffer, expanded, MAX_PATH * 2);
        if (n == 0 || n > MAX_PATH * 2) return false;
        out = expanded;
    }
    return !out.empty();
}

// Starts a command line the way the program starter of old did, and answers
// in its terms: above 32 when started, else 0, 2, 3 or 11 (a bad program).
std::intptr_t StartProgram(std::wstring commandLine, int showCommand) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD error = GetLastError();
        return error <= 32 ? static_cast<std::intptr_t>(error) : ERROR_BAD_FORMAT;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 33;
}

}  // namespace

CLinkLabel::~CLinkLabel() {
    // The control is gone by now: the fonts are no longer its fonts.
    if (m_fontNormal) DeleteObject(m_fontNormal);
    if (m_fontUnderline) DeleteObject(m_fontUnderline);
    if (m_bOwnCursor && m_hCursor) DestroyCursor(m_hCursor);
}

bool CLinkLabel::Attach(HWND hWnd) {
    if (!Subclass(hWnd)) return false;
    // Without it a static control keeps its clicks to itself.
    SetWindowLongW(hWnd, GWL_STYLE, GetWindowLongW(hWnd, GWL_STYLE) | SS_NOTIFY);

    const std::wstring text = Widen(GetWindowTextUtf8(hWnd));
    if (m_strTarget.empty()) m_strTarget = text;
    if (text.empty()) SetWindowTextW(hWnd, m_strTarget.c_str());

    auto font = reinterpret_cast<HFONT>(SendMessageW(hWnd, WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (!font) font = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
    LOGFONTW logFont{};
    if (font && GetObjectW(font, sizeof logFont, &logFont) == sizeof logFont) {
        m_fontNormal = CreateFontIndirectW(&logFont);
        logFont.lfUnderline = TRUE;
        m_fontUnderline = CreateFontIndirectW(&logFont);
    }

    FitToText();
    SetDefaultCursor();
    SetUnderlineMode(-1);
    if (m_toolTip.Create(hWnd, kToolTipStyle)) m_toolTip.AddTool(hWnd, kToolId, m_strTipText);
    return true;
}

void CLinkLabel::SetTarget(const std::string& target) {
    m_strTarget = Widen(target);
    if (Handle()) FitToText();
}

void CLinkLabel::SetLinkText(const std::string& text) {
    m_strText = Widen(text);
    if (!Handle()) return;
    SetWindowTextW(Handle(), m_strText.c_str());
    FitToText();
    m_toolTip.UpdateToolRect(Handle(), kToolId);
}

void CLinkLabel::SetTipText(const std::string& text) {
    m_strTipText = text;
    m_toolTip.UpdateTipText(Handle(), kToolId, text);
}

void CLinkLabel::SetVisited(bool visited) {
    m_bVisited = visited;
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

void CLinkLabel::SetUnderlineMode(int mode) {
    if (mode == m_nUnderline) return;
    if (Handle()) SelectFont(mode == 1 ? m_fontUnderline : m_fontNormal, true);
    m_nUnderline = mode;
}

void CLinkLabel::SelectFont(HFONT font, bool redraw) {
    if (font) SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

void CLinkLabel::FitToText() {
    if (!Handle() || !m_bAdjustToFit) return;
    const LinkRect window = RectInParent(Handle(), false);
    const LinkRect client = RectInParent(Handle(), true);
    // Measured in the underlined font: the label must not change its size
    // when the mouse comes over it.
    const std::wstring text = Widen(GetWindowTextUtf8(Handle()));
    SIZE extent{};
    const HDC dc = GetDC(Handle());
    if (!dc) return;
    const HGDIOBJ old = m_fontUnderline ? SelectObject(dc, m_fontUnderline) : nullptr;
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (old) SelectObject(dc, old);
    ReleaseDC(Handle(), dc);

    // The alignment is a value of the style's low bits, not a set of flags.
    const LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    const LONG type = style & SS_TYPEMASK;
    const LinkAlign align = type == SS_CENTER ? LinkAlign::Center : type == SS_RIGHT ? LinkAlign::Right : LinkAlign::Left;
    const LinkRect fitted = FitLinkRect(window, client, extent.cx, extent.cy, align, (style & SS_CENTERIMAGE) != 0);
    SetWindowPos(Handle(), nullptr, fitted.left, fitted.top, fitted.Width(), fitted.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLinkLabel::SetDefaultCursor() {
    if (m_hCursor) return;
    m_hCursor = LoadCursorW(nullptr, IDC_HAND);  // shared: never destroyed
    if (m_hCursor) return;
    wchar_t dir[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring helper = std::wstring(dir, n) + L"\\winhlp32.exe";
    // Only its resources are wanted: it is mapped as data, never run.
    const HMODULE module = LoadLibraryExW(helper.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return;
    if (const HCURSOR hand = LoadCursorW(module, MAKEINTRESOURCEW(kHelpHandCursorId))) {
        // The copy outlives the module.
        m_hCursor = static_cast<HCURSOR>(CopyImage(hand, IMAGE_CURSOR, 0, 0, 0));
        m_bOwnCursor = m_hCursor != nullptr;
    }
    FreeLibrary(module);
}

LRESULT CLinkLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kReflectedMessageBase + WM_CTLCOLORSTATIC:
            return OnCtlColor(reinterpret_cast<HDC>(wParam));
        case kReflectedMessageBase + WM_COMMAND:
            if (HIWORD(wParam) != STN_CLICKED) return 0;
            OnClicked();
            return 1;
        case WM_SETCURSOR:
            if (!m_hCursor) break;
            SetCursor(m_hCursor);
            return TRUE;
        case WM_MOUSEMOVE:
            OnMouseMove();
            break;
        case WM_TIMER:
            if (wParam == m_nTimerId) OnTimer();
            break;
        case WM_ERASEBKGND: {
            RECT client{};
            GetClientRect(Handle(), &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            return TRUE;
        }
        case WM_DESTROY:
            KillTimer(Handle(), m_nTimerId);
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

LRESULT CLinkLabel::OnCtlColor(HDC dc) const {
    // Hovering wins over visited.
    SetTextColor(dc, m_bOver ? m_crHover : m_bVisited ? m_crVisited : m_crLink);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

void CLinkLabel::OnMouseMove() {
    if (m_bOver) return;
    m_bOver = true;
    if (m_nUnderline == -1) SelectFont(m_fontUnderline, false);
    InvalidateRect(Handle(), nullptr, TRUE);
    // The control hears no message when the mouse leaves it; it looks.
    SetTimer(Handle(), m_nTimerId, kHoverPollMs, nullptr);
}

void CLinkLabel::OnTimer() {
    const DWORD position = GetMessagePos();
    POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(Handle(), &point);
    RECT client{};
    GetClientRect(Handle(), &client);
    if (PtInRect(&client, point)) return;
    m_bOver = false;
    KillTimer(Handle(), m_nTimerId);
    if (m_nUnderline != 1) SelectFont(m_fontNormal, false);
    // The underline lies at the bottom edge; a little more goes with it.
    client.bottom += 10;
    InvalidateRect(Handle(), &client, TRUE);
}

void CLinkLabel::OnClicked() {
    m_bOver = false;
    const std::intptr_t result = OpenTarget(m_strTarget, SW_SHOW);
    if (result > 32) {
        SetVisited(true);
        return;
    }
    MessageBeep(MB_ICONEXCLAMATION);
    ReportOpenError(result);
}

std::intptr_t CLinkLabel::OpenTarget(const std::wstring& target, int showCommand) {
    const auto result = reinterpret_cast<std::intptr_t>(
        ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, showCommand));
    if (result > 32) return result;
    // The shell knows no way to open it: try the browser registered for
    // web pages with it.
    std::wstring pageClass, command;
    if (!ReadClassesValue(L".htm", pageClass)) return result;
    if (!ReadClassesValue(pageClass + L"\\shell\\open\\command", command)) return result;
    return StartProgram(Widen(BrowserCommandLine(Narrow(command), Narrow(target))), showCommand);
}

void CLinkLabel::ReportOpenError(std::intptr_t code) {
    const HWND owner = GetParent(Handle());
    MessageBoxW(owner, Widen(HyperlinkErrorMessage(code)).c_str(), Widen(kProductTitle).c_str(),
                MB_OK | MB_ICONEXCLAMATION);
}
