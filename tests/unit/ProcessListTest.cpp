#include <gtest/gtest.h>

#include <algorithm>

#include "TestMachine.h"
#include "sys/PerfData.h"
#include "sys/ProcessList.h"

namespace {

const std::string kLine = "   Moduł wirusa został usunięty z pamięci (Worm.Test)";

struct Family {
    const char* name;
    std::uint32_t id;
};
const Family kFamilies[] = {{"NT", VER_PLATFORM_WIN32_NT}, {"NineX", VER_PLATFORM_WIN32_WINDOWS}};

std::vector<ProcessEntry> Enumerate(CSimMachine& m, unsigned capacity = 256) {
    CProcessList list(m);
    std::vector<ProcessEntry> entries(capacity);
    entries.resize(list.Enumerate(entries.data(), capacity));
    return entries;
}

const ProcessEntry* ById(const std::vector<ProcessEntry>& list, std::uint32_t id) {
    for (const auto& e : list)
        if (e.processId == id) return &e;
    return nullptr;
}

}  // namespace

class ProcessListFamily : public testing::TestWithParam<Family> {};

TEST_P(ProcessListFamily, ListsNamesAndPathsAsTheFamilyReportsThem) {
    CSimMachine m;
    m.SetPlatform(GetParam().id);
    const std::uint32_t scr = m.StartProcess("C:\\WINDOWS\\Bildschirm.SCR");
    const std::uint32_t hidden = m.StartProcess("C:\\x\\hidden.exe", {true, false, true});
    const auto list = Enumerate(m);
    const ProcessEntry* e = ById(list, scr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->fullPath, "C:\\WINDOWS\\Bildschirm.SCR");
    if (GetParam().id == VER_PLATFORM_WIN32_NT) {
        EXPECT_EQ(e->name, "Bildschirm.exe") << "NT names every process .exe";
        EXPECT_EQ(ById(list, hidden)->fullPath, "") << "a path that cannot be read stays empty";
        EXPECT_EQ(ById(list, perf::kNoProcessId)->fullPath, "");
    } else {
        EXPECT_EQ(e->name, "Bildschirm.SCR");
        EXPECT_EQ(ById(list, hidden)->fullPath, "C:\\x\\hidden.exe");
    }
}

TEST_P(ProcessListFamily, CapacityLimitsTheList) {
    CSimMachine m;
    m.SetPlatform(GetParam().id);
    for (int i = 0; i < 300; ++i) m.StartProcess("C:\\p" + std::to_string(i) + ".exe");
    // The performance data keeps the last slot free; the snapshot fills all.
    const unsigned expected = GetParam().id == VER_PLATFORM_WIN32_NT ? 255 : 256;
    EXPECT_EQ(Enumerate(m).size(), expected);
    EXPECT_EQ(Enumerate(m, 0).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, ProcessListFamily, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessList, WithoutPerformanceDataTheSnapshotStillFindsProcesses) {
    CSimMachine m;
    m.DisablePerformanceData(true);
    const std::uint32_t id = m.StartProcess("C:\\WINDOWS\\msblast.exe");
    const auto list = Enumerate(m);
    const ProcessEntry* e = ById(list, id);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "msblast.exe");
    EXPECT_EQ(e->fullPath, "C:\\WINDOWS\\msblast.exe");
}

TEST(ProcessList, NoListAtAllIsEmpty) {
    CSimMachine m;
    m.DisablePerformanceData(true);
    m.FailCall("ProcessSnapshot", "", ERROR_PROC_NOT_FOUND);
    m.StartProcess("C:\\a.exe");
    EXPECT_TRUE(Enumerate(m).empty());
}

TEST(ProcessList, TerminateReportsTrueUnlessAnOpenedProcessRefuses) {
    CSimMachine m;
    const std::uint32_t normal = m.StartProcess("C:\\a.exe");
    const std::uint32_t closed = m.StartProcess("C:\\b.exe", {false, false, false});
    const std::uint32_t stubborn = m.StartProcess("C:\\c.exe", {true, true, false});
    CProcessList list(m);
    EXPECT_TRUE(list.Terminate({normal, 0, "a.exe", ""}, true));
    EXPECT_FALSE(m.IsRunning(normal));
    EXPECT_TRUE(list.Terminate({closed, 0, "b.exe", ""}, true));
    EXPECT_TRUE(m.IsRunning(closed));
    EXPECT_FALSE(list.Terminate({stubborn, 0, "c.exe", ""}, true));
    EXPECT_EQ(list.TerminateProcess({closed, 0, "b.exe", ""}), TerminateOutcome::NotOpened);
    EXPECT_EQ(list.TerminateProcess({perf::kNoProcessId, 0, "Idle.exe", ""}), TerminateOutcome::NotOpened);
}

