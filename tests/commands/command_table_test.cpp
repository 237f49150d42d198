// What a command's tree is built from: a snapshot walk that toolhelp may
// break off, and the parent links that hold.
#include "commands/kinfold_driver.h"
#include "commands/record_source.h"
#include "command_fixtures.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <wchar.h>

#include <map>
#include <vector>

namespace {

// Two processes listed, then the walk ends with gBreakError.
DWORD gBreakError;
uint32_t gListed;

void listProcess(PROCESSENTRY32W* entry)
{
    ++gListed;
    entry->th32ProcessID = 4 * gListed;
    entry->th32ParentProcessID = 4 * (gListed - 1);
    wcscpy(entry->szExeFile, L"listed.exe");
}

HANDLE WINAPI createSnapshot(DWORD, DWORD)
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

BOOL WINAPI firstProcess(HANDLE, PROCESSENTRY32W* entry)
{
    gListed = 0;
    listProcess(entry);
    return TRUE;
}

BOOL WINAPI nextProcess(HANDLE, PROCESSENTRY32W* entry)
{
    if (gListed == 2) {
        SetLastError(gBreakError);
        return FALSE;
    }
    listProcess(entry);
    return TRUE;
}

const ToolhelpCalls BREAKING_TOOLHELP = {createSnapshot, firstProcess, nextProcess};
const DisplayFlags NO_NAMES = OPT_NO_SERVICES | OPT_NO_TITLES;

}  // namespace

// Only the end of the list completes a walk: a snapshot broken off by any
// other error is no picture of the system, and the command says it found none.
TEST(CommandTable, WalkBrokenOffByAnErrorFindsNoProcesses)
{
    ProcessTable table;
    int result = -2;
    gBreakError = ERROR_NO_MORE_FILES;
    ASSERT_TRUE(buildCommandTable(BREAKING_TOOLHELP, NO_NAMES, false, &gTestOutput, &table, &result));
    EXPECT_EQ(2u, table.count);
    EXPECT_EQ(L"", gFakeHost.out);

    for (DWORD error : {DWORD(ERROR_BAD_LENGTH), DWORD(ERROR_ACCESS_DENIED), DWORD(0)}) {
        gBreakError = error;
        gFakeHost.out.clear();
        result = -2;
        EXPECT_FALSE(buildCommandTable(BREAKING_TOOLHELP, NO_NAMES, false, &gTestOutput, &table, &result)) << error;
        EXPECT_EQ(0, result) << error;
        EXPECT_EQ(L"No processes found!\r\n", gFakeHost.out) << error;
    }
}

// /Z brackets the parent whose link holds: a parent PID now held by a
// younger process is no parent.
TEST(CommandTable, BracketedParentIsTheOneWhoseLinkHolds)
{
    const std::vector<PROCESSENTRY32W> entries = {makeRecord(0x8, 0x4, L"child.exe").entry,
                                                  makeRecord(0x4, 0, L"younger.exe").entry,
                                                  makeRecord(0xC, 0x8, L"kid.exe").entry};
    struct Times {
        static bool read(void*, uint32_t pid, unsigned, ProcessFacts* facts, wchar_t*)
        {
            const std::map<uint32_t, uint64_t> times = {{0x4, 300}, {0x8, 200}, {0xC, 250}};
            facts->creationTime = times.at(pid);
            return true;
        }
    };
    ProcessTable table;
    ASSERT_EQ(0, fillProcessTable(entries.data(), 3, tableOptionsFor(OPT_PARENT_PID | NO_NAMES, false),
                                  ProcessProbe{Times::read, nullptr}, &table));
    SYSTEMTIME today = {};
    CommandRequest request = {nullptr, nullptr, 0x8, nullptr, 100, OPT_ASCII | OPT_PARENT_PID | NO_NAMES, &today};
    EXPECT_EQ(0, printKinfoldTree(&table, request, &gTestOutput));
    EXPECT_EQ(L"\r\n0008  [0000]  child\r\n   `--000C  kid\r\n", gFakeHost.out);
}
