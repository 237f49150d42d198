#include "fake_console.h"
#include "procinfo/image_path.h"
#include "render/columns.h"
#include "render/csv_row.h"
#include "render/tree.h"
#include "render_fixture.h"

#include <map>
#include <string>
#include <vector>

namespace {

// root 0010 with children 0020 (one child 0021) and 0030 (one child 0031),
// listed out of PID order; 0099 belongs to another tree.
std::vector<SyntheticRecord> familyTable()
{
    return {makeRecord(0x30, 0x10, L"b.exe"), makeRecord(0x99, 0x77, L"other.exe"),
            makeRecord(0x21, 0x20, L"a1.exe"), makeRecord(0x10, 0x8, L"root.exe"),
            makeRecord(0x31, 0x30, L"b1.exe"), makeRecord(0x20, 0x10, L"a.exe")};
}

}  // namespace

// The ASCII ellipsis alone leaves the graphic alone; /N:T numbers the root and indents by two.
TEST_F(RenderTest, TreeShapeInEachStyle)
{
    const struct {
        DisplayFlags flags;
        const wchar_t* out;
    } cases[] = {
        {OPT_ASCII_ELLIPSIS,
         L"0010  root\r\n   \x251C\x2500\x2500" L"0020  a\r\n   \x2502  \x2514\x2500\x2500" L"0021  a1\r\n"
         L"   \x2514\x2500\x2500" L"0030  b\r\n      \x2514\x2500\x2500" L"0031  b1\r\n"},
        {OPT_ASCII, L"0010  root\r\n   +--0020  a\r\n   |  `--0021  a1\r\n   `--0030  b\r\n      `--0031  b1\r\n"},
        {OPT_NO_TREE | OPT_ASCII, L"  1:  0010  root\r\n  0020  a\r\n    0021  a1\r\n  0030  b\r\n    0031  b1\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, renderTree(familyTable(), 0x10, c.flags));
    }
}

TEST_F(RenderTest, ParentPidOnTheFirstLineOnlyAndDecimalPids)
{
    std::vector<SyntheticRecord> table = {makeRecord(77, 4, L"root.exe"), makeRecord(100, 77, L"a.exe"),
                                          makeRecord(0x12345, 77, L"big.exe")};
    ViewSettings view = viewOf(table, OPT_PARENT_PID | OPT_ASCII);
    EXPECT_EQ(0, ::renderTree(&table[0], nullptr, &view));
    EXPECT_EQ(L"004D  [0004]  root\r\n   +--0064  a\r\n   `--12345  big\r\n", gFakeHost.out);
    EXPECT_EQ(3u, view.printedCount);

    EXPECT_EQ(L"77  [4]  root\r\n   +--100  a\r\n   `--74565  big\r\n",
              renderTree(table, 77, OPT_PARENT_PID | OPT_DECIMAL_PID | OPT_ASCII));
}

// "0008  " takes 6 of the width; the names and texts are cut to what the columns before leave.
TEST_F(RenderTest, NameAndDisplayTextCuts)
{
    const struct {
        const wchar_t* exe;
        const wchar_t* text;
        DisplayFlags flags;
        uint32_t left;
        const wchar_t* line;
    } cases[] = {
        {L"a.b.exe", L"", 0, 73, L"a.b"},
        {L"a.b.exe", L"", OPT_KEEP_EXTENSIONS, 73, L"a.b.exe"},
        {L"System", L"", 0, 73, L"System"},
        {L".hidden", L"", 0, 73, L""},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS, 7, L"abcdef\x2026"},  // a cut name drops the later columns
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS | OPT_ASCII_ELLIPSIS, 7, L"abcdefg"},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS | OPT_ASCII, 8, L"abcde..."},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS, 6, L"abcde\x2026"},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS, 5, L"abcde"},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS, 0, L""},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS, 13, L"abcdefghijklm"},
        {L"abcdefghijklm.exe", L"svc", OPT_THREADS, 13 + 4 + 5, L"abcdefghijklm (1)  svc"},
        {L"a.exe", L"0123456789AB", 0, 1 + 9, L"a  012345\x2026"},
        {L"a.exe", L"0123456789AB", OPT_ASCII, 1 + 9, L"a"},  // dropped with its separator
        {L"a.exe", L"0123456789AB", OPT_ASCII_ELLIPSIS, 1 + 10, L"a  01234..."},
        {L"a.exe", L"0123456789AB", 0, 1 + 8, L"a  01234\x2026"},
        {L"a.exe", L"0123456789AB", 0, 1 + 7, L"a"},
        {L"a.exe", L"0123456789AB", OPT_ASCII, 1 + 14, L"a  0123456789AB"},
        {L"a.exe", L"0123456789AB", OPT_NO_DISPLAY_NAMES, 73, L"a"},
    };
    for (const auto& c : cases) {
        std::vector<SyntheticRecord> table = {makeRecord(8, 4, c.exe)};
        table[0].displayName = c.text;
        EXPECT_EQ(std::wstring(L"0008  ") + c.line + L"\r\n", renderTree(table, 8, c.flags, 6 + c.left));
    }
}

