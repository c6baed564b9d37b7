// The banner thread on the simulated machine: where the files go, what the
// site and an earlier run's index decide, and that a broken download neither
// hangs nor leaves anything half-written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <thread>

#include "TestMachine.h"
#include "app/StringIds.h"
#include "ui/GifBlocks.h"

namespace {

namespace fs = std::filesystem;

const char kShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kBase = "http://www.kestro.example/zelvo";
const std::string kAppData = "C:\\Users\\ala\\AppData\\Local";
const std::string kDir = kAppData + "\\KESTRO";
const std::string kIndexUrl = kBase + "/descript.ion";
const std::string kBannerUrl = kBase + "/banner.vir";
const std::string kIndex = "banner.gif\r\nhttp://www.kestro.example/wiosna\r\n";
// Bytes standing in for a picture: what the view makes of them is its affair.
const std::string kPicture = "GIF89a" + std::string(300, '\x42');

std::vector<std::uint8_t> BytesOf(const std::string& s) { return {s.begin(), s.end()}; }

class BannerDownload : public testing::Test {
protected:
    void SetUp() override {
        t.drive.MakeDir("Users/ala/AppData/Local");
        t.machine.PutString(winroot::kCurrentUser, kShellFolders, "Local AppData", kAppData);
        t.dlg->m_strBannerUrl = kBase;
    }

    // One attempt on the test's own thread, as the banner thread makes it;
    // afterwards nothing may be left open.
    void Run() {
        t.dlg->RunBannerDownload();
        EXPECT_EQ(t.machine.OpenInternetHandleCount(), 0);
        EXPECT_EQ(t.machine.OpenFileCount(), 0);
        EXPECT_EQ(PartFiles(), std::vector<std::string>{});
    }

    void ServeBoth() {
        t.machine.ServeUrl(kIndexUrl, kIndex);
        t.machine.ServeUrl(kBannerUrl, kPicture);
    }

    void Plant(const std::string& winPath, const std::string& content) {
        fs::create_directories(fs::path(Host(winPath)).parent_path());
        std::ofstream(Host(winPath), std::ios::binary) << content;
    }

    std::string Host(const std::string& winPath) const {
        // Paths below C: only, spelled as the test made them.
        std::string relative = winPath.substr(3);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return t.drive.Path() + "/" + relative;
    }

    bool Exists(const std::string& winPath) const { return fs::exists(Host(winPath)); }

