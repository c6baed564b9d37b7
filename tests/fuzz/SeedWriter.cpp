// Writes the fuzz targets' seed corpora: small valid inputs of each reader
// and damaged variants of them, made from the program's own tables (the
// rule windows, the script markers) and from the simulated machine's
// performance data, so that the fuzzers start inside the formats instead of
// at random bytes. Run it once when a format or table changes and check the
// output in (tests/fuzz/corpus).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "../unit/PeFixture.h"
#include "platform/sim/SimMachine.h"
#include "scan/RuleTable.h"
#include "scan/ScriptRepair.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

std::string Place(std::string file, std::size_t offset, const std::string& bytes) {
    if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size(), '\0');
    file.replace(offset, bytes.size(), bytes);
    return file;
}

void ClassifierSeeds(const fs::path& dir) {
    Write(dir, "pe-plain", CPeFixture{}.Bytes());
    Write(dir, "pe-tanatos", TanatosFixture().Bytes());
    Write(dir, "pe-bagle-n", BagleNFixture().Bytes());
    CPeFixture wild = TanatosFixture();
    wild.m_numberOfSections = 0xFFFF;
    wild.m_sizeOfHeaders = 0xFFFFFFFF;
    Write(dir, "pe-lying-counts", wild.Bytes());
    // e_lfanew pointing far past the end of the file.
    Write(dir, "pe-headers-past-end", Place(BagleNFixture().Bytes(), 60, std::string("\xF0\xFF\xFF\x7F", 4)));
    Write(dir, "pe-truncated", TanatosFixture().Bytes().substr(0, 0x120));
    Write(dir, "mz-only", std::string("MZ") + std::string(62, '\0'));
    // Every window whose file stays small; the far ones are reached by the
    // fuzzer from these.
    int n = 0;
    ForEachRule([&](const SignatureRule& rule) {
        ++n;
        if (rule.offset + rule.length > 16384) return;
        const std::string window(reinterpret_cast<const char*>(rule.bytes), rule.length);
        Write(dir, "rule-" + std::to_string(n), Place(std::string(), rule.offset, window));
        // One byte short: the missing byte reads as zero.
        Write(dir, "rule-" + std::to_string(n) + "-short",
              Place(std::string(), rule.offset, window).substr(0, rule.offset + rule.length - 1));
    });
}

void ScriptSeeds(const fs::path& dir) {
    const std::string page = "<html><head><title>x</title></head>\r\n<body>\r\n<p>text</p>\r\n</body></html>\r\n";
    int n = 0;
    for (const ScriptMarker& marker : ScriptMarkers()) {
        const std::string m(marker.text);
        const std::string id = std::to_string(n++);
        Write(dir, "marker-" + id + "-in-page", page.substr(0, 40) + m + page.substr(40));
        Write(dir, "marker-" + id + "-at-start", m + page);
        Write(dir, "marker-" + id + "-at-end", page + m);
        Write(dir, "marker-" + id + "-after-zero", page + std::string(1, '\0') + m);
        Write(dir, "marker-" + id + "-cut-short", page + m.substr(0, m.size() / 2));
    }
    Write(dir, "plain-page", page);
}

void PerfSeeds(const fs::path& dir) {
    CSimMachine machine;
    for (const char* path : {"C:\\WINDOWS\\explorer.exe", "C:\\WINDOWS\\System32\\svchost.exe",
                             "C:\\WINDOWS\\a-name-of-some-length-to-reach-the-buffer-limit-of-the-parser.exe"}) {
        machine.StartProcess(path);
    }
    const std::vector<std::uint8_t> block = machine.PerformanceData();
    const std::string bytes(block.begin(), block.end());
    Write(dir, "block", bytes);
    Write(dir, "block-truncated", bytes.substr(0, bytes.size() / 2));
    Write(dir, "block-header-only", bytes.substr(0, 88));
    static const char kCounters[] = "1\0" "1847\0" "230\0Process\0" "784\0ID Process\0";
    Write(dir, "counters", std::string(kCounters, sizeof kCounters - 1));
}