TEST_F(RenderTest, AlwaysWrittenColumnsCanCrowdOutEverythingElse)
{
    std::vector<SyntheticRecord> table = {makeRecord(8, 4, L"x.exe"), makeRecord(12, 8, L"y.exe")};
    table[0].displayName = L"Display";
    table[0].details.priorityIndex = 3;
    table[0].details.creationTime = kStartTicks;
    table[0].details.workingSetSize = 1073741824;
    DisplayFlags flags = OPT_PARENT_PID | OPT_MEMORY_BYTES | OPT_MEMORY | OPT_EXTRA_INFO | OPT_PRIORITY |
                         OPT_THREADS | OPT_START_TIME;
    // Root: 6 + 8 + 14 + 2 = 30 of 20; child: 6 + 6 + 14 + 2.
    EXPECT_EQ(L"0008  " L"[0004]  " L"  1073741824  " L"  \r\n"
              L"   \x2514\x2500\x2500" L"000C  " L"           0  " L"  \r\n",
              renderTree(table, 8, flags, 20));
}

TEST_F(RenderTest, DetailColumnsInTheirPlaces)
{
    std::vector<SyntheticRecord> table = {makeRecord(8, 4, L"x.exe"), makeRecord(12, 8, L"y.exe")};
    table[0].details.workingSetSize = 512;
    table[0].details.elevated = true;
    table[0].details.priorityIndex = 5;
    table[0].entry.cntThreads = 12;
    table[0].details.is32Bit = true;  // elevation wins
    table[0].displayName = L"Svc";
    table[1].details.workingSetSize = 1048576;
    table[1].details.is32Bit = true;
    table[1].details.creationTime = kStartTicks;
    DisplayFlags flags = OPT_MEMORY | OPT_EXTRA_INFO | OPT_PRIORITY | OPT_THREADS | OPT_START_TIME;
    wchar_t time[COLUMN_TEXT_COUNT];
    ASSERT_EQ(18, formatStartTime(localTimeOf(kStartTicks), &today_, flags, time, COLUMN_TEXT_COUNT));
    EXPECT_EQ(std::wstring(L"0008     1K  \x2191 x  HI (12)  Svc\r\n"
                           L"   \x2514\x2500\x2500" L"000C     1M  \x00BB y  - (1)") + time + L"\r\n",
              renderTree(table, 8, flags));
    EXPECT_EQ(std::wstring(L"0008     0.50K  ^ x  HI (12)  Svc\r\n"
                           L"   `--000C     1.00M  * y  - (1)") + time + L"\r\n",
              renderTree(table, 8, flags | OPT_MEMORY_FRACTION | OPT_ASCII));
}

TEST_F(RenderTest, EndedProcessPlaceholderIsNotCounted)
{
    std::vector<SyntheticRecord> table = {makeRecord(0x40, 0, L"gone.exe"), makeRecord(0x44, 0x40, L"kid.exe")};
    table[0].details.priorityIndex = -1;
    ViewSettings view = viewOf(table, OPT_PRIORITY | OPT_ASCII);
    EXPECT_EQ(0, ::renderTree(&table[0], nullptr, &view));
    EXPECT_EQ(L"0040  gone\r\n   `--0044  kid  -\r\n", gFakeHost.out);
    EXPECT_EQ(1u, view.printedCount);
}

TEST_F(RenderTest, RecordZeroAdoptsTheOrphansAndCyclesEndTheWalk)
{
    std::vector<SyntheticRecord> table = {makeRecord(0, 0, L"[System Process]"), makeRecord(0x8, 0, L"orphan.exe"),
                                          makeRecord(0xC, 0x8, L"kid.exe"), makeRecord(0x4, 0, L"System")};
    EXPECT_EQ(L"0000  [System Process]\r\n   +--0004  System\r\n   `--0008  orphan\r\n      `--000C  kid\r\n",
              renderTree(table, 0, OPT_ASCII));

    // 0x20 and 0x30 name each other as parent; 0x50 names itself.
    table = {makeRecord(0x20, 0x30, L"a.exe"), makeRecord(0x30, 0x20, L"b.exe"), makeRecord(0x40, 0x30, L"c.exe"),
             makeRecord(0x50, 0x50, L"self.exe")};
    EXPECT_EQ(L"0020  a\r\n   `--0030  b\r\n      `--0040  c\r\n", renderTree(table, 0x20, OPT_ASCII));
    EXPECT_EQ(L"0050  self\r\n", renderTree(table, 0x50, OPT_ASCII));
}

