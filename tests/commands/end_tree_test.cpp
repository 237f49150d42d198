// KINFOLD /END over a fake system: processes that are replaced, protected,
// critical or slow to die, and every handle the table held given back.
#include "command_fixtures.h"
#include "commands/command_context.h"
#include "commands/end_tree.h"
#include "commands/kinfold_driver.h"
#include "console/diagnostics.h"
#include "console/paging.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::wstring> Lines;
typedef std::vector<uint32_t> Pids;

// A process's handle is its PID, so what the code does with a handle shows
// which process it meant.
HANDLE handleOf(uint32_t pid)
{
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(pid));
}

uint32_t pidOf(HANDLE process)
{
    return static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(process));
}

struct FakeSystem {
    std::map<uint32_t, uint64_t> created;  // creation time read at the first opening; none: cannot be opened
    std::map<uint32_t, uint64_t> replaced;  // a later reading through the handle gives this instead
    std::set<uint32_t> unholdable;         // opens for reading, but not able to end it
    std::set<uint32_t> ended, critical, slow;
    std::map<uint32_t, DWORD> refuse;      // TerminateProcess fails with this
    Pids terminated;                       // in call order
    std::multiset<uint32_t> held;          // handed out, not yet given back

    static bool read(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t*)
    {
        FakeSystem& self = *static_cast<FakeSystem*>(context);
        auto time = self.created.find(pid);
        if (time == self.created.end()) {
            facts->openError = ERROR_INVALID_PARAMETER;
            return false;
        }
        facts->creationTime = time->second;
        if ((want & WANT_HOLD) != 0 && self.unholdable.count(pid) != 0) {
            facts->openError = ERROR_ACCESS_DENIED;
        } else if ((want & WANT_HOLD) != 0) {
            facts->held = handleOf(pid);
            self.held.insert(pid);
        }
        return true;
    }
    static void release(void* context, HANDLE process)
    {
        FakeSystem& self = *static_cast<FakeSystem*>(context);
        auto at = self.held.find(pidOf(process));
        ASSERT_NE(self.held.end(), at) << "given back twice, or never handed out: " << pidOf(process);
        self.held.erase(at);
    }
    static uint64_t creationTime(void* context, HANDLE process)
    {
        FakeSystem& self = *static_cast<FakeSystem*>(context);
        uint32_t pid = pidOf(process);
        return self.replaced.count(pid) != 0 ? self.replaced[pid] : self.created[pid];
    }
    static bool hasEnded(void* context, HANDLE process)
    {
        return static_cast<FakeSystem*>(context)->ended.count(pidOf(process)) != 0;
    }
    static bool isCritical(void* context, HANDLE process)
    {
        return static_cast<FakeSystem*>(context)->critical.count(pidOf(process)) != 0;
    }
    static DWORD terminate(void* context, HANDLE process)
    {
        FakeSystem& self = *static_cast<FakeSystem*>(context);
        uint32_t pid = pidOf(process);
        self.terminated.push_back(pid);
        return self.refuse.count(pid) != 0 ? self.refuse[pid] : 0;
    }
    static void waitForEnd(void* context, const HANDLE* processes, uint32_t count, DWORD, bool* gone)
    {
        FakeSystem& self = *static_cast<FakeSystem*>(context);
        for (uint32_t i = 0; i < count; ++i) {
            gone[i] = self.slow.count(pidOf(processes[i])) == 0;
        }
    }
    EndCalls calls() { return EndCalls{this, creationTime, hasEnded, isCritical, terminate, waitForEnd}; }
};

// init 10 > shell 14 (the command's) and tool 20 > build 30 > cc 34, cc 38 > ld 3C; tool 20 > spare 40.
std::vector<ProcessRecord> family()
{
    return {makeRecord(0x10, 0, L"init.exe"),   makeRecord(0x14, 0x10, L"shell.exe"),
            makeRecord(0x20, 0x14, L"tool.exe"), makeRecord(0x30, 0x20, L"build.exe"),
            makeRecord(0x34, 0x30, L"cc.exe"),   makeRecord(0x38, 0x30, L"cc.exe"),
            makeRecord(0x3C, 0x38, L"ld.exe"),   makeRecord(0x40, 0x20, L"spare.exe")};
}

