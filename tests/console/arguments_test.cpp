#include "fake_console.h"
#include "console/arguments.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The arguments of the last split, joined by ";" ("" for an empty one).
std::wstring split(unsigned mode, const wchar_t* text)
{
    int count = splitArguments(&gTestArguments, mode, text);
    EXPECT_EQ(gTestArguments.argCount, count) << text;
    std::wstring joined;
    for (int i = 0; i < gTestArguments.argCount; ++i) {
        joined += (i > 0 ? L";" : L"");
        joined += argumentText(gTestArguments, i);
        EXPECT_EQ(static_cast<int>(wcslen(argumentText(gTestArguments, i))), gTestArguments.argLengths[i]);
    }
    return joined;
}

}  // namespace

TEST(SplitArgumentsTest, SplitsEachCommandsTailLikeTheShellUserExpects)
{
    struct Case {
        unsigned mode;
        const wchar_t* input;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {SPLIT_MODE_KINFOLD, L"/a/c foo", L"/a;/c;foo"},
        {SPLIT_MODE_ANCESTRY, L"/t:dsm/k", L"/T:DSM;/K"},
        {SPLIT_MODE_ANCESTRY, L"äbc é", L"äBC;é"},  // only ASCII letters are upper-cased
        {SPLIT_MODE_KINFOLD, L"/W=100/D", L"/W=100;/D"},
        {SPLIT_MODE_KINFOLD, L"abc/def", L"abc/def"},
        {SPLIT_MODE_KINFOLD, L"/A//B", L"/A;//B"},
        {SPLIT_MODE_KINFOLD, L"/h:c://a/b /x", L"/h:c://a/b;/x"},
        {SPLIT_MODE_KINFOLD, L"/H:\"a/b\"/k", L"/H:a/b;/k"},  // a quoted "/" starts no option
        {SPLIT_MODE_KINFOLD, L"a\"b c\"d", L"ab cd"},
        {SPLIT_MODE_KINFOLD, L"\"\"", L""},
        {SPLIT_MODE_KINFOLD, L"\"  lead\" trail  ", L"  lead;trail"},
        {SPLIT_MODE_FUNCTION, L",0x40", L";0X40"},
        {SPLIT_MODE_FUNCTION, L" 12 34 ,5", L"12 34;5"},
        {SPLIT_MODE_FUNCTION, L"x,,y", L"X;;Y"},
        {SPLIT_MODE_FUNCTION, L"5,", L"5"},
        {0, L"a b", L"a;b"},  // no separator given: white space
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, split(c.mode, c.input)) << c.input;
    }
    // An empty function argument is there but has no text; "" gives no argument.
    split(SPLIT_MODE_FUNCTION, L",0x40");
    EXPECT_EQ(2, gTestArguments.argCount);
    EXPECT_EQ(nullptr, gTestArguments.argText[0]);
    split(SPLIT_MODE_KINFOLD, L"\"\"");
    EXPECT_EQ(0, gTestArguments.argCount);
}

TEST(SplitArgumentsTest, OverflowIsReportedAndLeavesNoArguments)
{
    std::wstring fits(MAX_ARG_LEN - 1, L'a');
    EXPECT_EQ(1, splitArguments(&gTestArguments, SPLIT_MODE_KINFOLD, fits.c_str()));
    EXPECT_EQ(L"", gFakeHost.err);

    std::wstring tooLong(MAX_ARG_LEN, L'a');
    EXPECT_EQ(-1, splitArguments(&gTestArguments, SPLIT_MODE_KINFOLD, tooLong.c_str()));
    EXPECT_EQ(0, gTestArguments.argCount);
    EXPECT_EQ(L"Kinfold plugin: Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \r\n", gFakeHost.err);

    // Empty arguments use slots too: a long run of commas overflows as well.
    std::wstring commas(MAX_ARG_LEN, L',');
    EXPECT_EQ(-1, splitArguments(&gTestArguments, SPLIT_MODE_FUNCTION, commas.c_str()));
    EXPECT_EQ(-1, splitArguments(&gTestArguments, SPLIT_MODE_KINFOLD, nullptr));

    // More arguments than the table holds are dropped, not an overflow.
    gFakeHost.err.clear();
    std::wstring many;
    for (int i = 0; i < MAX_ARGS + 10; ++i) {
        many += L"x ";
    }
    EXPECT_EQ(MAX_ARGS, splitArguments(&gTestArguments, SPLIT_MODE_KINFOLD, many.c_str()));
    EXPECT_EQ(L"", gFakeHost.err);
}

