// The banner of the real program: the built-in animation, the download from
// the maker's site (a local server the prefix's proxy setting leads to), the
// index left by an earlier run, and the question a click asks during a scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <thread>

#include "ProgramDriver.h"
#include "UiFixtures.h"
#include "WineFixtures.h"

namespace {

constexpr SIZE kBuiltInSize{464, 63};
const std::string kIndex = "banner.gif\r\nhttp://www.kestro.example/wiosna\r\n";

SIZE BannerSize(const CProgramDriver& program) {
    RECT r{};
    GetWindowRect(GetDlgItem(program.MainDialog(), kBanner), &r);
    return {r.right - r.left, r.bottom - r.top};
}

bool operator==(SIZE a, SIZE b) { return a.cx == b.cx && a.cy == b.cy; }

std::string Describe(SIZE s) { return std::to_string(s.cx) + "x" + std::to_string(s.cy); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Banner, BuiltInBannerAnimates) {
    CBannerDirectory directory;
    CScopedProxy offline(ClosedPort());
    CProgramDriver program(InstalledProgramPath());
    program.Start();
    EXPECT_TRUE(BannerSize(program) == kBuiltInSize) << Describe(BannerSize(program));

    const HWND main = program.MainDialog();
    const RECT area = ChildArea(main, GetDlgItem(main, kBanner));
    // Painted: the gradient and the lettering have many colours, a bare
    // canvas or an empty frame few.
    auto painted = [&](const SPixels& shot) {
        std::vector<COLORREF> pixels = shot.Crop(area);
        std::sort(pixels.begin(), pixels.end());
        return std::unique(pixels.begin(), pixels.end()) - pixels.begin() > 40;
    };
    ASSERT_TRUE(painted(WaitForPicture(main, painted))) << "the banner shows no picture";
    const SPixels first = SaveShot(program, main, "main-window");
    // The built-in banner rests for 2.5 s and then sweeps a band of light
    // across in 60 ms steps; within two rounds a picture differs.
    bool changed = false;
    for (int i = 0; i < 60 && !changed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        changed = CaptureWindow(main).Crop(area) != first.Crop(area);
    }
    ASSERT_TRUE(changed) << "the banner showed the same picture for six seconds";
    // Kept as a picture of its own: take screenshots until one shows
    // another frame than the first.
    bool saved = false;
    for (int i = 0; i < 60 && !saved; ++i) {
        saved = SaveShot(program, main, "main-window-banner-frame").Crop(area) != first.Crop(area);
    }
    EXPECT_TRUE(saved);
    program.ExitWithButton();
}

struct SPictureCase {
    const char* name;
    std::string bytes;
    SIZE size;
    COLORREF colour;
    bool clickDuringScan;
};

void PrintTo(const SPictureCase& row, std::ostream* os) { *os << row.name; }

class DownloadedBanner : public testing::TestWithParam<SPictureCase> {};

TEST_P(DownloadedBanner, IsStoredAndReplacesTheBuiltInOne) {
    const SPictureCase& row = GetParam();
    CBannerDirectory directory;
    CStandInBrowser browser;
    CBannerSite site;
    site.Serve("descript.ion", kIndex);
    site.Serve("banner.vir", row.bytes);

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    ASSERT_TRUE(WaitUntil([&] { return BannerSize(program) == row.size; }, std::chrono::seconds(20)))
        << "the banner is " << Describe(BannerSize(program)) << ", not " << Describe(row.size) << "; requests:"
        << ::Describe([&] {
               std::vector<std::wstring> r;
               for (const std::string& s : site.Requests()) r.push_back(FromUtf8(s));
               return r;
           }());
    EXPECT_EQ(site.Requests(), (std::vector<std::string>{"/zelvo/descript.ion", "/zelvo/banner.vir"}));
    EXPECT_EQ(ReadWholeFile(directory.File(L"descript.ion")), kIndex);
    EXPECT_EQ(ReadWholeFile(directory.File(L"banner.gif")), row.bytes) << "banner.vir is kept as banner.gif";
    std::set<std::wstring> files;
    for (const std::wstring& f : directory.Files()) files.insert(f);
    EXPECT_EQ(files, (std::set<std::wstring>{L"banner.gif", L"descript.ion"}));

    const HWND main = program.MainDialog();
    const RECT area = ChildArea(main, GetDlgItem(main, kBanner));
    auto shows = [&](const SPixels& shot) { return shot.Count(area, row.colour) > row.size.cx * row.size.cy * 9 / 10; };
    EXPECT_TRUE(shows(WaitForPicture(main, shows))) << "the new picture does not show";
    SaveShot(program, main, std::string("main-window-downloaded-") + row.name);

    // Idle, a click opens the index's address at once.
    program.Click(kBanner);
    std::string launch = browser.WaitForLaunch();
    EXPECT_TRUE(Contains(launch, "http://www.kestro.example/wiosna")) << launch;

    if (row.clickDuringScan) {
        // A bushy tree keeps the walk of C: busy while the banner is clicked.
        CPlantedTree deep(L"C:\\kc-fixture-deep");
        deep.AddBushyTree(12, 3);
        program.Click(kScanButton);
        program.WaitUntilScanning();
        program.Click(kBanner);
        const SMessageBox question = program.WaitForMessageBox("the question before leaving during a scan");
        EXPECT_EQ(ToUtf8(question.text), ToUtf8(Text(46)));
        EXPECT_EQ(ToUtf8(question.caption), ToUtf8(ProductTitle()));
        EXPECT_EQ(question.buttons, (std::vector<int>{IDYES, IDNO}));
        SaveMessageBoxShot(program, question, "banner-question-during-scan");
        program.Answer(question, IDNO);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_FALSE(browser.Launched()) << "\"No\" opened the target";
        program.Click(kExitButton);
        program.WaitUntilIdle();
        // "Przerwij" took the question away again.
        program.Click(kBanner);
        launch = browser.WaitForLaunch();
        EXPECT_TRUE(Contains(launch, "http://www.kestro.example/wiosna")) << launch;
    }
    program.ExitWithButton();
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DownloadedBanner,
    testing::Values(SPictureCase{"OneFrameGif", MakeGif(200, 40, {RGB(200, 30, 40)}, {{0, 0, 200, 40, 0, 50, 1}}),
                                 {200, 40}, RGB(200, 30, 40), true},
                    SPictureCase{"Bitmap", MakeBmp(180, 30, RGB(20, 160, 60)), {180, 30}, RGB(20, 160, 60), false}),
    [](const testing::TestParamInfo<SPictureCase>& info) { return std::string(info.param.name); });

// A downloaded animation of four frames of a second each: a red screen, then
// a blue square that is cleared to the background after it (disposal 2), a
// green square that gives back what was under it (disposal 3), and a yellow
// one. Four points of the banner tell which frame shows.
TEST(DownloadedBannerAnimation, ShowsEachFrameWithItsDisposal) {
    const COLORREF red = RGB(220, 20, 20), blue = RGB(20, 20, 220), green = RGB(20, 200, 20),
                   yellow = RGB(230, 230, 0);
    const std::string gif = MakeGif(120, 40, {red, blue, green, yellow},
                                    {{0, 0, 120, 40, 0, 100, 1},
                                     {10, 10, 20, 20, 1, 100, 2},
                                     {60, 10, 20, 20, 2, 100, 3},
                                     {100, 25, 10, 10, 3, 100, 1}});
    CBannerDirectory directory;
    CBannerSite site;
    site.Serve("descript.ion", kIndex);
    site.Serve("banner.vir", gif);
    CProgramDriver program(InstalledProgramPath());
    program.Start();
    ASSERT_TRUE(WaitUntil([&] { return BannerSize(program) == SIZE{120, 40}; }, std::chrono::seconds(20)))
        << Describe(BannerSize(program));

    const HWND main = program.MainDialog();
    const RECT area = ChildArea(main, GetDlgItem(main, kBanner));
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    struct SState {
        char name;
        COLORREF square1, square2, square3;  // inside the blue, green and yellow frames
    };
    // The four frames; nothing in between ever shows.
    const SState states[] = {{'A', red, red, red},
                             {'B', blue, red, red},
                             {'C', face, green, red},
                             {'D', face, red, yellow}};
    std::string seen;
    bool saved = false;  // one picture of the last frame
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const SPixels shot = CaptureWindow(main);
        const COLORREF p1 = shot.At(area.left + 20, area.top + 20), p2 = shot.At(area.left + 70, area.top + 20),
                       p3 = shot.At(area.left + 105, area.top + 30);
        char name = '?';
        for (const SState& s : states) {
            if (p1 == s.square1 && p2 == s.square2 && p3 == s.square3) name = s.name;
        }
        // Before the first frame the canvas may show its bare background.
        if (name == '?' && seen.empty()) continue;
        if (name == '?') {
            ADD_FAILURE() << "a picture no frame makes: " << std::hex << p1 << " " << p2 << " " << p3;
            break;
        }
        if (seen.empty() || seen.back() != name) seen += name;
        if (name == 'D' && seen.size() >= 4 && !saved) {
            SaveShot(program, main, "main-window-downloaded-animation");
            saved = true;
        }
    }
    // In order, round and round: A B C D A B ...
    std::string cycle;
    while (cycle.size() < seen.size() + 4) cycle += "ABCD";
    EXPECT_GE(seen.size(), 5u) << seen;
    EXPECT_NE(cycle.find(seen), std::string::npos) << "frames in the order " << seen;
    program.ExitWithButton();
}