void RunCommandSeeds(const fs::path& dir) {
    const std::string windows = "C:\\WINDOWS";
    const std::string system = "C:\\WINDOWS\\System32";
    const auto input = [&](char settings, const std::string& command, const std::string& value,
                           const std::vector<std::string>& names) {
        std::string s(1, settings);
        s += command + '\0' + windows + '\0' + system + '\0' + value;
        for (const std::string& name : names) s += '\0' + name;
        return s;
    };
    Write(dir, "quoted-args", input(0, "\"C:\\WINDOWS\\x.exe\" -arg", "Loader", {"x.exe", "y.exe"}));
    Write(dir, "bare-name", input(2, "msblast.exe", "windows auto update", {"msblast.exe"}));
    Write(dir, "exe-rule", input(1, "C:\\Program Files\\a.exe.b.exe -x", "App", {"b.exe"}));
    Write(dir, "no-extension", input(0, "C:\\tools\\runner", "Runner", {"runner"}));
    Write(dir, "short-dot", input(0, "C:\\a.js", "a", {"a.js"}));
    Write(dir, "placeholder", input(4, "%systemroot%\\maja.exe -antivirus service", "Antivirus", {"maja.exe"}));
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

void GifSeeds(const fs::path& dir, const fs::path& builtIn) {
    // 2 x 2, two global colours.
    const std::string head = std::string("GIF89a") + Bytes({2, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    const std::string control = Bytes({0x21, 0xF9, 4, 0x08, 10, 0, 0, 0});  // disposal 2, 100 ms
    const std::string image = Bytes({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 2, 0x44, 0x01, 0});
    const std::string local = Bytes({0x2C, 1, 0, 1, 0, 1, 0, 1, 0, 0x80, 0, 0, 0, 0xFF, 0, 0, 2, 2, 0x44, 0x01, 0});
    const std::string comment = Bytes({0x21, 0xFE, 3, 'k', 'c', '!', 0});
    const std::string loop = Bytes({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    const std::string text = Bytes({0x21, 0x01, 12, 0, 0, 0, 0, 2, 0, 2, 0, 1, 1, 0, 1, 2, 'h', 'i', 0});
    const std::string end = Bytes({0x3B});
    Write(dir, "one-frame", head + image + end);
    Write(dir, "animated", head + loop + control + image + comment + control + local + control + text + end);
    Write(dir, "no-trailer", head + control + image);
    Write(dir, "cut-in-a-block", (head + control + image).substr(0, head.size() + control.size() + 9));
    Write(dir, "gif87a", std::string("GIF87a") + head.substr(6) + image + end);
    std::ifstream in(builtIn, std::ios::binary);
    if (in) Write(dir, "built-in-banner", std::string(std::istreambuf_iterator<char>(in), {}));
}

void IndexSeeds(const fs::path& dir) {
    Write(dir, "two-lines", "banner7.vir\r\nhttp://www.kestro.pl/oferta\r\n");
    Write(dir, "lf-and-runs", "\n\n\rbanner7.vir\n\r\n\nhttps://www.kestro.pl/\n");
    Write(dir, "one-line", "banner7.vir");
    Write(dir, "path-in-name", "..\\..\\WINDOWS\\evil.vir\r\nfile:///C:/WINDOWS/system32/cmd.exe\r\n");
    Write(dir, "zero-inside", std::string("banner7.vir\r\nhttp://a/\0more\r\n", 28));
    Write(dir, "utf8-name", u8"baner-żółw.vir\r\nhttp://www.kestro.pl/\r\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CORPUS-DIR BUILT-IN-BANNER.gif\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    ClassifierSeeds(root / "classifier");
    ScriptSeeds(root / "script_cutter");
    PerfSeeds(root / "perf_data");
    RunCommandSeeds(root / "run_command");
    GifSeeds(root / "gif_walker", argv[2]);
    IndexSeeds(root / "banner_index");
    return 0;
}
