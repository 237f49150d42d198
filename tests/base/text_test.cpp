#include "base/text.h"

#include <gtest/gtest.h>

// The plugin's formats follow Microsoft printf rules, like the host's. mingw's
// C++ runtime switches swprintf to C99 rules, so this pins the difference.
TEST(FormatTextTest, FollowsMicrosoftRules)
{
    wchar_t buffer[64];
    EXPECT_EQ(47, formatText(buffer, 64, L"%s v%u|%12I64u|%7.2fG|%04X [%u]", L"wide", 1u, 1073741824ull, 1.0,
                             0x1Cu, 4000000000u));
    EXPECT_STREQ(L"wide v1|  1073741824|   1.00G|001C [4000000000]", buffer);
}

TEST(FormatTextTest, AlwaysTerminatesAndSaysWhenItCut)
{
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    EXPECT_EQ(7, formatText(buffer, 8, L"%s", L"1234567"));  // exactly fits
    EXPECT_EQ(-1, formatText(buffer, 8, L"%s", L"12345678"));
    EXPECT_STREQ(L"1234567", buffer);
    EXPECT_EQ(-1, formatText(buffer, 1, L"%s", L"x"));
    EXPECT_STREQ(L"", buffer);
    EXPECT_EQ(-1, formatText(buffer, 0, L"%s", L"x"));
    EXPECT_EQ(-1, formatText(nullptr, 8, L"%s", L"x"));
}

TEST(CopyTextTest, CutsAtCapacityAndTerminates)
{
    wchar_t buffer[4];
    EXPECT_TRUE(copyText(buffer, 4, L"abc"));
    EXPECT_FALSE(copyText(buffer, 4, L"abcd"));
    EXPECT_STREQ(L"abc", buffer);
    EXPECT_TRUE(copyText(buffer, 4, L"a"));
    EXPECT_FALSE(appendText(buffer, 4, L"bcd"));
    EXPECT_STREQ(L"abc", buffer);
    EXPECT_FALSE(copyText(buffer, 0, L"a"));
    EXPECT_FALSE(copyText(nullptr, 4, L"a"));
}