class EndTree : public ::testing::Test {
protected:
    FakeSystem system;
    std::unique_ptr<ProcessTable> table;

    void SetUp() override
    {
        for (const ProcessRecord& record : family()) {
            system.created[record.entry.th32ProcessID] = 1000 + record.entry.th32ProcessID;
        }
    }

    // KINFOLD root /END over the family, as the shell 0x14 runs it.
    int run(uint32_t rootPid, DisplayFlags flags, bool confirmed = true, const wchar_t* pattern = nullptr)
    {
        std::vector<PROCESSENTRY32W> entries;
        for (const ProcessRecord& record : family()) {
            entries.push_back(record.entry);
        }
        table.reset(new ProcessTable());
        TableOptions options = {};
        options.holdProcesses = true;
        ProcessProbe probe = {FakeSystem::read, &system, FakeSystem::release};
        EXPECT_EQ(0, fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), options, probe,
                                      table.get()));
        SYSTEMTIME today = {};
        CommandRequest request = {pattern, L"", rootPid, nullptr, 100, flags | OPT_ASCII, &today};
        request.shellPid = 0x14;
        request.endTree = true;
        request.endConfirmed = confirmed;
        EndCalls calls = system.calls();
        int result = printKinfoldTree(table.get(), request, &gTestOutput, &calls);
        table.reset();
        EXPECT_TRUE(system.held.empty()) << "a handle was not given back";
        return result;
    }
    Lines lines() const { return splitLines(gFakeHost.out); }
};

}  // namespace

// The tree printed is the list ended, leaves first, each once, nothing
// outside it; every handle given back. Faults: ending in printed order (a
// parent before its children, which are then re-parented and live on);
// ending the root's siblings or parent.
TEST_F(EndTree, EndsThePrintedTreeLeavesFirst)
{
    ASSERT_EQ(0, run(0x30, 0));
    EXPECT_EQ((Lines{L"", L"0030  build", L"   +--0034  cc", L"   `--0038  cc", L"      `--003C  ld", L"",
                     L"Ended 4 of 4 processes."}),
              lines());
    EXPECT_EQ((Pids{0x3C, 0x38, 0x34, 0x30}), system.terminated);
}

// Each process that cannot be ended is left alone with its reason; the rest
// are ended and the result is 1. Faults: a replaced PID ended (the check
// skipped), a refusal or slow death counted as ended.
TEST_F(EndTree, WhatCannotBeEndedIsLeftWithItsReason)
{
    system.replaced[0x34] = 7;         // a new process has 0x34's PID
    system.unholdable.insert(0x3C);    // protected
    system.critical.insert(0x38);
    system.ended.insert(0x40);
    system.refuse[0x30] = ERROR_ACCESS_DENIED;
    system.slow.insert(0x20);
    wchar_t denied[ERROR_TEXT_COUNT];
    ASSERT_EQ(0, formatSystemError(ERROR_ACCESS_DENIED, denied));
    EXPECT_EQ(SOME_NOT_ENDED, run(0x20, 0));
    EXPECT_EQ(1, reportCommandResult(SOME_NOT_ENDED, 0));
    Lines all = lines();
    ASSERT_LT(8u, all.size());
    Lines report(all.begin() + 8, all.end());
    EXPECT_EQ((Lines{L"0034 cc.exe: not ended (it is not the process the tree was built from)",
                     L"0038 cc.exe: not ended (it is critical to the system)",
                     std::wstring(L"003C ld.exe: not ended (cannot open it to end it: ") + denied + L")",
                     L"0040 spare.exe: not ended (it has ended already)", std::wstring(L"0030 build.exe: ") + denied,
                     L"0020 tool.exe: still running after 5 seconds", L"Ended 0 of 6 processes."}),
              report);
    EXPECT_EQ((Pids{0x30, 0x20}), system.terminated);
}

