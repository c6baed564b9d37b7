// A static control that shows one still picture, stretched over the control.
#pragma once

#include "ui/win32/SubclassedWnd.h"

struct IPicture;

class CPictureStatic : public CSubclassedWnd {
public:
    ~CPictureStatic() override;

    // Loads the picture from a resource of `module`; false when the resource
    // is missing or is not a picture, and then the control keeps its own look.
    bool LoadFromResource(HMODULE module, const wchar_t* name, const wchar_t* type);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();
    void Release();

    IPicture* m_pPicture = nullptr;
};
