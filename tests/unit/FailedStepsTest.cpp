// A removal, stop or restoration that the system refuses is reported as a
// failed step: a finding with no line, so the log stays as it is and the
// console program can still tell that work was left undone. Something that
// is not there is no failure.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;

struct FailedCase {
    const char* name;
    std::function<void(CTestMachine&)> plant;  // the machine, and the fault
    std::function<void(CTestMachine&)> act;    // one step
    ActionKind kind;
    std::string target;  // empty: no failed step expected
    std::string family;
};

void PrintTo(const FailedCase& c, std::ostream* os) { *os << c.name; }

const std::string kBody = "C:\\kc\\x.exe";
const std::string kRunTarget = std::string("HKEY_LOCAL_MACHINE\\") + kRunKeyPath + "\\Worm";

VirusFileTags Tags() {
    VirusFileTags tags;
    tags.deleted = " (I-Worm.Test)";
    tags.restart = "(I-Worm.Test) ";
    return tags;
}

const FailedCase kFailedCases[] = {
    {"VirusFileRefusedNowAndAtRestart",
     [](CTestMachine& t) {
         t.machine.FailCall("RemoveFile", Put(t, kBody, "MZ"), ERROR_ACCESS_DENIED);
         t.machine.FailCall("RemoveAtRestart", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) { t.dlg->RemoveVirusFile(kBody, RemoveFileOptions::Full(), Tags()); },
     ActionKind::FileDeleted, kBody, "I-Worm.Test"},
    {"VirusFileRefusedWithoutARestartFallback",
     [](CTestMachine& t) { t.machine.FailCall("RemoveFile", Put(t, kBody, "MZ"), ERROR_ACCESS_DENIED); },
     [](CTestMachine& t) { t.dlg->RemoveVirusFile(kBody, RemoveFileOptions::Short(), Tags()); },
     ActionKind::FileDeleted, kBody, "I-Worm.Test"},
    {"AbsentVirusFileIsNoFailure", [](CTestMachine&) {},
     [](CTestMachine& t) { t.dlg->RemoveVirusFile(kBody, RemoveFileOptions::Short(), Tags()); }, ActionKind::FileDeleted,
     "", ""},
    {"ClassifiedBodyRefusedNowAndAtRestart",
     [](CTestMachine& t) {
         t.machine.FailCall("RemoveFile", Put(t, kBody, BodyOf(18)), ERROR_ACCESS_DENIED);
         t.machine.FailCall("RemoveAtRestart", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) { t.dlg->ClassifyFile(kBody); }, ActionKind::FileDeleted, kBody, "I-Worm.MooDown"},
    {"RestorationRefused",
     [](CTestMachine& t) {
         t.machine.PutString(HKLM, "SOFTWARE\\Classes\\exefile\\shell\\open\\command", "", "worm.exe \"%1\"");
         t.machine.FailCall("SetValue", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) {
         t.dlg->RestoreRegistryValues(HKLM, {"SOFTWARE\\Classes\\exefile\\shell\\open", "command", "", "\"%1\" %*"},
                                      "restored (I-Worm.Test)", REG_SZ);
     },
     ActionKind::RegistryValueRestored, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command\\",
     "I-Worm.Test"},
    {"ValueDeletionRefused",
     [](CTestMachine& t) {
         t.machine.PutString(HKLM, kRunKeyPath, "Worm", "C:\\worm.exe");
         t.machine.FailCall("DeleteValue", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) {
         t.dlg->RestoreRegistryValues(HKLM, {kRunKeyParent, kRunKeyName, "Worm", ""}, "deleted (I-Worm.Test)", 0);
     },
     ActionKind::RegistryValueDeleted, kRunTarget, "I-Worm.Test"},
    {"AbsentValueIsNoFailureWhateverTheDeletionSays",
     [](CTestMachine& t) {
         t.machine.PutString(HKLM, kRunKeyPath, "Other", "C:\\other.exe");
         t.machine.FailCall("DeleteValue", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) {
         t.dlg->RestoreRegistryValues(HKLM, {kRunKeyParent, kRunKeyName, "Worm", ""}, "deleted (I-Worm.Test)", 0);
     },
     ActionKind::RegistryValueDeleted, "", ""},
    {"RunEntryOfARegisteredNameRefused",
     [](CTestMachine& t) {
         t.machine.PutString(HKLM, kRunKeyPath, "Worm", "C:\\worm.exe");
         t.machine.FailCall("DeleteValue", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) {
         t.dlg->RegisterVirusNames({"worm.exe"}, "I-Worm.Test");
         t.dlg->CheckRunEntries(t.dlg->m_virusFileNames);
     },
     ActionKind::RegistryValueDeleted, kRunTarget, "I-Worm.Test"},
    {"IniEntryRewriteRefused",
     [](CTestMachine& t) {
         t.drive.MakeDir("WINDOWS");
         t.machine.WriteProfileText("win.ini", "windows", "load", "worm.exe");
         t.machine.FailCall("WriteProfileText", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) {
         t.dlg->RegisterVirusNames({"worm.exe"}, "I-Worm.Test");
         t.dlg->CheckIniEntry("win.ini", "windows", "load");
     },
     ActionKind::IniEntryRestored, "win.ini\\windows\\load", ""},
    {"ProcessThatWillNotEndIsOneFailureHoweverOftenTried",
     [](CTestMachine& t) { t.machine.StartProcess(Put(t, kBody, "MZ"), {true, true, false}); },
     [](CTestMachine& t) {
         for (int i = 0; i < 3; ++i) t.dlg->KillProcessByName({kBody, "stopped (I-Worm.Test)"}, true);
     },
     ActionKind::ProcessStopped, kBody, "I-Worm.Test"},
    // Its path cannot be read either, so it is matched by its name.
    {"ProcessThatCannotBeOpened",
     [](CTestMachine& t) { t.machine.StartProcess(Put(t, kBody, "MZ"), {false, false, false}); },
     [](CTestMachine& t) { t.dlg->KillProcessByName({"x.exe", "stopped (I-Worm.Test)"}, false); },
     ActionKind::ProcessStopped, "x.exe", "I-Worm.Test"},
    {"ProcessGoneBeforeItCouldBeOpenedIsNoFailure",
     [](CTestMachine& t) {
         t.machine.StartProcess(Put(t, kBody, "MZ"));
         // What the system answers for an identifier that names no process,
         // once the list has been read (its first call reads the path).
         t.machine.FailCall("OpenProcess", "", ERROR_INVALID_PARAMETER, 2, false);
     },
     [](CTestMachine& t) { t.dlg->KillProcessByName({kBody, "stopped (I-Worm.Test)"}, true); },
     ActionKind::ProcessStopped, "", ""},
    {"RegisteredProcessThatWillNotEnd",
     [](CTestMachine& t) { t.machine.StartProcess(Put(t, kBody, "MZ"), {true, true, false}); },
     [](CTestMachine& t) {
         t.dlg->RegisterVirusNames({"x.exe"}, "I-Worm.Test");
         t.dlg->KillRegisteredProcesses();
     },
     ActionKind::ProcessStopped, kBody, "I-Worm.Test"},
    // Its file is scheduled for the restart; the process stays.
    {"RunningBodyThatWillNotEnd",
     [](CTestMachine& t) { t.machine.StartProcess(Put(t, kBody, BodyOf(18)), {true, true, false}); },
     [](CTestMachine& t) { t.dlg->ScanMemory(); }, ActionKind::ProcessStopped, kBody, ""},
    {"ScriptRepairThatCannotBeWrittenBack",
     [](CTestMachine& t) {
         Put(t, "C:\\kc\\page.htm", "<html><BODY onload=\"vbscript:KJ_start()\"></html>");
         t.machine.FailCall("RenameFile", "", ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) { t.dlg->m_walker.Walk("C:"); }, ActionKind::FileRepaired, "C:\\kc\\page.htm", ""},
    {"KeyLoggerLibraryRefused",
     [](CTestMachine& t) {
         t.machine.FailCall("RemoveFile", Put(t, "C:\\kc\\hook.dll", "xxKeylogdll.dllxx"), ERROR_ACCESS_DENIED);
     },
     [](CTestMachine& t) { t.dlg->m_walker.Walk("C:"); }, ActionKind::FileDeleted, "C:\\kc\\hook.dll", ""},
    {"RegisteredNameRefused",
     [](CTestMachine& t) { t.machine.FailCall("RemoveFile", Put(t, "C:\\kc\\evil.dat", "data"), ERROR_ACCESS_DENIED); },
     [](CTestMachine& t) {
         t.dlg->RegisterVirusNames({"evil.dat"}, "I-Worm.Test");
         t.dlg->m_walker.Walk("C:");
     },
     ActionKind::FileDeleted, "C:\\kc\\evil.dat", "I-Worm.Test"},
};

class FailedSteps : public testing::TestWithParam<FailedCase> {};

TEST_P(FailedSteps, AreFindingsWithoutALine) {
    const FailedCase& c = GetParam();
    CTestMachine t;
    t.view.ResetLog();
    c.plant(t);
    // The capture calls none of the operations the rows make fail.
    const SMachineState before = CaptureMachine(t.machine);
    c.act(t);
    const SMachineState after = CaptureMachine(t.machine);

    const std::vector<Finding> failed = t.view.FailedSteps();
    if (c.target.empty()) {
        EXPECT_TRUE(failed.empty()) << failed.front().target;
    } else {
        ASSERT_EQ(failed.size(), 1u);
        EXPECT_EQ(failed[0].kind, c.kind);
        EXPECT_EQ(failed[0].target, c.target);
        EXPECT_EQ(failed[0].family, c.family);
        EXPECT_EQ(failed[0].line, "");
    }
    // The log has a line for every step that succeeded and for nothing else.
    std::vector<std::string> lines;
    for (const Finding& f : t.view.Findings()) lines.push_back(f.line);
    EXPECT_EQ(t.view.Log(), lines);
    AuditRun(before, after, t.view.AllFindings());
}

INSTANTIATE_TEST_SUITE_P(Steps, FailedSteps, testing::ValuesIn(kFailedCases),
                         [](const testing::TestParamInfo<FailedCase>& info) { return info.param.name; });

}  // namespace
