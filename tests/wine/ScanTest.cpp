// Whole scans of the prefix's machine: the stage lines, the drive loop with its
// three kinds of test drive, the advice box and the start of the full product,
// and aborts.
//
// Each test drive holds one chain of folders, so the last folder a walk of it
// enters is known. The path field keeps the last folder entered, so when the
// network question comes up it shows where the walk of D: ended, and when the
// advice box comes up it shows the last drive walked: N: after a Yes, D:
// after a No (E:, the CD-ROM, lies between them and must never show).
#include <gtest/gtest.h>

#include <iostream>
#include <ostream>

#include "ProgramDriver.h"
#include "WineFixtures.h"

namespace {

const std::vector<std::wstring> kCompleteScanLog = Texts({34, 35, 36, 37, 38, 39, 40});
const std::vector<std::wstring> kAbortedScanLog = Texts({34, 35, 36, 37, 38, 39, 41});

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

void ExpectLog(const CProgramDriver& program, const std::vector<std::wstring>& expected) {
    const std::vector<std::wstring> log = program.LogLines();
    EXPECT_TRUE(log == expected) << "log:" << Describe(log) << "\nexpected:" << Describe(expected);
}

void ExpectDriveNeverWalked(const CProgramDriver& program, const std::wstring& drive) {
    for (const std::wstring& path : program.PathHistory()) {
        EXPECT_FALSE(StartsWith(path, drive)) << "the walk entered " << ToUtf8(path);
    }
}

std::wstring ScreenshotPath(const std::string& name) {
    const std::wstring dir = HostPath(KC_SCREENSHOT_DIR);
    CreateDirectoryChecked(dir);
    return dir + L"\\" + FromUtf8(name) + L".bmp";
}

void SaveAndCheckScreenshot(const CProgramDriver& program, const std::string& name) {
    const SScreenshot shot = program.SaveScreenshot(ScreenshotPath(name));
    std::cout << "screenshot: " << KC_SCREENSHOT_DIR << "/" << name << ".bmp (" << shot.width << "x" << shot.height
              << ")\n";
    // A failed screen copy comes back as one flat colour.
    EXPECT_GT(shot.colours, 8u) << "the screenshot looks blank";
}

// One folder chain on each test drive.
struct STestDrives {
    CPlantedTree removable{std::wstring(kRemovableDrive) + L"\\kc-removable"};
    CPlantedTree cdrom{std::wstring(kCdromDrive) + L"\\kc-cdrom"};
    CPlantedTree network{std::wstring(kNetworkDrive) + L"\\kc-network"};
    std::wstring removableLeaf = removable.AddChain({L"level1", L"level2"});
    std::wstring cdromLeaf = cdrom.AddChain({L"level1"});
    std::wstring networkLeaf = network.AddChain({L"level1", L"level2"});
};

struct SScanCase {
    const char* name;
    const wchar_t* wineVersion;
    bool expectAnimation;
    int networkAnswer;  // IDYES or IDNO
    bool productInstalled;
};

// Failure messages name the row instead of dumping its bytes.
void PrintTo(const SScanCase& row, std::ostream* os) { *os << row.name; }

const SScanCase kScanCases[] = {
    {"WindowsXpSkipsNetworkDrive", L"winxp64", true, IDNO, false},
    {"WindowsXpWalksNetworkDriveAndStartsProduct", L"winxp64", true, IDYES, true},
    {"Windows98SkipsNetworkDriveAndStartsProduct", L"win98", false, IDNO, true},
};

class CompleteScan : public testing::TestWithParam<SScanCase> {};

TEST_P(CompleteScan, WalksDrivesAndOffersTheFullProduct) {
    const SScanCase& row = GetParam();
    CScopedWindowsVersion version(row.wineVersion);
    STestDrives drives;
    CPlantedTree productDir(L"C:\\kc-fixture-product");
    const std::wstring product = productDir.Root() + L"\\tvx.exe";
    const std::wstring productRan = product + L".ran";
    CScopedRegValue productValue(HKEY_LOCAL_MACHINE, kProductKey, kProductValue);
    if (row.productInstalled) {
        ASSERT_TRUE(CopyFileW(InstalledMarkerPath().c_str(), product.c_str(), FALSE));
        productValue.SetString(product);
    }

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    EXPECT_EQ(program.HasChildOfClass(L"SysAnimate32"), row.expectAnimation);
    program.Click(kScanButton);
    program.WaitUntilScanning();

    // C: and the removable D: are walked without a question; the CD-ROM E: is
    // skipped without one.
    const SMessageBox question = program.WaitForMessageBox("the network-drive question");
    EXPECT_EQ(ToUtf8(question.text), ToUtf8(kNetworkDrive + Text(47)));
    EXPECT_EQ(ToUtf8(question.caption), ToUtf8(ProductTitle()));
    EXPECT_EQ(question.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(ToUtf8(program.ControlText(kPathField)), ToUtf8(drives.removableLeaf));
    ExpectLog(program, Texts({34, 35, 36, 37, 38, 39}));
    program.Answer(question, row.networkAnswer);

    const SMessageBox advice = program.WaitForMessageBox("the advice to run the full product");
    EXPECT_EQ(ToUtf8(advice.text), ToUtf8(Text(16)));
    EXPECT_EQ(ToUtf8(advice.caption), ToUtf8(ProductTitle()));
    EXPECT_EQ(advice.buttons, std::vector<int>{IDOK});
    const std::wstring lastWalked = row.networkAnswer == IDYES ? drives.networkLeaf : drives.removableLeaf;
    EXPECT_EQ(ToUtf8(program.ControlText(kPathField)), ToUtf8(lastWalked));
    ExpectLog(program, kCompleteScanLog);
    EXPECT_FALSE(FileExists(productRan)) << "the product started before the advice was acknowledged";
    program.Answer(advice, IDOK);

    program.WaitUntilIdle();
    ExpectLog(program, kCompleteScanLog);
    EXPECT_EQ(ToUtf8(program.Caption()), ToUtf8(ProductTitle()));
    EXPECT_EQ(ToUtf8(program.ControlText(kPathField)), ToUtf8(lastWalked)) << "the path field keeps the last folder";
    ExpectDriveNeverWalked(program, kCdromDrive);
    if (row.networkAnswer == IDNO) ExpectDriveNeverWalked(program, kNetworkDrive);
    SaveAndCheckScreenshot(program, std::string("scan-") + row.name);

    if (row.productInstalled) {
        const auto deadline = std::chrono::steady_clock::now() + CProgramDriver::kUiTimeout;
        while (!FileExists(productRan) && std::chrono::steady_clock::now() < deadline) Sleep(50);
        ASSERT_TRUE(FileExists(productRan)) << "the program named by \"tvxexe\" was not started";
        EXPECT_NE(ReadWholeFile(productRan).find("tvx.exe"), std::string::npos) << ReadWholeFile(productRan);
    }
    program.ExitWithButton();
}

INSTANTIATE_TEST_SUITE_P(Machines, CompleteScan, testing::ValuesIn(kScanCases),
                         [](const testing::TestParamInfo<SScanCase>& info) { return info.param.name; });

// "Przerwij" during the walk of C:. A bushy tree on C: keeps the walk busy long
// enough to press it while the path field shows a folder inside the tree.
TEST(AbortedScan, StopsTheWalkAndSkipsTheRemainingDrives) {
    STestDrives drives;
    CPlantedTree deep(L"C:\\kc-fixture-deep");
    deep.AddBushyTree(12, 3);
    const std::wstring inside = deep.Root() + L"\\";

    CProgramDriver program(InstalledProgramPath());
    program.Start();
    program.Click(kScanButton);
    program.WaitUntilScanning();
    program.WaitForPath([&](const std::wstring& path) { return StartsWith(path, inside); },
                        "a folder of " + ToUtf8(deep.Root()));
    program.Click(kExitButton);

    // No network question and no advice: WaitUntilIdle fails on any box.
    program.WaitUntilIdle();
    ExpectLog(program, kAbortedScanLog);
    EXPECT_TRUE(StartsWith(program.ControlText(kPathField), inside))
        << "the walk went on after the abort, to " << ToUtf8(program.ControlText(kPathField));
    ExpectDriveNeverWalked(program, kRemovableDrive);
    ExpectDriveNeverWalked(program, kNetworkDrive);
    EXPECT_TRUE(program.IsRunning()) << "\"Przerwij\" must not end the program";

    // Again, pressed as soon as the scan runs: the stages before the walk run
    // to their end, the log holds this scan's lines only, and no drive after
    // C: is walked.
    program.Click(kScanButton);
    program.WaitUntilScanning();
    program.Click(kExitButton);
    program.WaitUntilIdle();
    ExpectLog(program, kAbortedScanLog);
    EXPECT_TRUE(StartsWith(program.ControlText(kPathField), L"C:")) << ToUtf8(program.ControlText(kPathField));
    ExpectDriveNeverWalked(program, kRemovableDrive);
    ExpectDriveNeverWalked(program, kNetworkDrive);
    program.ExitWithButton();
}

}  // namespace
