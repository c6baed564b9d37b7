// The Internet cache stage: every entry but cookies goes, the entry buffer
// grows to what the system asks for, and a cache that answers nonsense
// cannot hold the scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RecordingView.h"
#include "app/CleanerDlg.h"
#include "platform/sim/SimMachine.h"

namespace {

constexpr std::uint32_t kCookie = 0x00100000;
constexpr std::uint32_t kNormal = 0x00000001;
constexpr std::uint32_t kSticky = 0x00000004;

// The simulated cache, with a record of the buffer sizes the stage offers
// and, when asked, a cache that keeps saying "too small" without asking for
// more.
class CCacheMachine : public CSimMachine {
public:
    std::int32_t CacheFindFirst(std::uint32_t bufferSize, CacheEntry& entry, std::uint32_t& needed,
                                CacheHandle& out) override {
        fetches.push_back("first:" + std::to_string(bufferSize));
        if (stuckAt != 0 || creeping) {
            out = 0;
            needed = creeping ? bufferSize + 1 : stuckAt;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        return CSimMachine::CacheFindFirst(bufferSize, entry, needed, out);
    }
    std::int32_t CacheFindNext(CacheHandle find, std::uint32_t bufferSize, CacheEntry& entry,
                               std::uint32_t& needed) override {
        fetches.push_back("next:" + std::to_string(bufferSize));
        return CSimMachine::CacheFindNext(find, bufferSize, entry, needed);
    }
    void CacheFindClose(CacheHandle find) override {
        ++closes;
        CSimMachine::CacheFindClose(find);
    }

    std::vector<std::string> Urls() const {
        std::vector<std::string> urls;
        for (const auto& e : CacheEntries()) urls.push_back(e.url);
        return urls;
    }

    std::vector<std::string> fetches;
    int closes = 0;
    std::uint32_t stuckAt = 0;  // non-zero: every first fetch is too small for this size
    bool creeping = false;      // every first fetch asks for one byte more than it got
};

struct CacheBench {
    CCacheMachine machine;
    CRecordingView view;
    CCleanerDlg dlg{machine, view};
};

}  // namespace

TEST(TempInternetFiles, CookiesSurviveAndEverythingElseGoes) {
    CacheBench b;
    b.machine.AddCacheEntry("http://example.pl/index.html", kNormal);
    b.machine.AddCacheEntry("Cookie:user@example.pl/", kCookie | kNormal);
    b.machine.AddCacheEntry("http://example.pl/logo.gif", kSticky);
    b.machine.AddCacheEntry("http://worm.example/body.exe", kNormal);
    b.machine.AddCacheEntry("Cookie:user@bank.example/", kCookie);

    EXPECT_TRUE(b.dlg.CleanTempInternetFiles());

    EXPECT_EQ(b.machine.Urls(), (std::vector<std::string>{"Cookie:user@example.pl/", "Cookie:user@bank.example/"}));
    EXPECT_EQ(b.machine.closes, 1);
    EXPECT_TRUE(b.view.Log().empty());
}

// 6000 bytes do not fit the first 4096: the same entry is fetched again
// with the size the system named, and that buffer serves the rest.
TEST(TempInternetFiles, LargeEntryIsFetchedAgainWithTheReportedSize) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/small", kNormal, 600);
    b.machine.AddCacheEntry("http://a/large", kNormal, 6000);
    b.machine.AddCacheEntry("http://a/after", kNormal, 100);

    EXPECT_TRUE(b.dlg.CleanTempInternetFiles());

    EXPECT_TRUE(b.machine.Urls().empty());
    EXPECT_EQ(b.machine.fetches,
              (std::vector<std::string>{"first:4096", "next:4096", "next:6000", "next:6000", "next:6000"}));
}

TEST(TempInternetFiles, FirstEntryTooLargeStartsTheSearchAgain) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/large", kNormal, 9000);
    b.machine.AddCacheEntry("http://a/small", kNormal, 10);

    EXPECT_TRUE(b.dlg.CleanTempInternetFiles());

    EXPECT_TRUE(b.machine.Urls().empty());
    EXPECT_EQ(b.machine.fetches, (std::vector<std::string>{"first:4096", "first:9000", "next:9000", "next:9000"}));
    EXPECT_EQ(b.machine.closes, 1);
}

