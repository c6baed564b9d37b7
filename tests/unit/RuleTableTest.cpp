// The rule matcher over a buffer holding a file's start: every rule found
// where it belongs and nowhere else, bytes past the file's end as zeros, and
// the highest family winning.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scan/RuleTable.h"

namespace {

struct RuleCase {
    int family;
    std::uint32_t offset;
    std::string bytes;
    std::size_t index;  // position in the table, for the test's name
};

std::vector<RuleCase> AllRules() {
    std::vector<RuleCase> rules;
    ForEachRule([&](const SignatureRule& rule) {
        rules.push_back({rule.family, rule.offset,
                         std::string(reinterpret_cast<const char*>(rule.bytes), rule.length), rules.size()});
    });
    return rules;
}

// A file of zeros, `size` bytes long, with `bytes` at `offset`.
std::string ZerosWith(std::size_t size, std::size_t offset, const std::string& bytes) {
    std::string file(std::max(size, offset + bytes.size()), '\0');
    file.replace(offset, bytes.size(), bytes);
    file.resize(size);
    return file;
}

int Match(const std::string& file) {
    return MatchRules(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
}

std::size_t TrailingZeros(const std::string& bytes) {
    std::size_t n = 0;
    while (n < bytes.size() && bytes[bytes.size() - 1 - n] == '\0') ++n;
    return n;
}

}  // namespace

class RuleWindow : public testing::TestWithParam<RuleCase> {};

TEST_P(RuleWindow, MatchesAtItsOffsetOnly) {
    const RuleCase& rule = GetParam();
    const std::size_t end = rule.offset + rule.bytes.size();
    EXPECT_EQ(Match(ZerosWith(end, rule.offset, rule.bytes)), rule.family);
    EXPECT_EQ(Match(ZerosWith(end + 100, rule.offset, rule.bytes)), rule.family);
    // Neighbouring offsets are other rules' business.
    EXPECT_EQ(Match(ZerosWith(end + 1, rule.offset + 1, rule.bytes)), 0);
    EXPECT_EQ(Match(ZerosWith(end, rule.offset - 1, rule.bytes)), 0);
    // Every byte counts, the first and the last alike.
    for (std::size_t at : {std::size_t{0}, rule.bytes.size() - 1}) {
        std::string damaged = rule.bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        EXPECT_EQ(Match(ZerosWith(end, rule.offset, damaged)), 0) << "byte " << at << " changed";
    }
}

TEST_P(RuleWindow, BytesPastTheEndOfTheFileCountAsZero) {
    const RuleCase& rule = GetParam();
    const std::size_t end = rule.offset + rule.bytes.size();
    // The whole window stays in memory; only the length given says where
    // the file ends. Cut the file where the window's trailing zeros begin:
    // it still matches. Cut one byte earlier and a non-zero byte is missing.
    const std::string full = ZerosWith(end, rule.offset, rule.bytes);
    const auto* data = reinterpret_cast<const std::uint8_t*>(full.data());
    const std::size_t zeros = TrailingZeros(rule.bytes);
    EXPECT_EQ(MatchRules(data, end - zeros), rule.family);
    EXPECT_EQ(MatchRules(data, end - zeros - 1), 0);
    EXPECT_EQ(MatchRules(data, rule.offset), 0) << "a file that ends where the window starts";
}

INSTANTIATE_TEST_SUITE_P(Table, RuleWindow, testing::ValuesIn(AllRules()), [](const auto& info) {
    return "Family" + std::to_string(info.param.family) + "At" + std::to_string(info.param.offset) + "Row" +
           std::to_string(info.param.index);
});

TEST(RuleTable, AWindowStraddlingTheEndMatchesWhenItsMissingBytesAreZeros) {
    // Bagle's window at 512 ends in a zero byte (the terminator of the last
    // library name), so a file that stops just before that byte is a body.
    const std::string window("go154o.exe\0user32.dll\0wsock.dll", 31);
    EXPECT_EQ(Match(ZerosWith(512 + 31, 512, window)), 10);
    EXPECT_EQ(Match(ZerosWith(512 + 30, 512, window)), 0);
}

TEST(RuleTable, SeveralFamiliesGiveTheHighestCode) {
    const std::vector<RuleCase> rules = AllRules();
    int pairs = 0;
    for (const RuleCase& a : rules) {
        for (const RuleCase& b : rules) {
            const bool overlap = a.offset < b.offset + b.bytes.size() && b.offset < a.offset + a.bytes.size();
            if (&a == &b || overlap) continue;
            std::string file(kRuleSpan, '\0');
            file.replace(a.offset, a.bytes.size(), a.bytes);
            file.replace(b.offset, b.bytes.size(), b.bytes);
            SCOPED_TRACE("rows " + std::to_string(a.index) + " and " + std::to_string(b.index));
            EXPECT_EQ(Match(file), std::max(a.family, b.family));
            ++pairs;
        }
    }
    EXPECT_GT(pairs, 0);
}

TEST(RuleTable, NothingBeyondTheSpanOfTheRulesIsLookedAt) {
    // A buffer longer than the span: a window placed past it is no rule's.
    std::string file(kRuleSpan + 64, '\0');
    const std::string fakesvc("\x53\x23\x1C\xB5\xF7\x01\xF9\x00SING\0DOM", 16);
    file.replace(kRuleSpan - 16, 16, fakesvc);
    EXPECT_EQ(Match(file), 8) << "the furthest window ends exactly at the span";
    EXPECT_EQ(MatchRules(nullptr, 0), 0);
}

// The rows whose windows are plain text, written down a second time as the
// text they are, so that a slip in the hex of the table shows.
struct TextCase {
    const char* name;
    std::uint32_t offset;
    std::string text;
    int family;
};

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string(1, '\0') + c;  // the window starts on a high byte
    return out;
}

