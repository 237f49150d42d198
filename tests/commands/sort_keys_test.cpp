#include "commands/display_options.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <wchar.h>

#include <string>

TEST(ParseSortKeysTest, KeysDirectionsAndU)
{
    struct Case {
        const wchar_t* option;
        const wchar_t* keys;
        bool unsorted;
    } cases[] = {
        {L"=tn", L"tn", false},
        {L":N-PR-", L"Np", false},  // R swaps every key wherever it stands
        {L":U", L"", true},
        {L"u?!xyz", L"", true},  // nothing after U is examined
        {L":ckmnptwdeckmnptw", L"ckmnptwdeckmnpt", false},
        {L":ckmnptwdeckmnpt-wn", L"ckmnptwdeckmnpt", false},  // a dropped key uses up its "-"
    };
    for (const Case& c : cases) {
        wchar_t keys[SORT_KEYS_COUNT];
        wmemset(keys, L'#', SORT_KEYS_COUNT);
        bool unsorted = !c.unsorted;
        EXPECT_EQ(0, parseSortKeys(c.option, keys, &unsorted)) << c.option;
        EXPECT_STREQ(c.keys, keys) << c.option;
        EXPECT_EQ(c.unsorted, unsorted) << c.option;
    }
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(ParseSortKeysTest, ReportsAnUnknownKeyInUpperCase)
{
    const struct {
        const wchar_t* option;
        wchar_t letter;
    } cases[] = {{L":NU", L'U'}, {L":x", L'X'}};
    for (const auto& c : cases) {
        wchar_t keys[SORT_KEYS_COUNT];
        gFakeHost.err.clear();
        EXPECT_EQ(1, parseSortKeys(c.option, keys, nullptr));
        EXPECT_EQ(std::wstring(L"Kinfold plugin: Unknown sort flag: /O:") + c.letter + L"  (/O? for help)\r\n",
                  gFakeHost.err);
    }
}

