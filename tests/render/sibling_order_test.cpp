#include "render/sibling_order.h"
#include "render_fixture.h"

#include <algorithm>

namespace {

std::wstring parsed(const wchar_t* text, bool* unsorted = nullptr)
{
    wchar_t keys[SORT_KEYS_COUNT];
    wmemset(keys, L'#', SORT_KEYS_COUNT);
    EXPECT_EQ(0, parseSortKeys(text, keys, unsorted));
    return keys;
}

// Sorts the records as the tree walk does and gives the PIDs in order.
std::vector<uint32_t> sortedPids(const std::vector<ProcessRecord>& records, const wchar_t* keys)
{
    std::vector<const ProcessRecord*> siblings;
    for (const ProcessRecord& record : records) {
        siblings.push_back(&record);
    }
    std::sort(siblings.begin(), siblings.end(), [keys](const ProcessRecord* a, const ProcessRecord* b) {
        return compareSiblings(keys, &a, &b) < 0;
    });
    std::vector<uint32_t> pids;
    for (const ProcessRecord* record : siblings) {
        pids.push_back(record->entry.th32ProcessID);
    }
    return pids;
}

typedef std::vector<uint32_t> Pids;

}  // namespace

TEST(ParseSortKeysTest, BuildsKeysWithDirections)
{
    bool unsorted = true;
    EXPECT_EQ(L"", parsed(L"", &unsorted));
    EXPECT_FALSE(unsorted);
    EXPECT_EQ(L"tn", parsed(L":TN"));
    EXPECT_EQ(L"tn", parsed(L"=tn"));
    EXPECT_EQ(L"T", parsed(L":-T"));
    EXPECT_EQ(L"T", parsed(L":TR"));
    EXPECT_EQ(L"t", parsed(L":-TR"));
    EXPECT_EQ(L"Np", parsed(L":N-PR-"));  // R swaps every key wherever it stands
    EXPECT_EQ(L"n", parsed(L":--N"));
    EXPECT_EQ(L"n", parsed(L":N-"));
    EXPECT_EQ(L"", parsed(L":R"));
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(ParseSortKeysTest, UStopsSortingAndIgnoresTheRest)
{
    bool unsorted = false;
    EXPECT_EQ(L"", parsed(L":U", &unsorted));
    EXPECT_TRUE(unsorted);
    unsorted = false;
    EXPECT_EQ(L"", parsed(L"u?!xyz", &unsorted));
    EXPECT_TRUE(unsorted);
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(ParseSortKeysTest, KeepsTheFirstFifteenKeysSilently)
{
    EXPECT_EQ(L"ckmnptwdeckmnpt", parsed(L":ckmnptwdeckmnptw"));
    // The reverse mark of a dropped key is used up by it.
    EXPECT_EQ(L"ckmnptwdeckmnpt", parsed(L":ckmnptwdeckmnpt-wn"));
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(ParseSortKeysTest, ReportsAnUnknownKeyInUpperCase)
{
    wchar_t keys[SORT_KEYS_COUNT];
    EXPECT_EQ(1, parseSortKeys(L":NU", keys, nullptr));
    EXPECT_EQ(L"Kinfold plugin: Unknown sort flag: /O:U  (/O? for help)\r\n", gFakeHost.err);
    gFakeHost.err.clear();
    EXPECT_EQ(1, parseSortKeys(L":x", keys, nullptr));
    EXPECT_EQ(L"Kinfold plugin: Unknown sort flag: /O:X  (/O? for help)\r\n", gFakeHost.err);

    EXPECT_EQ(-1, parseSortKeys(nullptr, keys, nullptr));
    EXPECT_EQ(-1, parseSortKeys(L":T", nullptr, nullptr));
}

TEST(SwapKeyCaseTest, CountsTheLettersItChanged)
{
    wchar_t keys[] = L"tN-p";
    EXPECT_EQ(3, swapKeyCase(keys));
    EXPECT_STREQ(L"Tn-P", keys);
    EXPECT_EQ(0, swapKeyCase(nullptr));
}

TEST(CompareSiblingsTest, EachKeyInItsNormalDirection)
{
    std::vector<ProcessRecord> records = {makeRecord(0x30, 1, L"b.exe"), makeRecord(0x10, 1, L"C.exe"),
                                          makeRecord(0x20, 1, L"a.exe")};
    records[0].priorityIndex = 5;
    records[1].priorityIndex = 0;
    records[2].priorityIndex = 3;
    records[0].entry.cntThreads = 2;
    records[1].entry.cntThreads = 9;
    records[2].entry.cntThreads = 4;
    records[0].memory.WorkingSetSize = 100;
    records[1].memory.WorkingSetSize = 50;
    records[2].memory.WorkingSetSize = 75;
    records[0].creationTime = makeFileTime(0);
    records[1].creationTime = makeFileTime(0x100000000ull);  // high half decides
    records[2].creationTime = makeFileTime(0xFFFFFFFFull);
    records[2].elevated = 1;
    records[0].is32Bit = 1;

    EXPECT_EQ(Pids({0x10, 0x20, 0x30}), sortedPids(records, L""));
    EXPECT_EQ(Pids({0x10, 0x20, 0x30}), sortedPids(records, L"p"));
    EXPECT_EQ(Pids({0x30, 0x20, 0x10}), sortedPids(records, L"P"));
    EXPECT_EQ(Pids({0x10, 0x20, 0x30}), sortedPids(records, L"c"));
    EXPECT_EQ(Pids({0x30, 0x20, 0x10}), sortedPids(records, L"k"));
    EXPECT_EQ(Pids({0x10, 0x20, 0x30}), sortedPids(records, L"m"));
    EXPECT_EQ(Pids({0x20, 0x30, 0x10}), sortedPids(records, L"n"));  // a, b, C: case folded
    EXPECT_EQ(Pids({0x10, 0x30, 0x20}), sortedPids(records, L"N"));
    EXPECT_EQ(Pids({0x30, 0x20, 0x10}), sortedPids(records, L"t"));  // unknown time first
    EXPECT_EQ(Pids({0x10, 0x20, 0x30}), sortedPids(records, L"T"));
    EXPECT_EQ(Pids({0x20, 0x10, 0x30}), sortedPids(records, L"e"));
    EXPECT_EQ(Pids({0x30, 0x10, 0x20}), sortedPids(records, L"w"));
    // A letter outside the table ties; the PID still decides.
    EXPECT_EQ(Pids({0x10, 0x20, 0x30}), sortedPids(records, L"z"));
}

TEST(CompareSiblingsTest, TiesFallThroughToTheNextKeyAndNeverReverseThePid)
{
    std::vector<ProcessRecord> records = {makeRecord(0x40, 1, L"x.exe"), makeRecord(0x30, 1, L"x.exe"),
                                          makeRecord(0x20, 1, L"y.exe"), makeRecord(0x10, 1, L"y.exe")};
    records[0].entry.cntThreads = 3;
    records[1].entry.cntThreads = 7;
    EXPECT_EQ(Pids({0x30, 0x40, 0x10, 0x20}), sortedPids(records, L"nK"));
    EXPECT_EQ(Pids({0x10, 0x20, 0x30, 0x40}), sortedPids(records, L"N"));
    // W with every is32Bit 0 changes nothing.
    EXPECT_EQ(Pids({0x10, 0x20, 0x30, 0x40}), sortedPids(records, L"w"));
    EXPECT_EQ(Pids({0x10, 0x20, 0x30, 0x40}), sortedPids(records, L"W"));
}

TEST(CompareSiblingsTest, DisplayNamesWithoutANameFirst)
{
    std::vector<ProcessRecord> records = {makeRecord(0x50, 1, L"a.exe"), makeRecord(0x40, 1, L"a.exe"),
                                          makeRecord(0x30, 1, L"a.exe"), makeRecord(0x20, 1, L"a.exe"),
                                          makeRecord(0x10, 1, L"a.exe")};
    records[0].displayName = L"Zed";
    records[1].displayName = L"alpha";
    records[2].displayName = nullptr;
    records[3].displayName = L"ALPHA";
    records[4].displayName = L"[bracket]";  // only A to Z fold, so "[" stays below "a"
    EXPECT_EQ(Pids({0x30, 0x10, 0x20, 0x40, 0x50}), sortedPids(records, L"d"));
}

TEST(CompareSiblingsTest, SortsTenThousandSiblingsConsistently)
{
    std::vector<ProcessRecord> records;
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < 10000; ++i) {
        seed = seed * 1103515245u + 12345u;
        ProcessRecord record = makeRecord(4 * (i + 2), 4, (seed >> 16) % 2 ? L"Svc.exe" : L"svc.exe");
        record.entry.cntThreads = (seed >> 8) % 7;
        record.priorityIndex = static_cast<int32_t>((seed >> 4) % 7);
        record.creationTime = makeFileTime((seed >> 12) % 50);
        records.push_back(record);
    }
    std::vector<uint32_t> pids = sortedPids(records, L"nKcT");
    ASSERT_EQ(10000u, pids.size());
    std::vector<const ProcessRecord*> byPid(40008, nullptr);
    for (const ProcessRecord& record : records) {
        byPid[record.entry.th32ProcessID] = &record;
    }
    for (size_t i = 1; i < pids.size(); ++i) {
        const ProcessRecord* a = byPid[pids[i - 1]];
        const ProcessRecord* b = byPid[pids[i]];
        ASSERT_LT(compareSiblings(L"nKcT", &a, &b), 0) << i;
        ASSERT_GT(compareSiblings(L"nKcT", &b, &a), 0) << i;
    }
}
