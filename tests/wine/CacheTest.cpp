// The first stage of a scan on the real program: the current user's Internet
// cache loses every entry but the cookies. The entries are committed by a
// helper process, as a browser would leave them, and the cache is listed
// from here before and after the scan.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "ProgramDriver.h"
#include "ScanLog.h"
#include "WineFixtures.h"

namespace {

constexpr DWORD kCookieBit = 0x00100000;
// The program's first buffer for an entry.
constexpr DWORD kFirstBufferSize = 4096;

struct SCacheEntry {
    DWORD type = 0;
    DWORD size = 0;  // bytes the entry needs with its strings
    std::wstring localFile;
};

// The whole cache as the program's own enumeration sees it, each entry with
// the buffer size it asked for. Wine lists the cookies in an enumeration
// without a search pattern too (Windows keeps them to a "cookie:" search),
// so here the stage's test of the cookie bit is what keeps them.
std::map<std::wstring, SCacheEntry> ListCache() {
    std::map<std::wstring, SCacheEntry> entries;
    std::vector<BYTE> buffer(kFirstBufferSize);
    HANDLE find = nullptr;
    for (int guard = 0; guard < 100000; ++guard) {
        DWORD size = static_cast<DWORD>(buffer.size());
        auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
        info->dwStructSize = sizeof *info;
        BOOL ok = FALSE;
        if (!find) {
            find = FindFirstUrlCacheEntryW(nullptr, info, &size);
            ok = find != nullptr;
        } else {
            ok = FindNextUrlCacheEntryW(find, info, &size);
        }
        if (!ok) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
            // The same entry comes again with a buffer of the size it named.
            buffer.resize(size);
            continue;
        }
        entries[info->lpszSourceUrlName] = {info->CacheEntryType, size,
                                            info->lpszLocalFileName ? info->lpszLocalFileName : L""};
    }
    if (find) FindCloseUrlCache(find);
    return entries;
}

int RunProgram(const std::wstring& path, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                        &process)) {
        return -1;
    }
    DWORD code = 259;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// The entries a test commits, deleted again whatever the scan left.
class CCommittedEntries {
public:
    explicit CCommittedEntries(std::vector<std::wstring> urls) : m_urls(std::move(urls)) {}
    ~CCommittedEntries() {
        for (const std::wstring& url : m_urls) DeleteUrlCacheEntryW(url.c_str());
    }
    CCommittedEntries(const CCommittedEntries&) = delete;
    CCommittedEntries& operator=(const CCommittedEntries&) = delete;

private:
    std::vector<std::wstring> m_urls;
};

}  // namespace

TEST(InternetCache, ScanDeletesEveryEntryButCookies) {
    CPlantedTree dir(L"C:\\kc-cache");
    const std::wstring filler = dir.Root() + L"\\kc-wine-cache-filler.exe";
    ASSERT_TRUE(CopyFileW(HostPath(KC_CACHE_FILLER_PATH).c_str(), filler.c_str(), FALSE));

    const std::wstring page = L"http://www.kestro.example/kc-cache/index.htm";
    const std::wstring picture = L"http://www.kestro.example/kc-cache/logo.gif";
    const std::wstring download = L"http://www.kestro.example/kc-cache/setup.exe";
    const std::wstring cookie = L"Cookie:tester@kestro.example/kc-cache/";
    CCommittedEntries committed({page, picture, download, cookie});
    ASSERT_EQ(RunProgram(filler, L"page " + page + L" page " + picture + L" big " + download + L" cookie " + cookie),
              0);

    const std::map<std::wstring, SCacheEntry> before = ListCache();
    for (const std::wstring& url : {page, picture, download, cookie}) {
        ASSERT_EQ(before.count(url), 1u) << ToUtf8(url) << " was not committed";
        EXPECT_TRUE(FileExists(before.at(url).localFile)) << ToUtf8(url) << " has no stored copy";
    }
    EXPECT_EQ(before.at(page).type & kCookieBit, 0u);
    EXPECT_NE(before.at(cookie).type & kCookieBit, 0u);
    // The stage's first buffer is too small for this one, so its retry
    // with the size the system names is what deletes it.
    EXPECT_GT(before.at(download).size, kFirstBufferSize);

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    // The stage writes nothing of its own.
    ExpectScanLog(ScanToTheEnd(program), {});

    const std::map<std::wstring, SCacheEntry> after = ListCache();
    for (const std::wstring& url : {page, picture, download}) {
        EXPECT_EQ(after.count(url), 0u) << ToUtf8(url) << " is still cached";
        // The system takes the stored copy with the entry.
        EXPECT_FALSE(FileExists(before.at(url).localFile)) << ToUtf8(before.at(url).localFile);
    }
    ASSERT_EQ(after.count(cookie), 1u) << "the cookie went";
    EXPECT_NE(after.at(cookie).type & kCookieBit, 0u);
    EXPECT_TRUE(FileExists(after.at(cookie).localFile)) << ToUtf8(after.at(cookie).localFile);
    // Nothing else survived either, apart from other cookies.
    for (const auto& [url, entry] : after) {
        EXPECT_NE(entry.type & kCookieBit, 0u) << ToUtf8(url) << " is still cached";
    }
    program.ExitWithButton();
}
