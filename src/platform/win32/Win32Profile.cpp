#include <windows.h>

#include <vector>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

bool CWin32Platform::ComputerName(std::string& out) {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return false;
    out = Narrow(name, size);
    return true;
}

std::uint32_t CWin32Platform::GetProfileText(const std::string& file, const std::string& section,
                                             const std::string& key, std::string& out, std::uint32_t capacity) {
    out.clear();
    if (capacity == 0) return 0;
    std::vector<wchar_t> buffer(capacity, L'\0');
    const DWORD n = GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"", buffer.data(),
                                             capacity, Widen(file).c_str());
    out = Narrow(buffer.data(), n);
    // The limit is the caller's, in bytes of the program's text.
    if (out.size() >= capacity) out.resize(capacity - 1);
    return static_cast<std::uint32_t>(out.size());
}

std::int32_t CWin32Platform::WriteProfileText(const std::string& file, const std::string& section,
                                              const std::string& key, const std::string& value) {
    return WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                      Widen(file).c_str())
               ? ERROR_SUCCESS
               : static_cast<std::int32_t>(GetLastError());
}
