// The console program's whole run on the simulated machine: its standard
// output against the dialog's log for the same machine, its exit code for
// each outcome, the options that replace the dialog's questions, and the
// report against the lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <ostream>

#include "JsonReader.h"
#include "PeFixture.h"
#include "RecordingView.h"
#include "TestMachine.h"
#include "app/ConsoleScan.h"
#include "app/StringIds.h"
#include "app/Version.h"
#include "cleaners/CleanerPattern.h"

namespace {

const RegKey HKLM = winroot::kLocalMachine;
const char* const kGuardKey = "SOFTWARE\\KESTRO\\TVXWaechter\\Generic";
const char* const kProductKey = "SOFTWARE\\KESTRO\\Tervix\\Plan";
constexpr std::int64_t kStart = 1709294400;  // 2024-03-01T12:00:00Z

std::string S(std::uint32_t id) { return BuiltInString(id); }

class CCapturedOutput : public IConsoleOutput {
public:
    void WriteLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        lines.push_back(line);
    }
    void WriteMessage(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        messages.push_back(text);
    }
    void ShowPath(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        paths.push_back(path);
    }
    std::vector<std::string> lines, messages, paths;

private:
    std::mutex m_mutex;
};

// A machine with the four kinds of drive: C: fixed, D: removable, E: a
// CD-ROM and N: a network drive.
class CConsoleBench {
public:
    explicit CConsoleBench(std::uint32_t platform = VER_PLATFORM_WIN32_NT) {
        machine.SetPlatform(platform);
        machine.MapDrive('C', DRIVE_FIXED, c.Path());
        machine.MapDrive('D', DRIVE_REMOVABLE, d.Path());
        machine.MapDrive('E', DRIVE_CDROM, e.Path());
        machine.MapDrive('N', DRIVE_REMOTE, n.Path());
    }
    // "C:\kc\x.exe" -> the file, written on its drive.
    std::string Put(const std::string& winPath, const std::string& bytes) {
        const CTempDir& dir = winPath[0] == 'C' ? c : winPath[0] == 'D' ? d : winPath[0] == 'E' ? e : n;
        std::string relative = winPath.substr(3);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        dir.WriteFile(relative, bytes);
        return winPath;
    }
    bool Exists(const std::string& winPath) const { return std::filesystem::exists(machine.HostPath(winPath)); }

    CTempDir c, d, e, n;
    CSimMachine machine;
};

struct SConsoleRun {
    int code = -1;
    std::vector<std::string> lines, messages, paths;
    ConsoleReport report;
};

std::string JoinArgs(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) line += (line.empty() ? "" : " ") + a;
    return line;
}

SConsoleRun RunConsole(CConsoleBench& bench, const std::vector<std::string>& args,
                       const std::function<void(CConsoleScan&)>& before = {}) {
    CCapturedOutput out;
    std::int64_t calls = 0;
    CConsoleScan scan(bench.machine, out, [&] { return kStart + 5 * calls++; });
    if (before) before(scan);
    SConsoleRun run;
    run.code = scan.Run(args, JoinArgs(args));
    run.lines = out.lines;
    run.messages = out.messages;
    run.paths = out.paths;
    run.report = scan.Report();
    return run;
}

// The dialog's log after "Skanuj" on the same machine, the network
// question answered No.
std::vector<std::string> DialogLog(CConsoleBench& bench) {
    CRecordingView view;
    CCleanerDlg dlg(bench.machine, view);
    dlg.OnInitDialog();
    dlg.OnScan();
    EXPECT_TRUE(dlg.IsScanning());
    EXPECT_TRUE(view.WaitFinished());
    dlg.OnScanFinished();
    return view.Log();
}

// Traces of several families and kinds of finding, on every drive.
struct SInfectedMachine {
    std::string runBody, classified, page, removable, network, cdrom;

    explicit SInfectedMachine(CConsoleBench& b) {
        runBody = b.Put("C:\\kc\\taskmon.exe", BodyOf(12));
        b.machine.PutString(HKLM, kRunKeyPath, "TaskMon", runBody);
        classified = b.Put("C:\\kc\\deep\\wupdcli.exe", BodyOf(18));
        page = b.Put("C:\\kc\\www\\index.htm", "<html><BODY onload=\"vbscript:KJ_start()\"></html>");
        removable = b.Put("D:\\kc\\sysupd.exe", BodyOf(10));
        network = b.Put("N:\\kc\\net.exe", BodyOf(18));
        cdrom = b.Put("E:\\kc\\cd.exe", BodyOf(18));
    }
};

