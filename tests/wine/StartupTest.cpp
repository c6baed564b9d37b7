// The main dialog as it comes up, on both Windows families, read back from the
// real windows.
#include <gtest/gtest.h>

#include <ostream>

#include "ProgramDriver.h"
#include "WineFixtures.h"

namespace {

struct SPlatformCase {
    const char* name;
    const wchar_t* wineVersion;
    bool expectAnimation;  // the NT family only
};

// Failure messages name the row instead of dumping its bytes.
void PrintTo(const SPlatformCase& row, std::ostream* os) { *os << row.name; }

const SPlatformCase kPlatforms[] = {
    {"Windows98", L"win98", false},
    {"WindowsMe", L"winme", false},
    {"WindowsXp", L"winxp64", true},
    {"Windows7", L"win7", true},
};

class StartupDialog : public testing::TestWithParam<SPlatformCase> {};

TEST_P(StartupDialog, ShowsInstructionsControlsAndEndsOnExit) {
    CScopedWindowsVersion version(GetParam().wineVersion);
    CProgramDriver program(InstalledProgramPath());
    program.Start();

    EXPECT_EQ(ToUtf8(program.Caption()), ToUtf8(ProductTitle()));
    const std::vector<std::wstring> log = program.LogLines();
    EXPECT_TRUE(log == StartupLines()) << "log:" << Describe(log) << "\nexpected:" << Describe(StartupLines());

    const struct {
        int id;
        std::wstring text;
    } controls[] = {
        {kPathField, L""},         {kScanButton, L"Skanuj"}, {kExitButton, Text(33)},
        {kInfoButton, L"Info"},    {kWebLink, Text(25)},     {kMailLink, Text(27)},
    };
    for (const auto& control : controls) {
        EXPECT_EQ(ToUtf8(program.ControlText(control.id)), ToUtf8(control.text)) << "control " << control.id;
    }
    EXPECT_TRUE(program.IsControlEnabled(kScanButton));
    EXPECT_TRUE(program.IsControlEnabled(kExitButton));

    HWND animation = FindWindowExW(program.MainDialog(), nullptr, L"SysAnimate32", nullptr);
    EXPECT_EQ(animation != nullptr, GetParam().expectAnimation);
    if (animation) {
        RECT rect{};
        GetWindowRect(animation, &rect);
        MapWindowPoints(nullptr, program.MainDialog(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 5);
        EXPECT_EQ(rect.top, 73);
        EXPECT_EQ(rect.right - rect.left, 22);
        EXPECT_EQ(rect.bottom - rect.top, 22);
    }

    const DWORD exitCode = program.ExitWithButton();
    EXPECT_LT(exitCode, 0xC0000000u) << "the program crashed on the way out";
}

INSTANTIATE_TEST_SUITE_P(Platforms, StartupDialog, testing::ValuesIn(kPlatforms),
                         [](const testing::TestParamInfo<SPlatformCase>& info) { return info.param.name; });

}  // namespace
