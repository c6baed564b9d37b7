// The information dialog (template 129): the list of the families the
// program removes, its first entry in bold blue, and the maker's two links.
#pragma once

#include "ui/win32/Dialog.h"
#include "ui/win32/LinkLabel.h"

class IPlatform;

class CInfoDlg : public CDialog {
public:
    // The texts come from `platform`'s string table.
    CInfoDlg(HINSTANCE instance, IPlatform& platform);
    ~CInfoDlg() override;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    IPlatform& m_platform;
    CLinkLabel m_linkWeb;
    CLinkLabel m_linkMail;
    // The first entry's font, made once: a font must outlive every paint
    // that uses it, so it goes with the dialog object, after the window.
    HFONT m_hFirstEntryFont = nullptr;
};
