// The Bagle cleaner on the simulated machine: Run values by name and by
// content, the kept table across both roots, the leftovers, the marker keys,
// a clean machine, and a fault sweep over the whole cleaner.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "app/StringIds.h"
#include "cleaners/CleanerPattern.h"
#include "scan/RuleTable.h"
#include "sys/Findings.h"
#include "sys/Text.h"

namespace {

namespace fs = std::filesystem;

const RegKey HKLM = winroot::kLocalMachine;
const RegKey HKCU = winroot::kCurrentUser;
const std::uint32_t NT = VER_PLATFORM_WIN32_NT;
const std::uint32_t W9X = VER_PLATFORM_WIN32_WINDOWS;

// A process that refuses to end, and so keeps its file.
constexpr CSimMachine::ProcessOptions kStubborn = {true, true, false};

std::string T(std::uint32_t id) { return BuiltInString(id); }

// A Bagle body: zeros holding the family's first rule window.
std::string BagleBody() { return BodyOf(10); }

const char* const kHarmless = "MZ an ordinary program";

// "C:\a\b.exe" -> "a/b.exe" on the test drive.

bool HasValue(const CSimMachine& m, RegKey root, const std::string& key, const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    return m.GetValue(root, key, name, type, data);
}

std::string SysDir(std::uint32_t platform) {
    return platform == NT ? "C:\\WINDOWS\\System32" : "C:\\WINDOWS\\SYSTEM";
}

const std::string kMarkerKeys[] = {"Windows98", "winexe",  "DateTime5",   "DateTime4", "DateTime3",
                                   "DateTime2", "winword", "Windows2000", "windor"};

}  // namespace

// --- scenarios ------------------------------------------------------------------

TEST(Bagle, RemovesBagleMByNameAndOtherBodiesByContent) {
    CTestMachine t(NT);
    const std::string sys = SysDir(NT);
    const std::string winupd = sys + "\\winupd.exe";
    const std::string body = sys + "\\bbeagle.exe";
    const std::string notepad = "C:\\WINDOWS\\notepad.exe";
    Put(t, winupd, kHarmless);  // Bagle.M is known by its Run value, not its bytes
    Put(t, body, BagleBody());
    Put(t, notepad, kHarmless);
    const std::uint32_t mPid = t.machine.StartProcess(winupd);
    const std::uint32_t bodyPid = t.machine.StartProcess(body);
    const std::uint32_t notepadPid = t.machine.StartProcess(notepad);

    t.machine.PutString(HKLM, kRunKeyPath, "Keep", notepad);
    t.machine.PutString(HKLM, kRunKeyPath, "winupd.exe", "\"" + winupd + "\" -start");
    t.machine.PutString(HKCU, kRunKeyPath, "Updater", "%system%\\bbeagle.exe -x");
    t.machine.PutString(HKCU, kRunKeyPath, "winupd.exe", winupd);

    // Leftovers: one hidden and read-only, one held open by another program.
    Put(t, sys + "\\readme.exeopen", "x");
    t.machine.SetAttributes(sys + "\\readme.exeopen", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Put(t, sys + "\\i1ru74n4.exeopen", "x");
    t.machine.LockFile(sys + "\\i1ru74n4.exeopen", true);
    Put(t, sys + "\\winsys.exeopenopen", "x");

    t.machine.PutString(HKCU, "Software\\Windows98\\sub", "x", "1");
    t.machine.PutString(HKCU, "Software\\windor", "v", "1");
    t.machine.PutString(HKCU, "Software\\Unrelated", "v", "1");
    t.machine.PutString(HKLM, "Software\\Windows98", "v", "1");

    EXPECT_TRUE(t.dlg->CleanBagle());

    const std::vector<std::string> expected = {
        // HKLM winupd.exe: by name.
        "   " + T(3) + " (I-Worm.Bagle.M) ",
        "   " + T(8) + "(I-Worm.Bagle.M)",
        T(7) + winupd + " (I-Worm.Bagle.M) ",
        // HKCU Updater: the classifier stops and deletes the body itself...
        "   " + T(3) + " (I-Worm.Bagle)",
        T(7) + body + " (I-Worm.Bagle)",
        // ...then the kept table deletes under HKCU Bagle.M's value (under
        // its own variant) and this one.
        "   " + T(8) + "(I-Worm.Bagle.M)",
        "   " + T(8) + "(I-Worm.Bagle)",
        // Leftovers; the locked one stays without a line.
        T(7) + sys + "\\readme.exeopen (I-Worm.Bagle)",
        T(7) + sys + "\\winsys.exeopenopen (I-Worm.Bagle)",
    };
    EXPECT_EQ(Lines(t), expected);

    EXPECT_FALSE(t.machine.IsRunning(mPid));
    EXPECT_FALSE(t.machine.IsRunning(bodyPid));
    EXPECT_TRUE(t.machine.IsRunning(notepadPid));
    EXPECT_FALSE(Exists(t, winupd));
    EXPECT_FALSE(Exists(t, body));
    EXPECT_TRUE(Exists(t, notepad));
    EXPECT_FALSE(Exists(t, sys + "\\readme.exeopen"));
    EXPECT_TRUE(Exists(t, sys + "\\i1ru74n4.exeopen"));
    EXPECT_FALSE(Exists(t, sys + "\\winsys.exeopenopen"));
    EXPECT_TRUE(t.machine.RestartDeletions().empty()) << "leftovers are never scheduled";

    EXPECT_TRUE(HasValue(t.machine, HKLM, kRunKeyPath, "Keep"));
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRunKeyPath, "winupd.exe"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRunKeyPath, "Updater"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRunKeyPath, "winupd.exe"));
    EXPECT_FALSE(t.machine.HasKey(HKCU, "Software\\Windows98"));
    EXPECT_FALSE(t.machine.HasKey(HKCU, "Software\\windor"));
    EXPECT_TRUE(t.machine.HasKey(HKCU, "Software\\Unrelated"));
    EXPECT_TRUE(t.machine.HasKey(HKLM, "Software\\Windows98")) << "the markers live under the user's key only";

    // What the later stages are left: the dropped name and the extension.
    ASSERT_FALSE(t.dlg->m_familyNames.empty());
    EXPECT_EQ(t.dlg->m_familyNames.back(), "I-Worm.Bagle");
    EXPECT_EQ(t.dlg->m_virusFileNames.back(), "d3dupdate.exe");
    EXPECT_EQ(t.dlg->m_familyNameCount[t.dlg->m_familyNames.size() - 1], 1);
    const auto& exts = t.dlg->m_walker.Extensions();
    EXPECT_EQ(std::count(exts.begin(), exts.end(), ".exe"), 1);
}

