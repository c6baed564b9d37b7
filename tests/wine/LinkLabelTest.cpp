// The hyperlink labels of both dialogs in the real program: what a click
// opens, the colours and the underline under the mouse, the size they fit
// themselves to, and what happens when nothing can open a target.
#include <gtest/gtest.h>

#include <iostream>
#include <thread>

#include "ProgramDriver.h"
#include "UiFixtures.h"
#include "WineFixtures.h"

namespace {

constexpr int kInfoFirstEntry = 1009;
constexpr int kInfoWebLink = 1010;
constexpr int kInfoMailLink = 1011;
constexpr COLORREF kLinkColour = RGB(0, 0, 238);
constexpr COLORREF kVisitedColour = RGB(85, 26, 139);
constexpr COLORREF kHoverColour = RGB(255, 0, 0);

bool Contains(const std::string& text, const std::wstring& part) { return text.find(ToUtf8(part)) != std::string::npos; }

TEST(Links, OpenTheirTargetsOnBothDialogs) {
    CStandInBrowser browser;
    CProgramDriver program(InstalledProgramPath());
    program.Start();

    program.Click(kWebLink);
    std::string launch = browser.WaitForLaunch();
    EXPECT_TRUE(Contains(launch, Text(25))) << "the web link started: " << launch;
    program.Click(kMailLink);
    launch = browser.WaitForLaunch();
    EXPECT_TRUE(Contains(launch, Text(28))) << "the mail link started: " << launch;

    // Opened once, both show the visited colour from now on.
    const HWND main = program.MainDialog();
    const RECT webArea = ChildArea(main, GetDlgItem(main, kWebLink));
    const RECT mailArea = ChildArea(main, GetDlgItem(main, kMailLink));
    auto visited = [&](const SPixels& shot) {
        return shot.Count(webArea, kVisitedColour) > 20 && shot.Count(mailArea, kVisitedColour) > 20 &&
               shot.Count(webArea, kLinkColour) == 0 && shot.Count(mailArea, kLinkColour) == 0;
    };
    EXPECT_TRUE(visited(WaitForPicture(main, visited))) << "the links do not show the visited colour";
    SaveShot(program, main, "main-links-visited");

    program.Click(kInfoButton);
    const HWND info = program.WaitForDialog(kInfoFirstEntry, "the information dialog");
    program.ClickIn(info, kInfoWebLink);
    launch = browser.WaitForLaunch();
    EXPECT_TRUE(Contains(launch, Text(25))) << "the information dialog's web link started: " << launch;
    program.ClickIn(info, kInfoMailLink);
    launch = browser.WaitForLaunch();
    EXPECT_TRUE(Contains(launch, Text(28))) << "the information dialog's mail link started: " << launch;
    program.ClickIn(info, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(info); }, CProgramDriver::kUiTimeout));
    program.ExitWithButton();
}

TEST(Links, TurnRedAndUnderlinedWhileTheMouseIsOverThem) {
    CStandInBrowser browser;
    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const HWND main = program.MainDialog();
    const HWND web = GetDlgItem(main, kWebLink);
    const RECT area = ChildArea(main, web);
    RECT onScreen{};
    GetWindowRect(web, &onScreen);

    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
    ASSERT_TRUE(WaitUntil([&] { return CaptureWindow(main).Count(area, kLinkColour) > 20; }, std::chrono::seconds(10)))
        << "the link does not show in the link colour";
    SetCursorPos((onScreen.left + onScreen.right) / 2, (onScreen.top + onScreen.bottom) / 2);
    SPixels shot;
    ASSERT_TRUE(WaitUntil(
        [&] {
            shot = CaptureWindow(main);
            return shot.Count(area, kHoverColour) > 20;
        },
        std::chrono::seconds(10)))
        << "the link did not turn red under the mouse";
    SaveShot(program, main, "main-link-hovered");
    // The underline: a row at the bottom of the text that is red nearly
    // across the whole label.
    int widest = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        widest = std::max(widest, shot.Count(RECT{area.left, y, area.right, y + 1}, kHoverColour));
    }
    EXPECT_GT(widest, (area.right - area.left) * 8 / 10) << "no underline";

    // Moved away, it is a plain link again within a few polls of its timer.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
    EXPECT_TRUE(WaitUntil(
        [&] {
            shot = CaptureWindow(main);
            return shot.Count(area, kHoverColour) == 0 && shot.Count(area, kLinkColour) > 20;
        },
        std::chrono::seconds(5)))
        << "the link stayed red after the mouse left";
    int widestAfter = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        widestAfter = std::max(widestAfter, shot.Count(RECT{area.left, y, area.right, y + 1}, kLinkColour));
    }
    EXPECT_LT(widestAfter, (area.right - area.left) * 8 / 10) << "the underline stayed";
    program.ExitWithButton();
}

