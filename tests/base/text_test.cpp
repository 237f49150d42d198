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

TEST(ParseNumberTest, ReadsDecimalAndHexWithinThirtyTwoBits)
{
    struct Case {
        const wchar_t* text;
        int result;
        uint32_t value;  // 7: left alone
    } cases[] = {
        {L"0X1F", 0, 31},          {L"010", 0, 10},           {L"4294967295", 0, 4294967295u},
        {L"0xFFFFFFFF", 0, 4294967295u}, {L"4294967296", -1, 7}, {L"0x100000000", -1, 7},
        {L"12abc", -1, 7},         {L"-5", -1, 7},            {L" 5", -1, 7},
        {L"", -1, 7},              {nullptr, -1, 7},
    };
    for (const Case& c : cases) {
        uint32_t value = 7;
        EXPECT_EQ(c.result, parseNumber(c.text, nullptr, &value)) << (c.text ? c.text : L"(null)");
        EXPECT_EQ(c.value, value) << (c.text ? c.text : L"(null)");
    }
    EXPECT_EQ(-1, parseNumber(L"5", nullptr, nullptr));

    // With a place for the rest, trailing text is allowed.
    uint32_t value = 7;
    const wchar_t* rest = nullptr;
    EXPECT_EQ(0, parseNumber(L"12abc", &rest, &value));
    EXPECT_EQ(12u, value);
    EXPECT_STREQ(L"abc", rest);
    EXPECT_EQ(0, parseNumber(L"0xg", &rest, &value));
    EXPECT_EQ(0u, value);
    EXPECT_STREQ(L"xg", rest);

    EXPECT_TRUE(isValueSeparator(L':') && isValueSeparator(L'='));
    EXPECT_FALSE(isValueSeparator(L';') || isValueSeparator(L'\0'));
}
