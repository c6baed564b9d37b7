#include "FuzzEntries.h"

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/AutostartChecks.h"
#include "cleaners/CleanerPattern.h"
#include "scan/PeChecks.h"
#include "scan/RuleTable.h"
#include "scan/ScriptRepair.h"
#include "sys/PerfData.h"
#include "sys/Text.h"
#include "ui/BannerIndex.h"
#include "ui/GifBlocks.h"

namespace {

// A broken promise is a crash, whatever the build: the fuzzer must see it.
void Require(bool holds) {
    if (!holds) std::abort();
}

// Splits an input into fields at zero bytes, so that one input can carry
// several strings (a value's name and data, registered names, ...).
std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size, std::size_t max) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && fields.size() < max) {
            fields.emplace_back();
        } else {
            fields.back().push_back(static_cast<char>(data[i]));
        }
    }
    return fields;
}

}  // namespace

void FuzzClassifier(const std::uint8_t* data, std::size_t size) {
    // The classifier hands the pre-checks its one read of the file's start;
    // a read that comes back short has met the end of the file.
    const CMemoryFileBytes file(data, size);
    static std::uint8_t block[pe::kMaxHeaderBlock];
    if (IsDosExecutable(data, size)) {
        const PeVerdict verdict = ProbeExecutable(file, data, block);
        Require(verdict == PeVerdict::None || verdict == PeVerdict::BagleN || verdict == PeVerdict::Tanatos);
    }
    const int family = MatchRules(data, size);
    Require(family >= 0 && family <= 21);
    // Bytes past the end read as zeros: a copy padded with zeros to the
    // whole span gets the same verdict.
    if (size < kRuleSpan) {
        static std::uint8_t padded[kRuleSpan];
        std::memset(padded, 0, sizeof padded);
        if (size) std::memcpy(padded, data, size);
        Require(MatchRules(padded, kRuleSpan) == family);
    }
}

void FuzzScriptCutter(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const ScriptCut cut = CutScriptMarkers(content);
    Require(cut.cuts >= 0 && cut.cuts <= kMaxScriptCuts);
    if (cut.cuts == 0) {
        Require(cut.text == content);
        return;
    }
    // A repair only ever removes, and never touches what lies from the
    // first zero byte on.
    Require(cut.text.size() < content.size());
    const std::size_t zero = content.find('\0');
    if (zero != std::string_view::npos) {
        const std::string_view tail = content.substr(zero);
        Require(cut.text.size() >= tail.size() &&
                std::string_view(cut.text).substr(cut.text.size() - tail.size()) == tail);
    }
}

void FuzzPerfData(const std::uint8_t* data, std::size_t size) {
    // The index the system's counter list gives "ID Process"; the fuzzer
    // reaches other indexes by changing the block's counter definitions.
    constexpr std::uint32_t kIdProcessCounter = 784;
    const auto processes = ParsePerfProcesses(data, size, kIdProcessCounter, 256);
    Require(processes.size() <= 256);
    for (const PerfProcess& p : processes) Require(p.name.size() < perf::kNameBuffer + 8);
    const auto indexes = ParsePerfCounterNames(std::string(reinterpret_cast<const char*>(data), size));
    if (indexes.found) Require(!indexes.processObject.empty());
}

