#include "ui/win32/SubclassedWnd.h"

namespace {

// A window property rather than GWLP_USERDATA: the user data of a control
// belongs to whoever created the control.
const wchar_t kObjectProp[] = L"KestroCleaner.Object";

}  // namespace

CSubclassedWnd::~CSubclassedWnd() { Unsubclass(); }

bool CSubclassedWnd::Subclass(HWND hWnd) {
    if (!hWnd || m_hWnd || GetPropW(hWnd, kObjectProp)) return false;
    if (!SetPropW(hWnd, kObjectProp, this)) return false;
    m_hWnd = hWnd;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedWnd::HookProc)));
    return true;
}

void CSubclassedWnd::Unsubclass() {
    if (!m_hWnd) return;
    SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    RemovePropW(m_hWnd, kObjectProp);
    m_hWnd = nullptr;
}

LRESULT CSubclassedWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT CSubclassedWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWnd::HookProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CSubclassedWnd*>(GetPropW(hWnd, kObjectProp));
    if (!self) return DefWindowProcW(hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message: hand the window back before it goes away.
        const WNDPROC super = self->m_pfnSuper;
        self->Unsubclass();
        return CallWindowProcW(super, hWnd, message, wParam, lParam);
    }
    // Handlers keep their own exceptions; one that escapes must still not
    // unwind through the window manager.
    try {
        return self->WindowProc(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}
