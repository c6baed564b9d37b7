// A tooltip window with tools that each cover a rectangle of a control.
#pragma once

#include <windows.h>

#include <string>

class CToolTipCtrl {
public:
    // Creates the tooltip window owned by `parent`; `style` adds TTS_* bits.
    bool Create(HWND parent, DWORD style);
    // A tool over the client area of `control`, found by the control's
    // window and `id`. The tooltip watches the control's mouse messages
    // itself, so nobody has to relay them.
    bool AddTool(HWND control, UINT_PTR id, const std::string& text);
    // The text and the rectangle (the control's client area now) of a tool
    // added before.
    void UpdateTipText(HWND control, UINT_PTR id, const std::string& text);
    void UpdateToolRect(HWND control, UINT_PTR id);
    void Activate(bool active);
    HWND Handle() const { return m_hWnd; }

private:
    HWND m_hWnd = nullptr;  // destroyed with its owner
};
