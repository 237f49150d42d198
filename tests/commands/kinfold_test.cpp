#include "commands/kinfold_driver.h"
#include "command_fixtures.h"

#include "console/diagnostics.h"
#include "console/paging.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring PREFIX = L"Kinfold plugin: ";

struct TreeRun {
    int result;
    std::vector<std::wstring> lines;  // standard output split at CRLF
};

TreeRun printTree(const std::vector<ProcessRecord>& records, uint32_t rootPid, DisplayFlags flags,
                  const wchar_t* pattern = nullptr)
{
    SYSTEMTIME today = {};
    GetLocalTime(&today);
    ProcessTable table;
    fillTable(records, &table);
    CommandRequest request = {pattern, L"", rootPid, nullptr, 100, flags, &today};
    TreeRun run;
    run.result = printKinfoldTree(&table, request, &gTestOutput);
    run.lines = splitLines(gFakeHost.out);
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
    ASSERT_EQ(7u, run.lines.size()) << gFakeHost.out;
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

TEST(KinfoldTree, LivingRootShowsItsParentOnceAndTheCountIsSingular)
{
    TreeRun run = printTree(orphanedFamily(), 0x104, OPT_PARENT_PID);
    ASSERT_EQ(0, run.result);
    ASSERT_GE(run.lines.size(), 3u);
    EXPECT_EQ(0u, run.lines[1].find(L"0104  [0100]  first")) << run.lines[1];
    EXPECT_FALSE(contains(run.lines[2], L"[")) << "only on the first line";

    resetFakeHost();
    run = printTree(orphanedFamily(), 0x10C, OPT_COUNT | OPT_NO_TREE);
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(3u, run.lines.size()) << "no empty line before an untreed list\n" << gFakeHost.out;
    EXPECT_TRUE(contains(run.lines[0], L"010C")) << run.lines[0];
    EXPECT_EQ(L"", run.lines[1]);
    EXPECT_EQ(L"Found 1 process.", run.lines[2]);
}

TEST(KinfoldTree, RootFromPidPatternOrServicesRoot)
{
    // PID 0 records name 0 as parent too, but are nobody's child.
    std::vector<ProcessRecord> records = orphanedFamily();
    records.push_back(makeRecord(0, 0x200, L"[System Process]"));
    EXPECT_EQ(ROOT_PID_NOT_FOUND, printTree(records, 0x200, 0).result);
    EXPECT_EQ(NO_WILDCARD_MATCH, printTree(records, 0, 0, L"nothing*").result);
    EXPECT_EQ(L"", gFakeHost.out) << "nothing printed before the root is known";
    TreeRun run = printTree(records, 0, OPT_NO_TREE, L"sec*");
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(1u, run.lines.size());
    EXPECT_TRUE(contains(run.lines[0], L"0108  second")) << run.lines[0];

    // The services root wins over a PID and a pattern.
    resetFakeHost();
    records = {makeRecord(0x20, 0, L"services.exe"), makeRecord(0x30, 0, L"other.exe")};
    for (uint32_t i = 0; i < 4; ++i) {
        records.push_back(makeRecord(0x100 + 4 * i, 0x20, L"svchost.exe"));
    }
    EXPECT_EQ(NO_SERVICES_ROOT, printTree(records, 0x30, OPT_SERVICES_ROOT, L"other*").result);
    records.push_back(makeRecord(0x200, 0x20, L"svchost.exe"));
    run = printTree(records, 0x30, OPT_SERVICES_ROOT | OPT_NO_TREE, L"other*");
    ASSERT_EQ(0, run.result);
    ASSERT_EQ(6u, run.lines.size()) << gFakeHost.out;
    EXPECT_TRUE(contains(run.lines[0], L"0020  services")) << run.lines[0];
}

// --- results and messages -------------------------------------------------

TEST(KinfoldResult, MessagesAndCodes)
{
    wchar_t outOfMemory[ERROR_TEXT_COUNT];
    ASSERT_EQ(0, formatSystemError(ERROR_NOT_ENOUGH_MEMORY, outOfMemory));
    const struct {
        int driverResult;
        int code;
        std::wstring message;
    } cases[] = {
        {ROOT_PID_NOT_FOUND, 2, L"Process ID not found: 0x002A (42)"},
        {NO_WILDCARD_MATCH, 2, L"No process matching the given wildcards was found."},
        {NO_SERVICES_ROOT, 2, L"Services root not found."},
        {ERROR_NOT_ENOUGH_MEMORY, 2, outOfMemory},
        {-1, 2, L"Unknown error"},
        {0, 0, L""},
        {STOPPED, 3, L""},
    };
    for (const auto& c : cases) {
        resetFakeHost();
        EXPECT_EQ(c.code, reportCommandResult(c.driverResult, 0x2A)) << c.driverResult;
        EXPECT_EQ(c.message.empty() ? std::wstring() : PREFIX + c.message + L"\r\n", gFakeHost.err) << c.driverResult;
        EXPECT_EQ(L"", gFakeHost.out);
    }
}

// --- the command, with a real process table --------------------------------

TEST(KinfoldCommand, ArgumentsAndRootsThatFail)
{
    EXPECT_EQ(1, kinfold(nullptr));
    EXPECT_EQ(1, runCommand(kinfoldCommand, L"/bad"));
    EXPECT_EQ(L"", gFakeHost.out);

    resetFakeHost();
    EXPECT_EQ(2, runCommand(kinfoldCommand, L"0xFFFFFFF0"));
    EXPECT_TRUE(contains(gFakeHost.err, L" 0xFFFFFFF0 (4294967280)\r\n")) << gFakeHost.err;
    EXPECT_EQ(L"", gFakeHost.out);

    // No window of class Progman exists on the test desktop, so /E fails
    // without trying /TC; a root argument makes it irrelevant.
    resetFakeHost();
    EXPECT_EQ(2, runCommand(kinfoldCommand, L"/e /tc"));
    EXPECT_EQ(PREFIX + L"Explorer process not found.\r\n", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
    resetFakeHost();
    EXPECT_EQ(2, runCommand(kinfoldCommand, L"/E 0xFFFFFFF0"));
    EXPECT_TRUE(contains(gFakeHost.err, L"0xFFFFFFF0")) << gFakeHost.err;
}

TEST(KinfoldCommand, DefaultRootIsTheShell)
{
    wchar_t self[32];
    wsprintfW(self, L"%04X  ", GetCurrentProcessId());
    for (const wchar_t* arguments : {L"", L".", L"/TC"}) {
        resetFakeHost();
        EXPECT_EQ(0, runCommand(kinfoldCommand, arguments)) << gFakeHost.err;
        EXPECT_EQ(0u, gFakeHost.out.find(std::wstring(L"\r\n") + self)) << "kinfold " << arguments << "\n"
                                                                         << gFakeHost.out;
    }
}

// /TC names one root: when the host gives no shell window, /ALL /TC is the
// shell's own tree, as plain /TC is. Fault: the whole system instead, one
// tree for every process without a living parent.
TEST(KinfoldCommand, AllWithoutAShellWindowIsTheShellsOneTree)
{
    wchar_t self[32];
    wsprintfW(self, L"\r\n%04X  ", GetCurrentProcessId());
    // No answer, no number, window 0, and a number that names no window.
    for (const wchar_t* answer : {L"", L"none", L"0", L"0x7FFFFFF0"}) {
        resetFakeHost();
        gFakeHost.ipcAnswer = answer;
        EXPECT_EQ(0, runCommand(kinfoldCommand, L"/ALL /TC")) << gFakeHost.err;
        EXPECT_EQ(0u, gFakeHost.out.find(self)) << answer << "\n" << gFakeHost.out;
        EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"\r\n\r\n")) << "a second tree\n" << gFakeHost.out;
    }
}

}  // namespace
