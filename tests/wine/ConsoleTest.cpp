// The real console program, kestro-cleaner-cli.exe, on the prefix's machine:
// its standard output against the dialog's log for the same planted machine,
// its exit code and JSON report, the drive options and the guard. Its
// streams are pipes here, so the log must come as UTF-8 and no status line
// may appear.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <map>
#include <ostream>
#include <thread>

#include "JsonReader.h"
#include "ProgramDriver.h"
#include "ScanLog.h"
#include "TracePlanter.h"
#include "WineFixtures.h"

namespace {

constexpr int kFamilyBagle = 10;
constexpr int kFamilyMyDoom = 12;
constexpr int kFamilyNetSky = 18;

const wchar_t kPage[] = L"<html><BODY onload=\"vbscript:KJ_start()\"></html>";

std::wstring InstalledConsolePath() { return std::wstring(kInstallDir) + L"\\kestro-cleaner-cli.exe"; }

struct SConsoleRun {
    DWORD code = 0;
    std::string out;  // the bytes of standard output
    std::string err;
    std::vector<std::wstring> lines;  // standard output read as UTF-8 lines
};

// Drains a pipe until the program closes its end.
void Drain(HANDLE pipe, std::string& into) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) into.append(buffer, got);
}

std::vector<std::wstring> SplitLines(const std::string& utf8) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < utf8.size()) {
        const std::size_t end = utf8.find("\r\n", start);
        if (end == std::string::npos) throw std::runtime_error("a line without its CR LF at the end of the output");
        lines.push_back(FromUtf8(utf8.substr(start, end - start)));
        start = end + 2;
    }
    return lines;
}

// Installs the program beside the dialog on first use, then runs it with
// both streams on pipes and waits for it to end.
SConsoleRun RunConsole(const std::wstring& arguments) {
    static const bool installed = [] {
        if (!CopyFileW(HostPath(KC_CONSOLE_PATH).c_str(), InstalledConsolePath().c_str(), FALSE)) {
            throw std::runtime_error("cannot install the console program, error " + std::to_string(GetLastError()));
        }
        return true;
    }();
    (void)installed;

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        throw std::runtime_error("cannot create the pipes");
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring commandLine = L"\"" + InstalledConsolePath() + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(InstalledConsolePath().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, kInstallDir, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        throw std::runtime_error("cannot start " + ToUtf8(commandLine) + ", error " + std::to_string(GetLastError()));
    }
    SConsoleRun run;
    std::thread outReader(Drain, outRead, std::ref(run.out));
    std::thread errReader(Drain, errRead, std::ref(run.err));
    const DWORD waited =
        WaitForSingleObject(process.hProcess, static_cast<DWORD>(CProgramDriver::kScanTimeout.count()));
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.code);
    outReader.join();
    errReader.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0) throw std::runtime_error("the console program did not end in time: " + run.out);
    run.lines = SplitLines(run.out);
    return run;
}

// A whole report, parsed.
SJsonValue ReadReport(const std::wstring& path) {
    SJsonValue json;
    std::string error;
    const std::string text = ReadWholeFile(path);
    if (!ParseJson(text, json, error)) throw std::runtime_error("the report is no JSON: " + error + "\n" + text);
    return json;
}

std::map<std::string, std::string> DrivesOf(const SJsonValue& report) {
    std::map<std::string, std::string> drives;
    for (const SJsonValue& d : report["drives"]["walked"].items) drives[d.text] = "walked";
    for (const SJsonValue& d : report["drives"]["skipped"].items) drives[d["drive"].text] = d["reason"].text;
    return drives;
}

bool IsStageLine(const std::wstring& line) {
    for (std::uint32_t id = 34; id <= 41; ++id)
        if (line == Text(id)) return true;
    return false;
}

