// The memory scan on the simulated machine: processes stopped under
// registered names, running bodies handed to the classifier, the names they
// register, and that no line claims a process stopped that still runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestMachine.h"
#include "app/StringIds.h"
#include "scan/RuleTable.h"
#include "sys/Text.h"

namespace {

std::string T(std::uint32_t id) { return BuiltInString(id); }

std::string FamilyName(std::uint32_t platform) { return platform == VER_PLATFORM_WIN32_NT ? "NT" : "Win9x"; }


constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};
constexpr CSimMachine::ProcessOptions kSealed = {false, false, false};
constexpr CSimMachine::ProcessOptions kHiddenModule = {true, false, true};

// The machine with its start-up lines cleared; programs are put under
// C:\WINDOWS and started from there.
class CMemoryBench {
public:
    explicit CMemoryBench(std::uint32_t platform) : t(platform) { t.view.ResetLog(); }

    std::string Put(const std::string& file, const std::string& bytes = "MZ") {
        t.drive.WriteFile("WINDOWS/" + file, bytes);
        return "C:\\WINDOWS\\" + file;
    }
    std::uint32_t Run(const std::string& file, const std::string& bytes = "MZ",
                      CSimMachine::ProcessOptions options = CSimMachine::ProcessOptions()) {
        return t.machine.StartProcess(Put(file, bytes), options);
    }
    bool Exists(const std::string& path) { return t.machine.GetAttributes(path) != kInvalidAttributes; }
    bool Scheduled(const std::string& path) {
        const auto all = t.machine.RestartDeletions();
        return std::find(all.begin(), all.end(), path) != all.end();
    }
    std::vector<std::string> Log() const { return t.view.Log(); }
    std::vector<Finding> Findings() const { return t.view.Findings(); }

    CTestMachine t;
};

std::string KillLine(const std::string& family, const std::string& name) {
    return T(IDS_VIRUS_FILE) + family + ": " + name + T(IDS_REMOVED_FROM_MEMORY);
}

std::string ModuleLine(const std::string& name) { return T(IDS_MODULE) + name + T(IDS_MODULE_STOPPED); }

class PerPlatform : public testing::TestWithParam<std::uint32_t> {};

std::string PlatformRowName(const testing::TestParamInfo<std::uint32_t>& info) { return FamilyName(info.param); }

}  // namespace

// --- KillRegisteredProcesses -------------------------------------------------

class KillRegistered : public PerPlatform {};

// On NT the names come from the performance data, which knows no extension
// ("evil" + ".exe"); on 9x from the snapshot's path, in the file's own case.
TEST_P(KillRegistered, OneLinePerRegistrationNamingItsFamily) {
    CMemoryBench b(GetParam());
    b.t.dlg->RegisterVirusNames({"evil.exe", "other.exe"}, "I-Worm.First");
    b.t.dlg->RegisterVirusNames({"evil.exe"}, "I-Worm.Second");
    const std::uint32_t evil = b.Run("evil.exe");
    const std::uint32_t clean = b.Run("clean.exe");
    const std::uint32_t other = b.Run("OTHER.EXE");

    b.t.dlg->KillRegisteredProcesses();
    EXPECT_EQ(b.Log(), (std::vector<std::string>{KillLine("I-Worm.First", "evil.exe"),
                                                 KillLine("I-Worm.Second", "evil.exe"),
                                                 KillLine("I-Worm.First", "other.exe")}));
    EXPECT_FALSE(b.t.machine.IsRunning(evil));
    EXPECT_FALSE(b.t.machine.IsRunning(other));
    EXPECT_TRUE(b.t.machine.IsRunning(clean));
    const auto findings = b.Findings();
    ASSERT_EQ(findings.size(), 3u);
    const char* families[] = {"I-Worm.First", "I-Worm.Second", "I-Worm.First"};
    const char* targets[] = {"C:\\WINDOWS\\evil.exe", "C:\\WINDOWS\\evil.exe", "C:\\WINDOWS\\OTHER.EXE"};
    for (std::size_t i = 0; i < findings.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(findings[i].kind, ActionKind::ProcessStopped);
        EXPECT_EQ(findings[i].family, families[i]);
        EXPECT_EQ(findings[i].target, targets[i]);
        EXPECT_TRUE(findings[i].succeeded);
    }
}

