// /CSV as the commands take it: the option, what it switches off, and the
// lines around the rows.
#include "commands/ancestry.h"
#include "commands/display_options.h"
#include "commands/kinfold_driver.h"
#include "commands/record_source.h"
#include "command_fixtures.h"
#include "console/arguments.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A parent (0x100) that has ended, two children and a grandchild still running.
std::vector<ProcessRecord> orphanedFamily()
{
    return {makeRecord(0x10, 0, L"init.exe"), makeRecord(0x104, 0x100, L"first.exe", L"Title, \"quoted\""),
            makeRecord(0x108, 0x100, L"second.exe"), makeRecord(0x10C, 0x104, L"grandchild.exe")};
}

std::vector<std::wstring> kinfoldLines(const std::vector<ProcessRecord>& records, uint32_t rootPid, DisplayFlags flags)
{
    resetFakeHost();
    SYSTEMTIME today = {};
    GetLocalTime(&today);
    ProcessTable table;
    fillTable(records, &table);
    CommandRequest request = {nullptr, L"", rootPid, nullptr, 100, flags, &today};
    EXPECT_EQ(0, printKinfoldTree(&table, request, &gTestOutput));
    EXPECT_EQ(L"", gFakeHost.err);
    return splitLines(gFakeHost.out);
}

}  // namespace

// Both commands know the option; it leaves nothing to wait at and no colour,
// whatever /P and /H asked for, on a console where both would apply.
TEST(CsvOption, NoPromptAndNoColourInEitherCommand)
{
    FakeConsoleScope console;
    std::unique_ptr<DisplaySettings> settings(new DisplaySettings());
    const struct {
        CommandKind kind;
        unsigned splitMode;
        const wchar_t* arguments;
        uint32_t page;
    } cases[] = {
        {CommandKind::Kinfold, SPLIT_MODE_KINFOLD, L"/P:0,3 /H:KF*", 3},
        {CommandKind::Kinfold, SPLIT_MODE_KINFOLD, L"/csv /P:0,3 /H:KF*", 0},
        {CommandKind::Ancestry, SPLIT_MODE_ANCESTRY, L"/P:0,3 /H:KF*", 3},
        {CommandKind::Ancestry, SPLIT_MODE_ANCESTRY, L"/P:0,3 /H:KF* /CSV", 0},
    };
    for (const auto& c : cases) {
        resetFakeHost();
        resetTestOutput();
        resetDisplaySettings(settings.get());
        ASSERT_GE(splitArguments(&gTestArguments, c.splitMode, c.arguments), 0);
        ASSERT_EQ(OPTIONS_CONTINUE, parseCommandOptions(c.kind, &gTestArguments, settings.get(), &gTestOutput))
            << c.arguments << gFakeHost.err;
        finishDisplayOptions(c.kind, settings.get(), &gTestOutput);
        bool csv = c.page == 0;
        EXPECT_EQ(csv, (settings->flags & OPT_CSV) != 0) << c.arguments;
        EXPECT_EQ(c.page, gTestOutput.paging.pageLength) << c.arguments;
        EXPECT_EQ(c.page, gTestOutput.paging.linesLeft) << c.arguments;
        EXPECT_EQ(!csv, gTestOutput.attributes.normalAttribute != 0) << c.arguments;
        EXPECT_EQ(csv ? L"" : L"KF*", std::wstring(settings->highlightPattern)) << c.arguments;
    }
    resetTestOutput();
    (gTestOutput.attributes = ConsoleAttributes());
}

// The header stands where the empty line stood, no count line follows, and
// the ended root gets a row of its PID and name with a parent of 0.
TEST(CsvKinfold, HeaderFirstNoCountLineAndTheEndedRootRow)
{
    const std::vector<std::wstring> expected = {
        L"Depth,PID,ParentPID,Name,Threads,Display",
        L"0,256,0,* PROCESS HAS ENDED *,,",
        L"1,260,256,first.exe,1,\"Title, \"\"quoted\"\"\"",
        L"2,268,260,grandchild.exe,1,",
        L"1,264,256,second.exe,1,",
    };
    for (DisplayFlags flags : {OPT_CSV | OPT_THREADS | OPT_COUNT | OPT_PARENT_PID,
                               OPT_CSV | OPT_THREADS | OPT_COUNT | OPT_NO_TREE | OPT_ASCII}) {
        EXPECT_EQ(expected, kinfoldLines(orphanedFamily(), 0x100, flags)) << std::hex << flags << "\n"
                                                                          << gFakeHost.out;
    }
    // Without /CSV the same tree is the tree it was.
    std::vector<std::wstring> lines = kinfoldLines(orphanedFamily(), 0x104, OPT_COUNT);
    ASSERT_EQ(5u, lines.size()) << gFakeHost.out;
    EXPECT_EQ(L"", lines[0]);
    EXPECT_EQ(0u, lines[1].find(L"0104  first  Title, \"quoted\"")) << lines[1];
    EXPECT_EQ(L"Found 2 processes.", lines[4]);
}

// ANCESTRY's depth is the distance from the oldest ancestor, whichever end
// the lines start from, also when a member has no record to show; a row's
// parent is the member one step older, as the chain linked them.
TEST(CsvAncestry, DepthFromTheOldestAncestorInEitherOrder)
{
    std::vector<ProcessRecord> records = {makeRecord(0x30, 0x24, L"child.exe"), makeRecord(0x20, 0, L"oldest.exe"),
                                          makeRecord(0x24, 0x20, L"middle.exe")};
    ProcessTable table;
    fillTable(records, &table);
    SYSTEMTIME today = {};
    GetLocalTime(&today);
    const std::vector<std::wstring> oldestFirst = {L"Depth,PID,ParentPID,Name", L"0,32,0,oldest.exe",
                                                   L"2,48,119,child.exe"};
    const std::vector<std::wstring> processFirst = {L"Depth,PID,ParentPID,Name", L"2,48,119,child.exe",
                                                    L"0,32,0,oldest.exe"};
    // 0x77 started after the snapshot: its line is left out, not its depth.
    std::vector<uint32_t> chain = {0x30, 0x77, 0x20};
    for (DisplayFlags order : {DisplayFlags(0), OPT_REVERSE}) {
        resetFakeHost();
        ViewSettings view = {};
        view.source = recordSourceFor(&table);
        view.output = &gTestOutput;
        view.width = 100;
        view.flags = OPT_CSV | OPT_COUNT | OPT_NO_DISPLAY_NAMES | OPT_NO_TREE | order;
        view.totalCount = static_cast<uint32_t>(chain.size());
        view.today = &today;
        EXPECT_EQ(0, renderAncestorLines(chain.data(), static_cast<uint32_t>(chain.size()), table, &view));
        EXPECT_EQ(order == 0 ? oldestFirst : processFirst, splitLines(gFakeHost.out)) << gFakeHost.out;
    }
}
