#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

HKEY H(RegKey key) { return reinterpret_cast<HKEY>(key); }

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace

std::int32_t CWin32Platform::OpenKey(RegKey parent, const std::string& subKey, RegKey& out) {
    HKEY h = nullptr;
    const LONG status = RegOpenKeyExW(H(parent), Widen(subKey).c_str(), 0, KEY_ALL_ACCESS, &h);
    out = reinterpret_cast<RegKey>(h);
    return status;
}

std::int32_t CWin32Platform::CreateKey(RegKey parent, const std::string& subKey, RegKey& out) {
    HKEY h = nullptr;
    const LONG status = RegCreateKeyExW(H(parent), Widen(subKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &h, nullptr);
    out = reinterpret_cast<RegKey>(h);
    return status;
}

std::int32_t CWin32Platform::CloseKey(RegKey key) { return RegCloseKey(H(key)); }

// Sizes and limits are those of the program's UTF-8 text, the way the ANSI
// functions count in bytes of the code page: the value is read whole, then
// measured against the caller's buffer.
std::int32_t CWin32Platform::QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* size) {
    const std::wstring wname = Widen(name);
    DWORD t = 0;
    DWORD need = 0;
    LONG status = RegQueryValueExW(H(key), wname.c_str(), nullptr, &t, nullptr, &need);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> raw(need + sizeof(wchar_t));
    DWORD got = need;
    status = RegQueryValueExW(H(key), wname.c_str(), nullptr, &t, raw.data(), &got);
    if (status != ERROR_SUCCESS) return status;
    if (type) *type = t;

    std::string bytes;
    if (IsStringType(t)) {
        bytes = Narrow(reinterpret_cast<const wchar_t*>(raw.data()), got / sizeof(wchar_t));
    } else {
        bytes.assign(reinterpret_cast<const char*>(raw.data()), got);
    }
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const std::uint32_t capacity = *size;
    *size = static_cast<std::uint32_t>(bytes.size());
    if (!data) return ERROR_SUCCESS;
    if (bytes.size() > capacity) return ERROR_MORE_DATA;
    std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t size) {
    const std::wstring wname = Widen(name);
    if (IsStringType(type)) {
        const std::wstring text = Widen(std::string(reinterpret_cast<const char*>(data), size));
        return RegSetValueExW(H(key), wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    }
    return RegSetValueExW(H(key), wname.c_str(), 0, type, data, size);
}