// A process the program could not end is not reported as removed from
// memory, for any of the registrations that name it.
TEST_P(KillRegistered, ProcessThatDidNotEndGivesNoLine) {
    for (const auto& options : {kStubborn, kSealed}) {
        CMemoryBench b(GetParam());
        b.t.dlg->RegisterVirusNames({"evil.exe"}, "I-Worm.First");
        b.t.dlg->RegisterVirusNames({"evil.exe"}, "I-Worm.Second");
        const std::uint32_t evil = b.Run("evil.exe", "MZ", options);
        b.t.dlg->KillRegisteredProcesses();
        EXPECT_TRUE(b.Log().empty()) << "canOpen=" << options.canOpen;
        EXPECT_TRUE(b.t.machine.IsRunning(evil));
    }
}

INSTANTIATE_TEST_SUITE_P(Families, KillRegistered,
                         testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS), PlatformRowName);

// Families registering 5, 0 and 3 names: the empty one is passed over, and
// the walk neither stops one name early nor one late.
TEST(KillRegisteredFamilyWalk, EmptyFamilyIsPassedOver) {
    CMemoryBench b(VER_PLATFORM_WIN32_NT);
    b.t.dlg->RegisterVirusNames({"a1.exe", "a2.exe", "a3.exe", "a4.exe", "a5.exe"}, "Family.A");
    b.t.dlg->RegisterVirusNames({}, "Family.B");
    b.t.dlg->RegisterVirusNames({"c1.exe", "c2.exe", "c3.exe"}, "Family.C");
    b.Run("a5.exe");  // index 4
    b.Run("c1.exe");  // index 5
    b.Run("c2.exe");  // index 6
    b.t.dlg->KillRegisteredProcesses();
    EXPECT_EQ(b.Log(), (std::vector<std::string>{KillLine("Family.A", "a5.exe"), KillLine("Family.C", "c1.exe"),
                                                 KillLine("Family.C", "c2.exe")}));
}

// The registry's members are open to every cleaner; a name without a family,
// or a count in a slot that has no family name, must not lead the lookup
// past the end of the names.
TEST(KillRegisteredFamilyWalk, NameWithoutFamilyIsStillStoppedAndNamesNoFamily) {
    CMemoryBench b(VER_PLATFORM_WIN32_NT);
    b.t.dlg->RegisterVirusNames({"a.exe"}, "Family.A");
    b.t.dlg->m_virusFileNames.push_back("orphan.exe");
    b.t.dlg->m_familyNameCount[1] = 7;  // a count whose family name was never appended
    const std::uint32_t orphan = b.Run("orphan.exe");

    EXPECT_EQ(b.t.dlg->FamilyOfRegisteredName(0), 0);
    EXPECT_EQ(b.t.dlg->FamilyOfRegisteredName(1), -1);
    EXPECT_EQ(b.t.dlg->FamilyOfRegisteredName(99), -1);
    b.t.dlg->KillRegisteredProcesses();
    EXPECT_FALSE(b.t.machine.IsRunning(orphan));
    ASSERT_EQ(b.Findings().size(), 1u);
    EXPECT_EQ(b.Findings()[0].family, "");
    EXPECT_EQ(b.Log(), std::vector<std::string>{KillLine("", "orphan.exe")});
}

// --- ScanMemory ---------------------------------------------------------------