TEST(Bagle, BodyThatCannotBeStoppedIsScheduledAndItsNameFollowedToTheUsersKey) {
    CTestMachine t(NT);
    const std::string sys = SysDir(NT);
    const std::string svc = sys + "\\svc32.exe";
    const std::string notepad = "C:\\WINDOWS\\notepad.exe";
    const std::string winupd = sys + "\\winupd.exe";
    Put(t, svc, BagleBody());
    Put(t, notepad, kHarmless);
    Put(t, winupd, kHarmless);
    const std::uint32_t pid = t.machine.StartProcess(svc, kStubborn);

    t.machine.PutString(HKLM, kRunKeyPath, "Svc", svc);
    // A bare name has no directory to remove a file from; the value still goes.
    t.machine.PutString(HKLM, kRunKeyPath, "WINUPD.EXE", "winupd.exe");
    // Not Bagle.M: the name differs, or the data holds the name in capitals.
    t.machine.PutString(HKLM, kRunKeyPath, "Other", winupd);
    // Not Bagle.M by its data, but its name was deleted under HKLM: the
    // final pass over the user's key takes it.
    t.machine.PutString(HKCU, kRunKeyPath, "winupd.exe", "C:\\WINDOWS\\System32\\WINUPD.EXE");
    // A two-letter extension names no file at all.
    t.machine.PutString(HKCU, kRunKeyPath, "Script", "C:\\WINDOWS\\a.js -x");
    // Same name as the body's value under HKLM, harmless target: only the
    // final pass over the user's key removes it.
    t.machine.PutString(HKCU, kRunKeyPath, "Svc", notepad);

    EXPECT_TRUE(t.dlg->CleanBagle());

    const std::string restart = T(9) + svc + " (I-Worm.Bagle)" + T(11);
    const std::vector<std::string> expected = {
        restart,  // the classifier's own removal
        "   " + T(8) + "(I-Worm.Bagle)",
        restart,  // the cleaner's removal, path before tag
        "   " + T(8) + "(I-Worm.Bagle.M)",
        "   " + T(5) + "(I-Worm.Bagle)",  // HKCU Svc
        "   " + T(5) + "(I-Worm.Bagle)",  // HKCU winupd.exe
    };
    EXPECT_EQ(Lines(t), expected);

    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, svc));
    EXPECT_EQ(t.machine.RestartDeletions(), (std::vector<std::string>{svc, svc}));
    EXPECT_TRUE(Exists(t, winupd));
    EXPECT_TRUE(Exists(t, notepad));
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRunKeyPath, "Svc"));
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRunKeyPath, "winupd.exe"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRunKeyPath, "Other"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRunKeyPath, "winupd.exe"));
    EXPECT_TRUE(HasValue(t.machine, HKCU, kRunKeyPath, "Script"));
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRunKeyPath, "Svc"));
}