// The labels of the main dialog keep the edge their alignment names: the
// web link (left-aligned) its left edge, the mail link (right-aligned) its
// right edge, and both are as wide as their text.
TEST(Links, FitTheirTextAndKeepTheirAlignedEdge) {
    CProgramDriver program(InstalledProgramPath());
    program.Start();
    const HWND main = program.MainDialog();
    // The path field, 18 and 295 dialog units from the left, is the ruler.
    const RECT ruler = ChildArea(main, GetDlgItem(main, kPathField));
    const double unit = (ruler.right - ruler.left) / 295.0;
    const double origin = ruler.left - 18 * unit;
    const RECT web = ChildArea(main, GetDlgItem(main, kWebLink));
    const RECT mail = ChildArea(main, GetDlgItem(main, kMailLink));
    EXPECT_NEAR(web.left, origin + 4 * unit, 2.0);
    EXPECT_NEAR(mail.right, origin + 257 * unit, 2.0);

    // The dialog's font as the template names it, underlined as the label
    // measures it.
    HDC dc = GetDC(nullptr);
    const HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, TRUE,
                                   FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
    const HGDIOBJ old = SelectObject(dc, font);
    for (const auto& [rect, text] : {std::pair{web, Text(25)}, std::pair{mail, Text(27)}}) {
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        EXPECT_NEAR(rect.right - rect.left, extent.cx, 3) << ToUtf8(text);
        EXPECT_NEAR(rect.bottom - rect.top, extent.cy, 3) << ToUtf8(text);
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    program.ExitWithButton();
}

// The shell cannot open the target: the browser registered for web pages
// opens it, and when there is none either, a message box says why.
TEST(Links, FallBackToTheBrowserAndExplainAFailure) {
    CStandInBrowser browser;
    CPlantedTree nowhere(L"C:\\kc-fixture-nowhere");
    CScopedRegValue http(HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command", L"");
    http.SetString(L"\"" + nowhere.Root() + L"\\none.exe\" \"%1\"");
    CScopedRegValue pages(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.htm", L"");
    pages.SetString(L"kc-fixture-page");
    CScopedRegValue pageCommand(HKEY_LOCAL_MACHINE, L"Software\\Classes\\kc-fixture-page\\shell\\open\\command", L"");
    pageCommand.SetString(L"\"" + browser.Program() + L"\" -page \"%1\"");

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    program.Click(kWebLink);
    const std::string launch = browser.WaitForLaunch();
    EXPECT_TRUE(Contains(launch, L"-page  " + Text(25))) << "the registered browser started: " << launch;

    // Now nothing can open it.
    pageCommand.SetString(L"\"" + nowhere.Root() + L"\\none.exe\" \"%1\"");
    program.Click(kWebLink);
    const SMessageBox box = program.WaitForMessageBox("the explanation of the failure", CProgramDriver::kUiTimeout);
    const std::wstring prefix = L"Unable to open hyperlink:\n\n";
    EXPECT_EQ(box.text.substr(0, prefix.size()), prefix) << ToUtf8(box.text);
    EXPECT_GT(box.text.size(), prefix.size());
    EXPECT_EQ(ToUtf8(box.caption), ToUtf8(ProductTitle()));
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    std::cout << "the failure was explained as: " << ToUtf8(box.text) << "\n";
    SaveMessageBoxShot(program, box, "link-open-failed");
    program.Answer(box, IDOK);
    EXPECT_FALSE(browser.Launched());
    program.ExitWithButton();
}

}  // namespace
