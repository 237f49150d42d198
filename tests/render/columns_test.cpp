#include "render/columns.h"
#include "console/format.h"
#include "render_fixture.h"

namespace {

std::wstring memoryText(uint64_t bytes, DisplayFlags flags)
{
    wchar_t text[COLUMN_TEXT_COUNT];
    int length = formatMemoryColumn(bytes, flags, text, COLUMN_TEXT_COUNT);
    EXPECT_EQ(static_cast<int>(wcslen(text)), length);
    return text;
}

// The local calendar time the column must show for a UTC FILETIME.
SYSTEMTIME localTimeOf(const FILETIME& time)
{
    SYSTEMTIME utc;
    SYSTEMTIME local;
    EXPECT_TRUE(FileTimeToSystemTime(&time, &utc));
    EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    return local;
}

std::wstring format(const wchar_t* pattern, unsigned a, unsigned b, unsigned c = 0, unsigned d = 0, unsigned e = 0)
{
    wchar_t text[64];
    formatText(text, 64, pattern, a, b, c, d, e);
    return text;
}

}  // namespace

TEST(MemoryColumnTest, RoundsToTheNearestUnitWithTheBitBelow)
{
    EXPECT_EQ(L"   0K  ", memoryText(0, 0));
    EXPECT_EQ(L"   0K  ", memoryText(511, 0));
    EXPECT_EQ(L"   1K  ", memoryText(512, 0));
    EXPECT_EQ(L"1024K  ", memoryText(1048575, 0));
    EXPECT_EQ(L"   1M  ", memoryText(1048576, 0));
    EXPECT_EQ(L"   2M  ", memoryText(1048576 + 524288, 0));
    EXPECT_EQ(L"1024M  ", memoryText(1073741823, 0));
    EXPECT_EQ(L"   1G  ", memoryText(1073741824, 0));
    EXPECT_EQ(L"   4G  ", memoryText(4294967295u, 0));
}

TEST(MemoryColumnTest, FractionAndByteForms)
{
    EXPECT_EQ(L"   0.50K  ", memoryText(512, OPT_MEMORY_FRACTION));
    EXPECT_EQ(L"1024.00K  ", memoryText(1048575, OPT_MEMORY_FRACTION));
    EXPECT_EQ(L"   1.50M  ", memoryText(1572864, OPT_MEMORY_FRACTION));
    EXPECT_EQ(L"   1.00G  ", memoryText(1073741824, OPT_MEMORY_FRACTION));
    EXPECT_EQ(L"  1073741824  ", memoryText(1073741824, OPT_MEMORY_BYTES));
    EXPECT_EQ(L"  1073741824  ", memoryText(1073741824, OPT_MEMORY_BYTES | OPT_MEMORY_FRACTION));
    EXPECT_EQ(L"         511  ", memoryText(511, OPT_MEMORY_BYTES));
}

TEST(MemoryColumnTest, WorkingSetAboveFourGigabytes)
{
    ProcessRecord record = makeRecord(8, 4, L"big.exe");
#if SIZE_MAX > 0xFFFFFFFFu
    // The 64-bit build reads the whole count instead of wrapping to 0.
    record.memory.WorkingSetSize = static_cast<SIZE_T>(4ull << 30);
    EXPECT_EQ(4ull << 30, workingSetBytes(record));
    EXPECT_EQ(L"   4G  ", memoryText(workingSetBytes(record), 0));
    record.memory.WorkingSetSize = static_cast<SIZE_T>((4ull << 30) - 1);
    EXPECT_EQ(L"   4G  ", memoryText(workingSetBytes(record), 0));
    record.memory.WorkingSetSize = static_cast<SIZE_T>(5ull << 30);
    EXPECT_EQ(L"  5368709120  ", memoryText(workingSetBytes(record), OPT_MEMORY_BYTES));
#else
    record.memory.WorkingSetSize = 0xFFFFFFFFu;
    EXPECT_EQ(0xFFFFFFFFull, workingSetBytes(record));
#endif
}

TEST(ExtraInfoTest, ElevationWinsOverBitness)
{
    ProcessRecord record = makeRecord(8, 4, L"x.exe");
    EXPECT_STREQ(L"  ", extraInfoMarker(record, 0));
    EXPECT_STREQ(L"  ", extraInfoMarker(record, OPT_ASCII));
    record.is32Bit = 1;
    EXPECT_STREQ(L"\x00BB ", extraInfoMarker(record, 0));
    EXPECT_STREQ(L"\x00BB ", extraInfoMarker(record, OPT_ASCII_ELLIPSIS));
    EXPECT_STREQ(L"* ", extraInfoMarker(record, OPT_ASCII));
    record.elevated = 1;
    EXPECT_STREQ(L"\x2191 ", extraInfoMarker(record, 0));
    EXPECT_STREQ(L"\x2191 ", extraInfoMarker(record, OPT_ASCII_ELLIPSIS));
    EXPECT_STREQ(L"^ ", extraInfoMarker(record, OPT_ASCII));
}