namespace {

// A running body of one family: the label the classifier's line ends with,
// and what the body registers.
struct BodyRow {
    const char* name;
    int family;
    const char* process;  // file name under C:\WINDOWS; the process list names it the same on both families
    const char* label;
    // The classifier stops a running Bagle itself so that its file goes at
    // once; the memory scan then finds it ended and adds no line of its own.
    bool stoppedByClassifier;
    std::vector<std::string> registered;
    const char* registeredFamily;  // null: registers nothing
};

const BodyRow kBodyRows[] = {
    {"Apdoor", 2, "abc.exe", " (Backdoor:Apdoor)", false, {"abc.exe", "abc.dll"}, "Backdoor: Apdoor.c"},
    {"Swen", 4, "swen.exe", " (I-Worm.Swen)", false, {"swen.exe"}, "Worm.Swen"},
    {"MyDoom", 12, "taskmon.exe", " (I-Worm.MyDoom)", false, {}, nullptr},
    {"Bagle", 10, "bbeagle.exe", " (I-Worm.Bagle)", true, {}, nullptr},
};

void PrintTo(const BodyRow& row, std::ostream* os) { *os << row.name; }

// A running body's file cannot be deleted while it runs. On NT the
// classifier schedules it for the restart before the process is stopped; the
// 9x family has no such request, so the file stays, unreported, for the disk
// walk that follows the memory scan to delete once the process is gone.
std::vector<std::string> ExpectedLines(const BodyRow& row, const std::string& path, std::uint32_t platform) {
    if (row.stoppedByClassifier) {
        return {"   " + T(IDS_VIRUS_MODULE_STOPPED) + row.label, T(IDS_VIRUS_FILE_DELETED) + path + row.label};
    }
    if (platform != VER_PLATFORM_WIN32_NT) return {ModuleLine(row.process)};
    return {T(IDS_VIRUS_FILE) + path + row.label + T(IDS_DELETED_AT_RESTART), ModuleLine(row.process)};
}

}  // namespace

class ScanMemoryBody : public testing::TestWithParam<std::tuple<BodyRow, std::uint32_t>> {};

TEST_P(ScanMemoryBody, ClassifiedStoppedAndRegistered) {
    const auto& [row, platform] = GetParam();
    CMemoryBench b(platform);
    const std::string bat = b.Put("KESTRO-PC.bat", "@echo off");
    const std::uint32_t clean = b.Run("notepad.exe", "MZ plain program");
    const std::uint32_t pid = b.Run(row.process, BodyOf(row.family));
    const std::string path = "C:\\WINDOWS\\" + std::string(row.process);
    const std::size_t namesBefore = b.t.dlg->m_virusFileNames.size();
    const std::size_t familiesBefore = b.t.dlg->m_familyNames.size();

    b.t.dlg->ScanMemory();
    EXPECT_EQ(b.Log(), ExpectedLines(row, path, platform));
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_TRUE(b.t.machine.IsRunning(clean));
    if (row.stoppedByClassifier) {
        EXPECT_FALSE(b.Exists(path));
    } else if (platform == VER_PLATFORM_WIN32_NT) {
        EXPECT_TRUE(b.Scheduled(path));
    } else {
        EXPECT_TRUE(b.Exists(path));
    }
    EXPECT_EQ(b.t.machine.OpenFileCount(), 0);

    const auto& names = b.t.dlg->m_virusFileNames;
    EXPECT_EQ(std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(namesBefore), names.end()),
              row.registered);
    if (row.registeredFamily != nullptr) {
        ASSERT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore + 1);
        EXPECT_EQ(b.t.dlg->m_familyNames.back(), row.registeredFamily);
        EXPECT_EQ(b.t.dlg->m_familyNameCount[familiesBefore], static_cast<int>(row.registered.size()));
    } else {
        EXPECT_EQ(b.t.dlg->m_familyNames.size(), familiesBefore);
    }
    EXPECT_EQ(b.Exists(bat), row.family != 4) << "only Swen takes the computer-name batch file";
}

INSTANTIATE_TEST_SUITE_P(
    Families, ScanMemoryBody,
    testing::Combine(testing::ValuesIn(kBodyRows), testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS)),
    [](const testing::TestParamInfo<std::tuple<BodyRow, std::uint32_t>>& info) {
        return std::string(std::get<0>(info.param).name) + FamilyName(std::get<1>(info.param));
    });

class ScanMemory : public PerPlatform {};

