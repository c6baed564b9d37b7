// The Sobig cleaner on the simulated machine: it only registers the names of
// six variants, so what is tested is the registry it leaves and how the
// later stages (autostart check, memory stage, disk walk, and a whole scan)
// attribute each name to its variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;
constexpr std::uint32_t kIdsRemovedFromRegistry = 10;

std::string T(std::uint32_t id) { return BuiltInString(id); }
std::string FamilyName(std::uint32_t platform) { return platform == NT ? "NT" : "Win9x"; }

std::string RunLine(const std::string& family, const std::string& name) {
    return T(IDS_VIRUS_FILE) + family + ": " + name + T(kIdsRemovedFromRegistry);
}
std::string MemoryLine(const std::string& family, const std::string& name) {
    return T(IDS_VIRUS_FILE) + family + ": " + name + T(IDS_REMOVED_FROM_MEMORY);
}
std::string DiskLine(const std::string& family, const std::string& path) {
    return T(IDS_VIRUS_FILE_DELETED) + family + ": " + path;
}

// Writes a file at a Windows path of drive C:.

}  // namespace

TEST(Sobig, RegistersSixVariantsInOrderAndTouchesNothing) {
    CTestMachine t;
    t.view.ResetLog();
    // Every trace of the worm is there; the cleaner leaves all of them to
    // the later stages.
    const std::string body = "C:\\WINDOWS\\System32\\winppr32.exe";
    Put(t, body);
    const std::uint32_t pid = t.machine.StartProcess(body);
    t.machine.PutString(HKLM, kRunKeyPath, "WindowsMGM", body);
    const SMachineState before = CaptureMachine(t.machine);

    t.dlg->CleanSobig();

    EXPECT_TRUE(t.view.Log().empty());
    AuditRun(before, CaptureMachine(t.machine), t.view.AllFindings());
    EXPECT_TRUE(t.machine.IsRunning(pid));

    EXPECT_EQ(t.dlg->m_virusFileNames,
              (std::vector<std::string>{"winppr32.exe", "winstt32.dat", "cftrb32.exe", "msddr.dat", "winssk32.exe",
                                        "dftrn32.dat", "mscvb32.exe", "rssp32.dat", "msccm32.exe", "msrrf.dat",
                                        "winmgm32.exe", "hnks.ini", "dwn.dat"}));
    EXPECT_EQ(t.dlg->m_familyNames,
              (std::vector<std::string>{"Sobig.f", "Sobig.e", "Sobig.d", "Sobig.c", "Sobig.b", "Sobig"}));
    const std::vector<int> counts(t.dlg->m_familyNameCount.begin(), t.dlg->m_familyNameCount.begin() + 6);
    EXPECT_EQ(counts, (std::vector<int>{2, 2, 2, 2, 2, 3}));
    EXPECT_EQ(t.dlg->m_walker.Extensions(), (std::vector<std::string>{".exe", ".dat", ".ini"}));
}

// --- the later stages name the variant -----------------------------------------

struct SobigAttributionCase {
    const char* name;
    std::uint32_t platform;
    const char* file;  // in the system directory, running
    const char* family;
};

void PrintTo(const SobigAttributionCase& c, std::ostream* os) { *os << c.name; }

// On NT the process list names every process "<stem>.exe", so the data
// files are found running only on 9x.
const SobigAttributionCase kAttributionCases[] = {
    {"FirstOfF_NT", NT, "winppr32.exe", "Sobig.f"},
    {"FirstOfF_9x", W9X, "winppr32.exe", "Sobig.f"},
    {"SecondOfE_9x", W9X, "msddr.dat", "Sobig.e"},
    {"FirstOfC_NT", NT, "mscvb32.exe", "Sobig.c"},
    {"LastOfB_9x", W9X, "msrrf.dat", "Sobig.b"},
    {"FirstOfPlainSobig_NT", NT, "winmgm32.exe", "Sobig"},
    {"LastOfPlainSobig_9x", W9X, "dwn.dat", "Sobig"},
};

class SobigAttribution : public testing::TestWithParam<SobigAttributionCase> {};

