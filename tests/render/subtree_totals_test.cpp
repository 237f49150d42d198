#include "render/csv_row.h"
#include "render/subtree_totals.h"
#include "render/tree.h"
#include "render_fixture.h"

#include <random>
#include <string>
#include <vector>

namespace {

// Every line of the walk, and what a brute-force count makes of it: the
// lines after it deeper than it, up to the first that is not.
struct Walked {
    std::vector<WalkStep> steps;
    std::vector<SubtreeTotals> totals;
};

Walked walkAndSum(const ViewSettings& view, const ProcessRecord* root)
{
    Walked walked;
    ListedMarks listed;
    EXPECT_TRUE(startListedMarks(view.source, &listed));
    DescendantWalk walk;
    startWalk(view.source, view.sortKeys, &listed, root, &walk);
    WalkStep step;
    while (nextWalkStep(&walk, &step)) {
        walked.steps.push_back(step);
    }
    walked.totals.resize(walked.steps.size());
    sumSubtrees(walked.steps.data(), walked.steps.size(), view.source, walked.totals.data());
    return walked;
}

}  // namespace

// Faults: a subtree summed into the wrong parent (a sibling's, or the
// grandparent's twice), a leaf counting itself, the sums cut to 32 bits.
TEST_F(RenderTest, TotalsAgreeWithABruteForceCountOnRandomTables)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 40; ++round) {
        uint32_t count = 1 + random() % 300;
        std::vector<SyntheticRecord> table;
        for (uint32_t i = 0; i < count; ++i) {
            // Parents among earlier processes, or anywhere (cycles, orphans).
            uint32_t parent = (round % 4 == 0) ? random() % (count + 2) : (i == 0 ? 0 : random() % i);
            table.push_back(makeRecord((i + 1) * 4, parent * 4, L"p.exe"));
            // Up to 3 GiB each: a few hundred of them pass 4 GiB.
            table.back().details.workingSetSize = static_cast<SIZE_T>(random() % 3 * (1u << 30) + random() % 4096);
            table.back().entry.cntThreads = random() % 50;
        }
        ViewSettings view = viewOf(table, 0, 79, round % 2 == 0 ? L"" : nullptr);
        Walked walked = walkAndSum(view, &table[0]);
        for (size_t i = 0; i < walked.steps.size(); ++i) {
            SubtreeTotals expected = {0, 0, 0};
            for (size_t j = i; j < walked.steps.size() && (j == i || walked.steps[j].depth > walked.steps[i].depth);
                 ++j) {
                const SyntheticRecord& record = *static_cast<const SyntheticRecord*>(walked.steps[j].record);
                expected.below += j == i ? 0 : 1;
                expected.workingSet += record.details.workingSetSize;
                expected.threads += record.entry.cntThreads;
            }
            ASSERT_EQ(expected.below, walked.totals[i].below) << "round " << round << " line " << i;
            ASSERT_EQ(expected.workingSet, walked.totals[i].workingSet) << "round " << round << " line " << i;
            ASSERT_EQ(expected.threads, walked.totals[i].threads) << "round " << round << " line " << i;
        }
    }
}

// A chain as deep as the table: every level totals the levels below it.
TEST_F(RenderTest, TotalsOfAChainAsDeepAsTheTable)
{
    const uint32_t depth = 100000;
    std::vector<SyntheticRecord> table;
    for (uint32_t i = 0; i < depth; ++i) {
        table.push_back(makeRecord((i + 1) * 4, i * 4, L"p.exe"));
        table.back().details.workingSetSize = 1u << 20;
    }
    // The fixture's source scans the table per question; this one answers
    // children by PID at once.
    ViewSettings view = viewOf(table, 0);
    view.source.childCount = [](void*, uint32_t pid) -> uint32_t { return pid < depth * 4 ? 1 : 0; };
    view.source.children = [](void* context, uint32_t pid, const ProcessRecord** out, uint32_t) -> uint32_t {
        const std::vector<SyntheticRecord>& records = *static_cast<SyntheticSource*>(context)->table;
        out[0] = &records[pid / 4];
        return 1;
    };
    view.source.slotOf = [](void*, const ProcessRecord* record) -> uint32_t { return record->entry.th32ProcessID / 4 - 1; };
    Walked walked = walkAndSum(view, &table[0]);
    ASSERT_EQ(depth, walked.steps.size());
    for (uint32_t level = 0; level < depth; level += 9999) {
        EXPECT_EQ(depth - 1 - level, walked.totals[level].below);
        EXPECT_EQ(static_cast<uint64_t>(depth - level) << 20, walked.totals[level].workingSet);
    }
}

// The count follows the name of every line with something below it, the
// memory and thread columns show the totals; a leaf shows its own and no
// count. Fault: the count written for leaves as [+0], or the columns left
// at the process's own values.
TEST_F(RenderTest, SumsInTheLineAndTheRow)
{
    std::vector<SyntheticRecord> table = {makeRecord(8, 4, L"x.exe"), makeRecord(12, 8, L"y.exe"),
                                          makeRecord(16, 12, L"z.exe"), makeRecord(20, 8, L"w.exe")};
    for (SyntheticRecord& record : table) {
        record.details.creationTime = kStartTicks;
        record.details.workingSetSize = 3u << 20;
        record.entry.cntThreads = 2;
    }
    table[3].details = {};  // could not be opened: 0 bytes, still a process
    EXPECT_EQ(L"0008     9M  x [+3] (8)\r\n"
              L"   +--000C     6M  y [+1] (4)\r\n"
              L"   |  `--0010     3M  z (2)\r\n"
              L"   `--0014     0K  w (2)\r\n",
              renderTree(table, 8, OPT_SUBTREE_SUMS | OPT_MEMORY | OPT_THREADS | OPT_ASCII));
    DisplayFlags csv = OPT_CSV | OPT_SUBTREE_SUMS | OPT_MEMORY | OPT_THREADS | OPT_NO_DISPLAY_NAMES;
    gFakeHost.out.clear();
    ASSERT_EQ(0, writeCsvHeader(csv, &gTestOutput));
    EXPECT_EQ(L"Depth,PID,ParentPID,Name,WorkingSet,Threads,SubtreeCount,SubtreeWorkingSet\r\n", gFakeHost.out);
    std::wstring rows = renderTree(table, 8, csv);
    EXPECT_EQ(L"0,8,4,x.exe,3145728,2,3,9437184\r\n"
              L"1,12,8,y.exe,3145728,2,1,6291456\r\n"
              L"2,16,12,z.exe,3145728,2,0,3145728\r\n"
              L"1,20,8,w.exe,,2,0,0\r\n",
              rows);
}
