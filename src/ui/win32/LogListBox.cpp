#include "ui/win32/LogListBox.h"

#include <algorithm>
#include <string>

namespace {

// Measures lines in the list box's own font. One object per batch of lines,
// so a recompute over many lines selects the font once.
class CLineMeter {
public:
    explicit CLineMeter(HWND listBox)
        : m_hWnd(listBox),
          m_hDC(GetDC(listBox)),
          m_bTabbed((GetWindowLongW(listBox, GWL_STYLE) & LBS_USETABSTOPS) != 0) {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(listBox, WM_GETFONT, 0, 0));
        if (m_hDC && font) m_hOldFont = SelectObject(m_hDC, font);
    }
    ~CLineMeter() {
        if (!m_hDC) return;
        if (m_hOldFont) SelectObject(m_hDC, m_hOldFont);
        ReleaseDC(m_hWnd, m_hDC);
    }
    CLineMeter(const CLineMeter&) = delete;
    CLineMeter& operator=(const CLineMeter&) = delete;

    int Width(const wchar_t* line, int length) const {
        if (!m_hDC) return 0;
        if (m_bTabbed) {
            // The list box expands tabs itself; the extent comes back as a
            // signed 16-bit width in the low word.
            const DWORD extent = GetTabbedTextExtentW(m_hDC, line, length, 0, nullptr);
            return static_cast<short>(LOWORD(extent)) + 2;
        }
        SIZE size{};
        GetTextExtentPoint32W(m_hDC, line, length, &size);
        // Room for the margin the list box leaves before each line.
        return size.cx + 3;
    }

private:
    HWND m_hWnd;
    HDC m_hDC;
    bool m_bTabbed;
    HGDIOBJ m_hOldFont = nullptr;
};

bool Accepted(LRESULT result) { return result != LB_ERR && result != LB_ERRSPACE; }

}  // namespace

LRESULT CLogListBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Default(message, wParam, lParam);
    switch (message) {
        case LB_ADDSTRING:
        case LB_INSERTSTRING:
            if (Accepted(result) && HasStrings()) WidenTo(reinterpret_cast<const wchar_t*>(lParam));
            break;
        case LB_DELETESTRING:
        case LB_DIR:
            if (Accepted(result)) RecomputeExtent();
            break;
        case LB_RESETCONTENT:
            SetExtent(0);
            break;
        default:
            break;
    }
    return result;
}

bool CLogListBox::HasStrings() const {
    // An owner-drawn list without LBS_HASSTRINGS carries item data, not text.
    const LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    return (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) == 0 || (style & LBS_HASSTRINGS) != 0;
}

void CLogListBox::WidenTo(const wchar_t* line) {
    if (!line) return;
    const int width = CLineMeter(Handle()).Width(line, lstrlenW(line));
    const auto extent = static_cast<int>(SendMessageW(Handle(), LB_GETHORIZONTALEXTENT, 0, 0));
    if (extent < width) SetExtent(width);
}

void CLogListBox::RecomputeExtent() {
    const auto count = static_cast<int>(SendMessageW(Handle(), LB_GETCOUNT, 0, 0));
    if (count <= 0) {
        SetExtent(0);
        return;
    }
    const HCURSOR oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    int widest = 0;
    try {
        const CLineMeter meter(Handle());
        std::wstring line;
        for (int i = 0; i < count; ++i) {
            const auto length = static_cast<int>(SendMessageW(Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(i), 0));
            if (length < 0) continue;
            line.assign(static_cast<std::size_t>(length) + 1, L'\0');
            const auto n = static_cast<int>(
                SendMessageW(Handle(), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data())));
            if (n >= 0) widest = std::max(widest, meter.Width(line.data(), n));
        }
        SetExtent(widest);
    } catch (...) {
        // Out of memory for a line: keep the extent the list had.
    }
    SetCursor(oldCursor);
}