TEST_F(RenderTest, DeepChainCutsThePrefixAtItsCapacity)
{
    std::vector<SyntheticRecord> table;
    for (uint32_t i = 1; i <= 401; ++i) {
        table.push_back(makeRecord(4 * i, 4 * (i - 1), L"deep.exe"));
    }
    std::vector<std::wstring> lines = linesOf(renderTree(table, 4, OPT_DECIMAL_PID, 1020));
    ASSERT_EQ(401u, lines.size());
    for (size_t depth = 0; depth < lines.size(); ++depth) {
        std::wstring pid = std::to_wstring(4 * (depth + 1)) + L"  ";
        size_t prefixLength = lines[depth].find_first_not_of(L" \x2502\x2514\x2500");
        ASSERT_EQ(depth == 0 ? 0 : std::min<size_t>(3 * depth + 3, 1023), prefixLength) << depth;
        ASSERT_EQ(pid, lines[depth].substr(prefixLength, pid.size())) << depth;
    }
    // The prefix alone overflows the width: the name is dropped, the line still ends.
    EXPECT_EQ(1023u + 6u, lines.back().size());
}

TEST_F(RenderTest, StopAtThePromptDeepInTheTreeEndsEveryLevel)
{
    FakeConsoleScope console;
    std::vector<SyntheticRecord> table = familyTable();
    ViewSettings view = viewOf(table, OPT_ASCII);
    // The third line ends a page; a Ctrl-C while the prompt waits stops the output.
    gTestOutput.paging.pageLength = 3;
    gTestOutput.paging.linesLeft = 3;
    gFakeConsole.breakAfterSleeps = 1;
    EXPECT_EQ(STOPPED, ::renderTree(&table[3], nullptr, &view));  // root 0010
    EXPECT_EQ(2u, view.printedCount);
    EXPECT_EQ(L"0010  root\r\n   +--0020  a\r\n   |  `--0021  a1\r\n"
              L"\r   \u2500\u2500 Press a key to continue \u2500\u2500 " L"\r" + std::wstring(60, L' ') + L"\r"
              L"\r ^C \r\n",
              gFakeHost.out);
}

// A coloured tree as the console shows it, call by call: plain text through
// the host in the normal colours, names and display texts straight to the
// console in their own. /H matches one name and one display text.
TEST_F(RenderTest, ColouredLinesLeaveInOrderEachPieceInItsAttribute)
{
    FakeConsoleScope console;
    gFakeHost.attribute = 0x07;
    gFakeConsole.attribute = 0x07;
    ASSERT_EQ(0x0Fu, loadHighlightAttributes(&gTestOutput));
    std::vector<SyntheticRecord> table = {makeRecord(0x38, 0x28, L"services.exe"),
                                          makeRecord(0x44, 0x38, L"winedevice.exe"),
                                          makeRecord(0x98, 0x38, L"plugplay.exe")};
    const uint32_t megabytes[] = {19, 17, 15};
    const uint32_t threads[] = {10, 6, 6};
    for (size_t i = 0; i < table.size(); ++i) {
        table[i].details.workingSetSize = megabytes[i] << 20;
        table[i].entry.cntThreads = threads[i];
        table[i].details.elevated = true;
        table[i].details.priorityIndex = 3;
    }
    table[1].displayName = L"Winedevice1";
    table[2].displayName = L"Plug and Play Service";
    ViewSettings view = viewOf(table, OPT_PARENT_PID | OPT_MEMORY | OPT_EXTRA_INFO | OPT_PRIORITY | OPT_THREADS);
    view.highlightPattern = L"plugplay|Winedevice1";
    EXPECT_EQ(0, ::renderTree(&table[0], nullptr, &view));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"H07 0038  [0028]    19M  \x2191 ", L"C0F services", L"H07   N (10)", L"H07 \r\n",
                  L"H07    \x251C\x2500\x2500" L"0044    17M  \x2191 ", L"C0F winedevice", L"H07   N (6)  ",
                  L"CF0 Winedevice1", L"H07 \r\n",
                  L"H07    \x2514\x2500\x2500" L"0098    15M  \x2191 ", L"CF0 plugplay", L"H07   N (6)  ",
                  L"C07 Plug and Play Service", L"H07 \r\n"}),
              outputTranscript());
}

