#include "commands/commands.h"
#include "commands/kinfold_driver.h"

#include "commands/help_texts.h"
#include "console/diagnostics.h"
#include "console/paging.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const std::wstring PREFIX = L"Kinfold plugin: ";

ProcessRecord makeRecord(uint32_t pid, uint32_t parentPid, const wchar_t* name)
{
    ProcessRecord record = {};
    record.entry.dwSize = sizeof(record.entry);
    record.entry.th32ProcessID = pid;
    record.entry.th32ParentProcessID = parentPid;
    record.entry.cntThreads = 1;
    wcsncpy(record.entry.szExeFile, name, MAX_PATH - 1);
    record.priorityIndex = 2;
    return record;
}

struct TreeRun {
    int result;
    std::vector<std::wstring> lines;  // standard output split at CRLF
};

TreeRun printTree(const std::vector<ProcessRecord>& records, uint32_t rootPid, DisplayFlags flags,
                  const wchar_t* pattern = nullptr)
{
    SYSTEMTIME today = {};
    GetLocalTime(&today);
    TreeRun run;
    run.result = printKinfoldTree(records.data(), static_cast<uint32_t>(records.size()), pattern, L"", rootPid,
                                  nullptr, 100, flags, &today);
    const std::wstring& out = gFakeHost.out;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            run.lines.push_back(out.substr(start));
            break;
        }
        run.lines.push_back(out.substr(start, end - start));
        start = end + 2;
    }
    return run;
}

bool contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// A parent (0x100) that has ended, two children and a grandchild still running.
std::vector<ProcessRecord> orphanedFamily()
{
    return {makeRecord(0x10, 0, L"init.exe"), makeRecord(0x104, 0x100, L"first.exe"),
            makeRecord(0x108, 0x100, L"second.exe"), makeRecord(0x10C, 0x104, L"grandchild.exe")};
}

// --- the driver over synthetic tables ------------------------------------