    std::string Read(const std::string& winPath) const {
        std::ifstream in(Host(winPath), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::vector<std::string> PartFiles() const {
        std::vector<std::string> parts;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(t.drive.Path(), ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".part") parts.push_back(it->path().string());
        }
        return parts;
    }

    std::vector<std::string> BannerEvents() const {
        std::vector<std::string> events;
        for (const std::string& e : t.view.Events()) {
            if (e.rfind("banner-", 0) == 0) events.push_back(e);
        }
        return events;
    }

    CTestMachine t;
};

TEST_F(BannerDownload, StoresIndexAndBannerAndShowsThem) {
    ServeBoth();
    Run();
    EXPECT_EQ(t.dlg->m_strBannerDir, kDir);
    EXPECT_EQ(Read(kDir + "\\descript.ion"), kIndex);
    EXPECT_EQ(Read(kDir + "\\banner.gif"), kPicture) << "banner.vir is kept as banner.gif";
    EXPECT_EQ(t.machine.UrlRequests(), (std::vector<std::string>{kIndexUrl, kBannerUrl}));
    EXPECT_EQ(BannerEvents(), (std::vector<std::string>{"banner-target:http://www.kestro.example/wiosna",
                                                        "banner-picture:" + std::to_string(kPicture.size())}));
    EXPECT_EQ(t.view.BannerPicture(), BytesOf(kPicture));
}

TEST_F(BannerDownload, EarlierIndexGivesTheTargetWhenTheSiteIsUnreachable) {
    const std::string earlier = "stary.gif\r\nhttp://www.kestro.example/stary\r\n";
    Plant(kDir + "\\descript.ion", earlier);
    Run();
    EXPECT_EQ(t.view.BannerTarget(), "http://www.kestro.example/stary");
    EXPECT_TRUE(t.view.BannerPicture().empty()) << "the built-in picture stays";
    EXPECT_FALSE(Exists(kDir + "\\stary.gif"));
    EXPECT_EQ(Read(kDir + "\\descript.ion"), earlier);
    EXPECT_EQ(t.machine.UrlRequests(), (std::vector<std::string>{kIndexUrl, kBase + "/stary.vir"}));
}

TEST_F(BannerDownload, ErrorPagesReplaceNothing) {
    const std::string earlier = "banner.gif\r\nhttp://www.kestro.example/stary\r\n";
    Plant(kDir + "\\descript.ion", earlier);
    Plant(kDir + "\\banner.gif", "earlier picture");
    t.machine.ServeUrl(kIndexUrl, "<html>404</html>", 404);
    t.machine.ServeUrl(kBannerUrl, "<html>500</html>", 500);
    Run();
    EXPECT_EQ(Read(kDir + "\\descript.ion"), earlier);
    EXPECT_EQ(Read(kDir + "\\banner.gif"), "earlier picture");
    EXPECT_EQ(t.view.BannerTarget(), "http://www.kestro.example/stary");
    EXPECT_TRUE(t.view.BannerPicture().empty());
}

struct SIndexCase {
    const char* name;
    std::string index;
    std::string target;               // empty: none set
    std::vector<std::string> requests;  // after the index's own
    bool pictureShown;
};

void PrintTo(const SIndexCase& c, std::ostream* os) { *os << c.name; }

class BannerIndexContent : public BannerDownload, public testing::WithParamInterface<SIndexCase> {};

TEST_P(BannerIndexContent, DecidesTargetAndBanner) {
    const SIndexCase& c = GetParam();
    t.machine.ServeUrl(kIndexUrl, c.index);
    t.machine.ServeUrl(kBannerUrl, kPicture);
    Run();
    EXPECT_EQ(t.view.BannerTarget(), c.target);
    std::vector<std::string> requests = t.machine.UrlRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), kIndexUrl);
    requests.erase(requests.begin());
    EXPECT_EQ(requests, c.requests);
    EXPECT_EQ(!t.view.BannerPicture().empty(), c.pictureShown);
    // Nothing lands outside the banner directory.
    for (const auto& entry : fs::recursive_directory_iterator(t.drive.Path())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(entry.path().parent_path().string(), Host(kDir)) << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, BannerIndexContent,
    testing::Values(
        SIndexCase{"NoIndex", "", "", {}, false},
        SIndexCase{"OneLineOnly", "banner.gif\r\n", "", {}, false},
        SIndexCase{"TargetThatIsNoWebAddress", "banner.gif\r\nC:\\WINDOWS\\system32\\cmd.exe\r\n", "", {kBannerUrl},
                   true},
        SIndexCase{"NameThatLeavesTheDirectory", "..\\..\\boot.gif\r\nhttp://www.kestro.example/x\r\n",
                   "http://www.kestro.example/x", {}, false},
        SIndexCase{"FurtherLinesIgnored", "banner.gif\n\nhttp://www.kestro.example/y\nthird\n",
                   "http://www.kestro.example/y", {kBannerUrl}, true},
        // Line 2 runs across the read limit and ends there.
        SIndexCase{"LongerThanTheReadLimit",
                   "banner.gif\r\n" + std::string(1024 - 12 - 20, '\n') + "http://www.kestro.example/cut" +
                       std::string(100, 'z'),
                   "http://www.kestro.ex", {kBannerUrl}, true}),
    [](const testing::TestParamInfo<SIndexCase>& info) { return std::string(info.param.name); });

struct SDirCase {
    const char* name;
    bool shellFolders;   // the key exists
    std::string localAppData;  // empty: no value
    std::string temp;          // empty: undefined
    bool determined;
    std::string dir;
};

void PrintTo(const SDirCase& c, std::ostream* os) { *os << c.name; }

class BannerDirectory : public testing::TestWithParam<SDirCase> {};

TEST_P(BannerDirectory, FollowsLocalAppDataThenTempThenDriveC) {
    const SDirCase& c = GetParam();
    CTestMachine t;
    if (c.shellFolders) t.machine.PutString(winroot::kCurrentUser, kShellFolders, "Desktop", "C:\\Desktop");
    if (!c.localAppData.empty()) {
        t.machine.PutString(winroot::kCurrentUser, kShellFolders, "Local AppData", c.localAppData);
    }
    t.machine.SetEnvironment("TEMP", c.temp);
    t.drive.MakeDir("Local");
    t.drive.MakeDir("Temp");
    EXPECT_EQ(t.dlg->DetermineBannerDir(), c.determined);
    t.dlg->m_strBannerDir.clear();
    t.dlg->m_strBannerUrl = kBase;
    t.dlg->RunBannerDownload();
    EXPECT_EQ(t.dlg->m_strBannerDir, c.dir);
    EXPECT_TRUE(fs::is_directory(t.machine.HostPath(c.dir))) << "the directory is made";
}

INSTANTIATE_TEST_SUITE_P(
    Machines, BannerDirectory,
    testing::Values(SDirCase{"LocalAppData", true, "C:\\Local", "C:\\Temp", true, "C:\\Local\\KESTRO"},
                    SDirCase{"TrailingBackslash", true, "C:\\Local\\", "C:\\Temp", true, "C:\\Local\\KESTRO"},
                    SDirCase{"NoLocalAppDataValue", true, "", "C:\\Temp", true, "C:\\Temp\\KESTRO"},
                    SDirCase{"NoTempEither", true, "", "", true, "c:\\KESTRO"},
                    SDirCase{"NoShellFoldersKey", false, "", "C:\\Temp", false, "c:\\KESTRO"}),
    [](const testing::TestParamInfo<SDirCase>& info) { return std::string(info.param.name); });

TEST_F(BannerDownload, DataArrivingInSmallPiecesIsStoredWhole) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += static_cast<char>(i * 7);
    t.machine.ServeUrl(kIndexUrl, kIndex);
    t.machine.ServeUrl(kBannerUrl, big);
    t.machine.SetInternetChunk(7);
    Run();
    EXPECT_EQ(Read(kDir + "\\banner.gif"), big);
    EXPECT_EQ(t.view.BannerPicture(), BytesOf(big));
}

