// The disk stage's benchmark program (driven by bench/run). It maps a host
// directory as drive C: of the simulated machine and runs the disk walk over
// it exactly as the scan thread does: the scan's extension set, the walker,
// the per-file check and the classifier, on a real dialog with a recording
// view. It also hands the rule table and the script markers to the scripts
// that build the tree and the YARA rules, so that those never keep a copy of
// their own that could drift from what the program matches.
//
//   kc_bench rules                       one rule a line: family offset length hex
//   kc_bench markers                     one marker a line: index before after hex
//   kc_bench scan DIR [--findings FILE]  the disk stage over DIR as C:
//
// The scan deletes and repairs what it finds: give it a copy of the tree.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "RecordingView.h"
#include "app/CleanerDlg.h"
#include "platform/sim/SimMachine.h"
#include "scan/RuleTable.h"
#include "scan/ScriptRepair.h"

namespace {

// The extensions RunScan gives the walker (src/app/ScanPipeline.cpp keeps
// them private to the scan thread). bench/run checks that this list still
// equals that one before it trusts a figure.
const char* const kScanExtensions[] = {".htt", ".ini", ".htm", "html", ".php", ".asp", ".vbs", ".hta", ".dat",
                                       ".pif", ".scr", ".tmp", ".dll", ".exe", ".ex$", ".vir", ".zip"};

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

int DumpRules() {
    ForEachRule([](const SignatureRule& rule) {
        std::printf("%d %u %u %s\n", rule.family, rule.offset, rule.length, Hex(rule.bytes, rule.length).c_str());
    });
    return 0;
}

int DumpMarkers() {
    const auto& markers = ScriptMarkers();
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const ScriptMarker& m = markers[i];
        std::printf("%zu %u %u %s\n", i, m.before, m.after,
                    Hex(reinterpret_cast<const std::uint8_t*>(m.text.data()), m.text.size()).c_str());
    }
    return 0;
}

// The simulated machine, counting what the disk stage asks of the file
// system. The counts cost a few increments per call, nothing beside the
// calls themselves, and tell how many system calls a file costs.
class CCountingMachine : public CSimMachine {
public:
    std::uint64_t filesSeen = 0;
    std::uint64_t dirsSeen = 0;
    std::uint64_t opens = 0;
    std::uint64_t reads = 0;
    std::uint64_t bytesRead = 0;

    FindHandle FindFirst(const std::string& pattern, FindData& out, std::int32_t& error) override {
        const FindHandle find = CSimMachine::FindFirst(pattern, out, error);
        if (find != kInvalidFind) Count(out);
        return find;
    }
    bool FindNext(FindHandle find, FindData& out) override {
        const bool more = CSimMachine::FindNext(find, out);
        if (more) Count(out);
        return more;
    }
    std::int32_t OpenForRead(const std::string& path, FileHandle& out) override {
        ++opens;
        return CSimMachine::OpenForRead(path, out);
    }
    std::int32_t ReadAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t length,
                        std::uint32_t& read) override {
        const std::int32_t status = CSimMachine::ReadAt(file, offset, buffer, length, read);
        ++reads;
        bytesRead += read;
        return status;
    }

private:
    void Count(const FindData& entry) {
        if (entry.name == "." || entry.name == "..") return;
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
            ++dirsSeen;
        else
            ++filesSeen;
    }
};

const char* KindName(ActionKind kind) {
    switch (kind) {
        case ActionKind::FileDeleted: return "deleted";
        case ActionKind::FileDeleteScheduled: return "scheduled";
        case ActionKind::FileRepaired: return "repaired";
        case ActionKind::ProcessStopped: return "process-stopped";
        default: return "other";
    }
}

// "C:\a\b.exe" as "a/b.exe", the form the scripts compare.
std::string RelativePath(const std::string& winPath) {
    std::string rel = winPath.size() > 3 && winPath.compare(0, 3, "C:\\") == 0 ? winPath.substr(3) : winPath;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    return rel;
}

double Seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

int Scan(const std::string& dir, const std::string& findingsPath) {
    CCountingMachine machine;
    machine.SetPlatform(VER_PLATFORM_WIN32_NT);
    machine.MapDrive('C', DRIVE_FIXED, dir);
    CRecordingView view;
    CCleanerDlg dlg(machine, view);
    dlg.OnInitDialog();
    for (const char* ext : kScanExtensions) dlg.m_walker.AddExtension(ext);

    rusage before{};
    rusage after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    dlg.m_walker.Walk("C:");
    const auto stop = std::chrono::steady_clock::now();
    getrusage(RUSAGE_SELF, &after);

    const double wall = std::chrono::duration<double>(stop - start).count();
    const double user = Seconds(after.ru_utime) - Seconds(before.ru_utime);
    const double sys = Seconds(after.ru_stime) - Seconds(before.ru_stime);
    const std::vector<Finding> findings = view.Findings();
    const double files = static_cast<double>(machine.filesSeen);

    std::printf("disk stage over %s as C:\n", dir.c_str());
    std::printf("  files seen        %llu in %llu folders\n", static_cast<unsigned long long>(machine.filesSeen),
                static_cast<unsigned long long>(machine.dirsSeen));
    std::printf("  wall time         %.4f s (user %.4f s, system %.4f s)\n", wall, user, sys);
    std::printf("  files per second  %.0f\n", wall > 0 ? files / wall : 0.0);
    std::printf("  opens %llu, reads %llu, bytes read %llu\n", static_cast<unsigned long long>(machine.opens),
                static_cast<unsigned long long>(machine.reads), static_cast<unsigned long long>(machine.bytesRead));
    std::printf("  files left open   %d\n", machine.OpenFileCount());
    std::printf("  findings          %zu\n", findings.size());
    for (const Finding& f : findings)
        std::printf("    %-10s %-22s %s\n", KindName(f.kind), f.family.empty() ? "-" : f.family.c_str(),
                    RelativePath(f.target).c_str());
    for (const std::string& path : machine.RestartDeletions())
        std::printf("    at restart %s\n", RelativePath(path).c_str());
    // One line for bench/run to read.
    std::printf("KC_BENCH wall=%.6f user=%.6f sys=%.6f files=%llu dirs=%llu opens=%llu reads=%llu bytes=%llu "
                "findings=%zu open_left=%d\n",
                wall, user, sys, static_cast<unsigned long long>(machine.filesSeen),
                static_cast<unsigned long long>(machine.dirsSeen), static_cast<unsigned long long>(machine.opens),
                static_cast<unsigned long long>(machine.reads), static_cast<unsigned long long>(machine.bytesRead),
                findings.size(), machine.OpenFileCount());

    if (!findingsPath.empty()) {
        std::ofstream out(findingsPath, std::ios::trunc);
        for (const Finding& f : findings)
            out << KindName(f.kind) << '\t' << (f.family.empty() ? "-" : f.family) << '\t' << RelativePath(f.target)
                << '\n';
        if (!out) {
            std::fprintf(stderr, "kc_bench: cannot write %s\n", findingsPath.c_str());
            return 1;
        }
    }
    return machine.OpenFileCount() == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kc_bench rules\n"
                 "       kc_bench markers\n"
                 "       kc_bench scan DIR [--findings FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "rules" && argc == 2) return DumpRules();
    if (command == "markers" && argc == 2) return DumpMarkers();
    if (command == "scan" && (argc == 3 || (argc == 5 && std::strcmp(argv[3], "--findings") == 0)))
        return Scan(argv[2], argc == 5 ? argv[4] : "");
    return Usage();
}
