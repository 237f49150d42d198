#include "base/text.h"
#include "csv_fields.h"
#include "fake_console.h"
#include "render/csv_row.h"
#include "render/tree.h"
#include "render_fixture.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// root 0x10 (parent 8) with 0x20 (child 0x21) and 0x30 (child 0x31), out of PID order.
std::vector<SyntheticRecord> familyTable()
{
    return {makeRecord(0x30, 0x10, L"b.exe"), makeRecord(0x21, 0x20, L"a1.exe"), makeRecord(0x10, 0x8, L"root.exe"),
            makeRecord(0x31, 0x30, L"b1.exe"), makeRecord(0x20, 0x10, L"a.exe")};
}

// A creation time as a Started field writes it.
std::wstring localText(uint64_t ticks)
{
    SYSTEMTIME local = localTimeOf(ticks);
    wchar_t text[32];
    (void)formatText(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth, local.wDay,
                     local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return text;
}

class CsvTest : public RenderTest {
protected:
    // What appendCsvField makes of text, sent through a line of its own.
    std::wstring fieldOf(const std::wstring& text)
    {
        std::unique_ptr<LineText> line(new LineText);
        startLine(line.get(), &gTestOutput);
        gFakeHost.out.clear();
        gFakeHost.pieces.clear();
        appendCsvField(line.get(), text.c_str(), text.size());
        writeLineText(line.get());
        return gFakeHost.out;
    }
};

}  // namespace

// A window title can hold anything: what makes a field ambiguous is quoted,
// its quotes doubled, and nothing is cut, however long.
TEST_F(CsvTest, QuotingOfAWindowTitleWithACommaAndAQuote)
{
    const struct {
        const wchar_t* text;
        const wchar_t* field;
    } cases[] = {
        {L"plain title", L"plain title"},
        {L"", L""},
        {L"Report \"Q3\", draft", L"\"Report \"\"Q3\"\", draft\""},
        {L"a,b", L"\"a,b\""},
        {L"\"", L"\"\"\"\""},
        {L"two\r\nlines", L"\"two\r\nlines\""},
        {L"line\nfeed", L"\"line\nfeed\""},
        {L" spaces and ; semicolons ", L" spaces and ; semicolons "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.field, fieldOf(c.text)) << c.text;
    }

    // Longer than a line's text, every third unit a quote to double, and
    // pairs of surrogates between them: all of it arrives, in order.
    std::wstring title;
    for (int i = 0; i < 3000; ++i) {
        title += i % 3 == 0 ? L"\"" : (i % 3 == 1 ? L"\xD83D\xDE00" : L",");
    }
    std::wstring field = fieldOf(title);
    ASSERT_EQ(2 + title.size() + 1000, field.size());
    EXPECT_EQ(title, csvFields(field)[0]);

    // One stretch without quotes longer than the line, a pair where the line
    // is full: the line goes out before the pair, never half of it.
    std::wstring longTitle = std::wstring(LINE_TEXT_COUNT - 2, L',') + L"\xD83D\xDE00" + L"tail";
    EXPECT_EQ(L"\"" + longTitle + L"\"", fieldOf(longTitle));
    for (const OutputPiece& piece : gFakeHost.pieces) {
        EXPECT_FALSE(!piece.text.empty() && isHighSurrogate(piece.text.back())) << piece.text.size();
    }

    // Through a whole row, as the display text of a tree line.
    std::vector<SyntheticRecord> table = {makeRecord(0x10, 0x8, L"app.exe")};
    table[0].displayName = L"Report \"Q3\", draft";
    std::vector<std::wstring> lines = linesOf(renderTree(table, 0x10, OPT_CSV));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"0,16,8,app.exe,\"Report \"\"Q3\"\", draft\"", lines[0]);
}