// The shell running the command, or any of its ancestors, in the tree: no
// process is ended. Fault: the refusal checking the root only (tool's
// subtree holds no ancestor; the whole system does).
TEST_F(EndTree, NothingIsEndedWhenTheTreeHoldsTheShell)
{
    for (uint32_t root : {0x10u, 0x14u}) {
        resetFakeHost();
        EXPECT_EQ(SHELL_IN_TREE, run(root, 0));
        EXPECT_TRUE(system.terminated.empty());
    }
    resetFakeHost();
    EXPECT_EQ(SHELL_IN_TREE, run(0, OPT_ALL_ROOTS | OPT_WHOLE_SYSTEM));
    EXPECT_EQ(2, reportCommandResult(SHELL_IN_TREE, 0x14));
    EXPECT_EQ(L"Kinfold plugin: the tree holds this shell (20); nothing was ended\r\n", gFakeHost.err);
    EXPECT_TRUE(system.terminated.empty());
}

// /ANC shows the ancestors but ends only the root's tree.
TEST_F(EndTree, AncestorsShownAboveTheRootStay)
{
    ASSERT_EQ(0, run(0x38, OPT_ANCESTOR_PATHS));
    EXPECT_EQ((Pids{0x3C, 0x38}), system.terminated);
    EXPECT_EQ(L"Ended 2 of 2 processes.", lines().back());
}

// Asked first unless /Y: only Y ends anything, and the answer follows the
// question. Faults: Esc or Ctrl-C read as yes, the question skipped, the
// break notice written over the question's first words.
TEST_F(EndTree, OnlyYAtTheQuestionEndsTheTree)
{
    const struct {
        int key;
        int result;
        size_t ended;
        const wchar_t* answer;
        bool typedAhead;  // pressed while the tree was printing, before the question
    } cases[] = {{'n', STOPPED, 0, L"N\r\n", false}, {27, STOPPED, 0, L"N\r\n", false},
                 {3, STOPPED, 0, L"\r\n\r ^C \r\n", false}, {'x', STOPPED, 0, L"N\r\n", false},
                 {'y', 0, 2, L"Y\r\n", false}, {'Y', 0, 2, L"Y\r\n", false},
                 // Fault: a stray Y typed ahead answering for the user (the
                 // wait then sees no key, and nothing is ended).
                 {'y', STOPPED, 0, L"N\r\n", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        FakeConsoleScope console;
        resetFakeHost();
        system.terminated.clear();
        gFakeConsole.keys = {c.key};
        gFakeConsole.keysAfterSleeps = c.typedAhead ? 0 : 1;
        gFakeConsole.sleepLimit = 20;
        EXPECT_EQ(c.result, run(0x38, 0, false));
        EXPECT_NE(std::wstring::npos, gFakeHost.out.find(std::wstring(L"End 2 processes? (Y/N) ") + c.answer))
            << gFakeHost.out;
        EXPECT_EQ(c.ended, system.terminated.size());
    }
}

// Refused before anything is printed: with no console to ask and no /Y, and
// with /CSV. Fault: the tree printed (or ended) first.
TEST(EndTreeOptions, RefusedWhereItCannotBeCarriedOut)
{
    const struct {
        const wchar_t* arguments;
        bool inputIsConsole;
        const wchar_t* error;
    } cases[] = {
        {L"4294967280 /END", false, L"Kinfold plugin: /END needs /Y when there is no console to ask\r\n"},
        {L"4294967280 /END /CSV /Y", true, L"Kinfold plugin: /END does not take /CSV: list with @KINFOLD, end with /END /Y\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        FakeConsoleScope console;
        resetFakeHost();
        gFakeConsole.inputIsConsole = c.inputIsConsole;
        EXPECT_EQ(1, runCommand(kinfoldCommand, c.arguments));
        EXPECT_EQ(c.error, gFakeHost.err);
        EXPECT_EQ(L"", gFakeHost.out);
    }
}