TEST(KinfoldTree, EndedRootStandsInForItsChildren)
{
    TreeRun run = printTree(orphanedFamily(), 0x100, OPT_COUNT | OPT_PARENT_PID);
    ASSERT_EQ(0, run.result) << gFakeHost.err;
    ASSERT_GE(run.lines.size(), 7u);
    EXPECT_EQ(L"", run.lines[0]) << "an empty line precedes the tree";
    EXPECT_EQ(0u, run.lines[1].find(L"0100  * PROCESS HAS ENDED *")) << run.lines[1];
    EXPECT_FALSE(contains(run.lines[1], L"[")) << "no parent PID for the placeholder";
    EXPECT_TRUE(contains(run.lines[2], L"0104") && contains(run.lines[2], L"first"));
    EXPECT_TRUE(contains(run.lines[3], L"010C") && contains(run.lines[3], L"grandchild"));
    EXPECT_TRUE(contains(run.lines[4], L"0108") && contains(run.lines[4], L"second"));
    EXPECT_EQ(L"", run.lines[5]);
    EXPECT_EQ(L"Found 3 processes.", run.lines[6]) << "the placeholder is not counted";
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(KinfoldTree, ParentPidShownForALivingRoot)
{
    TreeRun run = printTree(orphanedFamily(), 0x104, OPT_PARENT_PID);
    ASSERT_EQ(0, run.result);
    ASSERT_GE(run.lines.size(), 3u);
    EXPECT_EQ(0u, run.lines[1].find(L"0104  [0100]  first")) << run.lines[1];
    EXPECT_FALSE(contains(run.lines[2], L"[")) << "only on the first line";
}

TEST(KinfoldTree, CountLineSingularAndNoTreeLeavesOutTheEmptyLine)
{
    TreeRun run = printTree(orphanedFamily(), 0x10C, OPT_COUNT | OPT_NO_TREE);
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(3u, run.lines.size()) << gFakeHost.out;
    EXPECT_TRUE(contains(run.lines[0], L"010C")) << run.lines[0];
    EXPECT_EQ(L"", run.lines[1]);
    EXPECT_EQ(L"Found 1 process.", run.lines[2]);
}

TEST(KinfoldTree, RootNobodyHasOrNamesAsParent)
{
    // PID 0 records name 0 as parent too, but are nobody's child.
    std::vector<ProcessRecord> records = orphanedFamily();
    records.push_back(makeRecord(0, 0x200, L"[System Process]"));
    EXPECT_EQ(ROOT_PID_NOT_FOUND, printTree(records, 0x200, 0).result);
    EXPECT_EQ(L"", gFakeHost.out) << "nothing printed before the root is known";
}

TEST(KinfoldTree, ServicesRootWinsOverPidAndPattern)
{
    std::vector<ProcessRecord> records = {makeRecord(0x20, 0, L"services.exe"), makeRecord(0x30, 0, L"other.exe")};
    for (uint32_t i = 0; i < 4; ++i) {
        records.push_back(makeRecord(0x100 + 4 * i, 0x20, L"svchost.exe"));
    }
    EXPECT_EQ(NO_SERVICES_ROOT, printTree(records, 0x30, OPT_SERVICES_ROOT, L"other*").result);
    EXPECT_EQ(L"", gFakeHost.out);

    records.push_back(makeRecord(0x200, 0x20, L"svchost.exe"));
    TreeRun run = printTree(records, 0x30, OPT_SERVICES_ROOT | OPT_NO_TREE, L"other*");
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(6u, run.lines.size()) << gFakeHost.out;
    EXPECT_TRUE(contains(run.lines[0], L"0020  services")) << run.lines[0];
}

TEST(KinfoldTree, WildcardRootFromTheTable)
{
    std::vector<ProcessRecord> records = orphanedFamily();
    EXPECT_EQ(NO_WILDCARD_MATCH, printTree(records, 0, 0, L"nothing*").result);
    EXPECT_EQ(L"", gFakeHost.out);

    TreeRun run = printTree(records, 0, OPT_NO_TREE, L"sec*");
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(1u, run.lines.size());
    EXPECT_TRUE(contains(run.lines[0], L"0108  second")) << run.lines[0];
}

// --- results and messages -------------------------------------------------

TEST(KinfoldResult, RootMessagesAndCodes)
{
    EXPECT_EQ(2, reportKinfoldResult(ROOT_PID_NOT_FOUND, 0x2A));
    EXPECT_EQ(PREFIX + L"Process ID not found: 0x002A (42)\r\n", gFakeHost.err);
    resetFakeHost();
    EXPECT_EQ(2, reportKinfoldResult(NO_WILDCARD_MATCH, 7));
    EXPECT_EQ(PREFIX + L"No process matching the given wildcards was found.\r\n", gFakeHost.err);
    resetFakeHost();
    EXPECT_EQ(2, reportKinfoldResult(NO_SERVICES_ROOT, 7));
    EXPECT_EQ(PREFIX + L"Services root not found.\r\n", gFakeHost.err);
}

TEST(KinfoldResult, StopAndSuccessSaySomethingElseOrNothing)
{
    EXPECT_EQ(0, reportKinfoldResult(0, 5));
    EXPECT_EQ(3, reportKinfoldResult(STOPPED, 5));
    EXPECT_EQ(L"", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
}

TEST(KinfoldResult, SystemErrorsUseTheSystemText)
{
    wchar_t text[ERROR_TEXT_COUNT];
    ASSERT_EQ(0, formatSystemError(ERROR_NOT_ENOUGH_MEMORY, text));
    EXPECT_EQ(2, reportKinfoldResult(ERROR_NOT_ENOUGH_MEMORY, 0));
    EXPECT_EQ(PREFIX + text + L"\r\n", gFakeHost.err);
    resetFakeHost();
    EXPECT_EQ(2, reportKinfoldResult(-1, 0));
    EXPECT_EQ(PREFIX + L"Unknown error\r\n", gFakeHost.err);
}

// --- the command, with a real process table --------------------------------

int runCommand(const wchar_t* text)
{
    std::wstring copy(text);
    return kinfold(&copy[0]);
}

TEST(KinfoldCommand, NullArgumentText)
{
    EXPECT_EQ(1, kinfold(nullptr));
    EXPECT_EQ(L"", gFakeHost.out + gFakeHost.err);
}

TEST(KinfoldCommand, UnknownPidReportedInHexAndDecimal)
{
    EXPECT_EQ(2, runCommand(L"0xFFFFFFF0"));
    EXPECT_EQ(PREFIX + L"Process ID not found: 0xFFFFFFF0 (4294967280)\r\n", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
}

TEST(KinfoldCommand, DefaultRootIsTheShell)
{
    wchar_t self[32];
    wsprintfW(self, L"%04X  ", GetCurrentProcessId());
    for (const wchar_t* arguments : {L"", L".", L"/TC"}) {
        resetFakeHost();
        EXPECT_EQ(0, runCommand(arguments)) << gFakeHost.err;
        EXPECT_EQ(0u, gFakeHost.out.find(std::wstring(L"\r\n") + self)) << "kinfold " << arguments << "\n"
                                                                         << gFakeHost.out;
    }
}

TEST(KinfoldCommand, ExplorerSwitch)
{
    // No window of class Progman exists on the test desktop, so /E fails,
    // before and without trying /TC; a root argument makes it irrelevant.
    for (const wchar_t* arguments : {L"/E", L"/e /tc"}) {
        resetFakeHost();
        EXPECT_EQ(2, runCommand(arguments));
        EXPECT_EQ(PREFIX + L"Explorer process not found.\r\n", gFakeHost.err);
        EXPECT_EQ(L"", gFakeHost.out);
    }
    resetFakeHost();
    EXPECT_EQ(2, runCommand(L"/E 0xFFFFFFF0"));
    EXPECT_TRUE(contains(gFakeHost.err, L"0xFFFFFFF0")) << gFakeHost.err;
}

TEST(KinfoldCommand, ServicesRootIgnoresAGivenRoot)
{
    int result = runCommand(L"/SVC 0xFFFFFFF0 /N:T");
    if (result == 2) {
        EXPECT_EQ(PREFIX + L"Services root not found.\r\n", gFakeHost.err);
    } else {
        EXPECT_EQ(0, result) << gFakeHost.err;
        EXPECT_TRUE(contains(gFakeHost.out, L"svchost")) << gFakeHost.out;
    }
}

TEST(KinfoldCommand, HelpEndsTheCommandBeforeAnyTree)
{
    EXPECT_EQ(0, runCommand(L"0xFFFFFFF0 /? /bad"));
    EXPECT_EQ(KINFOLD_HELP, gFakeHost.out);
    EXPECT_EQ(L"", gFakeHost.err);
}

}  // namespace
