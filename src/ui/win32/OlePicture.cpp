#include "ui/win32/OlePicture.h"

#include <climits>
#include <cstring>

IPicture* LoadPictureFromMemory(const void* data, std::size_t size) {
    if (!data || size == 0 || size > static_cast<std::size_t>(LONG_MAX)) return nullptr;
    // The loader reads from a stream, and a stream over memory wants movable
    // global memory of its own.
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return nullptr;
    void* bytes = GlobalLock(memory);
    if (!bytes) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(bytes, data, size);
    GlobalUnlock(memory);

    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    IPicture* picture = nullptr;
    if (FAILED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(&picture)))) {
        picture = nullptr;
    }
    stream->Release();  // frees the memory too
    return picture;
}

bool RenderPicture(IPicture* picture, HDC dc, const RECT& rect) {
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    if (!picture || FAILED(picture->get_Width(&width)) || FAILED(picture->get_Height(&height))) return false;
    // The source is in HIMETRIC units, whose y axis points up: start at the
    // bottom and go up by the height to draw the picture upright.
    return SUCCEEDED(picture->Render(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0,
                                     height, width, -height, nullptr));
}