bool IsStageLine(const std::string& line) {
    for (std::uint32_t id = IDS_STAGE_TEMP_FILES; id <= IDS_STAGE_DISKS_ABORTED; ++id)
        if (line == S(id)) return true;
    return false;
}

std::vector<std::string> SucceededLines(const std::vector<Finding>& findings) {
    std::vector<std::string> lines;
    for (const Finding& f : findings)
        if (f.succeeded) lines.push_back(f.line);
    return lines;
}

std::vector<std::string> NonStageLines(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out), [](const std::string& l) { return !IsStageLine(l); });
    return out;
}

std::string Describe(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += "\n    \"" + l + "\"";
    return out;
}

std::map<std::string, std::string> DrivesOf(const ConsoleReport& report) {
    std::map<std::string, std::string> out;
    for (const DriveRecord& d : report.drives) out[d.drive] = d.reason.empty() ? "walked" : d.reason;
    return out;
}

TEST(ConsoleScan, StandardOutputIsTheDialogsLogForTheSameMachine) {
    for (const std::uint32_t platform : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        SCOPED_TRACE(platform == VER_PLATFORM_WIN32_NT ? "NT" : "9x");
        CConsoleBench dialogMachine(platform);
        SInfectedMachine dialogTraces(dialogMachine);
        const std::vector<std::string> dialogLog = DialogLog(dialogMachine);

        CConsoleBench consoleMachine(platform);
        SInfectedMachine traces(consoleMachine);
        const SConsoleRun run = RunConsole(consoleMachine, {});

        EXPECT_EQ(run.lines, dialogLog) << "console:" << Describe(run.lines) << "\ndialog:" << Describe(dialogLog);
        EXPECT_GT(NonStageLines(run.lines).size(), 4u) << "the machine had little to find";
        EXPECT_EQ(run.lines.back(), S(IDS_STAGE_DISKS_DONE));
        // The advice to run the full product is printed, not asked.
        EXPECT_EQ(run.messages, std::vector<std::string>{S(IDS_RUN_FULL_PRODUCT)});
        EXPECT_EQ(run.code, kExitFound);
        EXPECT_FALSE(consoleMachine.Exists(traces.classified));
        EXPECT_FALSE(consoleMachine.Exists(traces.removable));
        EXPECT_TRUE(consoleMachine.Exists(traces.network)) << "network drives are skipped by default";
        EXPECT_TRUE(consoleMachine.Exists(traces.cdrom));
        EXPECT_NE(std::find(run.paths.begin(), run.paths.end(), "D:\\kc"), run.paths.end())
            << "the status line follows the walk";
    }
}

TEST(ConsoleScan, ReportHoldsEveryFindingWithItsLineAndTheDrives) {
    CConsoleBench bench;
    SInfectedMachine traces(bench);
    std::filesystem::create_directories(bench.machine.HostPath("D:\\out"));
    const SConsoleRun run = RunConsole(bench, {"--report", "D:\\out\\report.json"});
    ASSERT_EQ(run.code, kExitFound);
    std::ifstream file(bench.machine.HostPath("D:\\out\\report.json"), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    SJsonValue json;
    std::string error;
    ASSERT_TRUE(ParseJson(text, json, error)) << error << "\n" << text;

    EXPECT_EQ(json["version"].text, ProgramVersion());
    EXPECT_EQ(json["platform"].text, "NT");
    EXPECT_EQ(json["scan"].text, "complete");
    EXPECT_EQ(json["exitCode"].number, kExitFound);
    EXPECT_LT(json["started"].text, json["finished"].text);

    // One record per finding, in the order of the log; each succeeded one
    // carries its line exactly as standard output shows it.
    const SJsonValue& records = json["findings"];
    std::vector<std::string> recordLines;
    std::map<std::string, int> tally;
    for (const SJsonValue& r : records.items) {
        EXPECT_TRUE(r["succeeded"].boolean) << r["target"].text;
        recordLines.push_back(r["line"].text);
        ++tally[r["action"].text];
        EXPECT_FALSE(r["target"].text.empty());
    }
    EXPECT_EQ(recordLines, NonStageLines(run.lines)) << Describe(recordLines);
    for (const auto& [action, count] : json["counts"].members) {
        EXPECT_EQ(count["succeeded"].number, tally[action]) << action;
        EXPECT_EQ(count["failed"].number, 0) << action;
    }
    EXPECT_GE(tally["fileDeleted"], 3);
    EXPECT_EQ(tally["fileRepaired"], 1);
    EXPECT_GE(tally["registryValueDeleted"], 1);

    const auto hasRecord = [&](const std::string& action, const std::string& target, const std::string& family) {
        return std::any_of(records.items.begin(), records.items.end(), [&](const SJsonValue& r) {
            return r["action"].text == action && r["target"].text == target && r["family"].text == family;
        });
    };
    EXPECT_TRUE(hasRecord("fileDeleted", "C:\\kc\\deep\\wupdcli.exe", "I-Worm.MooDown"));
    EXPECT_TRUE(hasRecord("fileRepaired", "C:\\kc\\www\\index.htm", ""));
    EXPECT_TRUE(hasRecord("fileDeleted", "D:\\kc\\sysupd.exe", "I-Worm.Bagle"));

    const SJsonValue& walked = json["drives"]["walked"];
    ASSERT_EQ(walked.size(), 2u);
    EXPECT_EQ(walked[0].text, "C:");
    EXPECT_EQ(walked[1].text, "D:");
    const SJsonValue& skipped = json["drives"]["skipped"];
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0]["drive"].text, "E:");
    EXPECT_EQ(skipped[0]["reason"].text, "cdrom");
    EXPECT_EQ(skipped[1]["drive"].text, "N:");
    EXPECT_EQ(skipped[1]["reason"].text, "network");
}

