// "Skanuj" against the on-access guard's registry value and the "noguard"
// word on the command line.
#include <gtest/gtest.h>

#include <ostream>

#include "ProgramDriver.h"
#include "WineFixtures.h"

namespace {

struct SGuardCase {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;  // as stored, so "last byte" means the last one here
    const wchar_t* arguments;
    bool blocked;
};

// Failure messages name the row instead of dumping its bytes.
void PrintTo(const SGuardCase& row, std::ostream* os) { *os << row.name; }

const SGuardCase kGuardCases[] = {
    {"AllBitsSetBlocks", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, L"", true},
    {"NoguardLetsTheScanStart", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, L"noguard", false},
    {"NoguardInsideALongerWordCounts", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, L"/xnoguardx", false},
    {"NoguardIsCaseSensitive", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, L"NOGUARD", true},
    {"OtherArgumentsKeepTheGuard", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, L"/auto no guard", true},
    {"LowByteFFIsNotTheLastByte", REG_DWORD, {0xFF, 0x00, 0x00, 0x00}, L"", false},
    {"HighByteFFIsTheLastByte", REG_DWORD, {0x00, 0x00, 0x00, 0xFF}, L"", true},
    {"TwoByteBinaryEndingFFBlocks", REG_BINARY, {0x00, 0xFF}, L"", true},
    {"ZeroDoesNotBlock", REG_DWORD, {0x00, 0x00, 0x00, 0x00}, L"", false},
};

class GuardCheck : public testing::TestWithParam<SGuardCase> {};

void ExpectUntouchedIdleDialog(const CProgramDriver& program) {
    const std::vector<std::wstring> log = program.LogLines();
    EXPECT_TRUE(log == StartupLines()) << "log:" << Describe(log);
    EXPECT_EQ(ToUtf8(program.ControlText(kPathField)), "");
    EXPECT_TRUE(program.IsControlEnabled(kScanButton));
    EXPECT_EQ(ToUtf8(program.ControlText(kExitButton)), ToUtf8(Text(33)));
}

TEST_P(GuardCheck, DecidesWhetherScanStarts) {
    const SGuardCase& row = GetParam();
    CScopedRegValue guard(HKEY_LOCAL_MACHINE, kGuardKey, kGuardValue);
    guard.Set(row.type, row.data);
    CProgramDriver program(InstalledProgramPath());
    program.Start(row.arguments);

    program.Click(kScanButton);
    if (row.blocked) {
        // Refused every time, not only on the first press.
        for (int press = 1; press <= 2; ++press) {
            SCOPED_TRACE("press " + std::to_string(press));
            if (press > 1) program.Click(kScanButton);
            const SMessageBox box = program.WaitForMessageBox("the guard warning", CProgramDriver::kUiTimeout);
            EXPECT_EQ(ToUtf8(box.text), ToUtf8(Text(17)));
            EXPECT_EQ(ToUtf8(box.caption), ToUtf8(ProductTitle()));
            EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
            ExpectUntouchedIdleDialog(program);

            program.Answer(box, IDOK);
            // The press is handled on the UI thread; once it has returned,
            // whatever it was going to change has changed.
            program.Sync();
            ExpectUntouchedIdleDialog(program);
            EXPECT_TRUE(program.MessageBoxes().empty());
        }
    } else {
        program.WaitUntilScanning();
        EXPECT_TRUE(program.MessageBoxes().empty()) << "no guard warning expected";
        program.Click(kExitButton);  // "Przerwij": only the disk stage is skipped
        program.WaitUntilIdle();
        const std::vector<std::wstring> log = program.LogLines();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(ToUtf8(log.front()), ToUtf8(Text(34)));
    }
    program.ExitWithButton();
}

INSTANTIATE_TEST_SUITE_P(GuardValues, GuardCheck, testing::ValuesIn(kGuardCases),
                         [](const testing::TestParamInfo<SGuardCase>& info) { return info.param.name; });

}  // namespace