// The same dialog-or-console comparison as ExpectScanLog makes: every line
// in its place up to the disk stage, whose lines come in the order the file
// system lists the folders.
void ExpectSameLog(const std::vector<std::wstring>& console, const std::vector<std::wstring>& dialog) {
    const auto disks = [](const std::vector<std::wstring>& log) {
        const auto from = std::find(log.begin(), log.end(), Text(39));
        std::vector<std::wstring> lines(from, log.end());
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    const auto head = [](const std::vector<std::wstring>& log) {
        return std::vector<std::wstring>(log.begin(), std::find(log.begin(), log.end(), Text(39)));
    };
    const bool same = head(console) == head(dialog) && disks(console) == disks(dialog) &&
                      !console.empty() && console.back() == dialog.back();
    EXPECT_TRUE(same) << "console:" << Describe(console) << "\ndialog:" << Describe(dialog);
}

// Traces on every test drive, none of them running: the Run value's body,
// two bodies only the classifier knows, an infected page.
struct SPlantedMachine {
    CPlantedTree c{L"C:\\kc-cli"};
    CPlantedTree d{std::wstring(kRemovableDrive) + L"\\kc-cli"};
    CPlantedTree e{std::wstring(kCdromDrive) + L"\\kc-cli"};
    CPlantedTree n{std::wstring(kNetworkDrive) + L"\\kc-cli"};
    CTracePlanter traces;
    std::wstring runBody = c.Root() + L"\\taskmon.exe";
    std::wstring classified = c.AddChain({L"deep"}) + L"\\wupdcli.exe";
    std::wstring page = c.AddChain({L"www"}) + L"\\index.htm";
    std::wstring removable = d.Root() + L"\\sysupd.exe";
    std::wstring cdrom = e.Root() + L"\\cd.exe";
    std::wstring network = n.Root() + L"\\net.exe";

    SPlantedMachine() {
        traces.PlantBody(runBody, kFamilyMyDoom);
        traces.SetString(HKEY_LOCAL_MACHINE, kRunKey, L"TaskMon", L"\"" + runBody + L"\" -s");
        traces.PlantBody(classified, kFamilyNetSky);
        traces.PlantFile(page, ToUtf8(kPage));
        traces.PlantBody(removable, kFamilyBagle);
        traces.PlantBody(cdrom, kFamilyNetSky);
        traces.PlantBody(network, kFamilyNetSky);
    }
};

TEST(ConsoleProgram, PrintsTheDialogsLogForTheSameMachineAndReportsIt) {
    std::vector<std::wstring> dialogLog;
    {
        SPlantedMachine machine;
        CProgramDriver program(InstalledProgramPath());
        program.Start();
        dialogLog = ScanToTheEnd(program);
        program.ExitWithButton();
    }

    SPlantedMachine machine;
    CPlantedTree reports(L"C:\\kc-cli-report");
    const std::wstring reportPath = reports.Root() + L"\\report.json";
    const SConsoleRun run = RunConsole(L"--report \"" + reportPath + L"\"");

    ExpectSameLog(run.lines, dialogLog);
    EXPECT_GT(run.lines.size(), 10u) << "the machine had little to find";
    EXPECT_EQ(run.code, 1u) << run.err;
    // Standard error is a pipe: no status line, only the advice, which is
    // printed instead of asked.
    EXPECT_EQ(run.err, ToUtf8(Text(16)) + "\r\n");
    EXPECT_FALSE(FileExists(machine.classified));
    EXPECT_FALSE(FileExists(machine.removable));
    EXPECT_FALSE(FileExists(machine.runBody));
    EXPECT_TRUE(FileExists(machine.network)) << "network drives are skipped by default";
    EXPECT_TRUE(FileExists(machine.cdrom));
    EXPECT_EQ(ReadWholeFile(machine.page), "<html></html>");
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, L"TaskMon"));

    const SJsonValue report = ReadReport(reportPath);
    EXPECT_EQ(report["scan"].text, "complete");
    EXPECT_EQ(report["platform"].text, "NT");
    EXPECT_EQ(report["exitCode"].number, 1);
    EXPECT_EQ(DrivesOf(report), (std::map<std::string, std::string>{
                                    {"C:", "walked"}, {"D:", "walked"}, {"E:", "cdrom"}, {"N:", "network"}}));
    // One record per line that is not a stage line, in the same order, and
    // each carries that line.
    std::vector<std::wstring> findingLines;
    std::copy_if(run.lines.begin(), run.lines.end(), std::back_inserter(findingLines),
                 [](const std::wstring& l) { return !IsStageLine(l); });
    const SJsonValue& records = report["findings"];
    ASSERT_EQ(records.size(), findingLines.size());
    std::map<std::string, double> tally;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_TRUE(records[i]["succeeded"].boolean);
        EXPECT_EQ(records[i]["line"].text, ToUtf8(findingLines[i]));
        ++tally[records[i]["action"].text];
    }
    for (const auto& [action, counts] : report["counts"].members) {
        EXPECT_EQ(counts["succeeded"].number, tally[action]) << action;
    }
    EXPECT_EQ(tally["fileRepaired"], 1);
    const auto has = [&](const std::string& action, const std::wstring& target) {
        return std::any_of(records.items.begin(), records.items.end(), [&](const SJsonValue& r) {
            return r["action"].text == action && r["target"].text == ToUtf8(target);
        });
    };
    EXPECT_TRUE(has("fileDeleted", machine.classified));
    EXPECT_TRUE(has("fileDeleted", machine.removable));
    EXPECT_TRUE(has("fileRepaired", machine.page));
}

