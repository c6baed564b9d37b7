#include "ui/win32/PictureStatic.h"

#include "ui/win32/OlePicture.h"

CPictureStatic::~CPictureStatic() { Release(); }

void CPictureStatic::Release() {
    if (m_pPicture) m_pPicture->Release();
    m_pPicture = nullptr;
}

bool CPictureStatic::LoadFromResource(HMODULE module, const wchar_t* name, const wchar_t* type) {
    const HRSRC found = FindResourceW(module, name, type);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return false;
    IPicture* picture = LoadPictureFromMemory(data, SizeofResource(module, found));
    if (!picture) return false;
    Release();
    m_pPicture = picture;
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
    return true;
}

LRESULT CPictureStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            if (!m_pPicture) break;
            Paint();
            return 0;
        case WM_ERASEBKGND:
            // The picture covers the whole control.
            if (m_pPicture) return TRUE;
            break;
        case WM_DESTROY:
            // The picture belongs to OLE, which the program shuts down after
            // the window is gone but maybe before this object is.
            Release();
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CPictureStatic::Paint() {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(Handle(), &ps);
    if (!dc) return;
    RECT client{};
    GetClientRect(Handle(), &client);
    RenderPicture(m_pPicture, dc, client);
    EndPaint(Handle(), &ps);
}
