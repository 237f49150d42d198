// A chain of processes as deep as the table is long, walked on a thread whose
// stack is smaller than a host's may be. Fault: a walk that recurses per
// level; on a 256 KB stack it overflows within a few thousand levels, and in
// the shell that ends the user's session.
#include "command_fixtures.h"
#include "commands/kinfold_driver.h"
#include "commands/kinfold_function.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint32_t DEPTH = 100000;
const SIZE_T SMALL_STACK_BYTES = 256 * 1024;

uint32_t pidAt(uint32_t level)
{
    return (level + 1) * 4;
}

struct ChainRun {
    ProcessTable* table;
    SYSTEMTIME today;
    // What each view gave: result, lines, last line.
    int results[3];
    uint64_t lines[3];
    std::wstring lastLines[3];
    int functionResult;
    wchar_t count[16];
    wchar_t leavesFirst[32];
};

DWORD WINAPI runViews(void* context)
{
    ChainRun& run = *static_cast<ChainRun*>(context);
    const DisplayFlags views[3] = {0, OPT_ALL_ROOTS | OPT_WHOLE_SYSTEM, OPT_ANCESTOR_PATHS};
    const uint32_t roots[3] = {pidAt(0), 0, pidAt(DEPTH - 1)};
    for (int i = 0; i < 3; ++i) {
        resetFakeHost();
        gFakeHost.keepOutput = false;
        CommandRequest request = {nullptr, L"", roots[i], nullptr, 100, views[i] | OPT_ASCII, &run.today};
        run.results[i] = printKinfoldTree(run.table, request, &gTestOutput);
        run.lines[i] = gFakeHost.lineEnds;
        run.lastLines[i] = gFakeHost.lastLine;
    }
    run.functionResult = writeKinfoldResult(run.table, pidAt(0), 2 | KINFOLD_FLAG_COUNT, run.count, 16);
    (void)writeKinfoldResult(run.table, pidAt(0), 2 | KINFOLD_FLAG_LEAVES_FIRST, run.leavesFirst, 32);
    return 0;
}

TEST(DeepChain, EveryViewWalksItOnASmallStack)
{
    std::vector<ProcessRecord> records;
    for (uint32_t level = 0; level < DEPTH; ++level) {
        records.push_back(makeRecord(pidAt(level), level == 0 ? 0 : pidAt(level - 1), L"p.exe"));
    }
    ProcessTable table;
    fillTable(records, &table);
    ASSERT_EQ(DEPTH, table.count);

    ChainRun run = {};
    run.table = &table;
    HANDLE thread = CreateThread(nullptr, SMALL_STACK_BYTES, runViews, &run, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                 nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    DWORD exitCode = 1;
    ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
    CloseHandle(thread);
    EXPECT_EQ(0u, exitCode);

    // The tree, the whole system and the path above the deepest: one empty
    // line and a line per process, the deepest last (its indent cut to the
    // line's capacity, which leaves no room for its name).
    const wchar_t* names[3] = {L"kinfold", L"/ALL", L"/ANC"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(0, run.results[i]);
        EXPECT_EQ(DEPTH + 1, run.lines[i]);
        EXPECT_EQ(L" 61A80  ", run.lastLines[i].substr(run.lastLines[i].size() - 8));
    }
    EXPECT_EQ(0, run.functionResult);
    EXPECT_STREQ(L"100000", run.count);
    // Leaves first: the deepest comes first; the list is cut at the buffer.
    EXPECT_EQ(std::wstring(L"400000 399996"), std::wstring(run.leavesFirst).substr(0, 13));
}

}  // namespace
