// The first stage of every scan: the current user's Internet cache is
// emptied, so that worm bodies and exploit pages the browser fetched are gone
// before the disk walk. Cookies stay; losing them would log the user out of
// every site and they carry no code.
#include <cstdint>

#include "app/CleanerDlg.h"

namespace {

// The cache entry type bit of cookies.
constexpr std::uint32_t kCookieCacheEntry = 0x00100000;

// Enough for an ordinary entry with its strings in one go.
constexpr std::uint32_t kFirstBufferSize = 4096;

// A real entry is a fixed header plus a URL (at most 2084 characters), a
// local path (MAX_PATH), an extension and the stored response headers: tens
// of kilobytes at the very worst. A larger demand is a damaged cache, and
// following it would allocate whatever it asks for.
constexpr std::uint32_t kMaxBufferSize = 1024 * 1024;

// The system names the exact size an entry needs, so one retry per entry is
// the rule; a second only happens when the entry grew between the calls. A
// cache that keeps asking for more is not followed further.
constexpr int kMaxRetriesPerEntry = 8;

}  // namespace

bool CCleanerDlg::CleanTempInternetFiles() {
    std::uint32_t bufferSize = 0;  // nothing allocated before the first fetch
    std::uint32_t reported = kFirstBufferSize;
    std::int32_t status = ERROR_INSUFFICIENT_BUFFER;
    int retries = 0;
    CacheHandle find = 0;
    CacheEntry entry;
    bool reachedEnd = false;

    for (;;) {
        if (status == ERROR_SUCCESS) {
            retries = 0;
            // A failed deletion leaves the entry; nothing is reported either way.
            if ((entry.entryType & kCookieCacheEntry) == 0) m_platform.CacheDeleteEntry(entry.sourceUrl);
            status = m_platform.CacheFindNext(find, bufferSize, entry, reported);
        } else if (status == ERROR_INSUFFICIENT_BUFFER) {
            // The buffer only grows. An answer that does not ask for more than
            // the buffer already holds would fail the same way for ever.
            if (reported <= bufferSize || reported > kMaxBufferSize || ++retries > kMaxRetriesPerEntry) break;
            bufferSize = reported;
            // Until the first entry has come there is no search to go on
            // with; after that, the next fetch brings the entry that did not fit.
            status = find != 0 ? m_platform.CacheFindNext(find, bufferSize, entry, reported)
                               : m_platform.CacheFindFirst(bufferSize, entry, reported, find);
        } else {
            reachedEnd = status == ERROR_NO_MORE_ITEMS;
            break;
        }
    }

    if (find != 0) m_platform.CacheFindClose(find);
    return reachedEnd;
}