TEST(TempInternetFiles, EmptyCacheEndsAtOnce) {
    CacheBench b;

    EXPECT_TRUE(b.dlg.CleanTempInternetFiles());

    EXPECT_EQ(b.machine.fetches, std::vector<std::string>{"first:4096"});
    EXPECT_EQ(b.machine.closes, 0);
}

TEST(TempInternetFiles, CacheThatCannotBeOpenedTouchesNothing) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/page", kNormal);
    b.machine.FailCall("CacheFindFirst", "", ERROR_ACCESS_DENIED);

    EXPECT_FALSE(b.dlg.CleanTempInternetFiles());

    EXPECT_EQ(b.machine.Urls(), std::vector<std::string>{"http://a/page"});
    EXPECT_EQ(b.machine.closes, 0);
}

TEST(TempInternetFiles, EntryThatCannotBeDeletedStaysAndTheWalkGoesOn) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/locked", kNormal);
    b.machine.AddCacheEntry("http://a/free", kNormal);
    b.machine.FailCall("CacheDeleteEntry", "http://a/locked", ERROR_ACCESS_DENIED);

    EXPECT_TRUE(b.dlg.CleanTempInternetFiles());

    EXPECT_EQ(b.machine.Urls(), std::vector<std::string>{"http://a/locked"});
    EXPECT_TRUE(b.view.Log().empty());
}

TEST(TempInternetFiles, FetchFailingMidWalkEndsItAndClosesTheSearch) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/one", kNormal);
    b.machine.AddCacheEntry("http://a/two", kNormal);
    b.machine.FailCall("CacheFindNext", "", ERROR_INVALID_PARAMETER);

    EXPECT_FALSE(b.dlg.CleanTempInternetFiles());

    EXPECT_EQ(b.machine.Urls(), std::vector<std::string>{"http://a/two"});
    EXPECT_EQ(b.machine.closes, 1);
}

// A damaged cache naming an absurd size is not followed: nothing that big is
// asked for, and the entries before it were handled.
TEST(TempInternetFiles, AbsurdEntrySizeEndsTheWalk) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/before", kNormal);
    b.machine.AddCacheEntry("http://a/absurd", kNormal, 0xFFFFFFF0u);
    b.machine.AddCacheEntry("http://a/after", kNormal);

    EXPECT_FALSE(b.dlg.CleanTempInternetFiles());

    EXPECT_EQ(b.machine.Urls(), (std::vector<std::string>{"http://a/absurd", "http://a/after"}));
    EXPECT_EQ(b.machine.fetches, (std::vector<std::string>{"first:4096", "next:4096"}));
    EXPECT_EQ(b.machine.closes, 1);
}

// "Too small" with a size the buffer already has would fail the same way on
// every retry.
TEST(TempInternetFiles, BufferThatNeverSatisfiesTheCacheEndsTheWalk) {
    for (std::uint32_t stuckAt : {100u, 4096u}) {
        SCOPED_TRACE(stuckAt);
        CacheBench b;
        b.machine.AddCacheEntry("http://a/page", kNormal);
        b.machine.stuckAt = stuckAt;

        EXPECT_FALSE(b.dlg.CleanTempInternetFiles());

        EXPECT_EQ(b.machine.fetches, std::vector<std::string>{"first:4096"});
        EXPECT_EQ(b.machine.Urls(), std::vector<std::string>{"http://a/page"});
    }
}

// A cache that asks for one byte more on every answer stays far below the
// size limit; the retries for one entry are counted instead.
TEST(TempInternetFiles, EntryThatKeepsGrowingIsGivenUp) {
    CacheBench b;
    b.machine.AddCacheEntry("http://a/page", kNormal);
    b.machine.creeping = true;

    EXPECT_FALSE(b.dlg.CleanTempInternetFiles());

    EXPECT_GT(b.machine.fetches.size(), 2u);
    EXPECT_LE(b.machine.fetches.size(), 16u);
    EXPECT_EQ(b.machine.Urls(), std::vector<std::string>{"http://a/page"});
}
