#include "scan/RuleTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

namespace {

// The rules as they are written down: the bytes in hex, a blank between two
// bytes, so that each row can be checked against its source by eye. They are
// compiled into plain byte arrays below, and a malformed row stops the build.
//
// Only windows actually taken from a body are here. A family's further
// variants whose bytes we do not have are left out rather than guessed: a
// guessed window is a false detection that deletes a user's file.
struct RuleText {
    int family;
    std::uint32_t offset;
    std::uint32_t length;
    const char* hex;
};

constexpr RuleText kRuleTexts[] = {
    // Protoride
    {21, 4624, 32, "57 78 78 7A 01 84 DE 21 57 16 65 3C 8C 12 57 02 8E 30 17 D9 58 60 22 C9 72 D6 CF 28 40 20 D9 52"},
    // RPC DCOM exploit: ends in the UTF-16 loopback address it attacks
    {20, 5472, 32, "EB EA B9 FC B9 B6 F8 FD FD 99 00 31 00 32 00 37 00 2E 00 30 00 2E 00 30 00 2E 00 31 00 5C 00 49"},
    // Sober
    {19, 8346, 32, "4F 00 77 D6 BB 2B BE 00 08 01 4E 0F 84 BF 4E FF 0B FB 7F 1F 14 02 49 20 59 2B 0C 01 54 DF 84 6F"},
    // MooDown (NetSky)
    {18, 13377, 32, "47 0E 00 44 4F 4D 41 12 11 B1 BC DD FE 52 36 30 32 38 08 2D 20 47 61 62 6C 74 FB 76 A9 BD CE 69"},
    // DoomHunter: x86 code
    {17, 1771, 16, "50 FF 15 8C 10 40 00 83 C4 08 85 C0 74 21 68 DC"},
    // Vesser
    {16, 51179, 32, "10 0A B0 4A DA 8B 7A 75 BC CB 7F B4 00 4E 4E 42 C7 76 4C CF 9C 05 62 0E 27 B4 EB D7 51 01 4C 4C"},
    // Redlof: a line of its VBScript decoder loop
    {15, 10744, 16, "46 6F 72 20 69 3D 31 20 54 6F 20 4C 65 6E 28 45"},
    // StartPage: a registry script that runs regedit silently, and x86 code
    {14, 1475, 32, "52 75 6E 5D 0D 0A 22 73 79 73 22 3D 22 72 65 67 65 64 69 74 20 2D 73 20 73 79 73 2E 72 65 67 22"},
    {14, 4294, 32, "EC 6C 56 8B F1 6A 00 E8 30 14 00 00 83 C4 04 8B CE E8 20 14 00 00 6A 00 8D 4C 24 08 E8 49 01 00"},
    // Sobig
    {13, 4416, 16, "67 C1 54 6E B8 A9 4E E1 82 09 E9 FC 0F 91 BD 09"},
    // MyDoom
    {12, 9249, 32, "6E 79 22 2C 20 6D 61 64 65 20 62 79 A7 78 71 37 1B 2D 2E 0A EA DF BB AE 57 5C 03 2E 64 6C 6C 0B"},
    // Dumaru: the same packed bytes sit at two offsets in different builds
    {11, 3045, 32, "69 70 68 6C 37 61 5E E7 2E 64 7F 1C 3D 81 26 80 AC C8 E8 4B 57 3C 76 11 3D 0C 47 65 74 4E 06 77"},
    {11, 3146, 32, "69 70 68 6C 37 61 5E E7 2E 64 7F 1C 3D 81 26 80 AC C8 E8 4B 57 3C 76 11 3D 0C 47 65 74 4E 06 77"},
    {11, 1667, 32, "69 70 68 6C 70 61 70 69 2E 64 6C 6C A3 6F FF 05 FB 26 80 AC C8 3B 1D 3C 47 65 74 4E 02 77 6F 72"},
    // Bagle: at 512 the dropped file's name followed by the libraries it
    // imports, one row per variant; its VBScript dropper lines; x86 code
    {10, 14315, 16, "62 65 61 67 6C 65 5F 62 65 61 67 6C 65 00 5C 62"},
    {10, 512, 32, "6F 6E 64 65 2E 65 78 65 00 75 73 65 72 33 32 2E 64 6C 6C 00 77 73 6F 63 6B 2E 64 6C 6C 00 6F 6C"},
    {10, 1392, 32, "02 33 C0 E3 02 F3 AB 8B 4D 0C 83 E1 03 E3 02 F3 AA 5F C9 C2 08 00 53 56 33 D2 33 DB 66 8B D0 C1"},
    {10, 512, 32, "67 6F 64 6F 2E 65 78 65 00 75 73 65 72 33 32 2E 64 6C 6C 00 77 73 6F 63 6B 2E 64 6C 6C 00 6F 6C"},
    {10, 512, 32, "67 6F 35 34 6F 2E 65 78 65 00 75 73 65 72 33 32 2E 64 6C 6C 00 77 73 6F 63 6B 2E 64 6C 6C 00 6F"},
    {10, 512, 32, "67 6F 31 35 34 6F 2E 65 78 65 00 75 73 65 72 33 32 2E 64 6C 6C 00 77 73 6F 63 6B 2E 64 6C 6C 00"},
    {10, 512, 32, "67 6F 31 35 34 6F 2E 65 78 65 00 77 73 6F 63 6B 2E 64 6C 6C 00 6F 6C 65 33 32 2E 64 6C 6C 00 75"},
    {10, 1340, 32, "69 74 65 20 22 42 69 6E 61 72 79 53 74 72 65 61 6D 2E 53 61 76 65 54 6F 46 69 6C 65 20 22 22 73"},
    {10, 536, 32, "53 63 72 69 70 74 2E 53 68 65 6C 6C 22 29 0D 0A 57 73 68 53 68 65 6C 6C 2E 52 75 6E 20 22 73 6D"},
    // Fakesvc: the furthest window of the table; kRuleSpan ends with it
    {8, 53952, 16, "53 23 1C B5 F7 01 F9 00 53 49 4E 47 00 44 4F 4D"},
    // Opasoft: the end of the DOS stub, then eight bytes of text per variant
    {5, 72, 16, "21 B8 01 4C CD 21 90 90 4F 70 61 53 6F 66 74 20"},
    {5, 72, 16, "21 B8 01 4C CD 21 90 90 4D 65 6C 68 6F 72 65 6D"},
    {5, 72, 16, "21 B8 01 4C CD 21 90 90 51 75 65 72 65 6D 6F 73"},
    // Swen: x86 code
    {4, 4517, 40,
     "8D 45 AC 50 8D 45 B4 50 8D 85 AC EB FF FF 50 E8 99 8E 00 00 85 C0 74 2F 39 5D B0 76 2A 83 7D B0 27 77 24 FF 75 "
     "B0 FF 75"},
    // Apdoor: its build stamp, and the code that writes an HTTP verb
    {2, 4096, 48,
     "41 49 43 4F 52 45 20 30 38 2F 32 37 2F 30 33 20 31 39 3A 33 34 3A 34 31 00 53 6F 66 74 77 61 72 65 5C 4D 69 63 "
     "72 6F 73 6F 66 74 5C 57 69 6E 64"},
    {2, 25567, 48,
     "83 7B 4C 00 75 08 B8 47 45 54 20 AB EB 09 B8 50 4F 53 54 AB B0 20 AA 8B 73 48 0B F6 74 11 B9 01 04 00 00 AC AA "
     "0A C0 E0 FA C6 47 FF 20 EB 06 66"},
    // Lovesan / Blaster: file names and messages of two variants, one byte
    // apart on purpose
    {1, 3160, 40,
     "6D 73 62 6C 61 73 74 2E 65 78 65 00 49 20 6A 75 0A 20 77 61 6E 04 ED FF FF FF 74 6F 20 73 61 79 20 4C 4F 56 45 "
     "20 59 4F"},
    {1, 3159, 40,
     "7F 6D 73 6C 61 75 67 68 2E 65 78 65 00 49 20 64 65 64 69 63 61 74 65 20 74 68 69 73 20 70 BD FD B7 ED 61 72 74 "
     "0E 75 20"},
};

constexpr std::size_t kRuleCount = std::size(kRuleTexts);
constexpr std::uint32_t kMaxWindow = 48;

constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Parses "AB CD ..." into `out` (room for kMaxWindow bytes); returns the
// number of bytes, or -1 for anything but pairs of hex digits separated by
// single blanks.
constexpr int ParseHex(const char* hex, std::uint8_t* out) {
    int count = 0;
    std::size_t i = 0;
    while (true) {
        const int high = HexValue(hex[i]);
        const int low = high < 0 ? -1 : HexValue(hex[i + 1]);
        if (low < 0 || count == static_cast<int>(kMaxWindow)) return -1;
        out[count++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
        if (hex[i] == '\0') return count;
        if (hex[i] != ' ') return -1;
        ++i;
    }
}

struct CompiledRule {
    int family = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint8_t bytes[kMaxWindow] = {};
};

// The checks the matcher relies on: every row parses to exactly its length,
// the lengths are the four the table uses, families run from 21 down (so the
// first matching rule is the highest family), and every window lies inside
// the one read of the file's start.
constexpr bool TableIsSound() {
    int previousFamily = 21;
    std::uint32_t furthestEnd = 0;
    for (const RuleText& text : kRuleTexts) {
        std::uint8_t scratch[kMaxWindow] = {};
        if (ParseHex(text.hex, scratch) != static_cast<int>(text.length)) return false;
        if (text.length != 16 && text.length != 32 && text.length != 40 && text.length != 48) return false;
        if (text.family < 1 || text.family > previousFamily) return false;
        previousFamily = text.family;
        if (text.offset > kRuleSpan - text.length) return false;
        furthestEnd = std::max(furthestEnd, text.offset + text.length);
    }
    return furthestEnd == kRuleSpan;
}
static_assert(TableIsSound(), "a rule row is malformed, out of family order, or outside kRuleSpan");

constexpr std::array<CompiledRule, kRuleCount> CompileRules() {
    std::array<CompiledRule, kRuleCount> rules{};
    for (std::size_t i = 0; i < kRuleCount; ++i) {
        rules[i].family = kRuleTexts[i].family;
        rules[i].offset = kRuleTexts[i].offset;
        rules[i].length = kRuleTexts[i].length;
        ParseHex(kRuleTexts[i].hex, rules[i].bytes);
    }
    return rules;
}

constexpr std::array<CompiledRule, kRuleCount> kRules = CompileRules();

bool WindowMatches(std::uint32_t offset, std::uint32_t length, const std::uint8_t* bytes, const std::uint8_t* start,
                   std::size_t startLength) {
    const std::size_t present = offset >= startLength ? 0 : std::min<std::size_t>(length, startLength - offset);
    if (present != 0 && std::memcmp(start + offset, bytes, present) != 0) return false;
    for (std::size_t i = present; i < length; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

}  // namespace

int MatchRules(const std::uint8_t* start, std::size_t startLength) {
    if (start == nullptr) startLength = 0;
    startLength = std::min(startLength, kRuleSpan);
    for (const CompiledRule& rule : kRules)
        if (WindowMatches(rule.offset, rule.length, rule.bytes, start, startLength)) return rule.family;
    return 0;
}

int MatchRules(const std::vector<SignatureRule>& rules, const std::uint8_t* start, std::size_t startLength) {
    if (start == nullptr) startLength = 0;
    startLength = std::min(startLength, kRuleSpan);
    for (const SignatureRule& rule : rules) {
        // A window outside the one read of the file's start could never be
        // seen by the classifier: such a rule matches nothing.
        if (rule.bytes == nullptr || rule.offset > kRuleSpan || rule.length > kRuleSpan - rule.offset) continue;
        if (WindowMatches(rule.offset, rule.length, rule.bytes, start, startLength)) return rule.family;
    }
    return 0;
}

void ForEachRule(const std::function<void(const SignatureRule&)>& visit) {
    for (const CompiledRule& rule : kRules) visit(SignatureRule{rule.family, rule.offset, rule.length, rule.bytes});
}
