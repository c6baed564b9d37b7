#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

HKEY H(RegKey key) { return reinterpret_cast<HKEY>(key); }

// The longest value or key name the registry allows, in characters.
constexpr DWORD kMaxRegName = 16384;

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
    if (key == winroot::kPerformanceData) {
        // Performance data has no size to ask for in advance: the caller's
        // buffer goes straight to the system, which answers ERROR_MORE_DATA
        // until it is large enough.
        DWORD t = 0, got = size ? *size : 0;
        const LONG status = RegQueryValueExW(H(key), wname.c_str(), nullptr, &t, data, &got);
        if (type) *type = t;
        if (size) *size = got;
        return status;
    }
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

std::int32_t CWin32Platform::SetKeyDefault(RegKey key, const std::string& subKey, std::uint32_t type,
                                           const std::uint8_t* data, std::uint32_t size) {
    const std::wstring text = Widen(std::string(reinterpret_cast<const char*>(data), size));
    // RegSetValue counts characters without the terminator, which it adds.
    const std::size_t chars = text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0');
    return RegSetValueW(H(key), subKey.empty() ? nullptr : Widen(subKey).c_str(), type, text.c_str(),
                        static_cast<DWORD>(chars * sizeof(wchar_t)));
}

std::int32_t CWin32Platform::EnumValue(RegKey key, std::uint32_t index, std::string& name,
                                       std::uint32_t nameCapacity, std::uint32_t* type, std::uint8_t* data,
                                       std::uint32_t* size) {
    std::wstring wname(kMaxRegName, L'\0');
    DWORD nameChars = kMaxRegName;
    DWORD t = 0, need = 0;
    LONG status = RegEnumValueW(H(key), index, wname.data(), &nameChars, nullptr, &t, nullptr, &need);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> raw(need + sizeof(wchar_t));
    DWORD got = need;
    nameChars = kMaxRegName;
    status = RegEnumValueW(H(key), index, wname.data(), &nameChars, nullptr, &t, raw.data(), &got);
    if (status != ERROR_SUCCESS) return status;
    name = Narrow(wname.data(), nameChars);
    if (type) *type = t;
    const std::string bytes = IsStringType(t) ? Narrow(reinterpret_cast<const wchar_t*>(raw.data()), got / 2)
                                              : std::string(reinterpret_cast<const char*>(raw.data()), got);
    if (name.size() + 1 > nameCapacity) return ERROR_MORE_DATA;
    if (!size) return ERROR_SUCCESS;
    const std::uint32_t capacity = *size;
    *size = static_cast<std::uint32_t>(bytes.size());
    if (!data) return ERROR_SUCCESS;
    if (bytes.size() > capacity) return ERROR_MORE_DATA;
    std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

std::int32_t CWin32Platform::EnumKey(RegKey key, std::uint32_t index, std::string& name,
                                     std::uint32_t nameCapacity) {
    std::wstring wname(kMaxRegName, L'\0');
    DWORD chars = kMaxRegName;
    const LONG status = RegEnumKeyExW(H(key), index, wname.data(), &chars, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    name = Narrow(wname.data(), chars);
    return name.size() + 1 > nameCapacity ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

std::int32_t CWin32Platform::DeleteKey(RegKey parent, const std::string& subKey) {
    return RegDeleteKeyW(H(parent), Widen(subKey).c_str());
}

std::int32_t CWin32Platform::DeleteValue(RegKey key, const std::string& name) {
    return RegDeleteValueW(H(key), Widen(name).c_str());
}