TEST_F(BannerDownload, ASiteThatStopsAnsweringForAMomentIsWaitedFor) {
    ServeBoth();
    // The first two questions of the banner's transfer (after the index's
    // two) fail; the third is answered.
    t.machine.FailCall("InternetQueryAvailable", "", 12002, 3, false);
    t.machine.FailCall("InternetQueryAvailable", "", 12002, 3, false);
    Run();
    EXPECT_EQ(t.machine.FaultsFired(), 2);
    EXPECT_EQ(Read(kDir + "\\banner.gif"), kPicture);
}

TEST_F(BannerDownload, ATransferThatKeepsFailingEndsAndKeepsTheEarlierFiles) {
    Plant(kDir + "\\descript.ion", kIndex);
    Plant(kDir + "\\banner.gif", "earlier picture");
    ServeBoth();
    for (const char* op : {"InternetQueryAvailable", "InternetRead"}) {
        SCOPED_TRACE(op);
        t.machine.ClearFaults();
        t.machine.FailCall(op, "", 12002);
        Run();  // returns: the retries are bounded
        EXPECT_EQ(Read(kDir + "\\descript.ion"), kIndex);
        EXPECT_EQ(Read(kDir + "\\banner.gif"), "earlier picture");
        EXPECT_TRUE(t.view.BannerPicture().empty());
    }
}

TEST_F(BannerDownload, APictureTooLargeForABannerIsNotStored) {
    t.machine.ServeUrl(kIndexUrl, kIndex);
    t.machine.ServeUrl(kBannerUrl, std::string(gif::kMaxPictureBytes + 1, 'x'));
    t.machine.SetInternetChunk(1 << 20);
    Run();
    EXPECT_FALSE(Exists(kDir + "\\banner.gif"));
    EXPECT_TRUE(t.view.BannerPicture().empty());
}

