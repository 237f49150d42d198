#include "console/format.h"
#include "procinfo/image_path.h"
#include "render/sibling_order.h"
#include "render/tree.h"
#include "render_fixture.h"

#include <atomic>
#include <thread>

namespace {

// root 0010 with children 0020 (one child 0021) and 0030 (one child 0031),
// listed out of PID order; 0099 belongs to another tree.
std::vector<ProcessRecord> familyTable()
{
    return {makeRecord(0x30, 0x10, L"b.exe"), makeRecord(0x99, 0x77, L"other.exe"),
            makeRecord(0x21, 0x20, L"a1.exe"), makeRecord(0x10, 0x8, L"root.exe"),
            makeRecord(0x31, 0x30, L"b1.exe"), makeRecord(0x20, 0x10, L"a.exe")};
}

std::vector<std::wstring> linesOf(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "output does not end with a line end";
    return lines;
}

int gFakeQueries = 0;

BOOL WINAPI fakeImageName(HANDLE, DWORD flags, LPWSTR path, PDWORD size)
{
    ++gFakeQueries;
    EXPECT_EQ(0u, flags);
    EXPECT_EQ(static_cast<DWORD>(IMAGE_PATH_COUNT), *size);
    wcscpy(path, L"C:\\Tools\\fake.exe");
    *size = static_cast<DWORD>(wcslen(path));
    return TRUE;
}

}  // namespace

TEST_F(RenderTest, TreeShapeWithBoxDrawing)
{
    EXPECT_EQ(L"0010  root\r\n"
              L"   \x251C\x2500\x2500" L"0020  a\r\n"
              L"   \x2502  \x2514\x2500\x2500" L"0021  a1\r\n"
              L"   \x2514\x2500\x2500" L"0030  b\r\n"
              L"      \x2514\x2500\x2500" L"0031  b1\r\n",
              renderTree(familyTable(), 0x10, 0));
    // The ASCII ellipsis alone leaves the graphic alone.
    EXPECT_EQ(renderTree(familyTable(), 0x10, 0), renderTree(familyTable(), 0x10, OPT_ASCII_ELLIPSIS));
}

TEST_F(RenderTest, TreeShapeInAscii)
{
    EXPECT_EQ(L"0010  root\r\n"
              L"   +--0020  a\r\n"
              L"   |  `--0021  a1\r\n"
              L"   `--0030  b\r\n"
              L"      `--0031  b1\r\n",
              renderTree(familyTable(), 0x10, OPT_ASCII));
}

TEST_F(RenderTest, NoTreeNumbersTheRootOneAndIndentsByTwo)
{
    EXPECT_EQ(L"  1:  0010  root\r\n"
              L"  0020  a\r\n"
              L"    0021  a1\r\n"
              L"  0030  b\r\n"
              L"    0031  b1\r\n",
              renderTree(familyTable(), 0x10, OPT_NO_TREE | OPT_ASCII));
}

TEST_F(RenderTest, AncestryLinesCountDownOrUp)
{
    std::vector<ProcessRecord> table = familyTable();
    ViewSettings view = viewOf(table, OPT_NO_TREE);
    view.totalCount = 3;
    for (uint32_t pid : {0x10u, 0x20u, 0x21u}) {
        EXPECT_EQ(0, renderProcess(findRoot(table, pid), nullptr, false, false, &view));
    }
    EXPECT_EQ(L"  3:  0010  root\r\n  2:  0020  a\r\n  1:  0021  a1\r\n", gFakeHost.out);

    gFakeHost.out.clear();
    view = viewOf(table, OPT_NO_TREE | OPT_REVERSE);
    view.totalCount = 3;
    for (uint32_t pid : {0x21u, 0x20u, 0x10u}) {
        EXPECT_EQ(0, renderProcess(findRoot(table, pid), nullptr, false, false, &view));
    }
    EXPECT_EQ(L"  1:  0021  a1\r\n  2:  0020  a\r\n  3:  0010  root\r\n", gFakeHost.out);

    // Without the flag an unprefixed line carries no number.
    gFakeHost.out.clear();
    view = viewOf(table, 0);
    EXPECT_EQ(0, renderProcess(findRoot(table, 0x21), nullptr, false, false, &view));
    EXPECT_EQ(L"0021  a1\r\n", gFakeHost.out);
    EXPECT_EQ(1u, view.printedCount);
}

