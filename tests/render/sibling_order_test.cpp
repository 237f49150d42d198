#include "commands/display_options.h"
#include "render/sibling_order.h"
#include "render_fixture.h"

// Builds the tree under PID 1 and gives the last word of every child line in printed order.
class SiblingOrderTest : public RenderTest {
protected:
    std::wstring childOrder(const std::vector<SyntheticRecord>& table, const wchar_t* keys)
    {
        std::vector<std::wstring> lines = linesOf(renderTree(table, 1, OPT_NO_TREE, 79, keys));
        std::wstring words;
        for (size_t i = 1; i < lines.size(); ++i) {
            words += lines[i].substr(lines[i].rfind(L' ') + 1);
        }
        return words;
    }
};

// Each key in both directions, through the option text and the tree walk.
TEST_F(SiblingOrderTest, FollowsTheOption)
{
    // Snapshot order b, C, a; PIDs C 10, a 20, b 30.
    std::vector<SyntheticRecord> table = {makeRecord(0x1, 0, L"root.exe"), makeRecord(0x30, 1, L"b.exe"),
                                          makeRecord(0x10, 1, L"C.exe"), makeRecord(0x20, 1, L"a.exe")};
    const int32_t priorities[] = {5, 0, 3};
    const DWORD threads[] = {2, 9, 4};
    const SIZE_T memory[] = {100, 50, 75};
    const uint64_t times[] = {0, 0x100000000ull, 0xFFFFFFFFull};  // the high half decides
    for (size_t i = 0; i < 3; ++i) {
        table[i + 1].details.priorityIndex = priorities[i];
        table[i + 1].entry.cntThreads = threads[i];
        table[i + 1].details.workingSetSize = memory[i];
        table[i + 1].details.creationTime = times[i];
    }
    table[3].details.elevated = true;
    table[1].details.is32Bit = true;
    const struct {
        const wchar_t* option;
        const wchar_t* order;
    } cases[] = {
        {L"", L"Cab"},     {L":U", L"bCa"},   {L":UNT", L"bCa"},  {L":P", L"Cab"},  {L":-P", L"baC"},
        {L":C", L"Cab"},   {L":K", L"baC"},   {L":M", L"Cab"},    {L":N", L"abC"},  {L":-N", L"Cba"},
        {L":--N", L"abC"}, {L":N-", L"abC"},  {L":T", L"baC"},    {L":-T", L"Cab"}, {L":TR", L"Cab"},
        {L":-TR", L"baC"}, {L":E", L"aCb"},   {L":W", L"bCa"},   // unknown time first; names case-folded
    };
    for (const auto& c : cases) {
        wchar_t keys[SORT_KEYS_COUNT];
        bool unsorted = false;
        EXPECT_EQ(0, parseSortKeys(c.option, keys, &unsorted));
        EXPECT_STREQ(c.order, childOrder(table, unsorted ? nullptr : keys).c_str()) << c.option;
    }
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST_F(SiblingOrderTest, TiesFallThroughAndThePidIsNeverReversed)
{
    // The display names label the lines: 4 is PID 0x40.
    std::vector<SyntheticRecord> table = {makeRecord(1, 0, L"root.exe"), makeRecord(0x40, 1, L"x.exe"),
                                          makeRecord(0x30, 1, L"x.exe"), makeRecord(0x20, 1, L"y.exe"),
                                          makeRecord(0x10, 1, L"y.exe")};
    const wchar_t* labels[] = {L"4", L"3", L"2", L"1"};
    for (size_t i = 0; i < 4; ++i) {
        table[i + 1].displayName = labels[i];
    }
    table[1].entry.cntThreads = 3;
    table[2].entry.cntThreads = 7;
    EXPECT_EQ(L"3412", childOrder(table, L"nK"));
    EXPECT_EQ(L"1234", childOrder(table, L"N"));
    EXPECT_EQ(L"1234", childOrder(table, L"W"));  // no 32-bit process: no effect

    // Display names: none first, then by name with only A to Z folded ("[" below "a"), then PID.
    const wchar_t* names[] = {L"Zed", L"alpha", nullptr, L"ALPHA"};
    for (size_t i = 0; i < 4; ++i) {
        table[i + 1].displayName = names[i];
    }
    table.push_back(makeRecord(0x08, 1, L"z.exe"));
    table.back().displayName = L"[bracket]";
    EXPECT_EQ(L"y[bracket]ALPHAalphaZed", childOrder(table, L"d"));
}
