#include "core/text/UpperCase.h"

#include <gtest/gtest.h>

namespace kaldrani::text {
namespace {

TEST(UpperCase, FoldsLettersOfEveryScriptAndKeepsBadBytes)
{
    EXPECT_EQ(text::upperCase("www.Example.com/ä-ß"), "WWW.EXAMPLE.COM/Ä-ß");
    EXPECT_EQ(text::upperCase("ｅｘａｍｐｌｅ 教程 ǆ"), "ＥＸＡＭＰＬＥ 教程 Ǆ");
    EXPECT_EQ(text::upperCase("a\xFF\xC3z"), "A\xFF\xC3Z");
}

} // namespace
} // namespace kaldrani::text
