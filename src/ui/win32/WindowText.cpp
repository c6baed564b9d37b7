#include "ui/win32/WindowText.h"

#include "platform/win32/Utf.h"

std::string GetWindowTextUtf8(HWND hWnd) {
    const int length = GetWindowTextLengthW(hWnd);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(hWnd, text.data(), length + 1);
    return Narrow(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

void SetWindowTextUtf8(HWND hWnd, const std::string& text) { SetWindowTextW(hWnd, Widen(text).c_str()); }
