#include "sys/Text.h"

#include <cstdint>

namespace {

// Decodes one code point at s[i] and advances i. An invalid or truncated
// sequence yields its first byte alone, marked so it never equals a letter.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](std::size_t k) -> int {
        if (i + k >= s.size()) return -1;
        const auto b = static_cast<unsigned char>(s[i + k]);
        return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    if (b0 < 0x80) {
        i += 1;
        return b0;
    }
    if ((b0 & 0xE0) == 0xC0) {
        const int c1 = cont(1);
        if (c1 >= 0 && b0 >= 0xC2) {
            i += 2;
            return (char32_t(b0 & 0x1F) << 6) | char32_t(c1);
        }
    } else if ((b0 & 0xF0) == 0xE0) {
        const int c1 = cont(1), c2 = c1 >= 0 ? cont(2) : -1;
        if (c2 >= 0) {
            i += 3;
            return (char32_t(b0 & 0x0F) << 12) | (char32_t(c1) << 6) | char32_t(c2);
        }
    } else if ((b0 & 0xF8) == 0xF0) {
        const int c1 = cont(1), c2 = c1 >= 0 ? cont(2) : -1, c3 = c2 >= 0 ? cont(3) : -1;
        if (c3 >= 0) {
            i += 4;
            return (char32_t(b0 & 0x07) << 18) | (char32_t(c1) << 12) | (char32_t(c2) << 6) | char32_t(c3);
        }
    }
    i += 1;
    return 0x110000 + b0;  // outside Unicode: a raw byte
}

char32_t FoldCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    // Latin Extended-A pairs upper and lower case as even/odd neighbours,
    // except the run 0x139..0x148 and 0x179..0x17E, which pair odd/even.
    if (c >= 0x100 && c <= 0x137 && c != 0x130 && (c & 1) == 0) return c + 1;
    if (c >= 0x139 && c <= 0x148 && (c & 1) == 1) return c + 1;
    if (c >= 0x14A && c <= 0x177 && (c & 1) == 0) return c + 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E && (c & 1) == 1) return c + 1;
    return c;
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = FoldCase(NextCodePoint(a, i));
        const char32_t cb = FoldCase(NextCodePoint(b, j));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}


std::string ToLowerName(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = FoldCase(NextCodePoint(s, i));
        // A byte that was not valid UTF-8 goes back as it came.
        if (c >= 0x110000) out += static_cast<char>(c - 0x110000);
        else AppendUtf8(out, c);
    }
    return out;
}