TEST_F(RenderTest, ParentPidOnTheFirstLineOnlyAndDecimalPids)
{
    std::vector<ProcessRecord> table = {makeRecord(77, 4, L"root.exe"), makeRecord(100, 77, L"a.exe"),
                                        makeRecord(0x12345, 77, L"big.exe")};
    ViewSettings view = viewOf(table, OPT_PARENT_PID);
    EXPECT_EQ(0, renderProcess(&table[0], nullptr, true, true, &view));
    EXPECT_EQ(L"004D  [0004]  root\r\n"
              L"   \x251C\x2500\x2500" L"0064  a\r\n"
              L"   \x2514\x2500\x2500" L"12345  big\r\n",
              gFakeHost.out);
    EXPECT_EQ(0u, view.flags & OPT_PARENT_PID);
    EXPECT_EQ(3u, view.printedCount);

    EXPECT_EQ(L"77  [4]  root\r\n"
              L"   \x251C\x2500\x2500" L"100  a\r\n"
              L"   \x2514\x2500\x2500" L"74565  big\r\n",
              renderTree(table, 77, OPT_PARENT_PID | OPT_DECIMAL_PID));
}

TEST_F(RenderTest, ExtensionsAreCutAtTheLastPeriod)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"a.b.exe"), makeRecord(12, 8, L"System"),
                                        makeRecord(16, 8, L".hidden")};
    EXPECT_EQ(L"0008  a.b\r\n   \x251C\x2500\x2500" L"000C  System\r\n   \x2514\x2500\x2500" L"0010  \r\n",
              renderTree(table, 8, 0));
    EXPECT_EQ(L"0008  a.b.exe\r\n   +--000C  System\r\n   `--0010  .hidden\r\n",
              renderTree(table, 8, OPT_KEEP_EXTENSIONS | OPT_ASCII));
}

TEST_F(RenderTest, ExecutableNameCutToTheRemainingWidth)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"abcdefghijklm.exe")};
    table[0].displayName = L"svc";
    table[0].entry.cntThreads = 3;
    DisplayFlags flags = OPT_THREADS;
    // "0008  " takes 6 of the width; a cut name leaves nothing for later columns.
    EXPECT_EQ(L"0008  abcdef\x2026\r\n", renderTree(table, 8, flags, 6 + 7));
    EXPECT_EQ(L"0008  abcdefg\r\n", renderTree(table, 8, flags | OPT_ASCII_ELLIPSIS, 6 + 7));
    EXPECT_EQ(L"0008  abcdefg\r\n", renderTree(table, 8, flags | OPT_ASCII, 6 + 7));
    EXPECT_EQ(L"0008  abcdefg\x2026\r\n", renderTree(table, 8, flags, 6 + 8));
    EXPECT_EQ(L"0008  abcde...\r\n", renderTree(table, 8, flags | OPT_ASCII_ELLIPSIS, 6 + 8));
    EXPECT_EQ(L"0008  abcde...\r\n", renderTree(table, 8, flags | OPT_ASCII, 6 + 8));
    EXPECT_EQ(L"0008  abcde\r\n", renderTree(table, 8, flags, 6 + 5));
    EXPECT_EQ(L"0008  abcde\x2026\r\n", renderTree(table, 8, flags, 6 + 6));
    EXPECT_EQ(L"0008  a\r\n", renderTree(table, 8, flags, 6 + 1));
    EXPECT_EQ(L"0008  \r\n", renderTree(table, 8, flags, 6));
    // Exactly fitting: whole, and the later columns are dropped.
    EXPECT_EQ(L"0008  abcdefghijklm\r\n", renderTree(table, 8, flags, 6 + 13));
    EXPECT_EQ(L"0008  abcdefghijklm (3)  svc\r\n", renderTree(table, 8, flags, 6 + 13 + 4 + 5));
}

