#include "ui/win32/Dialog.h"

#include "ui/win32/SubclassedWnd.h"

INT_PTR CDialog::DoModal(HWND parent) {
    return DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(m_templateId), parent, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialog::OnCommand(int, int, HWND) { return false; }

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if ((message == WM_CTLCOLORSTATIC || message == WM_COMMAND) && lParam != 0) {
        const LRESULT reflected =
            SendMessageW(reinterpret_cast<HWND>(lParam), kReflectedMessageBase + message, wParam, lParam);
        if (reflected != 0) {
            // For a colour message the brush is the dialog procedure's answer.
            result = message == WM_COMMAND ? TRUE : static_cast<INT_PTR>(reflected);
            return true;
        }
    }
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog() ? TRUE : FALSE;
            return true;
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        case WM_CLOSE:
            return OnClose();
        default:
            return false;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, lParam);
    } else {
        // Messages before WM_INITDIALOG (WM_SETFONT, ...) find no object yet.
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    }
    if (!self) return FALSE;
    INT_PTR result = TRUE;
    bool handled = false;
    // An exception must not unwind through the system's dialog manager; the
    // message then counts as not handled and the default handling runs.
    try {
        handled = self->OnMessage(message, wParam, lParam, result);
    } catch (...) {
        handled = false;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
    }
    return handled ? result : FALSE;
}