// Only the fields the options ask for, in the tree's column order; options
// that shape a tree line add nothing.
TEST_F(CsvTest, AFieldPresentThatTheOptionsDidNotAskFor)
{
    const struct {
        DisplayFlags flags;
        const wchar_t* header;
    } cases[] = {
        {0, L"Depth,PID,ParentPID,Name,Display"},
        {OPT_NO_DISPLAY_NAMES, L"Depth,PID,ParentPID,Name"},
        {OPT_MEMORY, L"Depth,PID,ParentPID,Name,WorkingSet,Display"},
        {OPT_MEMORY | OPT_MEMORY_FRACTION, L"Depth,PID,ParentPID,Name,WorkingSet,Display"},
        {OPT_EXTRA_INFO, L"Depth,PID,ParentPID,Name,Elevated,Is32Bit,Display"},
        {OPT_PRIORITY, L"Depth,PID,ParentPID,Name,Priority,Display"},
        {OPT_THREADS, L"Depth,PID,ParentPID,Name,Threads,Display"},
        {OPT_START_TIME | OPT_TIME_DATE, L"Depth,PID,ParentPID,Name,Started,Display"},
        {OPT_START_TIME | OPT_THREADS | OPT_PRIORITY | OPT_EXTRA_INFO | OPT_MEMORY | OPT_NO_DISPLAY_NAMES,
         L"Depth,PID,ParentPID,Name,WorkingSet,Elevated,Is32Bit,Priority,Threads,Started"},
        {OPT_ASCII | OPT_ASCII_ELLIPSIS | OPT_DECIMAL_PID | OPT_PARENT_PID | OPT_NO_TREE | OPT_KEEP_EXTENSIONS |
             OPT_COUNT | OPT_REVERSE | OPT_FULL_PATH | OPT_NO_SERVICES | OPT_NO_TITLES | OPT_OPEN_PROCESSES,
         L"Depth,PID,ParentPID,Name,Display"},
    };
    std::vector<SyntheticRecord> table = familyTable();
    for (auto& record : table) {
        record.details.creationTime = kStartTicks;
        record.details.priorityIndex = 3;
    }
    for (const auto& c : cases) {
        gFakeHost.out.clear();
        ASSERT_EQ(0, writeCsvHeader(c.flags | OPT_CSV, &gTestOutput));
        EXPECT_EQ(std::wstring(c.header) + L"\r\n", gFakeHost.out) << std::hex << c.flags;
        std::vector<std::wstring> lines = linesOf(renderTree(table, 0x10, c.flags | OPT_CSV));
        ASSERT_EQ(5u, lines.size());
        for (const std::wstring& line : lines) {
            EXPECT_EQ(csvFields(c.header).size(), csvFields(line).size()) << line << "\nunder " << c.header;
        }
    }
}

// Each field's text: PIDs in decimal, the parent a row hangs under, the
// name with its extension, bytes, Yes/No, the priority label, the local
// start time to the millisecond, the path under /F; empty when unknown.
TEST_F(CsvTest, FieldTextsAndUnknownFacts)
{
    std::vector<SyntheticRecord> table = {makeRecord(0x10, 0x8, L"root.exe"), makeRecord(0x20, 0x10, L"a.b.exe"),
                                          makeRecord(0x30, 0x10, L"closed.exe")};
    table[0].details = {kStartTicks, {}, 5u << 20, 5, true, false};
    table[1].details = {kStartTicks + 10000, {}, 4096, 3, false, true};
    table[1].entry.cntThreads = 12;
    table[2].details = {};  // could not be opened
    source_.paths = {{0x20, L"C:\\apps\\a.b.exe"}};
    DisplayFlags all = OPT_CSV | OPT_MEMORY | OPT_EXTRA_INFO | OPT_PRIORITY | OPT_THREADS | OPT_START_TIME;

    std::wstring startText = localText(kStartTicks);
    std::wstring laterText = localText(kStartTicks + 10000);
    ASSERT_EQ(23u, startText.size());
    ASSERT_NE(startText, laterText);

    ViewSettings view = viewOf(table, all | OPT_FULL_PATH);
    // The source's link test drops 0x30's parent: still, a row names the row
    // it hangs under, so that the parents agree with the depths.
    view.source.parentPid = [](void*, const ProcessRecord* record) -> uint32_t {
        return record->entry.th32ProcessID == 0x30 ? 0 : record->entry.th32ParentProcessID;
    };
    gFakeHost.out.clear();
    ASSERT_EQ(0, ::renderTree(&table[0], nullptr, &view));
    std::vector<std::wstring> lines = linesOf(gFakeHost.out);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"0,16,8,root.exe,5242880,Yes,No,HI,1," + startText + L",", lines[0]);
    EXPECT_EQ(L"1,32,16,a.b.exe,4096,No,Yes,N,12," + laterText + L",C:\\apps\\a.b.exe", lines[1]);
    EXPECT_EQ(L"1,48,16,closed.exe,,,,-,1,,", lines[2]);
    EXPECT_EQ(3u, view.printedCount);
}

// The depth is the walk's: nested levels below the first line, whatever
// order the siblings take.
TEST_F(CsvTest, DepthFollowsTheWalk)
{
    const struct {
        const wchar_t* keys;
        const wchar_t* rows;
    } cases[] = {
        {nullptr, L"0:16 1:48 2:49 1:32 2:33 "},
        {L"", L"0:16 1:32 2:33 1:48 2:49 "},
        {L"P", L"0:16 1:48 2:49 1:32 2:33 "},
    };
    for (const auto& c : cases) {
        std::vector<SyntheticRecord> table = familyTable();
        ViewSettings view = viewOf(table, OPT_CSV | OPT_NO_DISPLAY_NAMES, 79, c.keys);
        gFakeHost.out.clear();
        ASSERT_EQ(0, ::renderTree(&table[2], nullptr, &view));
        std::wstring rows;
        for (const std::wstring& line : linesOf(gFakeHost.out)) {
            std::vector<std::wstring> fields = csvFields(line);
            rows += fields[0] + L":" + fields[1] + L" ";
        }
        EXPECT_EQ(c.rows, rows) << (c.keys != nullptr ? c.keys : L"table order");
    }
}