TEST_F(RenderTest, AlwaysWrittenColumnsCanCrowdOutEverythingElse)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"x.exe"), makeRecord(12, 8, L"y.exe")};
    table[0].displayName = L"Display";
    table[0].priorityIndex = 3;
    table[0].creationTime = makeFileTime(132593079670890000ull);
    table[0].memory.WorkingSetSize = 1073741824;
    DisplayFlags flags = OPT_PARENT_PID | OPT_MEMORY_BYTES | OPT_MEMORY | OPT_EXTRA_INFO | OPT_PRIORITY |
                         OPT_THREADS | OPT_START_TIME;
    // Root: 6 + 8 + 14 + 2 = 30 of 20; child: 6 + 6 + 14 + 2.
    EXPECT_EQ(L"0008  " L"[0004]  " L"  1073741824  " L"  \r\n"
              L"   \x2514\x2500\x2500" L"000C  " L"           0  " L"  \r\n",
              renderTree(table, 8, flags, 20));
}

TEST_F(RenderTest, DisplayTextCutOrDroppedWithItsSeparator)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"a.exe")};
    table[0].displayName = L"0123456789AB";
    // "0008  a" takes 7: width 16 leaves 9.
    EXPECT_EQ(L"0008  a  012345\x2026\r\n", renderTree(table, 8, 0, 7 + 9));
    EXPECT_EQ(L"0008  a\r\n", renderTree(table, 8, OPT_ASCII, 7 + 9));
    EXPECT_EQ(L"0008  a\r\n", renderTree(table, 8, OPT_ASCII_ELLIPSIS, 7 + 9));
    EXPECT_EQ(L"0008  a  01234...\r\n", renderTree(table, 8, OPT_ASCII, 7 + 10));
    EXPECT_EQ(L"0008  a  01234\x2026\r\n", renderTree(table, 8, 0, 7 + 8));
    EXPECT_EQ(L"0008  a\r\n", renderTree(table, 8, 0, 7 + 7));
    EXPECT_EQ(L"0008  a  0123456789AB\r\n", renderTree(table, 8, OPT_ASCII, 7 + 14));
    EXPECT_EQ(L"0008  a  0123456789\x2026\r\n", renderTree(table, 8, 0, 7 + 13));
    EXPECT_EQ(L"0008  a\r\n", renderTree(table, 8, OPT_NO_DISPLAY_NAMES, 79));

    table[0].displayName = L"";
    EXPECT_EQ(L"0008  a\r\n", renderTree(table, 8, 0));
}

TEST_F(RenderTest, DetailColumnsInTheirPlaces)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"x.exe"), makeRecord(12, 8, L"y.exe")};
    table[0].memory.WorkingSetSize = 512;
    table[0].elevated = 1;
    table[0].priorityIndex = 5;
    table[0].entry.cntThreads = 12;
    table[0].displayName = L"Svc";
    table[1].memory.WorkingSetSize = 1048576;
    table[1].is32Bit = 1;
    table[1].creationTime = makeFileTime(132593079670890000ull);
    DisplayFlags flags = OPT_MEMORY | OPT_EXTRA_INFO | OPT_PRIORITY | OPT_THREADS | OPT_START_TIME |
                         OPT_TIME_DATE;
    SYSTEMTIME utc;
    SYSTEMTIME local;
    FileTimeToSystemTime(&table[1].creationTime, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    wchar_t time[64];
    formatText(time, 64, L"  %04u-%02u-%02u %02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
               local.wMinute);
    EXPECT_EQ(std::wstring(L"0008     1K  \x2191 x  HI (12)  Svc\r\n"
                           L"   \x2514\x2500\x2500" L"000C     1M  \x00BB y  - (1)") + time + L"\r\n",
              renderTree(table, 8, flags));
    EXPECT_EQ(std::wstring(L"0008     0.50K  ^ x  HI (12)  Svc\r\n"
                           L"   `--000C     1.00M  * y  - (1)") + time + L"\r\n",
              renderTree(table, 8, flags | OPT_MEMORY_FRACTION | OPT_ASCII));
}