// A running body meets the classifier before a cleaner stops it: it is
// scheduled for the restart, so work is left and the exit code says so.
TEST(ConsoleProgram, BodyThatWaitsForTheRestartGivesExitCodeThree) {
    CPlantedTree dir(L"C:\\kc-cli");
    CPlantedTree reports(L"C:\\kc-cli-report");
    CTracePlanter traces;
    const std::wstring body = dir.Root() + L"\\wupdcli.exe";
    traces.StartBody(body, kFamilyNetSky);
    traces.SetString(HKEY_LOCAL_MACHINE, kRunKey, L"Windows Update Client", body);

    const SConsoleRun run = RunConsole(L"--drives D: --report " + reports.Root() + L"\\r.json");
    EXPECT_EQ(run.code, 3u) << Describe(run.lines);
    const SJsonValue report = ReadReport(reports.Root() + L"\\r.json");
    EXPECT_EQ(report["exitCode"].number, 3);
    EXPECT_GE(report["counts"]["fileDeleteScheduled"]["succeeded"].number, 1);
    EXPECT_GE(report["counts"]["processStopped"]["succeeded"].number, 1);
    EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), BodyScheduledLine(body, L" (I-Worm.MooDown)")),
              run.lines.end())
        << Describe(run.lines);
}

struct SDriveCase {
    const char* name;
    const wchar_t* arguments;
    std::map<std::string, std::string> drives;
};

void PrintTo(const SDriveCase& row, std::ostream* os) { *os << row.name; }

const SDriveCase kDriveCases[] = {
    {"NetworkOption", L"--network",
     {{"C:", "walked"}, {"D:", "walked"}, {"E:", "cdrom"}, {"N:", "walked"}}},
    {"OnlyTheRemovableDrive", L"--drives D:",
     {{"C:", "not-selected"}, {"D:", "walked"}, {"E:", "not-selected"}, {"N:", "not-selected"}}},
    {"NamedCdromIsStillSkipped", L"--drives=d:,E:",
     {{"C:", "not-selected"}, {"D:", "walked"}, {"E:", "cdrom"}, {"N:", "not-selected"}}},
    {"NamedNetworkDriveNeedsTheOption", L"--drives N:",
     {{"C:", "not-selected"}, {"D:", "not-selected"}, {"E:", "not-selected"}, {"N:", "network"}}},
    {"NamedNetworkDriveWithTheOption", L"--drives N: --network",
     {{"C:", "not-selected"}, {"D:", "not-selected"}, {"E:", "not-selected"}, {"N:", "walked"}}},
};

class ConsoleDrives : public testing::TestWithParam<SDriveCase> {};

TEST_P(ConsoleDrives, AreWalkedAsTheOptionsSay) {
    const SDriveCase& row = GetParam();
    SPlantedMachine machine;
    CPlantedTree reports(L"C:\\kc-cli-report");
    const SConsoleRun run = RunConsole(std::wstring(row.arguments) + L" --report " + reports.Root() + L"\\r.json");
    EXPECT_EQ(run.code, 1u) << run.err;
    EXPECT_EQ(DrivesOf(ReadReport(reports.Root() + L"\\r.json")), row.drives);
    const auto walked = [&](const char* drive) { return row.drives.at(drive) == "walked"; };
    EXPECT_EQ(FileExists(machine.classified), !walked("C:"));
    EXPECT_EQ(FileExists(machine.removable), !walked("D:"));
    EXPECT_EQ(FileExists(machine.network), !walked("N:"));
    EXPECT_TRUE(FileExists(machine.cdrom));
}

