// UTF-8 inside the program, UTF-16 at the Windows API.
#pragma once

#include <string>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const wchar_t* utf16, std::size_t length);
inline std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }
