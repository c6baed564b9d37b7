#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "scan/ScriptRepair.h"

namespace {

std::string M(std::size_t k) { return std::string(ScriptMarkers()[k].text); }
std::string Fill(std::size_t n, char c) { return std::string(n, c); }

// Marker k with exactly its block around it: `before` x's ahead and `after`
// y's behind. Neither filler can form any marker.
std::string Block(std::size_t k) {
    const ScriptMarker& m = ScriptMarkers()[k];
    return Fill(m.before, 'x') + M(k) + Fill(m.after, 'y');
}

std::string Blocks(const std::vector<std::size_t>& order) {
    std::string text;
    for (std::size_t k : order) text += Block(k) + "|";
    return text;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

struct CutCase {
    std::string name;
    std::string input;
    std::string expected;
    int cuts;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

std::vector<CutCase> CutCases() {
    using namespace std::string_literals;
    std::vector<CutCase> cases = {
        {"Empty", "", "", 0},
        {"CleanPage", "<html><body onload=\"init()\">x</body></html>", "<html><body onload=\"init()\">x</body></html>",
         0},
        {"OnlyTheMarkerGoesForMarker0", "<html>\r\n" + M(0) + "\r\n<p>kept</p>", "<html>\r\n\r\n<p>kept</p>", 1},
        {"CaseMatters", "<body onload=\"vbscript:KJ_start()\">", "<body onload=\"vbscript:KJ_start()\">", 0},
        {"TruncatedMarkerAtTheEnd", "abc" + M(6).substr(0, 31), "abc" + M(6).substr(0, 31), 0},
        // The cut starts at the text's start but still reaches `after` past
        // the marker: the rest of the block is cut, what follows it stays.
        {"BlockClippedAtTheStart", "head" + M(6) + Fill(403, 'y') + "rest", "rest", 1},
        {"BlockClippedAtTheEnd", "keep" + Fill(69, 'x') + M(4) + "ab", "keep", 1},
        {"BlockClippedAtBothEnds", "a" + M(2) + "b", "", 1},
        // Pass 0 is the only one that looks for marker 0.
        {"Marker0IsCutOnlyOnce", M(0) + "x" + M(0), "x" + M(0), 1},
        {"RepeatedMarkerCutInLaterPasses", Repeat(Block(4) + "|", 3), "|||", 3},
        {"AtMostEightCuts", Repeat(Block(7) + "|", 10), "||||||||" + Repeat(Block(7) + "|", 2), 8},
        {"AllMarkersInTableOrder", Blocks({0, 1, 2, 3, 4, 5, 6, 7}), "||||||||", 8},
        {"AllMarkersReversed", Blocks({7, 6, 5, 4, 3, 2, 1, 0}), "||||||||", 8},
        {"AllMarkersShuffled", Blocks({5, 2, 7, 0, 3, 6, 1, 4}), "||||||||", 8},
        // Lower markers win a pass wherever they sit, so a marker that the
        // passes have moved beyond is left even though it comes first.
        {"PassesMoveOnPastLowerMarkers", M(0) + "|" + Blocks({1, 1}), "||" + Blocks({1}), 2},
        {"TextAfterAZeroByteIsKept", "aa" + M(0) + "bb\0"s + M(0) + "\0cc"s, "aabb\0"s + M(0) + "\0cc"s, 1},
        {"MarkerOnlyBehindAZeroByte", "clean\0"s + M(0), "clean\0"s + M(0), 0},
        {"MarkerSplitByAZeroByte", M(4).substr(0, 10) + "\0"s + M(4).substr(10),
         M(4).substr(0, 10) + "\0"s + M(4).substr(10), 0},
    };
    // Each marker alone, with one byte of page on either side of its block:
    // the block goes to the byte and the page bytes stay.
    for (std::size_t k = 0; k < kScriptMarkerCount; ++k)
        cases.push_back({"ExactBlockOfMarker" + std::to_string(k), "<" + Block(k) + ">", "<>", 1});
    return cases;
}

class CutScriptMarkersTest : public ::testing::TestWithParam<CutCase> {};

}  // namespace

TEST_P(CutScriptMarkersTest, CutsTheBlocks) {
    const CutCase& c = GetParam();
    const ScriptCut result = CutScriptMarkers(c.input);
    EXPECT_EQ(result.cuts, c.cuts);
    // Compared as sizes first: a failure then says how far off the cut was
    // without printing ten kilobytes of filler.
    ASSERT_EQ(result.text.size(), c.expected.size());
    EXPECT_TRUE(result.text == c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, CutScriptMarkersTest, ::testing::ValuesIn(CutCases()),
                         [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.name; });

TEST(ScriptMarkers, KeepTheirBeginningsLengthsAndExtents) {
    struct Expected {
        const char* begins;
        std::size_t length, before, after;
    };
    const Expected expected[kScriptMarkerCount] = {
        {"<BODY onload=\"vbscript:KJ_start()\">", 35, 0, 0},
        {"<\"&\"APPLET NAME=KJ\"&\"_guest", 97, 149, 18},
        {"Rem I am sorry! happy time\r\nOn Error Resume Next\r\n", 526, 176, 9304},
        {"For i=1 To Len(ExeString)\"&vbCrLf&\"TempNum", 128, 10772, 287},
        {"code=com.ms.activeX.ActiveXComponent", 36, 69, 21},
        {"JScript.Encode>#@~^", 128, 17, 97},
        {"ite \"BinaryStream.SaveToFile \"\"s", 32, 1340, 403},
        {"Script.Shell\")\r\nWshShell.Run \"sm", 32, 536, 17},
    };
    for (std::size_t k = 0; k < kScriptMarkerCount; ++k) {
        SCOPED_TRACE("marker " + std::to_string(k));
        const ScriptMarker& m = ScriptMarkers()[k];
        EXPECT_EQ(m.text.size(), expected[k].length);
        EXPECT_EQ(m.text.substr(0, std::string_view(expected[k].begins).size()), expected[k].begins);
        EXPECT_EQ(m.before, expected[k].before);
        EXPECT_EQ(m.after, expected[k].after);
        EXPECT_EQ(m.text.find('\0'), std::string_view::npos);
    }
}
