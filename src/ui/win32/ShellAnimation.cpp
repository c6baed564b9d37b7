#include "ui/win32/ShellAnimation.h"

#include <commctrl.h>

#include <string>

namespace {

// Position and size in pixels of the dialog's client area: the free space
// left of the path box.
constexpr int kLeft = 5;
constexpr int kTop = 73;
constexpr int kSize = 22;
// The shell's clip resource id.
constexpr WORD kClipId = 152;

// The shell library by full path from the system directory, never found
// through the search path.
HMODULE LoadShellLibrary() {
    wchar_t dir[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(dir, n) + L"\\shell32.dll";
    return LoadLibraryW(path.c_str());
}

}  // namespace

bool CShellAnimation::Create(HWND parent) {
    const HMODULE shell = LoadShellLibrary();
    if (!shell) return false;
    m_hWnd = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT, kLeft,
                             kTop, kSize, kSize, parent, nullptr,
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (m_hWnd) {
        // The clip is named by number, so the ANSI and the wide message do
        // the same.
        if (SendMessageW(m_hWnd, ACM_OPENA, reinterpret_cast<WPARAM>(shell),
                         reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(kClipId))) != 0) {
            Stop();
        }
    }
    // The control plays the clip straight from the library's image. The
    // program imports the shell library itself, so this only drops the
    // extra reference and the image stays mapped.
    FreeLibrary(shell);
    return m_hWnd != nullptr;
}

void CShellAnimation::Play() {
    // From the first to the last frame, repeated until stopped.
    if (m_hWnd) SendMessageW(m_hWnd, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

void CShellAnimation::Stop() {
    if (m_hWnd) SendMessageW(m_hWnd, ACM_STOP, 0, 0);
}
