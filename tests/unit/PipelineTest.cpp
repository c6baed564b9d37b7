#include <gtest/gtest.h>

#include <algorithm>

#include "TestMachine.h"
#include "app/StringIds.h"
#include "sys/Text.h"

namespace {

std::string S(std::uint32_t id) { return BuiltInString(id); }

const char* const kGuardKey = "SOFTWARE\\KESTRO\\TVXWaechter\\Generic";
const char* const kProductKey = "SOFTWARE\\KESTRO\\Tervix\\Plan";

std::vector<std::string> StartupLines() { return {S(18), "", S(20), S(21), "", S(22), S(23), S(24)}; }

std::vector<std::string> CleanScanLines() { return {S(34), S(35), S(36), S(37), S(38), S(39), S(40)}; }

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

TEST(StartUp, WritesInstructionsAndCreatesAnimationOnlyOnNt) {
    CTestMachine nt(VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(nt.view.Log(), StartupLines());
    EXPECT_TRUE(nt.dlg->m_bWinNT);
    EXPECT_TRUE(Contains(nt.view.Events(), "animation:create"));
    EXPECT_EQ(nt.view.Paths(), std::vector<std::string>{""});
    EXPECT_EQ(nt.dlg->m_sysDirs, (std::vector<std::string>{"C:\\WINDOWS", "C:\\WINDOWS\\System32"}));

    CTestMachine w9x(VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_FALSE(w9x.dlg->m_bWinNT);
    EXPECT_FALSE(Contains(w9x.view.Events(), "animation:create"));
}

TEST(Scan, CleanMachineLogsEveryStageInOrderAndRestoresIdle) {
    CTestMachine t;
    ASSERT_TRUE(t.Scan());
    EXPECT_EQ(t.view.Log(), CleanScanLines());

    const std::vector<std::string> expected = {
        "scan:off", "reset", "exit:" + S(32), "animation:play", "log:" + S(34), "log:" + S(35),
        "caption:Trwa sprawdzanie pamięci...", "log:" + S(36), "log:" + S(37), "log:" + S(38),
        "caption:Trwa sprawdzanie plików...", "log:" + S(39), "path:C:", "log:" + S(40), "animation:stop",
        "box:" + S(16), "caption:" + std::string(kProductTitle), "scan:on", "exit:" + S(33), "finished"};
    std::vector<std::string> events = t.view.Events();
    events.erase(events.begin(), std::find(events.begin(), events.end(), "scan:off"));
    EXPECT_EQ(events, expected);
    ASSERT_EQ(t.view.Boxes().size(), 1u);
    EXPECT_EQ(t.view.Boxes()[0].style, MB_OK | MB_ICONINFORMATION);
    EXPECT_TRUE(t.dlg->m_bScanComplete);
    EXPECT_EQ(t.dlg->m_walker.m_bAbort, 0);
    EXPECT_TRUE(t.machine.Launches().empty());
}

TEST(Scan, NineXFamilyHasNoAnimationAndSameLines) {
    CTestMachine t(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(t.Scan());
    EXPECT_EQ(t.view.Log(), CleanScanLines());
    for (const std::string& e : t.view.Events()) {
        EXPECT_EQ(e.rfind("animation:", 0), std::string::npos) << e;
    }
}

TEST(Scan, PlatformIsDetectedAgainAtEveryScan) {
    CTestMachine t(VER_PLATFORM_WIN32_NT);
    t.machine.SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
    ASSERT_TRUE(t.Scan());
    EXPECT_FALSE(t.dlg->m_bWinNT);
}

TEST(Scan, TwoScansInARowStartEmptyAndRebuildTheExtensionSet) {
    CTestMachine t;
    ASSERT_TRUE(t.Scan());
    const std::vector<std::string> first = t.dlg->m_walker.Extensions();
    ASSERT_TRUE(t.Scan());
    EXPECT_EQ(t.view.Log(), CleanScanLines());
    EXPECT_EQ(t.dlg->m_walker.Extensions(), first);
    // The cleaners' extensions come first; the scan's own seventeen fill in
    // behind them, each once whatever its case.
    const std::vector<std::string> scanExtensions = {".htt", ".ini", ".htm", "html", ".php", ".asp",
                                                     ".vbs", ".hta", ".dat", ".pif", ".scr", ".tmp",
                                                     ".dll", ".exe", ".ex$", ".vir", ".zip"};
    for (const std::string& ext : scanExtensions) {
        EXPECT_EQ(std::count_if(first.begin(), first.end(), [&](const std::string& e) { return EqualsNoCase(e, ext); }),
                  1)
            << ext;
    }
    EXPECT_EQ(first.back(), ".vir") << "the last of the seventeen that no cleaner adds";
    EXPECT_EQ(t.view.Boxes().size(), 2u);
}

// --- the guard of the anti-virus product -----------------------------------

struct GuardCase {
    const char* name;
    const char* commandLine;
    bool hasKey;
    std::uint32_t type;
    std::vector<std::uint8_t> data;  // empty with hasKey: key without the value
    bool blocks;
};

class Guard : public testing::TestWithParam<GuardCase> {};

TEST_P(Guard, BlocksOnlyWhenTheLastByteIsAllOnes) {
    const GuardCase& c = GetParam();
    CTestMachine t;
    t.dlg->ApplyCommandLine(c.commandLine);
    if (c.hasKey) {
        if (c.data.empty()) {
            t.machine.PutString(winroot::kLocalMachine, kGuardKey, "Other", "x");
        } else {
            t.machine.PutValue(winroot::kLocalMachine, kGuardKey, "MonitorOn", c.type, c.data);
        }
    }
    t.dlg->OnScan();
    if (c.blocks) {
        EXPECT_FALSE(t.dlg->IsScanning());
        ASSERT_EQ(t.view.Boxes().size(), 1u);
        EXPECT_EQ(t.view.Boxes()[0].text, S(17));
        EXPECT_EQ(t.view.Boxes()[0].style, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_EQ(t.view.Log(), StartupLines());
        EXPECT_TRUE(t.view.ScanButtonEnabled());
        EXPECT_EQ(t.view.GetExitButtonText(), S(33));
    } else {
        ASSERT_TRUE(t.dlg->IsScanning());
        ASSERT_TRUE(t.view.WaitFinished());
        t.dlg->OnScanFinished();
        EXPECT_EQ(t.view.Log(), CleanScanLines());
    }
}

const std::vector<std::uint8_t> kAllOnes = {0xFF, 0xFF, 0xFF, 0xFF};
const GuardCase kGuardCases[] = {
    {"AllBitsSet", "", true, REG_DWORD, kAllOnes, true},
    {"OneAsDword", "", true, REG_DWORD, {0x01, 0x00, 0x00, 0x00}, false},
    // 0xFF as a little-endian number has its 0xFF in the first byte only.
    {"LowByteOnly", "", true, REG_DWORD, {0xFF, 0x00, 0x00, 0x00}, false},
    {"BinaryEndingInFF", "", true, REG_BINARY, {0x00, 0xFF}, true},
    {"EmptyValue", "", true, REG_BINARY, {0x00}, false},
    {"NoValue", "", true, REG_DWORD, {}, false},
    {"NoKey", "", false, REG_DWORD, {}, false},
    {"ValueTooLargeToRead", "", true, REG_BINARY, std::vector<std::uint8_t>(261, 0xFF), false},
    {"ValueOfExactlyTheBuffer", "", true, REG_BINARY, std::vector<std::uint8_t>(260, 0xFF), true},
    {"NoguardWord", "noguard", true, REG_DWORD, kAllOnes, false},
    {"NoguardInsideAWord", "/xnoguardx", true, REG_DWORD, kAllOnes, false},
    {"NoguardAmongArguments", "-a noguard -b", true, REG_DWORD, kAllOnes, false},
    {"NoguardIsCaseSensitive", "NOGUARD", true, REG_DWORD, kAllOnes, true},
    {"OtherArgument", "scan", true, REG_DWORD, kAllOnes, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, Guard, testing::ValuesIn(kGuardCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GuardValue, EmptyDataDoesNotBlock) {
    CTestMachine t;
    t.machine.PutValue(winroot::kLocalMachine, kGuardKey, "MonitorOn", REG_BINARY, {});
    EXPECT_FALSE(t.dlg->CheckGuard());
}

// --- the drive loop -----------------------------------------------------------

struct DriveCase {
    const char* name;
    std::uint32_t type;
    int answer;  // to the network question; 0 when none is expected
    bool walked;
};

class DriveLoop : public testing::TestWithParam<DriveCase> {};

TEST_P(DriveLoop, WalksByDriveType) {
    const DriveCase& c = GetParam();
    CTestMachine t;
    CTempDir other;
    other.MakeDir("inside");
    t.machine.MapDrive('D', c.type, other.Path());
    if (c.answer) t.view.AnswerNext(c.answer);
    ASSERT_TRUE(t.Scan());

    const std::vector<std::string> paths = t.view.Paths();
    EXPECT_EQ(Contains(paths, "D:"), c.walked);
    EXPECT_EQ(Contains(paths, "D:\\inside"), c.walked);
    EXPECT_TRUE(Contains(paths, "C:"));

    std::vector<CRecordingView::Box> questions;
    for (const auto& box : t.view.Boxes())
        if (box.style == (MB_YESNO | MB_ICONQUESTION)) questions.push_back(box);
    if (c.answer) {
        ASSERT_EQ(questions.size(), 1u);
        EXPECT_EQ(questions[0].text, "D:" + S(47));
    } else {
        EXPECT_TRUE(questions.empty());
    }
    EXPECT_EQ(t.view.Log().back(), S(40));
}

const DriveCase kDriveCases[] = {
    {"NetworkAnsweredYes", DRIVE_REMOTE, IDYES, true},
    {"NetworkAnsweredNo", DRIVE_REMOTE, IDNO, false},
    {"CdRomNeverWalked", DRIVE_CDROM, 0, false},
    {"Removable", DRIVE_REMOVABLE, 0, true},
    {"Fixed", DRIVE_FIXED, 0, true},
    {"RamDisk", DRIVE_RAMDISK, 0, true},
    {"Unknown", DRIVE_UNKNOWN, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Types, DriveLoop, testing::ValuesIn(kDriveCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DriveLoop, AllTwentySixDrivesAreWalkedThoughTheListOverrunsTheFirstBuffer) {
    CTestMachine t;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (letter != 'C') t.machine.MapDrive(letter, DRIVE_FIXED, "");
    ASSERT_TRUE(t.Scan());
    const std::vector<std::string> paths = t.view.Paths();
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        EXPECT_TRUE(Contains(paths, std::string{letter, ':'})) << letter;
}

TEST(DriveLoop, AnEmptyDriveIsPassedOver) {
    CTestMachine t;
    t.machine.MapDrive('A', DRIVE_REMOVABLE, "");
    ASSERT_TRUE(t.Scan());
    EXPECT_TRUE(Contains(t.view.Paths(), "A:"));
    EXPECT_EQ(t.view.Log(), CleanScanLines());
}

// --- abort and close ----------------------------------------------------------

TEST(Abort, DuringTheEarlyStagesFinishesThemThenSkipsEveryDrive) {
    CTestMachine t;
    CTempDir net;
    t.machine.MapDrive('D', DRIVE_REMOTE, net.Path());
    t.view.OnEvent([&](const std::string& e) {
        if (e == "log:" + S(35)) {
            EXPECT_FALSE(t.dlg->OnExitOrAbort());
        }
    });
    ASSERT_TRUE(t.Scan());
    EXPECT_EQ(t.view.Log(), (std::vector<std::string>{S(34), S(35), S(36), S(37), S(38), S(39), S(41)}));
    EXPECT_TRUE(t.view.Boxes().empty()) << "no network question, no offer of the product";
    EXPECT_TRUE(t.view.Paths().size() == 1u) << "only the start-up's empty path";
    EXPECT_FALSE(t.dlg->m_bScanComplete);
    EXPECT_EQ(t.dlg->m_walker.m_bAbort, 0);
    EXPECT_EQ(t.view.GetExitButtonText(), S(33));
    EXPECT_TRUE(t.view.ScanButtonEnabled());
}

TEST(Abort, DuringTheWalkStopsItAndSkipsTheRemainingDrives) {
    CTestMachine t;
    t.drive.MakeDir("a/deep/er");
    t.drive.MakeDir("b");
    CTempDir second;
    second.MakeDir("x");
    t.machine.MapDrive('E', DRIVE_FIXED, second.Path());
    t.view.OnEvent([&](const std::string& e) {
        if (e == "path:C:\\a\\deep") t.dlg->OnExitOrAbort();
    });
    ASSERT_TRUE(t.Scan());
    EXPECT_EQ(t.view.Log().back(), S(41));
    const std::vector<std::string> paths = t.view.Paths();
    EXPECT_FALSE(Contains(paths, "C:\\b"));
    EXPECT_FALSE(Contains(paths, "E:"));
    EXPECT_TRUE(t.view.Boxes().empty());
}

TEST(ExitButton, EndsTheDialogWhenIdleAndOnlyAbortsDuringAScan) {
    CTestMachine t;
    EXPECT_TRUE(t.dlg->OnExitOrAbort());

    CTestMachine s;
    bool endedDuringScan = true;
    s.view.OnEvent([&](const std::string& e) {
        if (e == "log:" + S(34)) endedDuringScan = s.dlg->OnExitOrAbort();
    });
    ASSERT_TRUE(s.Scan());
    EXPECT_FALSE(endedDuringScan);
}

TEST(ExitButton, ClosingDuringAScanWaitsForTheThreadThenEnds) {
    CTestMachine t;
    bool closeNow = true;
    bool exitNow = true;
    t.view.OnEvent([&](const std::string& e) {
        if (e == "log:" + S(34)) {
            closeNow = t.dlg->OnCloseRequest();
            exitNow = t.dlg->OnExitOrAbort();  // "Zakończ" pressed before the thread is done
        }
    });
    t.dlg->OnScan();
    ASSERT_TRUE(t.view.WaitFinished());
    EXPECT_FALSE(closeNow);
    EXPECT_FALSE(exitNow);
    EXPECT_TRUE(t.dlg->OnScanFinished()) << "the pending close is carried out once the thread is done";
    EXPECT_EQ(t.view.Log().back(), S(41));
    EXPECT_TRUE(t.dlg->OnCloseRequest());
}

TEST(ExitButton, FailedThreadStartLeavesTheDialogIdle) {
    CTestMachine t;
    t.machine.FailCall("StartThread", "", ERROR_NOT_ENOUGH_MEMORY);
    t.dlg->OnScan();
    EXPECT_FALSE(t.dlg->IsScanning());
    EXPECT_TRUE(t.view.ScanButtonEnabled());
    EXPECT_EQ(t.view.GetExitButtonText(), S(33));
}

// --- the offer of the full product -------------------------------------------

TEST(OfferFullScan, StartsTheProgramTheProductRegistered) {
    CTestMachine t;
    const std::string program = "C:\\Program Files\\KESTRO\\tervix.exe";
    t.drive.WriteFile("Program Files/KESTRO/tervix.exe", "MZ");
    t.machine.PutString(winroot::kLocalMachine, kProductKey, "tvxexe", program);
    ASSERT_TRUE(t.Scan());
    ASSERT_EQ(t.machine.Launches().size(), 1u);
    const CSimMachine::Launch l = t.machine.Launches()[0];
    EXPECT_EQ(l.verb, "open");
    EXPECT_EQ(l.file, program);
    EXPECT_EQ(l.params, "");
    EXPECT_EQ(l.showCmd, SW_SHOWDEFAULT);
}

TEST(OfferFullScan, WithoutTheProductOnlyShowsTheMessage) {
    CTestMachine t;
    t.machine.PutString(winroot::kLocalMachine, kProductKey, "other", "x");
    ASSERT_TRUE(t.Scan());
    EXPECT_EQ(t.view.Boxes().size(), 1u);
    EXPECT_TRUE(t.machine.Launches().empty());
}

TEST(OfferFullScan, NotOfferedBeforeACompleteScan) {
    CTestMachine t;
    EXPECT_FALSE(t.dlg->OfferFullScan());
    EXPECT_TRUE(t.view.Boxes().empty());
}

// --- the registry of malware file names ---------------------------------------

TEST(VirusNames, RegistrationsKeepCountsParallelAndNeverOverrunTheTable) {
    CTestMachine t;
    t.dlg->RegisterVirusNames({"a.exe", "b.exe"}, "Worm.A");
    t.dlg->RegisterVirusNames({"c.exe"}, "Worm.C");
    t.dlg->RegisterVirusNames({"a.exe", "b.exe"}, "Worm.A");  // the next scan registers again
    EXPECT_EQ(t.dlg->m_virusFileNames, (std::vector<std::string>{"a.exe", "b.exe", "c.exe"}));
    EXPECT_EQ(t.dlg->m_familyNames, (std::vector<std::string>{"Worm.A", "Worm.C"}));
    EXPECT_EQ(t.dlg->m_familyNameCount[0], 2);
    EXPECT_EQ(t.dlg->m_familyNameCount[1], 1);

    for (int k = 0; k < 300; ++k) t.dlg->RegisterVirusNames({"n" + std::to_string(k)}, "F" + std::to_string(k));
    EXPECT_EQ(t.dlg->m_familyNames.size(), CCleanerDlg::kFamilySlots);
    int sum = 0;
    for (int count : t.dlg->m_familyNameCount) sum += count;
    EXPECT_EQ(static_cast<std::size_t>(sum), t.dlg->m_virusFileNames.size());
}
