// A static text control that is a hyperlink: drawn in link colours, red and
// underlined while the mouse is over it, with a hand cursor and a tooltip;
// it sizes itself to its text and, when clicked, opens its target through
// the shell or, failing that, the registered web browser.
#pragma once

#include <cstdint>
#include <string>

#include "ui/win32/SubclassedWnd.h"
#include "ui/win32/ToolTipCtrl.h"

class CLinkLabel : public CSubclassedWnd {
public:
    ~CLinkLabel() override;

    // Takes over a static control of a dialog: makes it report clicks,
    // builds the plain and the underlined font from its own, fits it to its
    // text and gives it its cursor and tooltip.
    bool Attach(HWND hWnd);

    // Texts are UTF-8.
    void SetTarget(const std::string& target);
    void SetLinkText(const std::string& text);
    void SetTipText(const std::string& text);
    void SetVisited(bool visited);
    // 1 always underlined, 0 never, -1 while the mouse is over it.
    void SetUnderlineMode(int mode);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static constexpr UINT_PTR kToolId = 22;
    // How often a hovered label looks whether the mouse has left it.
    static constexpr UINT kHoverPollMs = 100;

    void FitToText();
    void SetDefaultCursor();
    LRESULT OnCtlColor(HDC dc) const;
    void OnMouseMove();
    void OnTimer();
    void OnClicked();
    // The shell's result: above 32 when the target was opened.
    std::intptr_t OpenTarget(const std::wstring& target, int showCommand);
    void ReportOpenError(std::intptr_t code);
    void SelectFont(HFONT font, bool redraw);

    std::string m_strTipText;
    COLORREF m_crLink = RGB(0, 0, 238);
    COLORREF m_crVisited = RGB(85, 26, 139);
    COLORREF m_crHover = RGB(255, 0, 0);
    bool m_bOver = false;
    bool m_bVisited = false;
    int m_nUnderline = -1;
    bool m_bAdjustToFit = true;
    std::wstring m_strTarget;
    std::wstring m_strText;
    HFONT m_fontUnderline = nullptr;
    HFONT m_fontNormal = nullptr;
    HCURSOR m_hCursor = nullptr;
    bool m_bOwnCursor = false;  // a copy taken from another module
    CToolTipCtrl m_toolTip;
    UINT_PTR m_nTimerId = 100;
};
