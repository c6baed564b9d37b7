// The information dialog of the real program: opened by "Info", modal, the
// families as the template lists them with the first one in bold blue, the
// maker's links, and closed by "OK".
#include <gtest/gtest.h>

#include "ProgramDriver.h"
#include "UiFixtures.h"
#include "WineFixtures.h"

namespace {

constexpr int kFirstEntry = 1009;
constexpr int kInfoWebLink = 1010;
constexpr int kInfoMailLink = 1011;

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 63);
    return name;
}

BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lParam) {
    if (ClassOf(hwnd) == L"Static") {
        wchar_t text[256] = {};
        GetWindowTextW(hwnd, text, 255);
        reinterpret_cast<std::vector<std::wstring>*>(lParam)->push_back(text);
    }
    return TRUE;
}

// The texts of the dialog's static controls, in the order of the template.
std::vector<std::wstring> StaticTexts(HWND dialog) {
    std::vector<std::wstring> texts;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::vector<std::wstring> ExpectedTexts() {
    return {L"Wyszukuje i unicestwia:",
            L"-> I-Worm.Bagle.A-P",
            L"-> I-Worm.Swen",
            L"-> I-Worm.Tanatos.B/Bugbear.B",
            L"-> I-Worm.Sobig.A-F",
            L"-> I-Worm.Randex",
            L"-> Worm.P2P.SpyBot",
            L"-> Trojan.Win32.Fakesvc",
            L"-> I-Worm.Raleka",
            L"-> VBS/HapyTime",
            L"-> ActiveXExploit, ActiveXComponent",
            L"-> I-Worm.NetSky.A-O (Moodown)",
            L"-> I-Worm.MyDoom.A-F",
            L"-> Win32/Dumaru",
            L"-> Worm.Win32.Lovesan (Blaster)",
            L"-> Backdoor.Apdoor.c",
            L"-> Mimail",
            L"-> TrojanDropper.Win32.Small.bd",
            L"-> I-Worm.Welchia.A-C",
            L"-> VBS\\Redlof",
            L"...i 53 innych",
            Text(25),
            Text(27)};
}

TEST(InfoDialog, OpensFromInfoListsTheFamiliesAndClosesWithOk) {
    CStandInBrowser browser;  // nothing is clicked open here; should it be, it goes nowhere
    CProgramDriver program(InstalledProgramPath());
    program.Start();

    // Twice: each press makes a dialog of its own.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("press " + std::to_string(round + 1));
        program.Click(kInfoButton);
        const HWND info = program.WaitForDialog(kFirstEntry, "the information dialog");
        wchar_t caption[128] = {};
        GetWindowTextW(info, caption, 127);
        EXPECT_EQ(ToUtf8(caption), ToUtf8(ProductTitle()));
        EXPECT_FALSE(IsWindowEnabled(program.MainDialog())) << "the information dialog is modal";

        const std::vector<std::wstring> texts = StaticTexts(info);
        EXPECT_TRUE(texts == ExpectedTexts()) << "statics:" << Describe(texts);
        const HWND ok = GetDlgItem(info, IDOK);
        ASSERT_NE(ok, nullptr);
        wchar_t okText[16] = {};
        GetWindowTextW(ok, okText, 15);
        EXPECT_EQ(std::wstring(okText), L"OK");
        EXPECT_TRUE(GetWindowLongW(ok, GWL_STYLE) & BS_DEFPUSHBUTTON);

        if (round == 0) {
            // The first entry in blue, the links in the link colour, once
            // the dialog has painted itself.
            const RECT first = ChildArea(info, GetDlgItem(info, kFirstEntry));
            const RECT web = ChildArea(info, GetDlgItem(info, kInfoWebLink));
            const RECT mail = ChildArea(info, GetDlgItem(info, kInfoMailLink));
            auto painted = [&](const SPixels& shot) {
                return shot.Count(first, RGB(0, 0, 255)) > 30 && shot.Count(web, RGB(0, 0, 238)) > 20 &&
                       shot.Count(mail, RGB(0, 0, 238)) > 20;
            };
            EXPECT_TRUE(WaitUntil([&] { return painted(CaptureWindow(info)); }, std::chrono::seconds(10)));
            const SPixels shot = SaveShot(program, info, "info-dialog");
            EXPECT_TRUE(painted(shot));
            EXPECT_EQ(shot.Count(first, RGB(0, 0, 0)), 0) << "the first entry has no black text";
        }

        program.ClickIn(info, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(info); }, CProgramDriver::kUiTimeout))
            << "\"OK\" did not close the dialog";
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(program.MainDialog()) != 0; }, CProgramDriver::kUiTimeout));
    }
    EXPECT_FALSE(browser.Launched());
    program.ExitWithButton();
}

}  // namespace