// Bagle.M's own file held by a process that will not end: scheduled, with
// the tag before the path; on 9x nothing can be scheduled and nothing is said.
class BagleMStubborn : public testing::TestWithParam<std::uint32_t> {};

TEST_P(BagleMStubborn, IsScheduledWhereTheSystemCan) {
    const std::uint32_t platform = GetParam();
    CTestMachine t(platform);
    const std::string winupd = SysDir(platform) + "\\winupd.exe";
    Put(t, winupd, kHarmless);
    const std::uint32_t pid = t.machine.StartProcess(winupd, kStubborn);
    t.machine.PutString(HKCU, kRunKeyPath, "WinUpd.exe", "%system%\\winupd.exe");

    t.dlg->CleanBagle();

    std::vector<std::string> expected = {"   " + T(8) + "(I-Worm.Bagle.M)"};
    if (platform == NT) expected.push_back(T(9) + "(I-Worm.Bagle.M) " + winupd + T(11));
    EXPECT_EQ(Lines(t), expected);
    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, winupd));
    EXPECT_EQ(t.machine.RestartDeletions().size(), platform == NT ? 1u : 0u);
    EXPECT_FALSE(HasValue(t.machine, HKCU, kRunKeyPath, "WinUpd.exe"));
}

INSTANTIATE_TEST_SUITE_P(Families, BagleMStubborn, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& i) { return i.param == NT ? "NT" : "Win9x"; });

// A Bagle.M value whose file is also a Bagle body: the classifier removes
// the file first, and the process is stopped under the Bagle.M tag.
TEST(Bagle, BagleMWhoseFileIsABodyIsReportedOnce) {
    CTestMachine t(NT);
    const std::string winupd = SysDir(NT) + "\\winupd.exe";
    Put(t, winupd, BagleBody());
    t.machine.StartProcess(winupd);
    t.machine.PutString(HKLM, kRunKeyPath, "winupd.exe", winupd + " /q");

    t.dlg->CleanBagle();

    EXPECT_EQ(Lines(t), (std::vector<std::string>{"   " + T(3) + " (I-Worm.Bagle.M) ", "   " + T(8) + "(I-Worm.Bagle.M)",
                                                  T(7) + winupd + " (I-Worm.Bagle.M) "}));
    EXPECT_FALSE(Exists(t, winupd));
}

// --- a clean machine ---------------------------------------------------------------

class BagleCleanMachine : public testing::TestWithParam<std::uint32_t> {};

TEST_P(BagleCleanMachine, WritesNothingButStillRemovesTheMarkerKeys) {
    const std::uint32_t platform = GetParam();
    CTestMachine t(platform);
    Put(t, "C:\\WINDOWS\\notepad.exe", kHarmless);
    const std::uint32_t pid = t.machine.StartProcess("C:\\WINDOWS\\notepad.exe");
    t.machine.PutString(HKLM, kRunKeyPath, "Notepad", "\"C:\\WINDOWS\\notepad.exe\" /a");
    t.machine.PutString(HKCU, kRunKeyPath, "Script", "C:\\WINDOWS\\a.js");
    t.machine.PutString(HKCU, kRunKeyPath, "Missing", "C:\\WINDOWS\\gone.exe");
    // Bagle.M's value holds its name in lower case; capitals are someone else.
    Put(t, SysDir(platform) + "\\WINUPD.EXE", kHarmless);
    t.machine.PutString(HKCU, kRunKeyPath, "winupd.exe", SysDir(platform) + "\\WINUPD.EXE");
    for (const std::string& key : kMarkerKeys) t.machine.PutString(HKCU, "Software\\" + key + "\\deep", "v", "1");

    EXPECT_TRUE(t.dlg->CleanBagle());

    EXPECT_TRUE(Lines(t).empty());
    EXPECT_TRUE(t.view.Findings().empty());
    EXPECT_TRUE(t.machine.IsRunning(pid));
    EXPECT_TRUE(Exists(t, "C:\\WINDOWS\\notepad.exe"));
    EXPECT_TRUE(HasValue(t.machine, HKLM, kRunKeyPath, "Notepad"));
    EXPECT_TRUE(Exists(t, SysDir(platform) + "\\WINUPD.EXE"));
    for (const char* name : {"Script", "Missing", "winupd.exe"}) EXPECT_TRUE(HasValue(t.machine, HKCU, kRunKeyPath, name));
    for (const std::string& key : kMarkerKeys) EXPECT_FALSE(t.machine.HasKey(HKCU, "Software\\" + key)) << key;
    EXPECT_TRUE(t.machine.HasKey(HKCU, "Software"));
    EXPECT_TRUE(t.machine.RestartDeletions().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, BagleCleanMachine, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& i) { return i.param == NT ? "NT" : "Win9x"; });