// No network, but an index an earlier run left: its address is the click
// target, no banner is fetched and the built-in picture stays.
TEST(Banner, EarlierIndexGivesTheTargetWithoutTheSite) {
    CBannerDirectory directory;
    CStandInBrowser browser;
    CScopedProxy offline(ClosedPort());
    CreateDirectoryChecked(directory.Path());
    const std::string earlier = "stary.gif\r\nhttp://www.kestro.example/stary\r\n";
    WriteFileChecked(directory.File(L"descript.ion"), earlier);

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    // The banner thread sets the target soon after the start; until then a
    // click opens the built-in address.
    std::string launch;
    for (int i = 0; i < 20 && !Contains(launch, "/stary"); ++i) {
        program.Click(kBanner);
        launch = browser.WaitForLaunch();
        if (!Contains(launch, "/stary")) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_TRUE(Contains(launch, "http://www.kestro.example/stary")) << launch;
    EXPECT_TRUE(BannerSize(program) == kBuiltInSize) << Describe(BannerSize(program));
    EXPECT_FALSE(FileExists(directory.File(L"stary.gif")));
    EXPECT_EQ(ReadWholeFile(directory.File(L"descript.ion")), earlier);
    const HWND main = program.MainDialog();
    const RECT link = ChildArea(main, GetDlgItem(main, kWebLink));
    WaitForPicture(main, [&](const SPixels& shot) { return shot.Count(link, RGB(0, 0, 238)) > 20; });
    SaveShot(program, main, "main-window-earlier-index");
    program.ExitWithButton();
}

}  // namespace
