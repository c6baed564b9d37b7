#include "ui/win32/ToolTipCtrl.h"

#include <commctrl.h>

#include "platform/win32/Utf.h"

bool CToolTipCtrl::Create(HWND parent, DWORD style) {
    m_hWnd = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    return m_hWnd != nullptr;
}

bool CToolTipCtrl::AddTool(HWND control, UINT_PTR id, const std::string& text) {
    if (!m_hWnd || !control) return false;
    std::wstring wide = Widen(text);
    TTTOOLINFOW tool{};
    // The size of the structure before Windows XP's version 6 controls
    // added a field: the older controls refuse the larger size, the newer
    // ones accept both.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = control;
    tool.uId = id;
    GetClientRect(control, &tool.rect);
    tool.lpszText = wide.data();  // the control keeps a copy
    return SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
}

void CToolTipCtrl::UpdateTipText(HWND control, UINT_PTR id, const std::string& text) {
    if (!m_hWnd || !control) return;
    std::wstring wide = Widen(text);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = control;
    tool.uId = id;
    tool.lpszText = wide.data();
    SendMessageW(m_hWnd, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CToolTipCtrl::UpdateToolRect(HWND control, UINT_PTR id) {
    if (!m_hWnd || !control) return;
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = control;
    tool.uId = id;
    GetClientRect(control, &tool.rect);
    SendMessageW(m_hWnd, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CToolTipCtrl::Activate(bool active) {
    if (m_hWnd) SendMessageW(m_hWnd, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
}
