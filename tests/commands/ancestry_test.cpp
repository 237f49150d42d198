#include "commands/ancestry.h"
#include "command_fixtures.h"
#include "console/diagnostics.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "console/line_output.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <new>
#include <string>
#include <vector>

namespace {

// A table of four processes; 0x0BAD is in no chain used here.
class AncestorLinesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetTestOutput();
        (gTestOutput.attributes = ConsoleAttributes());  // colour off: every name goes through the host
        records_ = {makeRecord(0x0BAD, 0x20, L"other.exe"), makeRecord(0x30, 0x24, L"child.exe"),
                    makeRecord(0x20, 0, L"oldest.exe"), makeRecord(0x24, 0x20, L"middle.exe")};
        GetLocalTime(&today_);
    }

    // The lines the renderer writes for this chain, without their line ends.
    std::vector<std::wstring> render(std::vector<uint32_t> chain, DisplayFlags flags)
    {
        ProcessTable table;
        fillTable(records_, &table);
        ViewSettings view = {};
        view.output = &gTestOutput;
        view.width = 100;
        view.flags = flags;
        view.totalCount = static_cast<uint32_t>(chain.size());
        view.today = &today_;
        EXPECT_EQ(0, renderAncestorLines(chain.data(), static_cast<uint32_t>(chain.size()), table, &view));
        return splitLines(gFakeHost.out);
    }

    std::vector<ProcessRecord> records_;
    SYSTEMTIME today_ = {};
};

}  // namespace

TEST_F(AncestorLinesTest, OrderAndNumbersCountFromTheProcess)
{
    const struct {
        DisplayFlags flags;
        const wchar_t* starts[3];
    } cases[] = {
        {0, {L"0020  oldest", L"0024", L"0030"}},
        {OPT_REVERSE, {L"0030", L"0024", L"0020"}},
        // No empty line comes first, numbered or not.
        {OPT_NO_TREE, {L"  3:  0020", L"  2:  0024", L"  1:  0030"}},
        {OPT_NO_TREE | OPT_REVERSE, {L"  1:  0030", L"  2:  0024", L"  3:  0020"}},
    };
    for (const auto& c : cases) {
        gFakeHost.out.clear();
        std::vector<std::wstring> lines = render({0x30, 0x24, 0x20}, c.flags);
        ASSERT_EQ(3u, lines.size()) << "no count line without /U\n" << gFakeHost.out;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(0u, lines[i].find(c.starts[i])) << c.flags << ": " << lines[i];
        }
        EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"other"));
    }
}

TEST_F(AncestorLinesTest, MembersWithoutARecordAreSkippedAndNotCounted)
{
    // 0x44 started after the table was taken.
    std::vector<std::wstring> lines = render({0x44, 0x30, 0x24}, OPT_COUNT);
    ASSERT_EQ(4u, lines.size()) << gFakeHost.out;
    EXPECT_EQ(0u, lines[0].find(L"0024")) << lines[0];
    EXPECT_EQ(0u, lines[1].find(L"0030")) << lines[1];
    EXPECT_EQ(L"", lines[2]);
    EXPECT_EQ(L"Found 2 processes.", lines[3]);
}

TEST(AncestryCommandTest, FailuresEndWithOneAndTwo)
{
    EXPECT_EQ(1, ancestry(nullptr));
    EXPECT_EQ(1, runCommand(ancestryCommand, L"/N:T"));
    EXPECT_EQ(L"", gFakeHost.out);

    // Its own copy of the root messages reads exactly like KINFOLD's; Wine has
    // no process 4.
    for (const wchar_t* arguments : {L"4", L"0xFFFFFFF0", L"no-such-program-*"}) {
        resetFakeHost();
        EXPECT_EQ(2, runCommand(kinfoldCommand, arguments)) << arguments;
        const std::wstring fromKinfold = gFakeHost.err;
        resetFakeHost();
        EXPECT_EQ(2, runCommand(ancestryCommand, arguments)) << arguments;
        EXPECT_NE(L"", gFakeHost.err);
        EXPECT_EQ(fromKinfold, gFakeHost.err) << arguments;
        EXPECT_EQ(L"", gFakeHost.out) << arguments;
    }
}

// No argument, "0" and a pattern all name this process.
TEST(AncestryCommandTest, ListsItsOwnChainEndingWithItself)
{
    wchar_t self[16];
    (void)formatText(self, 16, L"%04X  test_commands", GetCurrentProcessId());
    for (const wchar_t* arguments : {L"", L"0", L"test_comm*"}) {
        resetFakeHost();
        EXPECT_EQ(0, runCommand(ancestryCommand, arguments)) << arguments;
        EXPECT_EQ(L"", gFakeHost.err);
        std::vector<std::wstring> lines = splitLines(gFakeHost.out);
        ASSERT_FALSE(lines.empty()) << arguments;
        EXPECT_NE(L"", lines.front()) << arguments;
        EXPECT_EQ(0u, lines.back().find(self)) << arguments << ": " << lines.back();
    }
}

// Esc at the pause prompt is the user's choice, not a failure: 3 and no message.
TEST(AncestryCommandTest, StoppedAtThePromptEndsWithThreeAndNoMessage)
{
    FakeConsoleScope console;  // a 25-line window, so pages of 3 lines are kept
    typeKeys(L"\x1b");
    // The count line and the empty line before it make three lines even for
    // a chain of one.
    EXPECT_EQ(3, runCommand(ancestryCommand, L"/P:0,3 /U"));
    EXPECT_EQ(L"", gFakeHost.err);
    EXPECT_TRUE(gFakeConsole.keys.empty()) << "no prompt took the Esc\n" << gFakeHost.out;
    EXPECT_FALSE(gFakeConsole.starved) << "a second prompt waited";
    resetTestOutput();
    (gTestOutput.attributes = ConsoleAttributes());
}

// Allocations that fail on request: the test binary replaces the nothrow
// operator new, which the plugin's code uses for all its working space.
namespace {
size_t gFailAllocationsOf = 0;  // bytes; 0: none fail
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (gFailAllocationsOf != 0 && size == gFailAllocationsOf) {
        return nullptr;
    }
    return malloc(size == 0 ? 1 : size);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    free(block);
}

// A line that cannot get its working text ends ANCESTRY with the system's
// message for it, not with a silent 0 after a partial list.
TEST(AncestryCommandTest, OutOfMemoryWhileRenderingReachesTheResult)
{
    wchar_t outOfMemory[ERROR_TEXT_COUNT];
    ASSERT_EQ(0, formatSystemError(ERROR_NOT_ENOUGH_MEMORY, outOfMemory));
    // The text of the line being gathered for the host.
    gFailAllocationsOf = sizeof(LineText);
    int result = runCommand(ancestryCommand, L"");
    gFailAllocationsOf = 0;
    EXPECT_EQ(2, result);
    EXPECT_EQ(std::wstring(L"Kinfold plugin: ") + outOfMemory + L"\r\n", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
}