TEST_F(RenderTest, FullPathOnlyForLinesThatShowIt)
{
    std::vector<SyntheticRecord> table = {makeRecord(0x40, 4, L"self.exe"), makeRecord(0x44, 0x40, L"gone.exe")};
    table[0].displayName = L"Service A";
    table[1].displayName = L"Window";
    source_.paths = {{0x40, L"C:\\Tools\\fake.exe"}};
    // A path that cannot be read falls back to the display name.
    EXPECT_EQ(L"64  self  C:\\Tools\\fake.exe\r\n   `--68  gone  Window\r\n",
              renderTree(table, 0x40, OPT_FULL_PATH | OPT_ASCII | OPT_DECIMAL_PID, 200));
    EXPECT_EQ(2, source_.pathQueries);

    source_.pathQueries = 0;
    EXPECT_EQ(L"64  self\r\n   `--68  gone\r\n",
              renderTree(table, 0x40, OPT_FULL_PATH | OPT_NO_DISPLAY_NAMES | OPT_DECIMAL_PID | OPT_ASCII, 200));
    EXPECT_EQ(0, source_.pathQueries);
}

namespace {

std::map<uint32_t, std::wstring> gCommandLines;

const wchar_t* commandLineOf(void*, const ProcessRecord* record)
{
    auto known = gCommandLines.find(record->entry.th32ProcessID);
    return known != gCommandLines.end() ? known->second.c_str() : nullptr;
}

}  // namespace

// The command line replaces every other display text, also where it cannot
// be read (no fallback to a title), sorts by /O:D, and is its own CSV column.
// Faults: falling back to the service name; sorting by the title under /CMD;
// a Display column beside CommandLine.
TEST_F(RenderTest, CommandLineTakesThePlaceOfEveryDisplayText)
{
    std::vector<SyntheticRecord> table = {makeRecord(8, 4, L"x.exe"), makeRecord(12, 8, L"y.exe"),
                                          makeRecord(16, 8, L"z.exe"), makeRecord(20, 8, L"w.exe")};
    table[0].displayName = L"Svc";
    table[1].displayName = L"A title";  // its command line cannot be read
    table[2].displayName = L"Zed";
    gCommandLines = {{8, L"x.exe -a"}, {16, L"b, \"c\""}, {20, L"a"}};
    const struct {
        const wchar_t* keys;
        const wchar_t* tree;
    } sorts[] = {
        {L"d", L"0008  x  x.exe -a\r\n   +--000C  y\r\n   +--0014  w  a\r\n   `--0010  z  b, \"c\"\r\n"},
        {L"D", L"0008  x  x.exe -a\r\n   +--0010  z  b, \"c\"\r\n   +--0014  w  a\r\n   `--000C  y\r\n"},
    };
    for (const auto& sort : sorts) {
        ViewSettings view = viewOf(table, OPT_COMMAND_LINE | OPT_ASCII, 79, sort.keys);
        view.source.commandLine = commandLineOf;
        gFakeHost.out.clear();
        ASSERT_EQ(0, ::renderTree(&table[0], nullptr, &view));
        EXPECT_EQ(sort.tree, gFakeHost.out) << sort.keys;
    }
    ViewSettings rows = viewOf(table, OPT_COMMAND_LINE | OPT_CSV, 79, nullptr);
    rows.source.commandLine = commandLineOf;
    gFakeHost.out.clear();
    ASSERT_EQ(0, writeCsvHeader(rows.flags, &gTestOutput));
    ASSERT_EQ(0, ::renderTree(&table[0], nullptr, &rows));
    EXPECT_EQ(L"Depth,PID,ParentPID,Name,CommandLine\r\n0,8,4,x.exe,x.exe -a\r\n1,12,8,y.exe,\r\n"
              L"1,16,8,z.exe,\"b, \"\"c\"\"\"\r\n1,20,8,w.exe,a\r\n",
              gFakeHost.out);
    gFakeHost.out.clear();
    ASSERT_EQ(0, writeCsvHeader(rows.flags | OPT_NO_DISPLAY_NAMES, &gTestOutput));
    EXPECT_EQ(L"Depth,PID,ParentPID,Name\r\n", gFakeHost.out);
}
