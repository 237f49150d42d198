// KINFOLD /ALL and /ANC over synthetic tables: which trees, in which order,
// each process once, and the ancestors ANCESTRY would list.
#include "commands/display_options.h"
#include "commands/kinfold_driver.h"
#include "command_fixtures.h"

#include "console/arguments.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "console/window_fit.h"
#include "fake_console.h"
#include "fake_host.h"
#include "procinfo/ancestor_chain.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::map<uint32_t, uint64_t> CreationTimes;

// A process the map gives no time cannot be opened.
bool readFromTimes(void* context, uint32_t pid, unsigned, ProcessFacts* facts, wchar_t*)
{
    const CreationTimes& times = *static_cast<const CreationTimes*>(context);
    auto known = times.find(pid);
    if (known == times.end() || known->second == 0) {
        return false;
    }
    facts->creationTime = known->second;
    return true;
}

uint64_t timeFromMap(uint32_t pid, void* context)
{
    const CreationTimes& times = *static_cast<const CreationTimes*>(context);
    auto known = times.find(pid);
    return known == times.end() ? 0 : known->second;
}

struct TreeRun {
    int result;
    std::vector<std::wstring> lines;
};

class KinfoldTrees : public ::testing::Test {
protected:
    CreationTimes times;
    ProcessTable table;

    // pattern null and no PID: the whole system.
    TreeRun run(const std::vector<ProcessRecord>& records, const wchar_t* pattern, DisplayFlags flags,
                const wchar_t* sortKeys = L"", uint32_t rootPid = 0)
    {
        std::vector<PROCESSENTRY32W> entries;
        for (const ProcessRecord& record : records) {
            entries.push_back(record.entry);
        }
        TableOptions options = {false, false, false, false, false};
        ProcessProbe probe = {readFromTimes, &times};
        EXPECT_EQ(0, fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), options, probe, &table));
        for (const ProcessRecord& record : records) {
            if (record.displayName != nullptr) {
                table.windowTitles[record.entry.th32ProcessID] = NamedText{record.displayName, 0};
            }
        }
        attachDisplayNames(&table);
        // Without a root the command's own rule decides, so /SVC is seen to win over /ALL.
        if (pattern == nullptr && rootPid == 0) {
            std::unique_ptr<DisplaySettings> settings(new DisplaySettings());
            resetDisplaySettings(settings.get());
            settings->flags = flags;
            EXPECT_TRUE(chooseKinfoldDefaultRoot(settings.get()));
            flags = settings->flags;
            rootPid = settings->rootPid;
        }
        SYSTEMTIME today = {};
        CommandRequest request = {pattern, sortKeys, rootPid, nullptr, 100, flags | OPT_ASCII, &today};
        TreeRun result;
        result.result = printKinfoldTree(&table, request, &gTestOutput);
        result.lines = splitLines(gFakeHost.out);
        return result;
    }
};

// The first line of each tree: the line after each empty one.
std::vector<std::wstring> firstLines(const std::vector<std::wstring>& lines)
{
    std::vector<std::wstring> firsts;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].empty() && !lines[i + 1].empty()) {
            firsts.push_back(lines[i + 1]);
        }
    }
    return firsts;
}

typedef std::vector<std::wstring> Lines;

// A shell with two programs of one name, one of them below another match,
// and a window whose title matches.
std::vector<ProcessRecord> nestedMatches()
{
    return {makeRecord(0x10, 0, L"init.exe"),       makeRecord(0x20, 0x10, L"a.exe"),
            makeRecord(0x24, 0x20, L"b.exe"),       makeRecord(0x28, 0x24, L"a.exe"),
            makeRecord(0x30, 0x10, L"a.exe"),       makeRecord(0x34, 0x10, L"c.exe"),
            makeRecord(0x38, 0x34, L"d.exe", L"a")};
}