// The classifier's verdict stands, and so does its line about the file, but
// a process that refused to end gets no stop line.
TEST_P(ScanMemory, RecognisedBodyThatRefusesToEndGetsOnlyTheClassifierLine) {
    CMemoryBench b(GetParam());
    const std::uint32_t pid = b.Run("abc.exe", BodyOf(2), kStubborn);
    b.t.dlg->ScanMemory();
    std::vector<std::string> expected;
    if (GetParam() == VER_PLATFORM_WIN32_NT) {
        expected.push_back(T(IDS_VIRUS_FILE) + "C:\\WINDOWS\\abc.exe (Backdoor:Apdoor)" + T(IDS_DELETED_AT_RESTART));
    }
    EXPECT_EQ(b.Log(), expected);
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_EQ(b.t.dlg->m_virusFileNames, (std::vector<std::string>{"abc.exe", "abc.dll"}));
}

// A process that cannot be opened for reading is not looked into at all,
// even where the snapshot names its file (9x).
TEST_P(ScanMemory, ProcessThatCannotBeOpenedIsNotClassified) {
    CMemoryBench b(GetParam());
    const std::uint32_t pid = b.Run("abc.exe", BodyOf(2), kSealed);
    b.t.dlg->ScanMemory();
    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.Exists("C:\\WINDOWS\\abc.exe"));
    EXPECT_TRUE(b.t.machine.RestartDeletions().empty());
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
    EXPECT_TRUE(b.t.dlg->m_virusFileNames.empty());
}

INSTANTIATE_TEST_SUITE_P(Families, ScanMemory, testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS),
                         PlatformRowName);

// On NT the path comes from the process's module list; when that cannot be
// read, no file is opened, not even one with an empty name.
TEST(ScanMemoryNT, EntryWithoutPathIsNeverHandedToTheClassifier) {
    CMemoryBench b(VER_PLATFORM_WIN32_NT);
    const std::uint32_t pid = b.Run("abc.exe", BodyOf(2), kHiddenModule);
    b.t.machine.FailCall("OpenForRead", "", ERROR_ACCESS_DENIED);
    b.t.dlg->ScanMemory();
    EXPECT_EQ(b.t.machine.FaultsFired(), 0);
    EXPECT_TRUE(b.Log().empty());
    EXPECT_TRUE(b.t.machine.IsRunning(pid));
}

// The batch file is named after the computer; without a name there is no
// file to delete, and ".bat" alone in the Windows directory is not it.
TEST(ScanMemorySwen, NoComputerNameDeletesNoBatchFileButStillRegisters) {
    CMemoryBench b(VER_PLATFORM_WIN32_NT);
    const std::string bare = b.Put(".bat", "@echo off");
    const std::uint32_t pid = b.Run("swen.exe", BodyOf(4));
    b.t.machine.FailCall("ComputerName", "", 1);
    b.t.dlg->ScanMemory();
    EXPECT_EQ(b.t.machine.FaultsFired(), 1);
    EXPECT_TRUE(b.Exists(bare));
    EXPECT_FALSE(b.t.machine.IsRunning(pid));
    EXPECT_EQ(b.t.dlg->m_virusFileNames, std::vector<std::string>{"swen.exe"});
    EXPECT_EQ(b.t.dlg->m_familyNames, std::vector<std::string>{"Worm.Swen"});
}

// What the memory scan registers is what the next kill stage stops: a
// second copy of the Swen body under its name, running from elsewhere with
// content the classifier does not know.
TEST(ScanMemoryThenKill, RegisteredNameStopsAnotherCopy) {
    CMemoryBench b(VER_PLATFORM_WIN32_NT);
    b.Run("swen.exe", BodyOf(4));
    b.t.dlg->ScanMemory();
    b.t.drive.WriteFile("Temp/swen.exe", "MZ repacked");
    const std::uint32_t copy = b.t.machine.StartProcess("C:\\Temp\\swen.exe");
    b.t.view.ResetLog();
    b.t.dlg->KillRegisteredProcesses();
    EXPECT_FALSE(b.t.machine.IsRunning(copy));
    EXPECT_EQ(b.Log(), std::vector<std::string>{KillLine("Worm.Swen", "swen.exe")});
}

// --- faults ------------------------------------------------------------------