const TextCase kTextCases[] = {
    {"RedlofLoop", 10744, "For i=1 To Len(E", 15},
    {"StartPageRegedit", 1475, "Run]\r\n\"sys\"=\"regedit -s sys.reg\"", 14},
    {"RpcLoopback", 5472, std::string("\xEB\xEA\xB9\xFC\xB9\xB6\xF8\xFD\xFD\x99", 10) + Utf16("127.0.0.1\\I"), 20},
    {"BagleOnde", 512, std::string("onde.exe\0user32.dll\0wsock.dll\0ol", 32), 10},
    {"BagleGodo", 512, std::string("godo.exe\0user32.dll\0wsock.dll\0ol", 32), 10},
    {"BagleGo54o", 512, std::string("go54o.exe\0user32.dll\0wsock.dll\0o", 32), 10},
    {"BagleGo154o", 512, std::string("go154o.exe\0user32.dll\0wsock.dll\0", 32), 10},
    {"BagleGo154oOtherImports", 512, std::string("go154o.exe\0wsock.dll\0ole32.dll\0u", 32), 10},
    {"BagleSaveToFile", 1340, "ite \"BinaryStream.SaveToFile \"\"s", 10},
    {"BagleShellRun", 536, "Script.Shell\")\r\nWshShell.Run \"sm", 10},
    {"BagleBeagle", 14315, std::string("beagle_beagle\0\\b", 16), 10},
    {"OpasoftOpaSoft", 72, "!\xB8\x01L\xCD!\x90\x90OpaSoft ", 5},
    {"OpasoftMelhorem", 72, "!\xB8\x01L\xCD!\x90\x90Melhorem", 5},
    {"OpasoftQueremos", 72, "!\xB8\x01L\xCD!\x90\x90Queremos", 5},
    {"ApdoorStamp", 4096, std::string("AICORE 08/27/03 19:34:41\0Software\\Microsoft\\Wind", 48), 2},
    {"Msblast", 3160, std::string("msblast.exe\0I ju\n wan\x04\xED\xFF\xFF\xFFto say LOVE YO", 40), 1},
    {"Mslaugh", 3159, std::string("\x7Fmslaugh.exe\0I dedicate this p\xBD\xFD\xB7\xED" "art\x0Eu ", 40), 1},
};

class RuleText : public testing::TestWithParam<TextCase> {};

TEST_P(RuleText, TheTextAtItsOffsetIsItsFamily) {
    const TextCase& c = GetParam();
    ASSERT_EQ(c.text.size() % 8, 0u) << "a window is 16, 32, 40 or 48 bytes";
    EXPECT_EQ(Match(ZerosWith(c.offset + c.text.size() + 300, c.offset, c.text)), c.family);
}

INSTANTIATE_TEST_SUITE_P(Table, RuleText, testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RuleTable, AVbscriptFileIsRedlofWhateverItsName) {
    // A script whose 10,744th byte begins the decoder loop: the table knows
    // no file types, only offsets.
    std::string script = "' harmless header\r\n";
    script.resize(10744, ' ');
    script += "For i=1 To Len(EncodedText)\r\nNext\r\n";
    EXPECT_EQ(Match(script), 15);
}

TEST(RuleTable, BagleIsTestedBeforeLovesan) {
    std::string file(20000, '\0');
    file.replace(3160, 40, std::string("msblast.exe\0I ju\n wan\x04\xED\xFF\xFF\xFFto say LOVE YO", 40));
    EXPECT_EQ(Match(file), 1);
    file.replace(14315, 16, std::string("beagle_beagle\0\\b", 16));
    EXPECT_EQ(Match(file), 10);
}
