// The hyperlink label's pure parts: the browser fallback's command line, the
// error texts, and where the label goes when it fits itself to its text.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "ui/LinkLayout.h"
#include "ui/LinkOpen.h"

namespace {

struct SCommandCase {
    const char* name;
    const char* command;
    const char* line;
};

void PrintTo(const SCommandCase& c, std::ostream* os) { *os << c.name; }

class BrowserCommand : public testing::TestWithParam<SCommandCase> {};

TEST_P(BrowserCommand, PutsTheTargetWhereThePlaceholderWas) {
    EXPECT_EQ(BrowserCommandLine(GetParam().command, "http://www.kestro.example"), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BrowserCommand,
    testing::Values(
        SCommandCase{"QuotedPlaceholder", "\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\"",
                     "\"C:\\Program Files\\Web\\web.exe\" -nohome  http://www.kestro.example"},
        SCommandCase{"BarePlaceholder", "C:\\web.exe %1 -new", "C:\\web.exe  http://www.kestro.example"},
        SCommandCase{"QuotedPlaceholderFirst", "web.exe %1 \"%1\"", "web.exe %1  http://www.kestro.example"},
        SCommandCase{"NoPlaceholder", "C:\\web.exe", "C:\\web.exe http://www.kestro.example"},
        SCommandCase{"Empty", "", " http://www.kestro.example"}),
    [](const testing::TestParamInfo<SCommandCase>& info) { return std::string(info.param.name); });

struct SErrorCase {
    std::intptr_t code;
    const char* text;
};

void PrintTo(const SErrorCase& c, std::ostream* os) { *os << "code " << c.code; }

class HyperlinkError : public testing::TestWithParam<SErrorCase> {};

TEST_P(HyperlinkError, ExplainsTheCode) {
    EXPECT_EQ(HyperlinkErrorText(GetParam().code), GetParam().text);
    EXPECT_EQ(HyperlinkErrorMessage(GetParam().code), std::string("Unable to open hyperlink:\n\n") + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HyperlinkError,
    testing::Values(
        SErrorCase{0, "The operating system is out\nof memory or resources."},
        SErrorCase{2, "The specified file was not found."}, SErrorCase{3, "The specified path was not found."},
        SErrorCase{5, "The operating system denied\naccess to the specified file."},
        SErrorCase{8, "There was not enough memory to complete the operation."},
        SErrorCase{11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        SErrorCase{26, "A sharing violation occurred. "},
        SErrorCase{27, "The filename association is\nincomplete or invalid."},
        SErrorCase{28, "The DDE transaction could not\nbe completed because the request timed out."},
        SErrorCase{29, "The DDE transaction failed."},
        SErrorCase{30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
                       "processed."},
        SErrorCase{31, "There is no application associated\nwith the given filename extension."},
        SErrorCase{32, "The specified dynamic-link library was not found."},
        SErrorCase{1, "Unknown Error (1) occurred."}, SErrorCase{33, "Unknown Error (33) occurred."},
        SErrorCase{-5, "Unknown Error (-5) occurred."}));

struct SFitCase {
    const char* name;
    LinkRect window, client;
    int textWidth, textHeight;
    LinkAlign align;
    bool centerVertically;
    LinkRect expected;
};

void PrintTo(const SFitCase& c, std::ostream* os) { *os << c.name; }

bool operator==(const LinkRect& a, const LinkRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class LinkFit : public testing::TestWithParam<SFitCase> {};

TEST_P(LinkFit, KeepsTheEdgeItsAlignmentNames) {
    const SFitCase& c = GetParam();
    const LinkRect got = FitLinkRect(c.window, c.client, c.textWidth, c.textHeight, c.align, c.centerVertically);
    EXPECT_TRUE(got == c.expected) << got.left << "," << got.top << "," << got.right << "," << got.bottom;
}

// A label of 178 x 14 pixels at (6, 215), like the web link at 96 dpi, and
// one with a one-pixel border on every side.
constexpr LinkRect kLabel{6, 215, 184, 229};
constexpr LinkRect kFramed{100, 50, 200, 70};
constexpr LinkRect kFramedClient{101, 51, 199, 69};

INSTANTIATE_TEST_SUITE_P(
    Layouts, LinkFit,
    testing::Values(SFitCase{"LeftShrinks", kLabel, kLabel, 120, 13, LinkAlign::Left, false, {6, 215, 126, 228}},
                    SFitCase{"LeftGrows", kLabel, kLabel, 300, 13, LinkAlign::Left, false, {6, 215, 306, 228}},
                    SFitCase{"RightKeepsItsRightEdge", kLabel, kLabel, 120, 13, LinkAlign::Right, false,
                             {64, 215, 184, 228}},
                    SFitCase{"RightGrowsToTheLeft", kLabel, kLabel, 200, 13, LinkAlign::Right, false,
                             {-16, 215, 184, 228}},
                    SFitCase{"CentredStaysCentred", kLabel, kLabel, 120, 13, LinkAlign::Center, false,
                             {35, 215, 155, 228}},
                    SFitCase{"CentredGrowsBothWays", kLabel, kLabel, 198, 13, LinkAlign::Center, false,
                             {-4, 215, 194, 228}},
                    SFitCase{"VerticallyCentred", kLabel, kLabel, 120, 10, LinkAlign::Left, true,
                             {6, 217, 126, 227}},
                    SFitCase{"BorderIsKept", kFramed, kFramedClient, 50, 10, LinkAlign::Right, false,
                             {148, 50, 200, 62}}),
    [](const testing::TestParamInfo<SFitCase>& info) { return std::string(info.param.name); });

}  // namespace