TEST(ConsoleScan, UnwritableReportIsAnErrorAfterTheScan) {
    CConsoleBench bench;
    SInfectedMachine traces(bench);
    const SConsoleRun run = RunConsole(bench, {"--report", "D:\\no such folder\\report.json"});
    EXPECT_EQ(run.code, kExitNotRun);
    EXPECT_EQ(run.lines.back(), S(IDS_STAGE_DISKS_DONE)) << "the scan ran to its end first";
    EXPECT_FALSE(bench.Exists(traces.classified));
    ASSERT_FALSE(run.messages.empty());
    EXPECT_NE(run.messages.back().find("D:\\no such folder\\report.json"), std::string::npos) << run.messages.back();

    // A write that fails half-way is an error too.
    CConsoleBench other;
    other.machine.FailCall("WriteTo", "", ERROR_DISK_FULL);
    EXPECT_EQ(RunConsole(other, {"--report=C:\\report.json"}).code, kExitNotRun);
}

// Each outcome a script must be able to tell apart.
struct OutcomeCase {
    const char* name;
    std::function<void(CConsoleBench&)> plant;
    std::vector<std::string> args;
    bool abortFirst;
    int code;
    bool scanned;  // the scan's lines were printed
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

void GuardOn(CConsoleBench& b) { b.machine.PutValue(HKLM, kGuardKey, "MonitorOn", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}); }

const OutcomeCase kOutcomeCases[] = {
    {"CleanMachine", [](CConsoleBench&) {}, {}, false, kExitNothingFound, true},
    {"FoundAndRemoved", [](CConsoleBench& b) { b.Put("C:\\kc\\x.exe", BodyOf(18)); }, {}, false, kExitFound, true},
    // Bagle.n is named as infected and kept: something was found.
    {"OnlyNamedAsInfected", [](CConsoleBench& b) { b.Put("C:\\kc\\au.exe", BagleNFixture().Bytes()); }, {}, false,
     kExitFound, true},
    {"WaitsForTheRestart",
     [](CConsoleBench& b) {
         // The body cannot go now: it goes at the next restart.
         b.machine.FailCall("RemoveFile", b.Put("C:\\kc\\x.exe", BodyOf(18)), ERROR_ACCESS_DENIED);
     },
     {}, false, kExitWorkLeft, true},
    {"RemovalFailed",
     [](CConsoleBench& b) {
         b.machine.FailCall("RemoveFile", b.Put("C:\\kc\\x.exe", BodyOf(18)), ERROR_ACCESS_DENIED);
         b.machine.FailCall("RemoveAtRestart", "", ERROR_ACCESS_DENIED);
     },
     {}, false, kExitWorkLeft, true},
    {"ProcessThatWillNotEnd",
     [](CConsoleBench& b) {
         b.machine.StartProcess(b.Put("D:\\kc\\sysupd.exe", BodyOf(10)), {true, true, false});
     },
     {}, false, kExitWorkLeft, true},
    {"GuardOn", GuardOn, {}, false, kExitNotRun, false},
    {"GuardOnButNoguard", GuardOn, {"noguard"}, false, kExitNothingFound, true},
    {"GuardOnButNoguardInsideAWord", GuardOn, {"/xnoguardx"}, false, kExitNothingFound, true},
    {"GuardOnAndTheWordInTheReportName", GuardOn, {"--report", "C:\\noguard.json"}, false, kExitNothingFound, true},
    {"UnknownOption", [](CConsoleBench& b) { b.Put("C:\\kc\\x.exe", BodyOf(18)); }, {"--drive", "C:"}, false,
     kExitNotRun, false},
    {"Interrupted", [](CConsoleBench& b) { b.Put("C:\\kc\\x.exe", BodyOf(18)); }, {}, true, kExitNotRun, true},
};