// Fault: every match becomes a root, so 0028 is printed in 0020's tree and
// again as a tree of its own.
TEST_F(KinfoldTrees, MatchInsideAnotherMatchIsShownInPlaceOnly)
{
    TreeRun all = run(nestedMatches(), L"a", OPT_ALL_ROOTS | OPT_COUNT);
    ASSERT_EQ(0, all.result) << gFakeHost.err;
    EXPECT_EQ((Lines{L"", L"0020  a", L"   `--0024  b", L"      `--0028  a", L"", L"0030  a", L"",
                     L"0038  d  a", L"", L"Found 5 processes."}),
              all.lines);

    // No match: the message and result of a single root.
    resetFakeHost();
    EXPECT_EQ(NO_WILDCARD_MATCH, run(nestedMatches(), L"zz*", OPT_ALL_ROOTS).result);
    EXPECT_EQ(L"", gFakeHost.out);
}

// Faults: the parent-0 processes listed again as children of PID 0; a cycle
// of links that survives the creation-time test left out, or printed twice.
TEST_F(KinfoldTrees, WholeSystemPrintsEveryProcessOnceCyclesIncluded)
{
    std::vector<ProcessRecord> records = {
        makeRecord(0, 0, L"[System Process]"), makeRecord(4, 0, L"System"),
        makeRecord(0x40, 0x44, L"cycle1.exe"), makeRecord(0x44, 0x40, L"cycle2.exe"),
        makeRecord(0x48, 0x44, L"tail.exe"),   makeRecord(0x10, 4, L"smss.exe"),
        makeRecord(0x50, 0x999, L"orphan.exe"), makeRecord(0x60, 0x60, L"self.exe")};
    // Equal creation times keep both links of the cycle.
    times = {{0x40, 500}, {0x44, 500}, {0x48, 600}, {0x60, 700}};
    TreeRun all = run(records, nullptr, OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_COUNT);
    ASSERT_EQ(0, all.result) << gFakeHost.err;
    EXPECT_EQ((Lines{L"", L"0000  [System Process]", L"", L"0004  System", L"   `--0010  smss", L"",
                     L"0050  orphan", L"", L"0040  cycle1", L"   `--0044  cycle2", L"      `--0048  tail", L"",
                     L"0060  self", L"", L"Found 8 processes."}),
              all.lines);
}

// Fault: the roots printed in table order (or always by PID) instead of by
// the sibling comparison with the request's keys.
TEST_F(KinfoldTrees, RootsComeInSiblingOrder)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"init.exe"), makeRecord(0x50, 0x10, L"ab.exe"),
                                          makeRecord(0x20, 0x10, L"aa.exe"), makeRecord(0x40, 0x10, L"ac.exe")};
    EXPECT_EQ((Lines{L"0020  aa", L"0040  ac", L"0050  ab"}),
              firstLines(run(records, L"a*", OPT_ALL_ROOTS).lines));
    resetFakeHost();
    EXPECT_EQ((Lines{L"0050  ab", L"0020  aa", L"0040  ac"}),
              firstLines(run(records, L"a*", OPT_ALL_ROOTS, nullptr).lines))
        << "unsorted: table order";
    resetFakeHost();
    EXPECT_EQ((Lines{L"0040  ac", L"0050  ab", L"0020  aa"}),
              firstLines(run(records, L"a*", OPT_ALL_ROOTS, L"N").lines))
        << "names descending";
    resetFakeHost();
    // The whole system's roots follow the same order.
    EXPECT_EQ((Lines{L"0040  ac", L"0010  init"}),
              firstLines(run({makeRecord(0x40, 0, L"ac.exe"), makeRecord(0x10, 0, L"init.exe")}, nullptr,
                             OPT_ALL_ROOTS, L"-P")
                             .lines));
}

// Two matches below one shell, one more under another top; a sibling off the
// paths stays out.
std::vector<ProcessRecord> sharedAncestors()
{
    return {makeRecord(0x10, 0, L"init.exe"),     makeRecord(0x20, 0x10, L"shell.exe"),
            makeRecord(0x30, 0x20, L"a.exe"),     makeRecord(0x24, 0x20, L"x.exe"),
            makeRecord(0x34, 0x24, L"a.exe"),     makeRecord(0x60, 0, L"svc.exe"),
            makeRecord(0x64, 0x60, L"a.exe"),     makeRecord(0x38, 0x30, L"kid.exe"),
            makeRecord(0x28, 0x20, L"other.exe")};
}

