// The result log: a list box whose horizontal extent always equals the pixel
// width of its widest line, so that the horizontal scroll bar reaches the end
// of every line.
#pragma once

#include "ui/win32/SubclassedWnd.h"

class CLogListBox : public CSubclassedWnd {
protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void WidenTo(const wchar_t* line);
    void RecomputeExtent();
    void SetExtent(int width) { SendMessageW(Handle(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0); }
    bool HasStrings() const;
};
