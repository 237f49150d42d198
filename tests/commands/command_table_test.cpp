// A command's table from a snapshot walk that toolhelp breaks off.
#include "commands/record_source.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <wchar.h>

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
    ASSERT_TRUE(buildCommandTable(BREAKING_TOOLHELP, NO_NAMES, &table, &result));
    EXPECT_EQ(2u, table.count);
    EXPECT_EQ(L"", gFakeHost.out);

    for (DWORD error : {DWORD(ERROR_BAD_LENGTH), DWORD(ERROR_ACCESS_DENIED), DWORD(0)}) {
        gBreakError = error;
        gFakeHost.out.clear();
        result = -2;
        EXPECT_FALSE(buildCommandTable(BREAKING_TOOLHELP, NO_NAMES, &table, &result)) << error;
        EXPECT_EQ(0, result) << error;
        EXPECT_EQ(L"No processes found!\r\n", gFakeHost.out) << error;
    }
}
