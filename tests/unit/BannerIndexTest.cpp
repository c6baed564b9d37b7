// The index file's lines and the banner file names taken from them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ui/BannerIndex.h"

namespace {

struct SSplitCase {
    std::string name;
    std::string text;
    std::vector<std::string> lines;
};

void PrintTo(const SSplitCase& c, std::ostream* os) { *os << c.name; }

std::vector<SSplitCase> SplitCases() {
    using namespace std::string_literals;
    return {
        {"TwoLinesCrLf", "banner.gif\r\nhttp://www.kestro.example/a\r\n", {"banner.gif", "http://www.kestro.example/a"}},
        {"RunsOfBreaksCountOnce", "\r\n\r\nb.gif\r\r\n\n\nhttp://x\n\r", {"b.gif", "http://x"}},
        {"BareCrAndBareLf", "a\rb\nc", {"a", "b", "c"}},
        {"NoBreakAtTheEnd", "one\r\ntwo", {"one", "two"}},
        {"FurtherLinesKept", "a\r\nb\r\nc\r\n", {"a", "b", "c"}},
        {"OneLine", "banner.gif\r\n", {"banner.gif"}},
        {"OnlyBreaks", "\r\n\r\n", {}},
        {"Empty", "", {}},
        {"ZeroByteEndsTheText", "a.gif\r\nhttp://x\0\r\nhttp://hidden"s, {"a.gif", "http://x"}},
        {"BlanksArePartOfALine", " a.gif \r\n", {" a.gif "}},
    };
}

class IndexSplit : public testing::TestWithParam<SSplitCase> {};

TEST_P(IndexSplit, SplitsAtRunsOfLineBreaks) {
    const std::string& text = GetParam().text;
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    EXPECT_EQ(SplitIndexText(bytes.data(), bytes.size()), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Texts, IndexSplit, testing::ValuesIn(SplitCases()),
                         [](const testing::TestParamInfo<SSplitCase>& info) { return info.param.name; });

// A full read buffer has no terminator: the split ends at its size.
TEST(IndexSplitLimit, AFullBufferEndsAtItsSize) {
    std::string text = "banner.gif\r\n" + std::string(banner::kIndexReadLimit - 12 - 4, '\n') + "http://cut-here";
    text.resize(banner::kIndexReadLimit);
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    EXPECT_EQ(SplitIndexText(bytes.data(), bytes.size()), (std::vector<std::string>{"banner.gif", "http"}));
}

struct SStemCase {
    const char* line1;
    bool accepted;
    const char* stem;
};

void PrintTo(const SStemCase& c, std::ostream* os) { *os << '"' << c.line1 << '"'; }

class BannerStemOfLine : public testing::TestWithParam<SStemCase> {};

TEST_P(BannerStemOfLine, DropsTheLastThreeCharactersOfAPlainName) {
    std::string stem = "unchanged";
    EXPECT_EQ(BannerStem(GetParam().line1, stem), GetParam().accepted);
    EXPECT_EQ(stem, GetParam().stem);
}

INSTANTIATE_TEST_SUITE_P(Lines, BannerStemOfLine,
                         testing::Values(SStemCase{"banner.gif", true, "banner."},
                                         SStemCase{"wiosna2004.jpg", true, "wiosna2004."},
                                         SStemCase{"abcd", true, "a"},
                                         // Three letters of two bytes each in UTF-8: whole letters go.
                                         SStemCase{"baner.\xc5\xbc\xc3\xb3\xc5\x82", true, "baner."},
                                         SStemCase{"gif", false, "unchanged"}, SStemCase{"", false, "unchanged"},
                                         SStemCase{"..\\..\\WINDOWS\\evil.gif", false, "unchanged"},
                                         SStemCase{"sub/banner.gif", false, "unchanged"},
                                         SStemCase{"C:evil.gif", false, "unchanged"},
                                         SStemCase{"tab\there.gif", false, "unchanged"}));

TEST(BannerFileNames, RemoteEndsInVirAndLocalInGif) {
    std::string stem;
    ASSERT_TRUE(BannerStem("banner.gif", stem));
    EXPECT_EQ(RemoteBannerUrl("http://www.kestro.example/zelvo", stem), "http://www.kestro.example/zelvo/banner.vir");
    EXPECT_EQ(LocalBannerPath("C:\\Users\\ala\\AppData\\Local\\KESTRO", stem),
              "C:\\Users\\ala\\AppData\\Local\\KESTRO\\banner.gif");
}

TEST(BannerTarget, OnlyWebAddressesAreOpened) {
    for (const char* yes : {"http://www.kestro.example/wiosna", "HTTPS://kestro.example", "Http://x"}) {
        EXPECT_TRUE(IsWebAddress(yes)) << yes;
    }
    for (const char* no : {"C:\\WINDOWS\\system32\\cmd.exe", "file:///C:/x.exe", "mailto:a@b", "http://", "ftp://x",
                           "\\\\server\\share\\run.exe", "http://a\tb", ""}) {
        EXPECT_FALSE(IsWebAddress(no)) << no;
    }
}

}  // namespace