class ConsoleOutcome : public testing::TestWithParam<OutcomeCase> {};

TEST_P(ConsoleOutcome, GivesItsExitCode) {
    const OutcomeCase& c = GetParam();
    CConsoleBench bench;
    c.plant(bench);
    const SConsoleRun run =
        RunConsole(bench, c.args, [&](CConsoleScan& scan) { if (c.abortFirst) scan.RequestAbort(); });
    EXPECT_EQ(run.code, c.code) << Describe(run.lines) << "\nmessages:" << Describe(run.messages);
    if (!c.scanned) {
        EXPECT_TRUE(run.lines.empty()) << Describe(run.lines);
        ASSERT_FALSE(run.messages.empty());
        return;
    }
    EXPECT_EQ(run.report.exitCode, run.code);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), S(IDS_STAGE_TEMP_FILES));
    EXPECT_EQ(run.lines.back(), c.abortFirst ? S(IDS_STAGE_DISKS_ABORTED) : S(IDS_STAGE_DISKS_DONE));
    // Failed steps reach the report, never the output.
    EXPECT_EQ(NonStageLines(run.lines), SucceededLines(run.report.findings));
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ConsoleOutcome, testing::ValuesIn(kOutcomeCases),
                         [](const testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

TEST(ConsoleScan, GuardOnPrintsItsMessageAndTouchesNothing) {
    CConsoleBench bench;
    GuardOn(bench);
    const std::string body = bench.Put("C:\\kc\\x.exe", BodyOf(18));
    const SConsoleRun run = RunConsole(bench, {"--report", "C:\\report.json"});
    EXPECT_EQ(run.code, kExitNotRun);
    EXPECT_EQ(run.messages, std::vector<std::string>{S(IDS_GUARD_IS_ON)});
    EXPECT_TRUE(run.lines.empty());
    EXPECT_TRUE(bench.Exists(body));
    EXPECT_EQ(run.report.outcome, ScanOutcome::GuardOn);
    EXPECT_TRUE(run.report.drives.empty());
    // The report says why nothing ran.
    std::ifstream in(bench.machine.HostPath("C:\\report.json"), std::ios::binary);
    SJsonValue json;
    std::string error;
    ASSERT_TRUE(ParseJson(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), json,
                          error))
        << error;
    EXPECT_EQ(json["scan"].text, "guard-on");
    EXPECT_EQ(json["exitCode"].number, kExitNotRun);
}

TEST(ConsoleScan, FailedStepsAreInTheReportWithoutALine) {
    CConsoleBench bench;
    const std::string body = bench.Put("C:\\kc\\x.exe", BodyOf(18));
    bench.machine.FailCall("RemoveFile", body, ERROR_ACCESS_DENIED);
    bench.machine.FailCall("RemoveAtRestart", "", ERROR_ACCESS_DENIED);
    const SConsoleRun run = RunConsole(bench, {});
    ASSERT_EQ(run.code, kExitWorkLeft);
    const auto failed = std::count_if(run.report.findings.begin(), run.report.findings.end(), [&](const Finding& f) {
        return !f.succeeded && f.kind == ActionKind::FileDeleted && f.target == body && f.line.empty();
    });
    EXPECT_EQ(failed, 1);
    for (const std::string& line : run.lines) EXPECT_EQ(line.find(body), std::string::npos) << line;
    EXPECT_TRUE(bench.Exists(body));
}

TEST(ConsoleScan, HelpIsPrintedAndNothingRuns) {
    CConsoleBench bench;
    const std::string body = bench.Put("C:\\kc\\x.exe", BodyOf(18));
    const SConsoleRun run = RunConsole(bench, {"--network", "--help"});
    EXPECT_EQ(run.code, kExitNothingFound);
    EXPECT_EQ(run.lines, ConsoleHelpLines());
    EXPECT_TRUE(bench.Exists(body));
}