TEST(ProcessList, DebugPrivilegeFailuresArePrintedAndIgnored) {
    CSimMachine m;
    m.FailCall("AdjustTokenPrivilege", "", ERROR_NOT_ALL_ASSIGNED);
    testing::internal::CaptureStdout();
    CProcessList list(m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "AdjustTokenPrivileges failed with 1300\n");
    m.ClearFaults();
    m.FailCall("OpenProcessToken", "", ERROR_ACCESS_DENIED);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(list.EnableDebugPrivilege());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OpenProcessToken failed with 5\n");
    m.SetPlatform(VER_PLATFORM_WIN32_WINDOWS);
    CProcessList nineX(m);
    EXPECT_TRUE(nineX.EnableDebugPrivilege()) << "nothing to enable on 9x";
}

// --- KillProcessByName -----------------------------------------------------

struct KillCase {
    const char* name;
    std::uint32_t platform;
    std::vector<std::string> running;      // executables started
    std::vector<CSimMachine::ProcessOptions> options;  // per executable; default when shorter
    std::string key;
    bool fullPath;
    std::vector<bool> survives;            // per executable
    int lines;
};

class KillProcessByName : public testing::TestWithParam<KillCase> {};

TEST_P(KillProcessByName, EndsEveryMatchAndLogsEachOneThatEnded) {
    const KillCase& c = GetParam();
    CTestMachine t(c.platform);
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < c.running.size(); ++i)
        ids.push_back(t.machine.StartProcess(c.running[i], i < c.options.size() ? c.options[i] : CSimMachine::ProcessOptions()));
    const unsigned ended =
        t.dlg->KillProcessByName({c.key, "Moduł wirusa został usunięty z pamięci (Worm.Test)"}, c.fullPath);
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(t.machine.IsRunning(ids[i]), c.survives[i]) << c.running[i];
    EXPECT_EQ(ended, static_cast<unsigned>(std::count(c.survives.begin(), c.survives.end(), false)));
    const auto log = t.view.Log();
    EXPECT_EQ(log.size() - 8, static_cast<std::size_t>(c.lines)) << "after the eight start-up lines";
    for (std::size_t i = 8; i < log.size(); ++i) EXPECT_EQ(log[i], kLine);
    for (const Finding& f : t.view.Findings()) {
        EXPECT_EQ(f.kind, ActionKind::ProcessStopped);
        EXPECT_EQ(f.family, "Worm.Test");
        EXPECT_TRUE(f.succeeded);
    }
}

const CSimMachine::ProcessOptions kClosed{false, false, false};
const CSimMachine::ProcessOptions kStubborn{true, true, false};

const KillCase kKillCases[] = {
    {"NameIgnoresCase", VER_PLATFORM_WIN32_NT, {"C:\\WINDOWS\\MSBLAST.EXE"}, {}, "msblast.exe", false, {false}, 1},
    {"TwoOfOneNameGiveTwoLines", VER_PLATFORM_WIN32_NT, {"C:\\a\\w.exe", "C:\\b\\W.exe"}, {}, "w.exe", false,
     {false, false}, 2},
    {"ScrIsNamedExeOnNt", VER_PLATFORM_WIN32_NT, {"C:\\x\\s.scr"}, {}, "s.scr", false, {true}, 0},
    {"ScrFoundByItsPath", VER_PLATFORM_WIN32_NT, {"C:\\x\\s.scr"}, {}, "c:\\X\\S.SCR", true, {false}, 1},
    {"ScrNamedAsItIsOn9x", VER_PLATFORM_WIN32_WINDOWS, {"C:\\x\\s.scr"}, {}, "s.scr", false, {false}, 1},
    {"PathKeyNeverMatchesANameKeyMode", VER_PLATFORM_WIN32_NT, {"C:\\x\\w.exe"}, {}, "C:\\x\\w.exe", false, {true}, 0},
    {"BareNameNeverMatchesInPathMode", VER_PLATFORM_WIN32_NT, {"C:\\x\\w.exe"}, {}, "w.exe", true, {true}, 0},
    {"SameNameElsewhereSurvivesPathMode", VER_PLATFORM_WIN32_NT, {"C:\\a\\w.exe", "C:\\b\\w.exe"}, {},
     "C:\\a\\w.exe", true, {false, true}, 1},
    {"NoSubstringMatch", VER_PLATFORM_WIN32_NT, {"C:\\x\\winword.exe"}, {}, "word.exe", false, {true}, 0},
    {"UnopenableGetsNoLine", VER_PLATFORM_WIN32_NT, {"C:\\x\\w.exe"}, {kClosed}, "w.exe", false, {true}, 0},
    {"RefusedGetsNoLine", VER_PLATFORM_WIN32_NT, {"C:\\x\\w.exe", "C:\\y\\w.exe"}, {kStubborn}, "w.exe", false,
     {true, false}, 1},
    {"EmptyKeyMatchesNothing", VER_PLATFORM_WIN32_NT, {"C:\\x\\w.exe"}, {}, "", true, {true}, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, KillProcessByName, testing::ValuesIn(kKillCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KillProcessByNameWithoutText, EndsTheProcessAndWritesNothing) {
    CTestMachine t;
    const std::uint32_t id = t.machine.StartProcess("C:\\x\\w.exe");
    EXPECT_EQ(t.dlg->KillProcessByName({"w.exe"}, false), 1u);
    EXPECT_FALSE(t.machine.IsRunning(id));
    EXPECT_EQ(t.view.Log().size(), 8u);
}