#if SIZE_MAX > 0xFFFFFFFFu
TEST_F(RenderTest, FourGigabyteWorkingSetInTheLine)
{
    std::vector<ProcessRecord> table = {makeRecord(8, 4, L"big.exe")};
    table[0].memory.WorkingSetSize = static_cast<SIZE_T>(4ull << 30);
    EXPECT_EQ(L"0008     4G  big\r\n", renderTree(table, 8, OPT_MEMORY));
}
#endif

TEST_F(RenderTest, EndedProcessPlaceholderIsNotCounted)
{
    std::vector<ProcessRecord> table = {makeRecord(0x40, 0, L"gone.exe"), makeRecord(0x44, 0x40, L"kid.exe")};
    table[0].priorityIndex = -1;
    ViewSettings view = viewOf(table, OPT_PRIORITY);
    EXPECT_EQ(0, renderProcess(&table[0], nullptr, true, true, &view));
    EXPECT_EQ(L"0040  gone\r\n   \x2514\x2500\x2500" L"0044  kid  -\r\n", gFakeHost.out);
    EXPECT_EQ(1u, view.printedCount);
}

TEST_F(RenderTest, RecordZeroAdoptsTheOrphans)
{
    std::vector<ProcessRecord> table = {makeRecord(0, 0, L"[System Process]"), makeRecord(0x8, 0, L"orphan.exe"),
                                        makeRecord(0xC, 0x8, L"kid.exe"), makeRecord(0x4, 0, L"System")};
    EXPECT_EQ(2u, countChildren(table.data(), 4, 0));
    EXPECT_EQ(L"0000  [System Process]\r\n"
              L"   +--0004  System\r\n"
              L"   `--0008  orphan\r\n"
              L"      `--000C  kid\r\n",
              renderTree(table, 0, OPT_ASCII));
    EXPECT_EQ(0u, countChildren(nullptr, 4, 0));
    EXPECT_EQ(0u, countChildren(table.data(), 0, 0));
}

TEST_F(RenderTest, NullArgumentsPrintNothing)
{
    std::vector<ProcessRecord> table = familyTable();
    ViewSettings view = viewOf(table, 0);
    EXPECT_EQ(-1, renderProcess(nullptr, nullptr, true, true, &view));
    EXPECT_EQ(-1, renderProcess(&table[0], nullptr, true, true, nullptr));
    EXPECT_EQ(L"", gFakeHost.out);
}