// Fault: each root's path drawn on its own, so init and shell appear twice
// (or a second init tree).
TEST_F(KinfoldTrees, MergedPathsShowEachAncestorOnce)
{
    TreeRun paths = run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_PARENT_PID);
    ASSERT_EQ(0, paths.result) << gFakeHost.err;
    EXPECT_EQ((Lines{L"", L"0010  [0000]  init", L"   `--0020  shell", L"      +--0024  x", L"      |  `--0034  a",
                     L"      `--0030  a", L"         `--0038  kid", L"", L"0060  [0000]  svc", L"   `--0064  a"}),
              paths.lines);

    // Numbered lines count across trees; one count line for all of them.
    resetFakeHost();
    TreeRun numbered = run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_NO_TREE | OPT_COUNT);
    ASSERT_EQ(0, numbered.result);
    EXPECT_EQ((Lines{L"  1:  0010  init", L"  0020  shell", L"    0024  x", L"      0034  a", L"    0030  a",
                     L"      0038  kid", L"  7:  0060  svc", L"  0064  a", L"", L"Found 8 processes."}),
              numbered.lines);

    // Fault: CSV depth counted from each root instead of each tree's first
    // line, the oldest ancestor (a would then be 0, kid 1).
    resetFakeHost();
    TreeRun rows = run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_CSV | OPT_COUNT);
    ASSERT_EQ(0, rows.result);
    EXPECT_EQ((Lines{L"Depth,PID,ParentPID,Name,Display", L"0,16,0,init.exe,", L"1,32,16,shell.exe,",
                     L"2,36,32,x.exe,", L"3,52,36,a.exe,", L"2,48,32,a.exe,", L"3,56,48,kid.exe,",
                     L"0,96,0,svc.exe,", L"1,100,96,a.exe,"}),
              rows.lines);
}

// X cannot be opened, so ANCESTRY tests none of its links: Z stays, though
// it started after Y. W's parent link fails the test in both.
// Fault: the ancestors taken from the table's checked parent links, which
// cut Y from Z.
TEST_F(KinfoldTrees, AncestorsAreAncestrysOnPidReuse)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"z.exe"), makeRecord(0x20, 0x10, L"y.exe"),
                                          makeRecord(0x30, 0x20, L"x.exe"), makeRecord(0x40, 0x10, L"w.exe")};
    times = {{0x10, 200}, {0x20, 100}, {0x40, 150}};
    std::vector<PROCESSENTRY32W> entries;
    for (const ProcessRecord& record : records) {
        entries.push_back(record.entry);
    }
    AncestorChain chain;
    ASSERT_EQ(3, chainFromEntries(entries.data(), 4, 0x30, false, timeFromMap, &times, &chain));

    TreeRun x = run(records, L"x", OPT_ANCESTOR_PATHS);
    ASSERT_EQ(0, x.result) << gFakeHost.err;
    EXPECT_EQ((Lines{L"", L"0010  z", L"   `--0020  y", L"      `--0030  x"}), x.lines);
    EXPECT_EQ(chain.pids[2], 0x10u);

    resetFakeHost();
    EXPECT_EQ((Lines{L"", L"0040  w"}), run(records, nullptr, OPT_ANCESTOR_PATHS, L"", 0x40).lines)
        << "a PID root below its ancestors too";

    // The table cuts y from z, the walk keeps it: y's row names the row it
    // hangs under, never a parent 0 at depth 1; the first row keeps its own
    // checked link. Fault: ParentPID taken from the table's link.
    resetFakeHost();
    TreeRun rows = run(records, L"x", OPT_ANCESTOR_PATHS | OPT_CSV | OPT_NO_DISPLAY_NAMES);
    EXPECT_EQ((Lines{L"Depth,PID,ParentPID,Name", L"0,16,0,z.exe", L"1,32,16,y.exe", L"2,48,32,x.exe"}),
              rows.lines);
}

// Fault: the ended-process placeholder counted as a process; /ALL and /ANC
// changing a PID root's tree.
TEST_F(KinfoldTrees, PidRootOfAnEndedProcessStaysAsItWas)
{
    std::vector<ProcessRecord> family = {makeRecord(0x10, 0, L"init.exe"), makeRecord(0x104, 0x100, L"first.exe"),
                                         makeRecord(0x108, 0x100, L"second.exe")};
    TreeRun plain = run(family, nullptr, OPT_COUNT, L"", 0x100);
    ASSERT_EQ(0, plain.result);
    std::wstring before = gFakeHost.out;
    resetFakeHost();
    TreeRun both = run(family, nullptr, OPT_COUNT | OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS, L"", 0x100);
    ASSERT_EQ(0, both.result);
    EXPECT_EQ(before, gFakeHost.out);
    EXPECT_EQ(L"Found 2 processes.", both.lines.back());
}

