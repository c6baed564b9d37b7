#include <gtest/gtest.h>

#include "sys/Text.h"

struct CompareCase {
    const char* a;
    const char* b;
    int sign;
};

class CompareNoCaseTable : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareNoCaseTable, FoldsLettersOnly) {
    const CompareCase& c = GetParam();
    const int r = CompareNoCase(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    const int back = CompareNoCase(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << "not antisymmetric";
}

INSTANTIATE_TEST_SUITE_P(Cases, CompareNoCaseTable,
                         testing::Values(CompareCase{"WINWORD.EXE", "winword.exe", 0},
                                         CompareCase{"ZAŻÓŁĆ GĘŚLĄ JAŹŃ", "zażółć gęślą jaźń", 0},
                                         CompareCase{"Ökonom", "ökonom", 0},
                                         CompareCase{"a.exe", "a.ex", 1},
                                         CompareCase{"", "", 0},
                                         CompareCase{"abc", "abd", -1},
                                         CompareCase{"[", "a", -1},  // no folding of punctuation next to letters
                                         CompareCase{"\xC5", "\xC5", 0},       // a cut sequence equals itself
                                         CompareCase{"\xC5", "e", 1},          // and no letter
                                         CompareCase{"\xC3\x97", "\xC3\xB7", -1}),  // × and ÷ are no pair
                         [](const auto& info) { return "Row" + std::to_string(info.index); });

TEST(ToLowerName, LowersLettersAndKeepsInvalidBytes) {
    EXPECT_EQ(ToLowerName("C:\\WINDOWS\\Łódź.EXE"), "c:\\windows\\łódź.exe");
    EXPECT_EQ(ToLowerName(std::string("A\xFF" "B", 3)), std::string("a\xFF" "b", 3));
}