TEST_F(RenderTest, SiblingOrderFollowsTheKeys)
{
    // Snapshot order 40, 30, 20; names a, b, C case-folded; times 200, 100, 300.
    std::vector<ProcessRecord> table = {makeRecord(0x10, 4, L"root.exe"), makeRecord(0x40, 0x10, L"b.exe"),
                                        makeRecord(0x30, 0x10, L"C.exe"), makeRecord(0x20, 0x10, L"a.exe")};
    table[1].creationTime = makeFileTime(200);
    table[2].creationTime = makeFileTime(100);
    table[3].creationTime = makeFileTime(300);

    auto order = [&](const wchar_t* option) {
        wchar_t keys[SORT_KEYS_COUNT];
        bool unsorted = false;
        EXPECT_EQ(0, parseSortKeys(option, keys, &unsorted));
        std::wstring out = renderTree(table, 0x10, OPT_NO_TREE, 79, unsorted ? nullptr : keys);
        std::wstring names;
        for (const std::wstring& line : linesOf(out)) {
            names += line.substr(line.rfind(L' ') + 1);
        }
        return names;
    };
    EXPECT_EQ(L"rootaCb", order(L""));
    EXPECT_EQ(L"rootbCa", order(L":U"));
    EXPECT_EQ(L"rootbCa", order(L":UNT"));
    EXPECT_EQ(L"rootCba", order(L":T"));
    EXPECT_EQ(L"rootabC", order(L":-T"));
    EXPECT_EQ(L"rootabC", order(L":TR"));
    EXPECT_EQ(L"rootCba", order(L":-TR"));
    EXPECT_EQ(L"rootabC", order(L":--N"));
    EXPECT_EQ(L"rootCba", order(L":-N"));
    EXPECT_EQ(L"rootaCb", order(L":W"));
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST_F(RenderTest, TenThousandSiblings)
{
    std::vector<ProcessRecord> table = {makeRecord(4, 0, L"root.exe")};
    uint32_t seed = 7;
    for (uint32_t i = 0; i < 10000; ++i) {
        seed = seed * 1103515245u + 12345u;
        table.push_back(makeRecord(8 + 4 * ((seed >> 8) % 1000000), 4, L"child.exe"));
        table.back().entry.cntThreads = (seed >> 4) % 5;
    }
    std::wstring out = renderTree(table, 4, OPT_THREADS | OPT_DECIMAL_PID, 79, L"K");
    std::vector<std::wstring> lines = linesOf(out);
    ASSERT_EQ(10001u, lines.size());
    // Threads descending, then PID ascending.
    uint64_t previous = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        unsigned pid = 0;
        unsigned threads = 0;
        ASSERT_EQ(2, swscanf(lines[i].c_str() + 6, L"%u  child (%u)", &pid, &threads)) << lines[i];
        uint64_t key = (static_cast<uint64_t>(4 - threads) << 32) | pid;
        ASSERT_LE(previous, key) << i;
        previous = key;
    }
}

TEST_F(RenderTest, CycleOfParentLinksEndsTheWalk)
{
    // 0x20 and 0x30 name each other as parent; 0x50 names itself.
    std::vector<ProcessRecord> table = {makeRecord(0x10, 4, L"root.exe"), makeRecord(0x20, 0x30, L"a.exe"),
                                        makeRecord(0x30, 0x20, L"b.exe"), makeRecord(0x40, 0x30, L"c.exe"),
                                        makeRecord(0x50, 0x50, L"self.exe")};
    EXPECT_EQ(L"0020  a\r\n"
              L"   `--0030  b\r\n"
              L"      `--0040  c\r\n",
              renderTree(table, 0x20, OPT_ASCII));
    EXPECT_EQ(L"0050  self\r\n", renderTree(table, 0x50, OPT_ASCII));
}

TEST_F(RenderTest, DeepChainCutsThePrefixAtItsCapacity)
{
    std::vector<ProcessRecord> table;
    for (uint32_t i = 1; i <= 401; ++i) {
        table.push_back(makeRecord(4 * i, 4 * (i - 1), L"deep.exe"));
    }
    ViewSettings view = viewOf(table, OPT_DECIMAL_PID, 1020);
    EXPECT_EQ(0, renderProcess(&table[0], nullptr, true, true, &view));
    EXPECT_EQ(401u, view.printedCount);
    std::vector<std::wstring> lines = linesOf(gFakeHost.out);
    ASSERT_EQ(401u, lines.size());
    for (size_t depth = 0; depth < lines.size(); ++depth) {
        std::wstring pid = std::to_wstring(4 * (depth + 1)) + L"  ";
        size_t prefixLength = lines[depth].find_first_not_of(L" \x2502\x2514\x2500");
        size_t expected = depth == 0 ? 0 : std::min<size_t>(3 * depth + 3, 1023);
        ASSERT_EQ(expected, prefixLength) << depth;
        ASSERT_EQ(pid, lines[depth].substr(prefixLength, pid.size())) << depth;
    }
    // The prefix alone overflows the width: the name is dropped, the line still ends.
    EXPECT_EQ(1023u + 6u, lines.back().size());
}

