// The audit that the fault sweeps lean on must itself catch a line without
// its change and a change without its line; a sweep over an audit that
// passes everything would prove nothing.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "MachineAudit.h"
#include "TestMachine.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;

struct AuditCase {
    const char* name;
    // Changes the machine and/or reports findings, as a stage would.
    std::function<void(CTestMachine&)> act;
    bool expectFailure;
};

void PrintTo(const AuditCase& c, std::ostream* os) { *os << c.name; }

Finding Make(ActionKind kind, const std::string& target) {
    Finding f;
    f.kind = kind;
    f.target = target;
    f.line = "   line for " + target;
    return f;
}

Finding Failed(ActionKind kind, const std::string& target) {
    Finding f;
    f.kind = kind;
    f.target = target;
    f.succeeded = false;
    return f;
}

void DeleteFileAt(CTestMachine& t, const std::string& path) { t.machine.RemoveFile(path); }

void DeleteRunValue(CTestMachine& t) {
    RegKey key = 0;
    t.machine.OpenKey(HKLM, kRunKeyPath, key);
    t.machine.DeleteValue(key, "Worm");
    t.machine.CloseKey(key);
}

const std::string kRunTarget = std::string("HKEY_LOCAL_MACHINE\\") + kRunKeyPath + "\\Worm";

const AuditCase kCases[] = {
    {"NothingDoneNothingSaid", [](CTestMachine&) {}, false},
    {"FileDeletedAndSaid",
     [](CTestMachine& t) {
         DeleteFileAt(t, "C:\\WINDOWS\\worm.exe");
         t.view.ReportFinding(Make(ActionKind::FileDeleted, "C:\\WINDOWS\\WORM.EXE"));
     },
     false},
    {"FileDeletedSilently", [](CTestMachine& t) { DeleteFileAt(t, "C:\\WINDOWS\\worm.exe"); }, true},
    {"DeletionClaimedOnly",
     [](CTestMachine& t) { t.view.ReportFinding(Make(ActionKind::FileDeleted, "C:\\WINDOWS\\worm.exe")); }, true},
    {"ScheduledAndSaid",
     [](CTestMachine& t) {
         t.machine.RemoveAtRestart("C:\\WINDOWS\\worm.exe");
         t.view.ReportFinding(Make(ActionKind::FileDeleteScheduled, "C:\\WINDOWS\\worm.exe"));
     },
     false},
    {"ScheduledSilently", [](CTestMachine& t) { t.machine.RemoveAtRestart("C:\\WINDOWS\\worm.exe"); }, true},
    {"FileLeftBehind", [](CTestMachine& t) { t.drive.WriteFile("WINDOWS/worm.tmp", "half"); }, true},
    {"FileChangedSilently", [](CTestMachine& t) { t.drive.WriteFile("WINDOWS/worm.exe", "other"); }, true},
    {"ValueDeletedAndSaid",
     [](CTestMachine& t) {
         DeleteRunValue(t);
         t.view.ReportFinding(Make(ActionKind::RegistryValueDeleted, kRunTarget));
     },
     false},
    {"ValueDeletedSilently", [](CTestMachine& t) { DeleteRunValue(t); }, true},
    {"ValueDeletionClaimedOnly",
     [](CTestMachine& t) { t.view.ReportFinding(Make(ActionKind::RegistryValueDeleted, kRunTarget)); }, true},
    {"ValueChangedSilently",
     [](CTestMachine& t) { t.machine.PutString(HKLM, kRunKeyPath, "Worm", "C:\\WINDOWS\\other.exe"); }, true},
    {"ProcessStoppedAndSaid",
     [](CTestMachine& t) {
         t.dlg->KillProcessByName({"C:\\WINDOWS\\svc.exe", "stopped"}, true);
     },
     false},
    {"StopClaimedOnly",
     [](CTestMachine& t) { t.view.ReportFinding(Make(ActionKind::ProcessStopped, "C:\\WINDOWS\\other.exe")); },
     true},
    // Steps that were tried and failed: they must name what was there and
    // have changed nothing a step that succeeded does not account for.
    {"FailedDeletionLeavesTheFile",
     [](CTestMachine& t) { t.view.ReportFinding(Failed(ActionKind::FileDeleted, "C:\\WINDOWS\\worm.exe")); }, false},
    {"FailedDeletionYetTheFileWent",
     [](CTestMachine& t) {
         DeleteFileAt(t, "C:\\WINDOWS\\worm.exe");
         t.view.ReportFinding(Failed(ActionKind::FileDeleted, "C:\\WINDOWS\\worm.exe"));
     },
     true},
    {"FailedDeletionThenALaterStepDeletes",
     [](CTestMachine& t) {
         t.view.ReportFinding(Failed(ActionKind::FileDeleted, "C:\\WINDOWS\\worm.exe"));
         DeleteFileAt(t, "C:\\WINDOWS\\worm.exe");
         t.view.ReportFinding(Make(ActionKind::FileDeleted, "C:\\WINDOWS\\worm.exe"));
     },
     false},
    {"FailedDeletionOfNothing",
     [](CTestMachine& t) { t.view.ReportFinding(Failed(ActionKind::FileDeleted, "C:\\WINDOWS\\absent.exe")); },
     true},
    {"FailedStepWithALine",
     [](CTestMachine& t) {
         Finding f = Make(ActionKind::RegistryValueDeleted, kRunTarget);
         f.succeeded = false;
         t.view.ReportFinding(f);
     },
     true},
    {"FailedValueDeletionLeavesTheValue",
     [](CTestMachine& t) { t.view.ReportFinding(Failed(ActionKind::RegistryValueDeleted, kRunTarget)); }, false},
    {"FailedValueDeletionYetTheValueWent",
     [](CTestMachine& t) {
         DeleteRunValue(t);
         t.view.ReportFinding(Failed(ActionKind::RegistryValueDeleted, kRunTarget));
     },
     true},
    {"FailedStopLeavesTheProcess",
     [](CTestMachine& t) { t.view.ReportFinding(Failed(ActionKind::ProcessStopped, "C:\\WINDOWS\\svc.exe")); },
     false},
    {"FailedStopYetTheProcessEnded",
     [](CTestMachine& t) {
         t.dlg->KillProcessByName({"C:\\WINDOWS\\svc.exe"}, true);  // no text: no finding of its own
         t.view.ReportFinding(Failed(ActionKind::ProcessStopped, "C:\\WINDOWS\\svc.exe"));
     },
     true},
};

class MachineAudit : public testing::TestWithParam<AuditCase> {};

TEST_P(MachineAudit, CatchesWhatTheLogAndTheMachineDisagreeOn) {
    const AuditCase& c = GetParam();
    CTestMachine t;
    t.drive.WriteFile("WINDOWS/worm.exe", "MZ");
    t.machine.PutString(HKLM, kRunKeyPath, "Worm", "C:\\WINDOWS\\worm.exe");
    // A running program's file refuses deletion, so it runs from another.
    t.drive.WriteFile("WINDOWS/svc.exe", "MZ");
    t.machine.StartProcess("C:\\WINDOWS\\svc.exe");
    const SMachineState before = CaptureMachine(t.machine);
    c.act(t);
    const SMachineState after = CaptureMachine(t.machine);
    const auto findings = t.view.AllFindings();
    if (c.expectFailure) {
        EXPECT_NONFATAL_FAILURE(AuditRun(before, after, findings), "");
    } else {
        AuditRun(before, after, findings);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MachineAudit, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<AuditCase>& info) { return info.param.name; });

}  // namespace
