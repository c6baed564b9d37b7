#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/StringIds.h"

TEST(StringTable, HasEveryIdButNineteen) {
    for (std::uint32_t id = 1; id <= 47; ++id) {
        if (id == 19) EXPECT_STREQ(BuiltInString(id), "") << id;
        else EXPECT_STRNE(BuiltInString(id), "") << id;
    }
    EXPECT_STREQ(BuiltInString(48), "");
}

// The texts whose escapes would break silently in one of the two readers of
// the table: quotes and a backslash in 24, line feeds in 46.
TEST(StringTable, EscapedCharactersSurvive) {
    const std::string cacls = BuiltInString(24);
    EXPECT_EQ(std::count(cacls.begin(), cacls.end(), '"'), 2);
    EXPECT_NE(cacls.find("\"c:\\System Volume Information\""), std::string::npos);
    const std::string question = BuiltInString(46);
    EXPECT_EQ(std::count(question.begin(), question.end(), '\n'), 3);
    EXPECT_NE(question.find("Windows.\n\nCzy"), std::string::npos);
}