TEST_F(RenderTest, StopAtThePromptOnTheFirstLine)
{
    std::vector<ProcessRecord> table = familyTable();
    ViewSettings view = viewOf(table, OPT_ASCII);
    gPaging.stopState = STOPPED;
    EXPECT_EQ(STOPPED, renderProcess(findRoot(table, 0x10), nullptr, true, true, &view));
    EXPECT_EQ(0u, view.printedCount);
    EXPECT_EQ(0u, gFakeHost.out.find(L"0010  root\r\n"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"0020"));
}

TEST_F(RenderTest, StopAtThePromptDeepInTheTreeEndsEveryLevel)
{
    std::vector<ProcessRecord> table = familyTable();
    ViewSettings view = viewOf(table, OPT_ASCII);
    // The third line ends a page; a Ctrl-C while the prompt waits stops the output.
    gPaging.pageLength = 3;
    gPaging.linesLeft = 3;
    std::atomic<bool> done(false);
    std::thread breaker([&done] {
        while (!done) {
            gPaging.breakCount = 1;
            Sleep(1);
        }
    });
    int result = renderProcess(findRoot(table, 0x10), nullptr, true, true, &view);
    done = true;
    breaker.join();
    EXPECT_EQ(STOPPED, result);
    EXPECT_EQ(2u, view.printedCount);
    EXPECT_EQ(0u, gFakeHost.out.find(L"0010  root\r\n   +--0020  a\r\n   |  `--0021  a1\r\n"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"0030"));
}

TEST_F(RenderTest, FullPathFromTheImageNameQuery)
{
    std::vector<ProcessRecord> table = {makeRecord(GetCurrentProcessId(), 4, L"self.exe"),
                                        makeRecord(0xFFFFFFF0u, GetCurrentProcessId(), L"gone.exe")};
    table[0].displayName = L"Service A";
    table[1].displayName = L"Window";
    gPluginState.queryFullProcessImageName = fakeImageName;
    gFakeQueries = 0;
    std::wstring out = renderTree(table, GetCurrentProcessId(), OPT_FULL_PATH | OPT_ASCII | OPT_DECIMAL_PID, 200);
    // A process that cannot be opened falls back to its display name.
    EXPECT_EQ(std::to_wstring(GetCurrentProcessId()) + L"  self  C:\\Tools\\fake.exe\r\n"
                  L"   `--4294967280  gone  Window\r\n",
              out);
    EXPECT_EQ(1, gFakeQueries);

    gFakeQueries = 0;
    out = renderTree(table, GetCurrentProcessId(), OPT_FULL_PATH | OPT_NO_DISPLAY_NAMES | OPT_DECIMAL_PID, 200);
    EXPECT_EQ(0, gFakeQueries);
    EXPECT_EQ(std::to_wstring(GetCurrentProcessId()) + L"  self\r\n   \x2514\x2500\x2500" L"4294967280  gone\r\n",
              out);
}

TEST_F(RenderTest, FullPathWithoutTheQueryGoesThroughTheDevicePath)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto query = reinterpret_cast<QueryFullProcessImageNameFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "QueryFullProcessImageNameW")));
    ASSERT_NE(nullptr, query);
    std::vector<ProcessRecord> table = {makeRecord(GetCurrentProcessId(), 4, L"self.exe")};
    gPluginState.queryFullProcessImageName = query;
    std::wstring withQuery = renderTree(table, GetCurrentProcessId(), OPT_FULL_PATH, 1020);
    gPluginState.queryFullProcessImageName = nullptr;
    std::wstring withDevicePath = renderTree(table, GetCurrentProcessId(), OPT_FULL_PATH, 1020);

    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    ASSERT_TRUE(query(GetCurrentProcess(), 0, path, &size));
    EXPECT_NE(std::wstring::npos, withQuery.find(std::wstring(L"  self  ") + path + L"\r\n")) << withQuery;
    EXPECT_EQ(withQuery, withDevicePath);
}
