// Takes over an existing control's window procedure and routes its messages
// to a C++ object, the way the framework's SubclassDlgItem does.
#pragma once

#include <windows.h>

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