TEST(ConsoleScan, BadOptionIsExplainedAndNothingRuns) {
    CConsoleBench bench;
    const std::string body = bench.Put("C:\\kc\\x.exe", BodyOf(18));
    const SConsoleRun run = RunConsole(bench, {"--drives", "C:,XY"});
    EXPECT_EQ(run.code, kExitNotRun);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_EQ(run.messages,
              (std::vector<std::string>{"Niepoprawna nazwa dysku w opcji --drives: \"XY\"", ConsoleHelpHint()}));
    EXPECT_TRUE(bench.Exists(body));
}

// The drive options: each drive named is still walked only as its type
// allows, and a drive not named is passed over.
struct DriveCase {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> drives;  // drive -> "walked" or why not
};

void PrintTo(const DriveCase& c, std::ostream* os) { *os << c.name; }

const DriveCase kDriveCases[] = {
    {"Default", {}, {{"C:", "walked"}, {"D:", "walked"}, {"E:", "cdrom"}, {"N:", "network"}}},
    {"Network", {"--network"}, {{"C:", "walked"}, {"D:", "walked"}, {"E:", "cdrom"}, {"N:", "walked"}}},
    {"OneDrive", {"--drives", "d:"}, {{"C:", "not-selected"}, {"D:", "walked"}, {"E:", "not-selected"}, {"N:", "not-selected"}}},
    {"NamedCdromIsStillSkipped", {"--drives", "C:,E:"},
     {{"C:", "walked"}, {"D:", "not-selected"}, {"E:", "cdrom"}, {"N:", "not-selected"}}},
    {"NamedNetworkDriveNeedsTheOption", {"--drives", "N:"},
     {{"C:", "not-selected"}, {"D:", "not-selected"}, {"E:", "not-selected"}, {"N:", "network"}}},
    {"NamedNetworkDriveWithTheOption", {"--drives=N:", "--network"},
     {{"C:", "not-selected"}, {"D:", "not-selected"}, {"E:", "not-selected"}, {"N:", "walked"}}},
    {"DriveTheSystemDoesNotList", {"--drives", "Q:,D:"},
     {{"C:", "not-selected"}, {"D:", "walked"}, {"E:", "not-selected"}, {"N:", "not-selected"}, {"Q:", "missing"}}},
};

class ConsoleDrives : public testing::TestWithParam<DriveCase> {};

TEST_P(ConsoleDrives, LimitTheWalk) {
    const DriveCase& c = GetParam();
    CConsoleBench bench;
    SInfectedMachine traces(bench);
    const SConsoleRun run = RunConsole(bench, c.args);
    EXPECT_EQ(DrivesOf(run.report), c.drives);
    // The files on each drive tell whether the walk really went there.
    const auto walked = [&](const std::string& drive) { return c.drives.at(drive) == "walked"; };
    EXPECT_EQ(bench.Exists(traces.classified), !walked("C:"));
    EXPECT_EQ(bench.Exists(traces.removable), !walked("D:"));
    EXPECT_EQ(bench.Exists(traces.network), !walked("N:"));
    EXPECT_TRUE(bench.Exists(traces.cdrom));
    for (const std::string& path : run.paths) {
        if (path.size() >= 2 && path[1] == ':') {
            EXPECT_TRUE(walked(path.substr(0, 2))) << "the walk entered " << path;
        }
    }
    // The stages before the walk do not depend on the drives: the Run
    // value's body goes whatever is walked.
    EXPECT_FALSE(bench.Exists(traces.runBody));
}

INSTANTIATE_TEST_SUITE_P(Options, ConsoleDrives, testing::ValuesIn(kDriveCases),
                         [](const testing::TestParamInfo<DriveCase>& info) { return info.param.name; });

TEST(ConsoleScan, FullProductIsStartedOnlyWhenAsked) {
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked ? "--start-full-scan" : "by default");
        CConsoleBench bench;
        bench.machine.PutString(HKLM, kProductKey, "tvxexe", "C:\\Tervix\\tvx.exe");
        const SConsoleRun run = RunConsole(bench, asked ? std::vector<std::string>{"--start-full-scan"}
                                                        : std::vector<std::string>{});
        EXPECT_EQ(run.messages, std::vector<std::string>{S(IDS_RUN_FULL_PRODUCT)});
        const auto launches = bench.machine.Launches();
        ASSERT_EQ(launches.size(), asked ? 1u : 0u);
        if (asked) {
            EXPECT_EQ(launches[0].file, "C:\\Tervix\\tvx.exe");
        }
    }
}

}  // namespace