// Every step of the attempt fails in turn, at its first call, then its
// second, and so on: the attempt always ends, leaves nothing open or half
// written, and what it stored or showed is the site's data.
TEST_F(BannerDownload, AnyFailingStepEndsTheAttemptCleanly) {
    const char* const ops[] = {"OpenKey",     "QueryValue",   "MakeDirectory",       "InternetOpenSession",
                               "InternetOpenAddress", "HttpQueryStatus", "InternetQueryAvailable", "InternetRead",
                               "RemoveFile",  "CreateForWrite", "WriteTo",          "RenameFile",
                               "OpenForRead", "FileInfo",     "ReadAt"};
    for (const char* op : ops) {
        for (int nth = 1;; ++nth) {
            SCOPED_TRACE(std::string(op) + " call " + std::to_string(nth));
            CTestMachine m;
            m.drive.MakeDir("Users/ala/AppData/Local");
            m.machine.PutString(winroot::kCurrentUser, kShellFolders, "Local AppData", kAppData);
            m.machine.ServeUrl(kIndexUrl, kIndex);
            m.machine.ServeUrl(kBannerUrl, kPicture);
            m.dlg->m_strBannerUrl = kBase;
            m.machine.FailCall(op, "", 5, nth, false);
            m.dlg->RunBannerDownload();
            EXPECT_EQ(m.machine.OpenInternetHandleCount(), 0);
            EXPECT_EQ(m.machine.OpenFileCount(), 0);
            const std::string banner = m.machine.HostPath(kDir + "\\banner.gif");
            if (!banner.empty() && fs::exists(banner)) {
                std::ifstream in(banner, std::ios::binary);
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kPicture);
            }
            const std::vector<std::uint8_t> shown = m.view.BannerPicture();
            EXPECT_TRUE(shown.empty() || shown == BytesOf(kPicture));
            const std::string target = m.view.BannerTarget();
            EXPECT_TRUE(target.empty() || target == "http://www.kestro.example/wiosna") << target;
            for (const auto& entry : fs::recursive_directory_iterator(m.drive.Path())) {
                EXPECT_NE(entry.path().extension(), ".part") << entry.path();
            }
            if (m.machine.FaultsFired() == 0) break;
        }
    }
}

TEST(BannerThread, StartsOnceWithTheMakersAddressAndEnds) {
    CTestMachine t;
    t.drive.MakeDir("Local");
    t.machine.PutString(winroot::kCurrentUser, kShellFolders, "Local AppData", "C:\\Local");
    const std::string base = BuiltInString(IDS_WEB_ADDRESS) + std::string("/zelvo");
    t.machine.ServeUrl(base + "/descript.ion", kIndex);
    t.machine.ServeUrl(base + "/banner.vir", kPicture);
    t.dlg->StartBannerDownload();
    t.dlg->StartBannerDownload();  // a second call starts no second thread
    EXPECT_EQ(t.dlg->m_strBannerUrl, base);
    // Going away stops a transfer at its next read, so the test lets the
    // thread finish first.
    for (int i = 0; i < 1000 && t.view.BannerPicture().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    t.dlg.reset();  // waits for the thread
    EXPECT_EQ(t.view.BannerTarget(), "http://www.kestro.example/wiosna");
    EXPECT_EQ(t.view.BannerPicture(), BytesOf(kPicture));
    EXPECT_EQ(t.machine.UrlRequests().size(), 2u);
}

TEST(BannerThread, NoInternetLibraryNoThread) {
    CTestMachine t;
    t.machine.SetInternetAvailable(false);
    t.dlg->StartBannerDownload();
    t.dlg.reset();
    EXPECT_TRUE(t.machine.UrlRequests().empty());
    EXPECT_FALSE(fs::exists(t.drive.Path() + "/KESTRO"));
    EXPECT_TRUE(t.view.BannerTarget().empty());
}

// The banner asks before it opens anything from the start of a scan until
// the exit button is pressed, even after the scan has ended.
TEST(BannerWarning, SetByTheScanClearedByTheExitButton) {
    CTestMachine t;
    EXPECT_FALSE(t.view.BannerWarning());
    ASSERT_TRUE(t.Scan());
    EXPECT_TRUE(t.view.BannerWarning());
    EXPECT_TRUE(t.dlg->OnExitOrAbort());
    EXPECT_FALSE(t.view.BannerWarning());

    // "Przerwij" during a scan clears it as well.
    t.view.OnEvent([&](const std::string& e) {
        if (e == "log:" + std::string(BuiltInString(IDS_STAGE_TEMP_FILES))) {
            EXPECT_TRUE(t.view.BannerWarning());
            t.dlg->OnExitOrAbort();
            EXPECT_FALSE(t.view.BannerWarning());
        }
    });
    ASSERT_TRUE(t.Scan());
    EXPECT_FALSE(t.view.BannerWarning());
}

}  // namespace