namespace {

// Every platform call the two stages make, the process list's included.
const char* const kSweptCalls[] = {"OpenKey",          "QueryValue",       "ProcessSnapshot",  "OpenProcess",
                                   "FirstModuleFileName", "TerminateProcess", "OpenProcessToken", "LookupPrivilege",
                                   "AdjustTokenPrivilege", "OpenForRead",  "ReadAt",           "SetAttributes",
                                   "GetAttributes",    "RemoveFile",       "RemoveAtRestart",  "ComputerName"};

struct Planted {
    std::string path;
    std::uint32_t pid;
};

// Runs the kill stage and the memory scan with one injected fault over a
// machine with a registered sleeper, running bodies of four families, a
// body that refuses to end and a clean program; then checks that each line
// stands for a change the machine really shows, and each change has a line.
int RunWithFault(std::uint32_t platform, const std::string& op, int nth, bool persistent) {
    CMemoryBench b(platform);
    b.Put("KESTRO-PC.bat", "@echo off");
    b.t.dlg->RegisterVirusNames({"sleeper.exe"}, "I-Worm.Sleeper");
    std::vector<Planted> planted;
    const auto plant = [&](const std::string& file, const std::string& bytes,
                           CSimMachine::ProcessOptions options = CSimMachine::ProcessOptions()) {
        planted.push_back({"C:\\WINDOWS\\" + file, b.Run(file, bytes, options)});
    };
    plant("sleeper.exe", "MZ");
    plant("abc.exe", BodyOf(2));
    plant("swen.exe", BodyOf(4));
    plant("bbeagle.exe", BodyOf(10));
    plant("stubborn.exe", BodyOf(12), kStubborn);
    plant("notepad.exe", "MZ plain program");

    b.t.machine.FailCall(op, "", ERROR_ACCESS_DENIED, nth, persistent);
    b.t.dlg->KillRegisteredProcesses();
    b.t.dlg->ScanMemory();

    const auto findings = b.Findings();
    EXPECT_EQ(b.Log().size(), findings.size()) << "every line is a finding";
    const auto matches = [](const Planted& p, const std::string& target) {
        return EqualsNoCase(target, p.path) || EqualsNoCase("C:\\WINDOWS\\" + target, p.path);
    };
    for (const Finding& f : findings) {
        SCOPED_TRACE(f.line);
        EXPECT_TRUE(f.succeeded);
        switch (f.kind) {
            case ActionKind::ProcessStopped: {
                const bool known = std::any_of(planted.begin(), planted.end(), [&](const Planted& p) {
                    return matches(p, f.target) && !b.t.machine.IsRunning(p.pid);
                });
                EXPECT_TRUE(known) << "a process named as stopped still runs";
                break;
            }
            case ActionKind::FileDeleted:
                EXPECT_FALSE(b.Exists(f.target));
                break;
            case ActionKind::FileDeleteScheduled:
                EXPECT_TRUE(b.Scheduled(f.target));
                break;
            default:
                ADD_FAILURE() << "unexpected finding";
        }
    }
    for (const Planted& p : planted) {
        if (b.t.machine.IsRunning(p.pid)) continue;
        const bool reported = std::any_of(findings.begin(), findings.end(), [&](const Finding& f) {
            return f.kind == ActionKind::ProcessStopped && matches(p, f.target);
        });
        EXPECT_TRUE(reported) << p.path << " ended without a line";
    }
    EXPECT_TRUE(b.t.machine.IsRunning(planted.back().pid)) << "the clean program runs on";
    EXPECT_EQ(b.t.machine.OpenFileCount(), 0);
    return b.t.machine.FaultsFired();
}

}  // namespace

class MemoryScanFaultSweep : public testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};

TEST_P(MemoryScanFaultSweep, NoLineClaimsAFailedStep) {
    const auto [platform, persistent] = GetParam();
    for (const char* op : kSweptCalls) {
        // Call 1, 2, 3, ... until a run no longer reaches the fault.
        for (int nth = 1; nth < 200; ++nth) {
            SCOPED_TRACE(std::string(op) + " #" + std::to_string(nth));
            if (RunWithFault(platform, op, nth, persistent) == 0) break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, MemoryScanFaultSweep,
                         testing::Combine(testing::Values(VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS),
                                          testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<std::uint32_t, bool>>& info) {
                             return FamilyName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "Persistent" : "Once");
                         });