// A name without its directory would be resolved against wherever this
// program runs; only the Run value it sits in is the worm's for sure.
TEST(Bagle, NamesWithoutADirectoryAreNeverDeleted) {
    CTestMachine t(NT);
    t.drive.WriteFile("readme.exeopen", "x");
    t.dlg->m_sysDirs = {"C:\\WINDOWS", ""};
    t.machine.PutString(HKLM, kRunKeyPath, "winupd.exe", "winupd.exe -q");
    for (const char* op : {"SetAttributes", "RemoveFile", "RemoveAtRestart"}) {
        t.machine.FailCall(op, "winupd.exe", ERROR_ACCESS_DENIED);
        t.machine.FailCall(op, "exeopen", ERROR_ACCESS_DENIED);
    }

    t.dlg->CleanBagle();

    EXPECT_EQ(t.machine.FaultsFired(), 0) << "a bare name was handed to a file operation";
    EXPECT_TRUE(Exists(t, "C:\\readme.exeopen"));
    EXPECT_EQ(Lines(t), std::vector<std::string>{"   " + T(8) + "(I-Worm.Bagle.M)"});
    EXPECT_FALSE(HasValue(t.machine, HKLM, kRunKeyPath, "winupd.exe"));
}

// --- fault sweep ---------------------------------------------------------------------

namespace {

const std::vector<std::string> kSweptCalls = {
    "OpenKey",     "EnumValue", "QueryValue",      "DeleteValue", "DeleteKey",        "EnumKey",
    "GetAttributes", "SetAttributes", "RemoveFile", "RemoveAtRestart", "OpenForRead", "ReadAt",
    "ProcessSnapshot", "OpenProcess", "TerminateProcess", "FirstModuleFileName"};

// Plants both kinds of Bagle under both roots, leftovers and marker keys,
// runs the cleaner with one injected fault, and audits every line against
// the machine and every change on the machine against the lines.
int RunWithFault(std::uint32_t platform, const SFault& fault) {
    CTestMachine t(platform);
    const std::string sys = SysDir(platform);
    const std::string winupd = sys + "\\winupd.exe";
    const std::string body = sys + "\\bbeagle.exe";
    const std::string stubborn = sys + "\\svc32.exe";
    Put(t, winupd, kHarmless);
    Put(t, body, BagleBody());
    Put(t, stubborn, BagleBody());
    t.machine.StartProcess(winupd);
    t.machine.StartProcess(body);
    t.machine.StartProcess(stubborn, kStubborn);
    t.machine.PutString(HKLM, kRunKeyPath, "winupd.exe", "\"" + winupd + "\" -s");
    t.machine.PutString(HKLM, kRunKeyPath, "Svc", stubborn);
    t.machine.PutString(HKCU, kRunKeyPath, "Updater", "%system%\\bbeagle.exe");
    t.machine.PutString(HKCU, kRunKeyPath, "Svc", "C:\\WINDOWS\\notepad.exe");
    Put(t, sys + "\\readme.exeopen", "x");
    Put(t, sys + "\\winsys.exeopen", "x");
    t.machine.PutString(HKCU, "Software\\winexe\\a", "v", "1");

    SAuditOptions options;
    // The marker key goes whole, and a whole key's deletion writes no line.
    options.silentKeys = {"HKEY_CURRENT_USER\\Software\\winexe"};
    return AuditedFaultRun(t.machine, t.view, fault, [&] { EXPECT_TRUE(t.dlg->CleanBagle()); }, options);
}

}  // namespace

class BagleFaultSweep : public testing::TestWithParam<std::uint32_t> {};

TEST_P(BagleFaultSweep, NoLineClaimsAFailedStep) {
    const std::uint32_t platform = GetParam();
    SweepFaults(kSweptCalls, {ERROR_ACCESS_DENIED}, [&](const SFault& fault) { return RunWithFault(platform, fault); });
}

INSTANTIATE_TEST_SUITE_P(Families, BagleFaultSweep, testing::Values(NT, W9X),
                         [](const testing::TestParamInfo<std::uint32_t>& i) {
                             return std::string(i.param == NT ? "NT" : "Win9x");
                         });
