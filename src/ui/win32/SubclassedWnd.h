// Takes over an existing control's window procedure and routes its messages
// to a C++ object, the way the framework's SubclassDlgItem does.
#pragma once

#include <windows.h>

// A dialog sends the notifications of its controls back to the control that
// sent them, at this offset, so that a control can draw and act for itself
// (the framework calls this reflection). A control that does not handle a
// reflected message answers 0, and the dialog then handles the original.
constexpr UINT kReflectedMessageBase = 0xBC00;

class CSubclassedWnd {
public:
    CSubclassedWnd() = default;
    virtual ~CSubclassedWnd();
    CSubclassedWnd(const CSubclassedWnd&) = delete;
    CSubclassedWnd& operator=(const CSubclassedWnd&) = delete;

    // Hooks `hWnd`; false when it is null or already hooked by an object.
    bool Subclass(HWND hWnd);
    HWND Handle() const { return m_hWnd; }

protected:
    // Every message of the control; the default passes it on unchanged.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The control's own handling of a message.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK HookProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Unsubclass();

    HWND m_hWnd = nullptr;
    WNDPROC m_pfnSuper = nullptr;
};
