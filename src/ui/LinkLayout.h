// Where a hyperlink label goes when it fits itself to its text: the edge
// its alignment names stays put, and a centred label stays centred.
#pragma once

struct LinkRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

enum class LinkAlign { Left, Center, Right };

// `window` and `client` are the label's outer and inner rectangles in its
// parent's coordinates; the border between them is kept around the text.
// With `centerVertically` the height changes about the vertical centre,
// otherwise the top stays.
LinkRect FitLinkRect(const LinkRect& window, const LinkRect& client, int textWidth, int textHeight, LinkAlign align,
                     bool centerVertically);