// /SUM counts what the output shows below each line: an ancestor only its
// path (not shell's other child), a placeholder its living children.
// Faults: totals taken from the table's children instead of the lines shown;
// the placeholder left without a count.
TEST_F(KinfoldTrees, SumsCountTheLinesShownBelow)
{
    TreeRun paths = run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_SUBTREE_SUMS);
    ASSERT_EQ(0, paths.result) << gFakeHost.err;
    EXPECT_EQ((Lines{L"", L"0010  init [+5]", L"   `--0020  shell [+4]", L"      +--0024  x [+1]",
                     L"      |  `--0034  a", L"      `--0030  a [+1]", L"         `--0038  kid", L"",
                     L"0060  svc [+1]", L"   `--0064  a"}),
              paths.lines);

    resetFakeHost();
    std::vector<ProcessRecord> orphans = {makeRecord(0x104, 0x100, L"first.exe"), makeRecord(0x108, 0x100, L"b.exe"),
                                          makeRecord(0x10C, 0x108, L"c.exe")};
    EXPECT_EQ((Lines{L"", L"0100  * PROCESS HAS ENDED * [+3]", L"   +--0104  first", L"   `--0108  b [+1]",
                     L"      `--010C  c"}),
              run(orphans, nullptr, OPT_SUBTREE_SUMS, L"", 0x100).lines);
}

// Fault: the result of the second tree dropped, so the output goes on after
// the stop and the command ends with 0.
TEST_F(KinfoldTrees, StopAtThePromptInTheSecondTreeEndsTheOutput)
{
    FakeConsoleScope console;
    gTestOutput.paging.pageLength = 3;
    gTestOutput.paging.linesLeft = 3;
    gFakeConsole.breakAfterSleeps = 1;
    TreeRun stopped = run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_COUNT);
    EXPECT_EQ(STOPPED, stopped.result);
    EXPECT_EQ(3, reportCommandResult(stopped.result, 0));
    // 0030's tree (2 lines), then the empty line before the next tree fills
    // the page; nothing follows.
    EXPECT_NE(std::wstring::npos, gFakeHost.out.find(L"0030  a"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"0034")) << gFakeHost.out;
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"Found")) << gFakeHost.out;
}

// /SVC names one root and wins over /ALL: without a services root the
// command fails as plain /SVC does, with one it shows that tree alone.
// Fault: /ALL /SVC taking the whole system, every tree with result 0.
TEST_F(KinfoldTrees, AllUnderSvcIsTheServicesRootOrNothing)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"init.exe"), makeRecord(0x20, 0x10, L"services.exe"),
                                          makeRecord(0x40, 0, L"other.exe"), makeRecord(0x24, 0x20, L"svchost.exe")};
    TreeRun none = run(records, nullptr, OPT_ALL_ROOTS | OPT_SERVICES_ROOT);
    EXPECT_EQ(NO_SERVICES_ROOT, none.result);
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(2, reportCommandResult(none.result, 0));
    EXPECT_EQ(L"Kinfold plugin: Services root not found.\r\n", gFakeHost.err);

    for (uint32_t pid = 0x28; pid <= 0x34; pid += 4) {
        records.push_back(makeRecord(pid, 0x20, L"svchost.exe"));
    }
    resetFakeHost();
    TreeRun found = run(records, nullptr, OPT_ALL_ROOTS | OPT_SERVICES_ROOT);
    EXPECT_EQ(0, found.result) << gFakeHost.err;
    EXPECT_EQ((Lines{L"0020  services"}), firstLines(found.lines));
    EXPECT_EQ(7u, found.lines.size()) << gFakeHost.out;
}

