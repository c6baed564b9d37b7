// Decodes a picture held in memory (GIF, JPEG, BMP, icon, metafile) with the
// system's OLE picture loader.
#pragma once

#include <windows.h>
#include <olectl.h>

#include <cstddef>

// A picture object the caller releases, or null when the data is not a
// picture the loader understands. For a GIF with several frames the loader
// gives the first frame.
IPicture* LoadPictureFromMemory(const void* data, std::size_t size);

// Draws the whole picture stretched over `rect` of `dc`; false when the
// picture could not be drawn.
bool RenderPicture(IPicture* picture, HDC dc, const RECT& rect);
