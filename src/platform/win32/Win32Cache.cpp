#include <windows.h>
#include <wininet.h>

#include <vector>

#include "platform/win32/DynCalls.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Platform.h"

namespace {

std::int32_t Fill(BOOL ok, const std::vector<BYTE>& buffer, DWORD size, CacheEntry& entry, std::uint32_t& needed) {
    if (!ok) {
        const DWORD error = GetLastError();
        needed = size;
        return static_cast<std::int32_t>(error);
    }
    const auto* info = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    entry.sourceUrl = info->lpszSourceUrlName ? Narrow(info->lpszSourceUrlName, wcslen(info->lpszSourceUrlName)) : "";
    entry.entryType = info->CacheEntryType;
    return ERROR_SUCCESS;
}

}  // namespace

std::int32_t CWin32Platform::CacheFindFirst(std::uint32_t bufferSize, CacheEntry& entry, std::uint32_t& needed,
                                            CacheHandle& out) {
    out = 0;
    const InternetCacheCalls& wininet = InternetCache();
    if (!wininet.findFirst) return ERROR_PROC_NOT_FOUND;
    std::vector<BYTE> buffer(std::max<std::uint32_t>(bufferSize, sizeof(INTERNET_CACHE_ENTRY_INFOW)));
    DWORD size = bufferSize;
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    info->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOW);
    const HANDLE find = wininet.findFirst(nullptr, info, &size);
    out = reinterpret_cast<CacheHandle>(find);
    return Fill(find != nullptr, buffer, size, entry, needed);
}

std::int32_t CWin32Platform::CacheFindNext(CacheHandle find, std::uint32_t bufferSize, CacheEntry& entry,
                                           std::uint32_t& needed) {
    const InternetCacheCalls& wininet = InternetCache();
    if (!wininet.findNext) return ERROR_PROC_NOT_FOUND;
    std::vector<BYTE> buffer(std::max<std::uint32_t>(bufferSize, sizeof(INTERNET_CACHE_ENTRY_INFOW)));
    DWORD size = bufferSize;
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    info->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOW);
    // Called on a line of its own: as an argument beside `size`, the copy of
    // `size` could be taken before the call writes the size it needs.
    const BOOL ok = wininet.findNext(reinterpret_cast<HANDLE>(find), info, &size);
    return Fill(ok, buffer, size, entry, needed);
}

std::int32_t CWin32Platform::CacheDeleteEntry(const std::string& sourceUrl) {
    const InternetCacheCalls& wininet = InternetCache();
    if (!wininet.deleteEntry) return ERROR_PROC_NOT_FOUND;
    return wininet.deleteEntry(Widen(sourceUrl).c_str()) ? ERROR_SUCCESS : static_cast<std::int32_t>(GetLastError());
}

void CWin32Platform::CacheFindClose(CacheHandle find) {
    const InternetCacheCalls& wininet = InternetCache();
    if (wininet.findClose && find) wininet.findClose(reinterpret_cast<HANDLE>(find));
}
