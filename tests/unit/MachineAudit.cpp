#include "MachineAudit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sys/Findings.h"
#include "sys/Text.h"

namespace fs = std::filesystem;

namespace {

const std::string kClassesRoot = "hkey_classes_root\\";
const std::string kClassesUnderLocalMachine = "hkey_local_machine\\software\\classes\\";

// The audit's spelling of a finding's registry target.
std::string RegistryId(const std::string& target) {
    std::string id = ToLowerName(target);
    if (id.compare(0, kClassesRoot.size(), kClassesRoot) == 0) {
        id = kClassesUnderLocalMachine + id.substr(kClassesRoot.size());
    }
    return id;
}

bool IsWithin(const std::string& path, const std::string& ancestor) {
    return path == ancestor || (path.size() > ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
                                path[ancestor.size()] == '\\');
}

void CaptureKey(CSimMachine& machine, RegKey key, const std::string& id, SMachineState& state) {
    state.keys.insert(id);
    std::vector<std::uint8_t> data(1 << 16);
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        std::uint32_t type = 0;
        auto size = static_cast<std::uint32_t>(data.size());
        const std::int32_t status = machine.EnumValue(key, index, name, 1 << 14, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size + 1);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        state.values[id + "\\" + ToLowerName(name)] =
            std::to_string(type) + ":" + std::string(data.begin(), data.begin() + size);
    }
    std::vector<std::string> children;
    std::string child;
    for (std::uint32_t index = 0; machine.EnumKey(key, index, child, 1 << 14) == ERROR_SUCCESS; ++index) {
        children.push_back(child);
    }
    for (const std::string& name : children) {
        RegKey sub = 0;
        if (machine.OpenKey(key, name, sub) != ERROR_SUCCESS) continue;
        CaptureKey(machine, sub, id + "\\" + ToLowerName(name), state);
        machine.CloseKey(sub);
    }
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string Stem(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// A stop is logged with the path it was matched by, or with the name; on
// the NT family a name can carry ".exe" whatever the file's real ending.
bool ProcessMatches(const SMachineState::Process& process, const std::string& target) {
    const std::string base = BaseName(target);
    for (const std::string& known : {process.path, process.name}) {
        if (known.empty()) continue;
        if (EqualsNoCase(known, target) || EqualsNoCase(BaseName(known), base) ||
            EqualsNoCase(Stem(BaseName(known)), Stem(base))) {
            return true;
        }
    }
    return false;
}

// "win.ini\windows\run" names the file "C:\WINDOWS\win.ini".
std::string IniFileOf(const std::string& target) {
    std::size_t cut = target.rfind('\\');
    if (cut != std::string::npos) cut = target.rfind('\\', cut - 1);
    const std::string file = cut == std::string::npos ? target : target.substr(0, cut);
    const bool bare = file.find('\\') == std::string::npos && file.find(':') == std::string::npos;
    return ToLowerName(bare ? "C:\\WINDOWS\\" + file : file);
}

bool Silent(const std::vector<std::string>& list, const std::string& id, bool registry) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& entry) {
        const std::string e = registry ? RegistryId(entry) : ToLowerName(entry);
        return registry ? IsWithin(id, e) : id == e;
    });
}

}  // namespace

SMachineState CaptureMachine(CSimMachine& machine, const std::string& driveLetters) {
    SMachineState state;
    for (const char letter : driveLetters) {
        const std::string root = std::string(1, letter) + ":\\";
        const std::string host = machine.HostPath(root);
        if (host.empty()) continue;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(host, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (!it->is_regular_file()) continue;
            std::string relative = fs::relative(it->path(), host).string();
            std::replace(relative.begin(), relative.end(), '/', '\\');
            state.files[ToLowerName(root + relative)] = ReadAll(it->path());
        }
    }
    const std::pair<RegKey, const char*> roots[] = {{winroot::kLocalMachine, "hkey_local_machine"},
                                                    {winroot::kCurrentUser, "hkey_current_user"}};
    for (const auto& [root, name] : roots) {
        RegKey key = 0;
        if (machine.OpenKey(root, "", key) != ERROR_SUCCESS) continue;
        CaptureKey(machine, key, name, state);
        machine.CloseKey(key);
    }
    for (const auto& process : machine.RunningProcesses()) {
        state.running[process.id] = {process.path, BaseName(process.path)};
    }
    for (const std::string& path : machine.RestartDeletions()) state.restartDeletions.insert(ToLowerName(path));
    return state;
}

