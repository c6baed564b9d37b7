#include "ui/LinkLayout.h"

LinkRect FitLinkRect(const LinkRect& window, const LinkRect& client, int textWidth, int textHeight, LinkAlign align,
                     bool centerVertically) {
    const int width = textWidth + (window.Width() - client.Width());
    const int height = textHeight + (window.Height() - client.Height());
    LinkRect fitted = window;
    if (centerVertically) {
        // Half the change on each side; an odd pixel goes to the bottom.
        fitted.top = window.top + (window.Height() - height) / 2;
    }
    fitted.bottom = fitted.top + height;
    switch (align) {
        case LinkAlign::Center:
            fitted.left = window.left + (window.Width() - width) / 2;
            fitted.right = fitted.left + width;
            break;
        case LinkAlign::Right:
            fitted.left = window.right - width;
            break;
        case LinkAlign::Left:
            fitted.right = window.left + width;
            break;
    }
    return fitted;
}