TEST_P(SobigAttribution, MemoryStageStopsTheProcessUnderItsVariant) {
    const SobigAttributionCase& c = GetParam();
    CTestMachine t(c.platform);
    const std::string path = t.dlg->m_sysDirs[1] + "\\" + c.file;
    Put(t, path);
    const std::uint32_t pid = t.machine.StartProcess(path);
    // A name that only resembles one of the worm's.
    const std::string lookalike = t.dlg->m_sysDirs[1] + "\\winppr33.exe";
    Put(t, lookalike);
    const std::uint32_t other = t.machine.StartProcess(lookalike);
    t.dlg->CleanSobig();
    t.view.ResetLog();

    t.dlg->KillRegisteredProcesses();

    EXPECT_EQ(t.view.Log(), std::vector<std::string>{MemoryLine(c.family, c.file)});
    ASSERT_EQ(t.view.Findings().size(), 1u);
    EXPECT_EQ(t.view.Findings()[0].family, c.family);
    EXPECT_FALSE(t.machine.IsRunning(pid));
    EXPECT_TRUE(t.machine.IsRunning(other));
}

INSTANTIATE_TEST_SUITE_P(Names, SobigAttribution, testing::ValuesIn(kAttributionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sobig, AutostartCheckAndDiskWalkNameTheVariant) {
    CTestMachine t;
    t.machine.PutString(HKLM, kRunKeyPath, "Updater", "\"C:\\WINDOWS\\System32\\CFTRB32.EXE\" /run");
    t.machine.PutString(HKLM, kRunKeyPath, "Editor", "C:\\WINDOWS\\notepad.exe");
    Put(t, "C:\\Data\\hnks.ini", "[x]");
    Put(t, "C:\\Data\\Sub\\DFTRN32.DAT", "data");
    Put(t, "C:\\Data\\Sub\\notes.dat", "data");
    Put(t, "C:\\Data\\Sub\\dftrn32.txt", "text");
    t.dlg->CleanSobig();
    t.view.ResetLog();

    t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);
    // The extension set the cleaner left decides which files are checked.
    t.dlg->m_walker.Walk("C:");

    EXPECT_EQ(t.view.Log(), (std::vector<std::string>{RunLine("Sobig.e", "cftrb32.exe"),
                                                      DiskLine("Sobig", "C:\\Data\\hnks.ini"),
                                                      DiskLine("Sobig.d", "C:\\Data\\Sub\\DFTRN32.DAT")}));
    EXPECT_FALSE(Exists(t, "C:\\Data\\hnks.ini"));
    EXPECT_FALSE(Exists(t, "C:\\Data\\Sub\\DFTRN32.DAT"));
    EXPECT_TRUE(Exists(t, "C:\\Data\\Sub\\notes.dat"));
    EXPECT_TRUE(Exists(t, "C:\\Data\\Sub\\dftrn32.txt"));
}

TEST(SobigScan, RunningBodyIsReportedUnderItsVariantByEveryLaterStage) {
    for (const std::uint32_t platform : {NT, W9X}) {
        SCOPED_TRACE(FamilyName(platform));
        CTestMachine t(platform);
        const std::string body = t.dlg->m_sysDirs[1] + "\\winppr32.exe";
        Put(t, body);
        const std::uint32_t pid = t.machine.StartProcess(body);
        t.machine.PutString(HKLM, kRunKeyPath, "Windows Print", body);

        ASSERT_TRUE(t.Scan());

        // The Run value goes at the autostart check, the process at the
        // memory stage, and the file, no longer held, at the disk walk.
        const std::vector<std::string> stages = {T(34), T(35), T(36), T(37), T(38), T(39), T(40)};
        std::vector<std::string> findings;
        for (const std::string& line : t.view.Log()) {
            if (std::find(stages.begin(), stages.end(), line) == stages.end()) findings.push_back(line);
        }
        EXPECT_EQ(findings, (std::vector<std::string>{RunLine("Sobig.f", "winppr32.exe"),
                                                      MemoryLine("Sobig.f", "winppr32.exe"),
                                                      DiskLine("Sobig.f", body)}));
        EXPECT_FALSE(t.machine.IsRunning(pid));
        EXPECT_FALSE(Exists(t, body));
    }
}
