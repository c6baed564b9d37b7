// What a run changed on the simulated machine, set against what its result
// log says it changed. A test captures the machine before and after a run;
// the audit then demands that every finding stands for a change the machine
// shows, and that every change the machine shows has its finding. Fault
// sweeps rely on it: whatever call fails, no line may claim a step that did
// not happen, and nothing may happen without its line.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "RecordingView.h"
#include "app/View.h"
#include "platform/sim/SimMachine.h"

struct SMachineState {
    // Keys are lower case; registry paths start with the root's name
    // ("hkey_local_machine\software\..."), HKEY_CLASSES_ROOT folded into
    // its place under HKEY_LOCAL_MACHINE.
    std::map<std::string, std::string> files;   // Windows path -> content
    std::set<std::string> keys;                  // key path
    std::map<std::string, std::string> values;   // key path + "\" + value name -> type and data
    struct Process {
        std::string path;  // the module path, or the snapshot's name when it cannot be read
        std::string name;
    };
    std::map<std::uint32_t, Process> running;   // by process id
    std::set<std::string> restartDeletions;      // lower-case paths
};

// Reads the machine through its own seam: the drives given (letters), the
// registry under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, the running
// processes, the deletions scheduled for restart. Faults must be cleared.
SMachineState CaptureMachine(CSimMachine& machine, const std::string& driveLetters = "C");

struct SAuditOptions {
    // Registry keys (as in the findings: "HKEY_LOCAL_MACHINE\...") whose
    // subtree may vanish without a line of its own: whole keys deleted by a
    // restore group write no line.
    std::vector<std::string> silentKeys;
    // Files that may appear, change or vanish without a line.
    std::vector<std::string> silentFiles;
};

// Adds a test failure for each finding the machine does not bear out and
// for each change that has no finding. `context` names the run in messages.
void AuditRun(const SMachineState& before, const SMachineState& after, const std::vector<Finding>& findings,
              const SAuditOptions& options = {}, const std::string& context = "");

// One injected fault of a sweep.
struct SFault {
    std::string op;  // a seam operation, as CSimMachine::FailCall names it
    int nth = 1;
    bool persistent = false;
    std::int32_t error = 5;  // ERROR_ACCESS_DENIED
};

// Every operation of the seam that the scan's stages call.
const std::vector<std::string>& AllSweptCalls();

// For each operation and each error, fails its call 1, 2, 3, ... (once, and
// from then on) until a run no longer reaches the fault. `run` builds a
// fresh machine, installs the fault, runs, audits and returns how many
// faults fired. The run without any fault is made first and must audit clean.
void SweepFaults(const std::vector<std::string>& ops, const std::vector<std::int32_t>& errors,
                 const std::function<int(const SFault&)>& run, int maxNth = 400);

// One run of a sweep around `step`: captures the machine, installs `fault`,
// runs the step, clears the fault, and demands of what the step wrote that
// every line is a finding, that the machine bears the findings out and that
// no file is left open. Returns how many faults fired, as SweepFaults wants.
int AuditedFaultRun(CSimMachine& machine, const CRecordingView& view, const SFault& fault,
                    const std::function<void()>& step, const SAuditOptions& options = {});