void AuditRun(const SMachineState& before, const SMachineState& after, const std::vector<Finding>& findings,
              const SAuditOptions& options, const std::string& context) {
    SCOPED_TRACE(context);
    // Only a step that succeeded accounts for a change.
    const auto has = [&](ActionKind kind, const std::function<bool(const Finding&)>& match) {
        return std::any_of(findings.begin(), findings.end(),
                           [&](const Finding& f) { return f.succeeded && f.kind == kind && match(f); });
    };
    const auto changed = [](const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b,
                            const std::string& id) {
        const auto x = a.find(id);
        const auto y = b.find(id);
        if (x == a.end() || y == b.end()) return x != y;
        return x->second != y->second;
    };
    const auto ended = [&](const std::string& target) {
        for (const auto& [id, process] : before.running) {
            if (!after.running.count(id) && ProcessMatches(process, target)) return true;
        }
        return false;
    };

    const auto wasRunning = [&](const std::string& target) {
        return std::any_of(before.running.begin(), before.running.end(),
                           [&](const auto& entry) { return ProcessMatches(entry.second, target); });
    };

    // A step that failed names something that was there and shows no line.
    // That it changed nothing is what the checks of every change below make
    // sure of: only a step that succeeded accounts for a change.
    for (const Finding& f : findings) {
        if (f.succeeded) continue;
        const std::string what = f.target + " (a failed step)";
        EXPECT_TRUE(f.line.empty()) << "a failed step has a line: " << f.line;
        const std::string file = ToLowerName(f.target);
        const std::string reg = RegistryId(f.target);
        switch (f.kind) {
            case ActionKind::FileDeleted:
            case ActionKind::FileRepaired:
                EXPECT_TRUE(before.files.count(file)) << "nothing was there: " << what;
                break;
            case ActionKind::ProcessStopped:
                EXPECT_TRUE(wasRunning(f.target)) << "nothing was running: " << what;
                break;
            case ActionKind::RegistryValueDeleted:
            case ActionKind::RegistryValueRestored:
                EXPECT_TRUE(before.values.count(reg)) << "nothing was there: " << what;
                break;
            case ActionKind::RegistryKeyDeleted:
                EXPECT_TRUE(before.keys.count(reg)) << "nothing was there: " << what;
                break;
            case ActionKind::IniEntryRestored:
                EXPECT_TRUE(before.files.count(IniFileOf(f.target))) << "nothing was there: " << what;
                break;
            case ActionKind::FileDeleteScheduled:
            case ActionKind::InfectedFileReported:
                ADD_FAILURE() << "a step of this kind cannot fail: " << what;
                break;
        }
    }

    // Every finding stands for a change the machine shows.
    for (const Finding& f : findings) {
        if (!f.succeeded) continue;
        const std::string file = ToLowerName(f.target);
        const std::string reg = RegistryId(f.target);
        switch (f.kind) {
            case ActionKind::FileDeleted:
                EXPECT_TRUE(before.files.count(file) && !after.files.count(file))
                    << "not deleted by this run: " << f.line;
                break;
            case ActionKind::FileDeleteScheduled:
                EXPECT_TRUE(after.restartDeletions.count(file)) << "not scheduled: " << f.line;
                break;
            case ActionKind::FileRepaired:
                EXPECT_TRUE(before.files.count(file) && after.files.count(file) && changed(before.files, after.files, file))
                    << "not repaired: " << f.line;
                break;
            case ActionKind::ProcessStopped:
                EXPECT_TRUE(ended(f.target)) << "no such process ended: " << f.line;
                break;
            case ActionKind::RegistryValueDeleted:
                EXPECT_TRUE(before.values.count(reg) && !after.values.count(reg)) << "not deleted: " << f.line;
                break;
            case ActionKind::RegistryValueRestored:
                EXPECT_TRUE(after.values.count(reg) && changed(before.values, after.values, reg))
                    << "not restored: " << f.line;
                break;
            case ActionKind::RegistryKeyDeleted:
                EXPECT_TRUE(before.keys.count(reg) && !after.keys.count(reg)) << "not deleted: " << f.line;
                break;
            case ActionKind::IniEntryRestored:
                EXPECT_TRUE(changed(before.files, after.files, IniFileOf(f.target))) << "not rewritten: " << f.line;
                break;
            case ActionKind::InfectedFileReported:
                break;  // names a file and claims nothing done to it
        }
    }

    // Every change the machine shows has its finding.
    const auto keyReported = [&](const std::string& id) {
        return has(ActionKind::RegistryKeyDeleted, [&](const Finding& f) { return IsWithin(id, RegistryId(f.target)); }) ||
               Silent(options.silentKeys, id, true);
    };
    const auto restoredAs = [&](const std::string& id) {
        return has(ActionKind::RegistryValueRestored, [&](const Finding& f) { return RegistryId(f.target) == id; });
    };
    for (const auto& [id, content] : before.files) {
        if (Silent(options.silentFiles, id, false)) continue;
        if (!after.files.count(id)) {
            EXPECT_TRUE(has(ActionKind::FileDeleted, [&](const Finding& f) { return ToLowerName(f.target) == id; }))
                << id << " vanished without a line";
        } else if (after.files.at(id) != content) {
            EXPECT_TRUE(has(ActionKind::FileRepaired, [&](const Finding& f) { return ToLowerName(f.target) == id; }) ||
                        has(ActionKind::IniEntryRestored, [&](const Finding& f) { return IniFileOf(f.target) == id; }))
                << id << " changed without a line";
        }
    }
    for (const auto& [id, content] : after.files) {
        if (!before.files.count(id) && !Silent(options.silentFiles, id, false)) {
            ADD_FAILURE() << id << " was left behind by the run";
        }
    }
    for (const std::string& id : after.restartDeletions) {
        if (before.restartDeletions.count(id)) continue;
        EXPECT_TRUE(has(ActionKind::FileDeleteScheduled, [&](const Finding& f) { return ToLowerName(f.target) == id; }))
            << id << " was scheduled for deletion without a line";
    }
    for (const auto& [pid, process] : before.running) {
        if (after.running.count(pid)) continue;
        EXPECT_TRUE(has(ActionKind::ProcessStopped, [&](const Finding& f) { return ProcessMatches(process, f.target); }))
            << process.path << " was stopped without a line";
    }
    for (const auto& [id, data] : before.values) {
        if (!after.values.count(id)) {
            EXPECT_TRUE(has(ActionKind::RegistryValueDeleted, [&](const Finding& f) { return RegistryId(f.target) == id; }) ||
                        keyReported(id.substr(0, id.rfind('\\'))))
                << id << " was deleted without a line";
        } else if (after.values.at(id) != data) {
            EXPECT_TRUE(restoredAs(id) || Silent(options.silentKeys, id, true)) << id << " was changed without a line";
        }
    }
    for (const auto& [id, data] : after.values) {
        if (before.values.count(id)) continue;
        EXPECT_TRUE(restoredAs(id) || Silent(options.silentKeys, id, true)) << id << " was written without a line";
    }
    for (const std::string& id : before.keys) {
        if (!after.keys.count(id)) {
            EXPECT_TRUE(keyReported(id)) << id << " was deleted without a line";
        }
    }
    for (const std::string& id : after.keys) {
        if (before.keys.count(id)) continue;
        EXPECT_TRUE(Silent(options.silentKeys, id, true)) << id << " was created without a line";
    }
}

