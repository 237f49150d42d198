#include "render/columns.h"
#include "base/text.h"
#include "render_fixture.h"

TEST(MemoryColumnTest, UnitsRoundingAndForms)
{
    struct Case {
        uint64_t bytes;
        DisplayFlags flags;
        const wchar_t* text;
    } cases[] = {
        {511, 0, L"   0K  "},
        {512, 0, L"   1K  "},  // the bit below the unit rounds up
        {1048575, 0, L"1024K  "},
        {1048576, 0, L"   1M  "},
        {1073741824, 0, L"   1G  "},
        {512, OPT_MEMORY_FRACTION, L"   0.50K  "},
        {1073741824, OPT_MEMORY_FRACTION, L"   1.00G  "},
        {511, OPT_MEMORY_BYTES, L"         511  "},
        {1073741824, OPT_MEMORY_BYTES | OPT_MEMORY_FRACTION, L"  1073741824  "},
    };
    for (const Case& c : cases) {
        wchar_t text[COLUMN_TEXT_COUNT];
        EXPECT_EQ(static_cast<int>(wcslen(c.text)), formatMemoryColumn(c.bytes, c.flags, text, COLUMN_TEXT_COUNT));
        EXPECT_STREQ(c.text, text) << c.bytes;
    }
}

#if SIZE_MAX > 0xFFFFFFFFu
// The 64-bit build reads the whole working-set count instead of wrapping it at 4 GiB.
TEST_F(RenderTest, WorkingSetAcrossFourGigabytes)
{
    std::vector<SyntheticRecord> table = {makeRecord(8, 4, L"big.exe")};
    table[0].details.workingSetSize = static_cast<SIZE_T>((4ull << 30) - 1);
    EXPECT_EQ(L"0008     4G  big\r\n", renderTree(table, 8, OPT_MEMORY));
    table[0].details.workingSetSize = static_cast<SIZE_T>(4ull << 30);
    EXPECT_EQ(L"0008     4G  big\r\n", renderTree(table, 8, OPT_MEMORY));
    table[0].details.workingSetSize = static_cast<SIZE_T>(5ull << 30);
    EXPECT_EQ(L"0008    5368709120  big\r\n", renderTree(table, 8, OPT_MEMORY | OPT_MEMORY_BYTES));
}
#endif

TEST_F(RenderTest, StartTimeWidthsAndTheDateRule)
{
    const SYSTEMTIME local = localTimeOf(kStartTicks);
    ASSERT_NE(0, local.wYear);
    wchar_t text[COLUMN_TEXT_COUNT];
    (void)formatText(text, COLUMN_TEXT_COUNT, L"  %04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth, local.wDay,
               local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    const std::wstring full = text;  // "  yyyy-mm-dd hh:mm:ss.mmm"
    const std::wstring clock = L"  " + full.substr(13);

    SYSTEMTIME sameDay = local;
    sameDay.wHour = 23;
    SYSTEMTIME otherDay = local;
    otherDay.wDay = local.wDay == 1 ? 2 : 1;
    struct Case {
        DisplayFlags flags;
        const SYSTEMTIME* today;
        std::wstring text;
    } cases[] = {
        {0, &sameDay, clock.substr(0, 7)},
        {OPT_TIME_SECONDS, &sameDay, clock.substr(0, 10)},
        {OPT_TIME_MILLIS | OPT_TIME_SECONDS, &sameDay, clock},
        {0, &otherDay, full.substr(0, 18)},
        {OPT_TIME_DATE | OPT_TIME_MILLIS, &sameDay, full},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<int>(c.text.size()), formatStartTime(local, c.today, c.flags, text, COLUMN_TEXT_COUNT));
        EXPECT_EQ(c.text, text);
    }
}

// Priority, threads and start time are written only when they fit, each at its own cost.
TEST_F(RenderTest, TrailingColumnsFitOrAreSkipped)
{
    const DisplayFlags fullTime = OPT_START_TIME | OPT_TIME_DATE | OPT_TIME_MILLIS;
    struct Case {
        DisplayFlags flags;
        int32_t priorityIndex;
        uint64_t created;
        int32_t remaining;
        const wchar_t* out;
        int32_t left;
    } cases[] = {
        {OPT_PRIORITY | OPT_THREADS, 5, 0, 10, L"  HI", 2},  // " (5)" needs 4
        {OPT_PRIORITY | OPT_THREADS, 5, 0, 3, L"", -1},      // the label costs 4 more than its text
        {OPT_PRIORITY | OPT_THREADS, 5, 0, 12, L"  HI (5)", 0},
        {OPT_PRIORITY | OPT_THREADS, -1, 0, 4, L" (5)", 0},  // the placeholder pays nothing
        {fullTime, 0, kStartTicks, 24, L"", 24},
        {fullTime, 0, kStartTicks, 25, nullptr, 0},
        {fullTime, 0, 0, 30, L"", 30},  // unknown creation time
    };
    for (const Case& c : cases) {
        std::vector<SyntheticRecord> table = {makeRecord(8, 4, L"x.exe")};
        table[0].details.priorityIndex = c.priorityIndex;
        table[0].entry.cntThreads = 5;
        table[0].details.creationTime = c.created;
        ViewSettings view = viewOf(table, c.flags);
        wchar_t text[COLUMN_TEXT_COUNT];
        int32_t remaining = c.remaining;
        gFakeHost.out.clear();
        LineText line;
        startLine(&line, view.output);
        writeTrailingColumns(table[0], *view.source.details(view.source.context, &table[0]), nullptr, view, &line, text,
                             &remaining);
        writeLineText(&line);
        if (c.out != nullptr) {
            EXPECT_EQ(c.out, gFakeHost.out) << c.remaining;
        } else {
            EXPECT_EQ(25u, gFakeHost.out.size());
        }
        EXPECT_EQ(c.left, remaining) << c.remaining;
    }
}
