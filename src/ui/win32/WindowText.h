// A window's text as UTF-8. Both calls work on a window of another thread:
// the system then sends WM_GETTEXT or WM_SETTEXT to it and waits.
#pragma once

#include <windows.h>

#include <string>

std::string GetWindowTextUtf8(HWND hWnd);
void SetWindowTextUtf8(HWND hWnd, const std::string& text);
