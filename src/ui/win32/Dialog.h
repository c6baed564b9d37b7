// A thin modal dialog: one static dialog procedure finds the C++ object in the
// window's user data and routes each message to a virtual hook.
#pragma once

#include <windows.h>

class CDialog {
public:
    CDialog(HINSTANCE instance, int templateId) : m_hInstance(instance), m_templateId(templateId) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the dialog could not be created.
    INT_PTR DoModal(HWND parent = nullptr);

    HWND Handle() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    HINSTANCE Instance() const { return m_hInstance; }

protected:
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

    // Hooks with the framework's names. Each returns whether it handled the
    // message; OnInitDialog returns whether the system is to set the focus.
    virtual bool OnInitDialog() { return true; }
    virtual bool OnCommand(int id, int code, HWND control);
    virtual bool OnClose() { return false; }
    // Every message arrives here first; the default routes the ones above.
    // `result` is the dialog procedure's return value when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    HINSTANCE m_hInstance;
    int m_templateId;
};