const std::vector<std::string>& AllSweptCalls() {
    static const std::vector<std::string> calls = {
        "WindowsDirectory", "SystemDirectory",  "ComputerName",     "GetProfileText",       "WriteProfileText",
        "CacheFindFirst",   "CacheFindNext",    "CacheDeleteEntry", "OpenKey",              "CreateKey",
        "QueryValue",       "SetValue",         "SetKeyDefault",    "EnumValue",            "EnumKey",
        "DeleteKey",        "DeleteValue",      "DriveType",        "FindFirst",            "FindNext",
        "OpenForRead",      "CreateForWrite",   "ReadAt",           "WriteTo",              "FileInfo",
        "GetAttributes",    "SetAttributes",    "RemoveFile",       "RemoveAtRestart",      "RenameFile",
        "ProcessSnapshot",  "OpenProcess",      "TerminateProcess", "FirstModuleFileName",  "OpenProcessToken",
        "LookupPrivilege",  "AdjustTokenPrivilege"};
    return calls;
}

void SweepFaults(const std::vector<std::string>& ops, const std::vector<std::int32_t>& errors,
                 const std::function<int(const SFault&)>& run, int maxNth) {
    {
        SCOPED_TRACE("no fault");
        EXPECT_EQ(run(SFault{"none", 1, true, ERROR_ACCESS_DENIED}), 0);
    }
    for (const std::string& op : ops) {
        for (const std::int32_t error : errors) {
            for (const bool persistent : {false, true}) {
                int nth = 1;
                for (; nth <= maxNth; ++nth) {
                    std::ostringstream trace;
                    trace << op << " #" << nth << (persistent ? " and after" : " once") << ", error " << error;
                    SCOPED_TRACE(trace.str());
                    if (run(SFault{op, nth, persistent, error}) == 0) break;
                    if (testing::Test::HasFatalFailure()) return;
                }
                EXPECT_LE(nth, maxNth) << op << " was still reached after " << maxNth << " calls";
            }
        }
    }
}

int AuditedFaultRun(CSimMachine& machine, const CRecordingView& view, const SFault& fault,
                    const std::function<void()>& step, const SAuditOptions& options) {
    const std::size_t linesBefore = view.Log().size();
    const std::size_t findingsBefore = view.Findings().size();
    const std::size_t allBefore = view.AllFindings().size();
    const SMachineState before = CaptureMachine(machine);

    machine.FailCall(fault.op, "", fault.error, fault.nth, fault.persistent);
    step();
    const int fired = machine.FaultsFired();
    machine.ClearFaults();

    EXPECT_EQ(view.Log().size() - linesBefore, view.Findings().size() - findingsBefore) << "every line is a finding";
    const auto all = view.AllFindings();
    AuditRun(before, CaptureMachine(machine),
             std::vector<Finding>(all.begin() + static_cast<std::ptrdiff_t>(allBefore), all.end()), options);
    EXPECT_EQ(machine.OpenFileCount(), 0);
    return fired;
}