INSTANTIATE_TEST_SUITE_P(Options, ConsoleDrives, testing::ValuesIn(kDriveCases),
                         [](const testing::TestParamInfo<SDriveCase>& info) { return info.param.name; });

TEST(ConsoleProgram, GuardOnPrintsItsMessageAndEndsWithTheErrorCode) {
    CScopedRegValue guard(HKEY_LOCAL_MACHINE, kGuardKey, kGuardValue);
    guard.Set(REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF});
    CPlantedTree dir(L"C:\\kc-cli");
    CTracePlanter traces;
    const std::wstring body = dir.Root() + L"\\wupdcli.exe";
    traces.PlantBody(body, kFamilyNetSky);

    const SConsoleRun blocked = RunConsole(L"--drives C:");
    EXPECT_EQ(blocked.code, 2u);
    EXPECT_EQ(blocked.out, "");
    EXPECT_EQ(blocked.err, ToUtf8(Text(17)) + "\r\n");
    EXPECT_TRUE(FileExists(body));

    // The dialog's word, inside another word as the dialog takes it.
    const SConsoleRun allowed = RunConsole(L"--drives C: /xnoguardx");
    EXPECT_EQ(allowed.code, 1u) << allowed.err;
    ASSERT_FALSE(allowed.lines.empty());
    EXPECT_EQ(allowed.lines.front(), Text(34));
    EXPECT_FALSE(FileExists(body));
}

TEST(ConsoleProgram, BadCommandLineAndUnwritableReportEndWithTheErrorCode) {
    const SConsoleRun bad = RunConsole(L"--drivs C:");
    EXPECT_EQ(bad.code, 2u);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("--drivs"), std::string::npos) << bad.err;

    // The scan runs first; the report that cannot be written is an error.
    const SConsoleRun unwritable = RunConsole(L"--drives D: --report C:\\kc-cli-missing\\r.json");
    EXPECT_EQ(unwritable.code, 2u);
    ASSERT_FALSE(unwritable.lines.empty());
    EXPECT_EQ(unwritable.lines.back(), Text(40));
    EXPECT_NE(unwritable.err.find("C:\\kc-cli-missing\\r.json"), std::string::npos) << unwritable.err;

    const SConsoleRun help = RunConsole(L"--help");
    EXPECT_EQ(help.code, 0u);
    EXPECT_NE(help.out.find("--start-full-scan"), std::string::npos);
    EXPECT_NE(help.out.find("Kod wyjścia"), std::string::npos) << "the help is Polish UTF-8";
}

TEST(ConsoleProgram, StartsTheFullProductOnlyWhenAsked) {
    CPlantedTree productDir(L"C:\\kc-fixture-product");
    const std::wstring product = productDir.Root() + L"\\tvx.exe";
    const std::wstring productRan = product + L".ran";
    ASSERT_TRUE(CopyFileW(InstalledMarkerPath().c_str(), product.c_str(), FALSE));
    CScopedRegValue productValue(HKEY_LOCAL_MACHINE, kProductKey, kProductValue);
    productValue.SetString(product);

    const SConsoleRun plain = RunConsole(L"--drives D:");
    EXPECT_EQ(plain.code, 0u);
    EXPECT_EQ(plain.err, ToUtf8(Text(16)) + "\r\n") << "the advice is printed all the same";
    Sleep(1000);
    EXPECT_FALSE(FileExists(productRan)) << "started without --start-full-scan";

    const SConsoleRun asked = RunConsole(L"--drives D: --start-full-scan");
    EXPECT_EQ(asked.code, 0u);
    const auto deadline = std::chrono::steady_clock::now() + CProgramDriver::kUiTimeout;
    while (!FileExists(productRan) && std::chrono::steady_clock::now() < deadline) Sleep(50);
    EXPECT_TRUE(FileExists(productRan)) << "the program named by \"tvxexe\" was not started";
}

}  // namespace