TEST_F(RenderTest, PriorityLabelCostsFourMoreThanItsText)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"x.exe")};
    table[0].priorityIndex = 5;
    table[0].entry.cntThreads = 5;
    ViewSettings view = viewOf(table, OPT_PRIORITY | OPT_THREADS);
    wchar_t text[COLUMN_TEXT_COUNT];

    int32_t remaining = 10;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L"  HI", gFakeHost.out);  // " (5)" would need 4 of the 2 left
    EXPECT_EQ(2, remaining);

    gFakeHost.out.clear();
    remaining = 3;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(-1, remaining);

    gFakeHost.out.clear();
    remaining = 12;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L"  HI (5)", gFakeHost.out);
    EXPECT_EQ(0, remaining);

    // The ended-process placeholder has no priority column and pays nothing for it.
    table[0].priorityIndex = -1;
    gFakeHost.out.clear();
    remaining = 4;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L" (5)", gFakeHost.out);
    EXPECT_EQ(0, remaining);

    EXPECT_STREQ(L"-", priorityLabel(0));
    EXPECT_STREQ(L"RT", priorityLabel(6));
    EXPECT_EQ(nullptr, priorityLabel(7));
}

TEST_F(RenderTest, StartTimeWidthsAndTheDateRule)
{
    // 2021-03-04 05:06:07.089 UTC
    FILETIME created = makeFileTime(132593079670890000ull);
    SYSTEMTIME local = localTimeOf(created);
    ASSERT_EQ(89, local.wMilliseconds);
    std::wstring date = format(L"  %04u-%02u-%02u ", local.wYear, local.wMonth, local.wDay);
    std::wstring hm = format(L"%02u:%02u", local.wHour, local.wMinute);
    std::wstring sec = format(L":%02u", local.wSecond, 0);
    std::wstring ms = format(L":%02u.%03u", local.wSecond, local.wMilliseconds);

    SYSTEMTIME sameDay = local;
    sameDay.wHour = 23;
    SYSTEMTIME otherDay = local;
    otherDay.wDay = local.wDay == 1 ? 2 : 1;

    struct Case {
        DisplayFlags flags;
        const SYSTEMTIME* today;
        std::wstring text;
        int width;
    } cases[] = {
        {0, &sameDay, L"  " + hm, 7},
        {OPT_TIME_SECONDS, &sameDay, L"  " + hm + sec, 10},
        {OPT_TIME_MILLIS | OPT_TIME_SECONDS, &sameDay, L"  " + hm + ms, 14},
        {OPT_TIME_MILLIS, &sameDay, L"  " + hm + ms, 14},
        {0, &otherDay, date + hm, 18},
        {OPT_TIME_DATE, &sameDay, date + hm, 18},
        {OPT_TIME_DATE | OPT_TIME_SECONDS, &sameDay, date + hm + sec, 21},
        {OPT_TIME_DATE | OPT_TIME_SECONDS | OPT_TIME_MILLIS, &sameDay, date + hm + ms, 25},
    };
    for (const Case& c : cases) {
        wchar_t text[COLUMN_TEXT_COUNT];
        EXPECT_EQ(c.width, formatStartTime(created, c.today, c.flags, text, COLUMN_TEXT_COUNT)) << c.text;
        EXPECT_EQ(c.text, text);
        EXPECT_EQ(static_cast<size_t>(c.width), wcslen(text));
    }

    wchar_t text[COLUMN_TEXT_COUNT];
    EXPECT_EQ(0, formatStartTime(makeFileTime(0), &sameDay, 0, text, COLUMN_TEXT_COUNT));
    EXPECT_STREQ(L"", text);
}

TEST_F(RenderTest, StartTimeIsDroppedWholeWhenItDoesNotFit)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"x.exe")};
    table[0].creationTime = makeFileTime(132593079670890000ull);
    ViewSettings view = viewOf(table, OPT_START_TIME | OPT_TIME_DATE | OPT_TIME_SECONDS | OPT_TIME_MILLIS);
    wchar_t text[COLUMN_TEXT_COUNT];

    int32_t remaining = 24;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(24, remaining);

    remaining = 25;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(25u, gFakeHost.out.size());
    EXPECT_EQ(0, remaining);

    // An unknown creation time drops the column at no cost.
    table[0].creationTime = makeFileTime(0);
    gFakeHost.out.clear();
    remaining = 30;
    writeTrailingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(30, remaining);
}

TEST_F(RenderTest, LeadingColumnsAreWrittenEvenPastTheWidth)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"x.exe")};
    table[0].memory.WorkingSetSize = 512;
    table[0].elevated = 1;
    ViewSettings view = viewOf(table, OPT_MEMORY | OPT_EXTRA_INFO);
    wchar_t text[COLUMN_TEXT_COUNT];
    int32_t remaining = 3;
    writeLeadingColumns(table[0], view, text, &remaining);
    EXPECT_EQ(L"   1K  \x2191 ", gFakeHost.out);
    EXPECT_EQ(3 - 7 - 2, remaining);
}