// Many one-line trees on a small window: every line on the screen counts,
// the empty lines between trees too, so the prompt comes after exactly a
// page and nothing scrolls away unseen. Only the empty line before the first
// tree comes before the count starts.
// Fault: the empty lines between trees written around the pager.
TEST_F(KinfoldTrees, EmptyLinesBetweenTreesCountForThePage)
{
    FakeConsoleScope console;
    const uint32_t page = pauseLinesForWindow(0xFFFFFFFF, true, 10);
    ASSERT_EQ(8u, page);
    gTestOutput.paging.pageLength = page;
    gTestOutput.paging.linesLeft = page;
    gFakeConsole.keys = {27};  // Esc at the first prompt
    std::vector<ProcessRecord> loners;
    for (uint32_t pid = 0x100; pid < 0x200; pid += 4) {
        loners.push_back(makeRecord(pid, 0, L"lone.exe"));
    }
    TreeRun stopped = run(loners, nullptr, OPT_ALL_ROOTS);
    EXPECT_EQ(STOPPED, stopped.result);
    std::wstring beforePrompt = gFakeHost.out.substr(0, gFakeHost.out.find(L"\x2500"));
    // One uncounted line end, then a page: 9 of the window's 10 lines, the prompt on the last.
    EXPECT_EQ((Lines{L"", L"0100  lone", L"", L"0104  lone", L"", L"0108  lone", L"", L"010C  lone", L"",
                     L"\r   "}),
              splitLines(beforePrompt));
}

// Faults: the ancestors highlighted with the matches; /N:C leaving the
// highlight on.
TEST_F(KinfoldTrees, MatchesAreHighlightedAncestorsAreNot)
{
    FakeConsoleScope console;
    gFakeHost.attribute = 0x07;
    gFakeConsole.attribute = 0x07;
    ASSERT_EQ(0x0Fu, loadHighlightAttributes(&gTestOutput));
    unsigned inverse = gTestOutput.attributes.inverseHighlightAttribute;
    unsigned normal = gTestOutput.attributes.highlightAttribute;
    auto attributeOf = [](const std::wstring& name) {
        for (const OutputPiece& piece : gFakeHost.pieces) {
            if (piece.console && piece.text == name) {
                return piece.attribute;
            }
        }
        return 0xFFFFu;
    };
    ASSERT_EQ(0, run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_MATCH_HIGHLIGHT).result);
    EXPECT_EQ(inverse, attributeOf(L"a"));
    EXPECT_EQ(normal, attributeOf(L"shell"));
    EXPECT_EQ(normal, attributeOf(L"kid"));

    resetFakeHost();
    ASSERT_EQ(0, run(sharedAncestors(), L"a", OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS).result);
    EXPECT_EQ(normal, attributeOf(L"a")) << "without the highlight flag (/N:C)";
}

// Faults: the new options matched with case, or taken by ANCESTRY; /N:C
// leaving the match highlight on.
TEST(KinfoldTreeOptions, SpelledAnyCaseKinfoldOnly)
{
    std::unique_ptr<DisplaySettings> settings(new DisplaySettings());
    wchar_t kinfoldArguments[] = L"a* /all /AnC";
    ASSERT_GE(splitArguments(&gTestArguments, SPLIT_MODE_KINFOLD, kinfoldArguments), 0);
    resetDisplaySettings(settings.get());
    ASSERT_EQ(OPTIONS_CONTINUE, parseCommandOptions(CommandKind::Kinfold, &gTestArguments, settings.get(),
                                                    &gTestOutput));
    EXPECT_EQ(OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS | OPT_MATCH_HIGHLIGHT, settings->flags);
    settings->noHighlight = true;
    finishDisplayOptions(CommandKind::Kinfold, settings.get(), &gTestOutput);
    EXPECT_EQ(OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS, settings->flags);

    for (const wchar_t* option : {L"/ALL", L"/ANC"}) {
        resetFakeHost();
        std::wstring text = option;
        ASSERT_GE(splitArguments(&gTestArguments, SPLIT_MODE_ANCESTRY, &text[0]), 0);
        resetDisplaySettings(settings.get());
        EXPECT_EQ(OPTIONS_ERROR, parseCommandOptions(CommandKind::Ancestry, &gTestArguments, settings.get(),
                                                     &gTestOutput));
        EXPECT_NE(std::wstring::npos, gFakeHost.err.find(L"Unknown option")) << gFakeHost.err;
    }
}

}  // namespace