void FuzzRunCommand(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    // First byte: the cleaner's settings; then, at zero bytes, the data,
    // the Windows and the system directory, the value's name and the
    // registered names.
    const std::uint8_t settings = data[0];
    const std::vector<std::string> fields = Fields(data + 1, size - 1, 12);
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    const RunTrimRule trim = (settings & 1) ? RunTrimRule::Exe : RunTrimRule::Dot;
    const RunBaseDir base = static_cast<RunBaseDir>((settings >> 1) % 3);
    const std::string command = field(0);

    const std::string path = NormalizeRunCommand(command, trim, base, field(1), field(2));
    // Arguments are cut, never added: what remains comes from the command
    // and, for a bare name, the base directory in front of it.
    Require(path.empty() || path.find(":\\") != std::string::npos || base == RunBaseDir::None ||
            path.size() <= command.size() + 1 + std::max(field(1).size(), field(2).size()));
    // What the trim sees is the command without its quotes.
    std::string unquoted = command;
    if (!unquoted.empty() && unquoted.front() == '"') {
        unquoted.erase(0, 1);
        if (!unquoted.empty()) unquoted.pop_back();
    }
    if (!path.empty() && trim == RunTrimRule::Dot && unquoted.find('.') != std::string::npos) {
        Require(path.size() >= 4 && path[path.size() - 4] == '.');
    }
    if (!path.empty() && trim == RunTrimRule::Exe && unquoted.find(".exe") != std::string::npos) {
        Require(path.size() >= 4 && EqualsNoCase(std::string_view(path).substr(path.size() - 4), ".exe"));
    }

    const std::string lower = ToLowerName(command);
    const std::string file = RunFilePart(lower);
    Require(file.empty() || (file.size() >= 4 && file[file.size() - 4] == '.'));
    Require(file.find('\\') == std::string::npos);

    std::vector<std::string> names;
    for (std::size_t i = 4; i < fields.size(); ++i) names.push_back(fields[i]);
    const std::size_t match = MatchRegistered(names, field(3), lower);
    Require(match <= names.size());
    if (match < names.size()) {
        Require(!names[match].empty());
        Require(EqualsNoCase(names[match], field(3)) || lower.find(names[match]) != std::string::npos);
    }
}

void FuzzGifWalker(const std::uint8_t* data, std::size_t size) {
    GifScreen screen;
    if (!ReadGifScreen(data, size, screen)) return;
    Require(screen.firstBlock <= size);
    const std::size_t frames = CountGifFrames(data, size, screen);
    Require(frames <= gif::kMaxFrames);
    // Walk the frames as the banner control does, copying each out.
    std::size_t pos = screen.firstBlock;
    std::size_t seen = 0;
    GifFrame frame;
    while (seen < gif::kMaxFrames && ExtractFrame(data, size, screen, pos, frame)) {
        ++seen;
        Require(frame.start <= frame.body && frame.body < frame.end && frame.end <= size && pos <= size);
        const std::vector<std::uint8_t> copy = MakeFrameGif(data, size, screen, frame);
        if (!copy.empty()) {
            // The copy is a GIF of its own with exactly this one frame.
            GifScreen own;
            Require(ReadGifScreen(copy.data(), copy.size(), own));
            Require(CountGifFrames(copy.data(), copy.size(), own) == 1);
        }
        Require(FrameWaitMilliseconds(frame.delay) > 0);
    }
    Require(seen == frames);
}

void FuzzBannerIndex(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = SplitIndexText(data, size);
    std::size_t total = 0;
    for (const std::string& line : lines) {
        Require(!line.empty() && line.find_first_of("\r\n") == std::string::npos && line.find('\0') == std::string::npos);
        total += line.size();
    }
    Require(total <= size);
    if (lines.empty()) return;
    std::string stem;
    if (BannerStem(lines[0], stem)) {
        // A stem names a file inside the banner directory and nowhere else.
        Require(!stem.empty() && stem.find_first_of("\\/:") == std::string::npos);
        const std::string local = LocalBannerPath("C:\\KESTRO", stem);
        Require(local.rfind("C:\\KESTRO\\", 0) == 0 && local.find('\\', 11) == std::string::npos);
    }
    if (lines.size() > 1 && IsWebAddress(lines[1])) {
        Require(lines[1].rfind("http://", 0) == 0 || lines[1].rfind("https://", 0) == 0 ||
                EqualsNoCase(lines[1].substr(0, 7), "http://") || EqualsNoCase(lines[1].substr(0, 8), "https://"));
    }
}

const std::vector<FuzzTarget>& FuzzTargets() {
    static const std::vector<FuzzTarget> targets = {
        {"classifier", &FuzzClassifier},
        {"script_cutter", &FuzzScriptCutter},
        {"perf_data", &FuzzPerfData},
        {"run_command", &FuzzRunCommand},
        {"gif_walker", &FuzzGifWalker},
        {"banner_index", &FuzzBannerIndex},
    };
    return targets;
}
