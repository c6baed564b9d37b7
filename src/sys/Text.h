// Names are compared the way the system compares file and registry names:
// without regard to case. Every comparison of names in the program goes
// through these two helpers.
#pragma once

#include <string>
#include <string_view>

// Compares two UTF-8 names case-insensitively; <0, 0 or >0 like strcmp.
// Letters of ASCII, Latin-1 and Latin Extended-A (Polish among them) fold;
// bytes that are not valid UTF-8 compare as themselves.
int CompareNoCase(std::string_view a, std::string_view b);

inline bool EqualsNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The name in lower case, with the same folding as CompareNoCase.
std::string ToLowerName(std::string_view s);
