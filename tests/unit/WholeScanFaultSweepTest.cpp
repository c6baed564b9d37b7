// Fault sweeps over a whole scan of a machine carrying every family's
// traces. For each operation of the seam and each way it can fail, call
// N = 1, 2, 3, ... of it fails (once, and for the access error also from N
// on) until a scan no longer reaches call N. After every such scan: it
// ended, its last line is the disk stage's end, every line that reports a
// change stands for a change the machine shows and every change has its
// line, no file is left open, and the infected page is either as it was or
// wholly repaired.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "InfectedMachine.h"

using namespace infected;

namespace {

struct SweptCall {
    const char* op;
    std::vector<std::int32_t> errors;  // the first also fails from N on
};

const std::int32_t kShort = CSimMachine::kShortTransfer;

// Every operation a scan calls, with the failures the system really gives
// for it. The scan thread's own start is not swept: without it there is no
// scan, and the dialog's answer to that is tested on its own.
const SweptCall kSweptCalls[] = {
    {"OpenKey", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}},
    {"QueryValue", {ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_FILE_NOT_FOUND}},
    {"EnumValue", {ERROR_ACCESS_DENIED, ERROR_MORE_DATA}},
    {"EnumKey", {ERROR_ACCESS_DENIED, ERROR_MORE_DATA}},
    {"SetValue", {ERROR_ACCESS_DENIED}},
    {"SetKeyDefault", {ERROR_ACCESS_DENIED}},
    {"DeleteKey", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}},
    {"DeleteValue", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}},
    {"OpenForRead", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_FILE_NOT_FOUND}},
    {"CreateForWrite", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
    {"ReadAt", {ERROR_ACCESS_DENIED, kShort}},
    {"WriteTo", {ERROR_DISK_FULL, kShort}},
    {"FileInfo", {ERROR_ACCESS_DENIED}},
    {"GetAttributes", {ERROR_ACCESS_DENIED}},
    {"SetAttributes", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}},
    {"RemoveFile", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
    {"RemoveAtRestart", {ERROR_ACCESS_DENIED}},
    {"RenameFile", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
    {"FindFirst", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}},
    {"FindNext", {ERROR_ACCESS_DENIED}},
    {"DriveType", {ERROR_ACCESS_DENIED}},
    {"ProcessSnapshot", {ERROR_ACCESS_DENIED, ERROR_MORE_DATA}},
    {"OpenProcess", {ERROR_ACCESS_DENIED}},
    {"TerminateProcess", {ERROR_ACCESS_DENIED}},
    {"FirstModuleFileName", {ERROR_ACCESS_DENIED}},
    {"OpenProcessToken", {ERROR_ACCESS_DENIED}},
    {"LookupPrivilege", {ERROR_ACCESS_DENIED}},
    {"AdjustTokenPrivilege", {ERROR_ACCESS_DENIED}},
    {"WindowsDirectory", {ERROR_ACCESS_DENIED}},
    {"SystemDirectory", {ERROR_ACCESS_DENIED}},
    {"ComputerName", {ERROR_ACCESS_DENIED}},
    {"GetProfileText", {ERROR_ACCESS_DENIED}},
    {"WriteProfileText", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
    {"CacheFindFirst", {ERROR_ACCESS_DENIED, ERROR_INSUFFICIENT_BUFFER, ERROR_NO_MORE_ITEMS}},
    {"CacheFindNext", {ERROR_ACCESS_DENIED, ERROR_INSUFFICIENT_BUFFER}},
    {"CacheDeleteEntry", {ERROR_ACCESS_DENIED}},
};

void PrintTo(const SweptCall& c, std::ostream* os) { *os << c.op; }

std::string HostText(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One scan with one fault; returns how many times the fault fired.
int ScanWithFault(std::uint32_t platform, const SFault& fault) {
    CInfectedMachine m(platform);
    CSimMachine& machine = m.b.t.machine;
    const std::string page = machine.HostPath("C:\\Dokumenty\\index.htm");
    const std::string pageBefore = HostText(page);
    const SMachineState before = CaptureMachine(machine);

    machine.FailCall(fault.op, "", fault.error, fault.nth, fault.persistent);
    const bool finished = m.b.t.Scan();
    const int fired = machine.FaultsFired();
    machine.ClearFaults();

    EXPECT_TRUE(finished) << "the scan did not end";
    if (!finished) return 0;
    const std::vector<std::string> log = m.b.Log();
    EXPECT_TRUE(!log.empty() && log.back() == T(IDS_STAGE_DISKS_DONE)) << (log.empty() ? "" : log.back());
    AuditRun(before, CaptureMachine(machine), m.b.AllFindings(), AuditOptionsFor(m));
    EXPECT_EQ(machine.OpenFileCount(), 0);
    // The repair swaps a whole repaired copy in, or leaves the page alone.
    const std::string pageAfter = HostText(page);
    EXPECT_TRUE(pageAfter == pageBefore || pageAfter == CutScriptMarkers(pageBefore).text)
        << "the page is neither the original nor wholly repaired";
    return fired;
}

class WholeScanFaultSweep : public testing::TestWithParam<std::tuple<std::uint32_t, SweptCall>> {};

}  // namespace

TEST_P(WholeScanFaultSweep, EndsAndNoLineClaimsAFailedStep) {
    const auto& [platform, call] = GetParam();
    for (std::size_t e = 0; e < call.errors.size(); ++e) {
        for (const bool persistent : {false, true}) {
            // Failing from N on is swept with the first error only: the
            // later calls then fail alike whatever the error.
            if (persistent && e > 0) continue;
            int nth = 1;
            for (; nth <= 2000; ++nth) {
                SCOPED_TRACE(std::string(call.op) + " #" + std::to_string(nth) + (persistent ? " and after" : " once") +
                             ", error " + std::to_string(call.errors[e]));
                if (ScanWithFault(platform, SFault{call.op, nth, persistent, call.errors[e]}) == 0) break;
                if (HasFailure()) return;  // one failing run tells; the rest would repeat it
            }
            EXPECT_LE(nth, 2000) << call.op << " was still reached";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, WholeScanFaultSweep,
                         testing::Combine(testing::Values(NT, W9X), testing::ValuesIn(kSweptCalls)),
                         [](const auto& info) {
                             return PlatformName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).op;
                         });
