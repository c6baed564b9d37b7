// Commits entries into the current user's Internet cache the way a browser
// does after a download, from a process of its own as a browser would:
//
//   kc-wine-cache-filler.exe KIND URL [KIND URL ...]
//
// KIND is "page" (an ordinary entry), "big" (an ordinary entry whose stored
// response headers make it larger than 4096 bytes with its strings) or
// "cookie". Exits with 0 when every entry was committed.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

namespace {

// Well past 4096, the first buffer the program's cache stage tries.
constexpr std::size_t kBigHeaderSize = 6000;

bool Commit(const std::wstring& kind, const std::wstring& url) {
    const bool cookie = kind == L"cookie";
    const wchar_t* extension = cookie ? L"txt" : L"htm";
    wchar_t local[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url.c_str(), 0, extension, local, 0)) {
        fwprintf(stderr, L"CreateUrlCacheEntry %ls: error %lu\n", url.c_str(), GetLastError());
        return false;
    }
    HANDLE file = CreateFileW(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot write %ls: error %lu\n", local, GetLastError());
        return false;
    }
    const char body[] = "<html>kc</html>";
    DWORD written = 0;
    WriteFile(file, body, sizeof body - 1, &written, nullptr);
    CloseHandle(file);

    std::wstring headers = L"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
    if (kind == L"big") headers += L"X-Padding: " + std::wstring(kBigHeaderSize, L'k') + L"\r\n";
    headers += L"\r\n";
    FILETIME never{};
    if (!CommitUrlCacheEntryW(url.c_str(), local, never, never, cookie ? COOKIE_CACHE_ENTRY : NORMAL_CACHE_ENTRY,
                              headers.data(), static_cast<DWORD>(headers.size()), extension, nullptr)) {
        fwprintf(stderr, L"CommitUrlCacheEntry %ls: error %lu\n", url.c_str(), GetLastError());
        return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || argc % 2 == 0) {
        fwprintf(stderr, L"usage: kc-wine-cache-filler KIND URL [KIND URL ...]\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring kind = argv[i];
        if (kind != L"page" && kind != L"big" && kind != L"cookie") {
            fwprintf(stderr, L"unknown kind %ls\n", argv[i]);
            return 2;
        }
        if (!Commit(kind, argv[i + 1])) return 1;
    }
    return 0;
}
