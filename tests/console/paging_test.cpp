#include "console/paging.h"

#include "console/highlight.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring PROMPT = L"\r   \u2500\u2500 Press a key to continue \u2500\u2500 ";
const std::wstring CLEARING = L"\r" + std::wstring(60, L' ') + L"\r";
const std::wstring NOTICE = L"\r ^C \r\n";
const std::wstring LINE_END = L"\r\n";

size_t countOf(const std::wstring& text, const std::wstring& piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::wstring::npos; at = text.find(piece, at + piece.size())) {
        ++count;
    }
    return count;
}

std::wstring lineEnds(unsigned count)
{
    std::wstring text;
    for (unsigned i = 0; i < count; ++i) {
        text += LINE_END;
    }
    return text;
}

class PagingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetPaging();
        resetAttributes();
    }
    void TearDown() override
    {
        resetPaging();
        resetAttributes();
        EXPECT_EQ(nullptr, gFakeConsole.handler) << "the ctrl handler outlived the wait";
        EXPECT_EQ(gFakeConsole.handlerAdds, gFakeConsole.handlerRemoves);
        EXPECT_EQ(0, gFakeConsole.openHandles);
        EXPECT_FALSE(gFakeConsole.starved) << "a prompt waited for a key the test did not type";
    }
    void page(uint32_t lines)
    {
        gPaging.pageLength = lines;
        gPaging.linesLeft = lines;
    }
    void colour(unsigned normal)
    {
        gFakeHost.attribute = normal;
        gFakeConsole.attribute = static_cast<WORD>(normal);
        ASSERT_NE(0u, loadHighlightAttributes());
    }
    // Ends lines until a prompt shows or the output stops; the number ended.
    unsigned linesToNextPrompt(unsigned limit = 200)
    {
        for (unsigned i = 1; i <= limit; ++i) {
            size_t before = countOf(gFakeHost.out, PROMPT);
            int result = endLine();
            if (result != 0 || countOf(gFakeHost.out, PROMPT) != before) {
                return i;
            }
        }
        return 0;
    }
    FakeConsoleScope console;
};

TEST_F(PagingTest, PromptAfterEveryPageWithExactTexts)
{
    EXPECT_EQ(34u, PROMPT.size());
    page(23);
    typeKeys(L"  ");
    for (int i = 0; i < 22; ++i) {
        ASSERT_EQ(0, endLine());
    }
    EXPECT_EQ(lineEnds(22), gFakeHost.out);
    ASSERT_EQ(0, endLine());
    EXPECT_EQ(lineEnds(23) + PROMPT + CLEARING, gFakeHost.out);
    EXPECT_EQ(23u, gPaging.linesLeft);
    // The prompt and the clearing line do not count as lines.
    EXPECT_EQ(23u, linesToNextPrompt());
    EXPECT_EQ(0u, gFakeConsole.keys.size());
    EXPECT_EQ(2u, gFakeConsole.prepareCalls);
}

TEST_F(PagingTest, WithoutPagingLinesJustEnd)
{
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(0, endLine());
    }
    EXPECT_EQ(lineEnds(100), gFakeHost.out);
    EXPECT_EQ(0, gFakeConsole.handlerAdds);
}

TEST_F(PagingTest, KeysChangeTheDistanceToTheNextPause)
{
    struct Case {
        wchar_t key;
        unsigned next;
    } cases[] = {{L'/', 11}, {L'5', 5}, {L'1', 1}, {L'9', 9}, {L'0', 10}, {L'x', 23}, {L' ', 23}, {L'\r', 23}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        resetPaging();
        page(23);
        gFakeHost.out.clear();
        gFakeConsole.keys.clear();
        gFakeConsole.keys.push_back(c.key);
        gFakeConsole.keys.push_back(L' ');
        gFakeConsole.keys.push_back(L' ');
        EXPECT_EQ(23u, linesToNextPrompt());
        EXPECT_EQ(c.next, linesToNextPrompt());
        // Then full pages again.
        EXPECT_EQ(23u, linesToNextPrompt());
        EXPECT_EQ(0, gPaging.stopState);
    }
}

TEST_F(PagingTest, ContinueAndAllTurnPagingOffForTheCommand)
{
    for (wchar_t key : {L'c', L'C', L'a', L'A'}) {
        SCOPED_TRACE(key);
        resetPaging();
        page(23);
        gFakeConsole.keys.assign(1, key);
        EXPECT_EQ(23u, linesToNextPrompt());
        EXPECT_EQ(0u, gPaging.pageLength);
        EXPECT_EQ(0u, gPaging.linesLeft);
        EXPECT_EQ(0u, linesToNextPrompt(100));
    }
    // The next command pages again by its own setting.
    resetPaging();
    page(23);
    typeKeys(L" ");
    EXPECT_EQ(23u, linesToNextPrompt());
}

TEST_F(PagingTest, EscapeStopsSilently)
{
    page(3);
    typeKeys(L"\x1b");
    EXPECT_EQ(0, endLine());
    EXPECT_EQ(0, endLine());
    EXPECT_EQ(STOPPED, endLine());
    EXPECT_EQ(STOPPED, gPaging.stopState);
    EXPECT_EQ(lineEnds(3) + PROMPT + CLEARING, gFakeHost.out);
    // Whoever goes on printing gets the notice and the stop.
    gFakeHost.out.clear();
    EXPECT_EQ(STOPPED, endLine());
    EXPECT_EQ(LINE_END + NOTICE, gFakeHost.out);
    gFakeHost.out.clear();
    EXPECT_EQ(STOPPED, printPaged(L"\nFound %u process%s.\n", 2u, L"es"));
    EXPECT_EQ(NOTICE, gFakeHost.out);
}

TEST_F(PagingTest, CtrlCTypedOrCaughtStopsWithTheNotice)
{
    // Typed with processed input off: the key code 3.
    colour(0x07);
    page(1);
    gFakeConsole.keys.assign(1, 3);
    gFakeConsole.attributeLog.clear();
    EXPECT_EQ(STOPPED, endLine());
    EXPECT_EQ(STOPPED, gPaging.stopState);
    EXPECT_EQ(LINE_END + PROMPT + CLEARING + NOTICE, gFakeHost.out);
    ASSERT_FALSE(gFakeConsole.runs.empty());
    EXPECT_EQ(0x0E, gFakeConsole.runs.back().first);
    EXPECT_EQ(NOTICE, gFakeConsole.runs.back().second);
    EXPECT_EQ(0x07, gFakeConsole.attribute);

    // Sent to the console while the prompt waits: the handler catches it.
    for (DWORD event : {static_cast<DWORD>(CTRL_C_EVENT), static_cast<DWORD>(CTRL_BREAK_EVENT)}) {
        SCOPED_TRACE(event);
        resetPaging();
        page(1);
        gFakeHost.out.clear();
        gFakeConsole.keys.clear();
        gFakeConsole.breakEvent = event;
        gFakeConsole.breakAfterSleeps = static_cast<int>(gFakeConsole.sleeps) + 3;
        EXPECT_EQ(STOPPED, endLine());
        EXPECT_EQ(LINE_END + PROMPT + CLEARING + NOTICE, gFakeHost.out);
        EXPECT_EQ(0x07, gFakeConsole.attribute);
    }
}

TEST_F(PagingTest, WaitForKeyAnswers)
{
    // A key typed ahead answers at once, without a sleep.
    typeKeys(L"q");
    EXPECT_EQ(static_cast<uint32_t>(L'q'), waitForKey());
    EXPECT_EQ(0u, gFakeConsole.sleeps);

    // Extended keys: arrow up (0xE0 lead-in) and F1 (0 lead-in).
    gFakeConsole.keys = {0xE0, 0x48, 0, 0x3B};
    EXPECT_EQ(0x10048u, waitForKey());
    EXPECT_EQ(0x1003Bu, waitForKey());

    // A key that comes later, polled every 10 ms; Ctrl-C counted before the
    // wait does not end it.
    gPaging.breakCount = 5;
    gFakeConsole.keysAfterSleeps = 7;
    typeKeys(L"k");
    EXPECT_EQ(static_cast<uint32_t>(L'k'), waitForKey());
    EXPECT_EQ(7u, gFakeConsole.sleeps);
    EXPECT_EQ(1070u, gFakeConsole.tick);
    EXPECT_EQ(0u, gPaging.breakCount.load());

    // The handler is there only during the wait, and removed on every way out.
    EXPECT_EQ(4, gFakeConsole.handlerAdds);
    EXPECT_EQ(4, gFakeConsole.handlerRemoves);
}

TEST_F(PagingTest, ArrowKeyContinuesWithAFullPage)
{
    page(23);
    gFakeConsole.keys = {0xE0, 0x50, L' '};
    EXPECT_EQ(23u, linesToNextPrompt());
    EXPECT_EQ(23u, linesToNextPrompt());
    EXPECT_EQ(0, gPaging.stopState);
}

TEST_F(PagingTest, TimeOutActsLikeASpaceAlsoAcrossTheTickWrap)
{
    struct Case {
        DWORD start;
        uint32_t timeout;
    } cases[] = {{1000, 2000}, {0xFFFFFF00, 2000}, {0xFFFFFFF0, 250}, {0xFFFFF830, 2000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        gFakeConsole.tick = c.start;
        gFakeConsole.sleeps = 0;
        gPaging.pauseTimeout = c.timeout;
        EXPECT_EQ(0x20u, waitForKey());
        EXPECT_EQ(c.timeout / 10, gFakeConsole.sleeps);
    }
    // A key before the time-out still counts.
    gFakeConsole.tick = 0xFFFFFFF0;
    gFakeConsole.sleeps = 0;
    gFakeConsole.keysAfterSleeps = 3;
    typeKeys(L"/");
    gPaging.pauseTimeout = 2000;
    EXPECT_EQ(static_cast<uint32_t>(L'/'), waitForKey());
}

TEST_F(PagingTest, CtrlHandlerCountsOnlyBreakEvents)
{
    EXPECT_TRUE(pauseCtrlHandler(CTRL_C_EVENT));
    EXPECT_TRUE(pauseCtrlHandler(CTRL_BREAK_EVENT));
    EXPECT_FALSE(pauseCtrlHandler(CTRL_CLOSE_EVENT));
    EXPECT_FALSE(pauseCtrlHandler(CTRL_LOGOFF_EVENT));
    EXPECT_FALSE(pauseCtrlHandler(CTRL_SHUTDOWN_EVENT));
    EXPECT_EQ(2u, gPaging.breakCount.load());
}

TEST_F(PagingTest, NoticeAttributeContrastsWithTheConsole)
{
    struct Case {
        WORD current, notice;
    } cases[] = {{0x07, 0x0E}, {0x0E, 0x0F}, {0x1F, 0x1B}, {0x70, 0x79}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        gFakeConsole.attribute = c.current;
        EXPECT_EQ(c.current, setNoticeAttribute());
        EXPECT_EQ(c.notice, gFakeConsole.attribute);
    }
    gFakeConsole.conoutOpens = false;
    gFakeConsole.attributeLog.clear();
    EXPECT_EQ(7, setNoticeAttribute());
    EXPECT_TRUE(gFakeConsole.attributeLog.empty());
}

TEST_F(PagingTest, BreakNoticeRestoresTheColourOrIsWrittenPlain)
{
    gFakeConsole.attribute = 0x1F;
    EXPECT_EQ(STOPPED, showBreakNotice());
    EXPECT_EQ(NOTICE, gFakeHost.out);
    ASSERT_EQ(1u, gFakeConsole.runs.size());
    EXPECT_EQ(0x1B, gFakeConsole.runs[0].first);
    EXPECT_EQ(0x1F, gFakeConsole.attribute);

    // Output redirected and no console device: nothing to colour, nothing to restore.
    gFakeHost.out.clear();
    gFakeConsole.conoutOpens = false;
    gFakeConsole.attributeLog.clear();
    EXPECT_EQ(STOPPED, showBreakNotice());
    EXPECT_EQ(NOTICE, gFakeHost.out);
    EXPECT_TRUE(gFakeConsole.attributeLog.empty());
}

TEST_F(PagingTest, EndLineRestoresTheNormalAttributeFirst)
{
    colour(0x1F);
    gFakeConsole.attribute = 0x1B;
    gFakeHost.setColorsCalls = 0;
    EXPECT_EQ(0, endLine());
    EXPECT_EQ(0x1F, gFakeConsole.attribute);
    EXPECT_EQ(0x1F, gFakeHost.lastColors);
    EXPECT_EQ(1, gFakeHost.setColorsCalls);
}

TEST_F(PagingTest, CountLineMakesTwoPagedLines)
{
    page(3);
    typeKeys(L"  ");
    EXPECT_EQ(0, endLine());
    EXPECT_EQ(0, printPaged(L"\nFound %u process%s.\n", 7u, L"es"));
    EXPECT_EQ(L"\r\n\r\nFound 7 processes.\r\n" + PROMPT + CLEARING, gFakeHost.out);
    gFakeHost.out.clear();
    EXPECT_EQ(0, printPaged(L"\nFound %u process%s.\n", 1u, L""));
    EXPECT_EQ(L"\r\nFound 1 process.\r\n", gFakeHost.out);
    EXPECT_EQ(1u, gPaging.linesLeft);
}

TEST_F(PagingTest, PrintPagedEdgeArguments)
{
    EXPECT_EQ(-1, printPaged(NULL));
    EXPECT_EQ(0, printPaged(L""));
    EXPECT_EQ(0, printPaged(L"no line end"));
    EXPECT_EQ(L"no line end", gFakeHost.out);
    // Text goes as text: a "%" in an argument is not formatted again.
    gFakeHost.out.clear();
    EXPECT_EQ(0, printPaged(L"%s\n", L"100%s"));
    EXPECT_EQ(L"100%s\r\n", gFakeHost.out);
}

TEST_F(PagingTest, AttributeCodesColourRunsAndEndInTheNormalColour)
{
    colour(0x07);
    gFakeConsole.runs.clear();
    EXPECT_EQ(0, printPaged(L"a\x12" L"b\x14" L"c\r\x11" L"d\n\x15" L"e\x16" L"f\x13" L"g"));
    EXPECT_EQ(L"abcd\r\nefg", gFakeHost.out);
    std::vector<std::pair<WORD, std::wstring>> expected = {
        {0x07, L"a"}, {0x0F, L"b"}, {0xF0, L"c"}, {0x07, L"d"}, {0x0E, L"e"}, {0xE0, L"f"}, {0x70, L"g"},
    };
    EXPECT_EQ(expected, gFakeConsole.runs);
    EXPECT_EQ(0x07, gFakeConsole.attribute);
    EXPECT_EQ(0x07, gFakeHost.lastColors);

    // A line feed goes back to the normal colour for the next line.
    gFakeConsole.runs.clear();
    gFakeHost.out.clear();
    EXPECT_EQ(0, printPaged(L"\x12x\ny"));
    expected = {{0x0F, L"x"}, {0x07, L"y"}};
    EXPECT_EQ(expected, gFakeConsole.runs);
}

TEST_F(PagingTest, StopInsideColouredTextRestoresTheColour)
{
    colour(0x07);
    page(1);
    typeKeys(L"\x1b");
    EXPECT_EQ(STOPPED, printPaged(L"\x12one\n\x12two\n"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"two"));
    EXPECT_EQ(0x07, gFakeConsole.attribute);
}

TEST_F(PagingTest, WithColourOffCodesAreDroppedAndTheHostPrints)
{
    gFakeConsole.isConsole = false;
    loadHighlightAttributes();
    page(2);
    typeKeys(L"\x1b");
    EXPECT_EQ(0, printPaged(L"\x12name\x11 rest\r\n"));
    EXPECT_EQ(L"name rest\r\n", gFakeHost.out);
    EXPECT_TRUE(gFakeConsole.runs.empty());
    EXPECT_TRUE(gFakeConsole.attributeLog.empty());
    EXPECT_EQ(STOPPED, printPaged(L"one\ntwo\nthree"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"two"));
}

TEST_F(PagingTest, PlainPagedPrintStopsAtTheFirstStoppedLine)
{
    page(1);
    typeKeys(L"\x1b");
    EXPECT_EQ(STOPPED, printPaged(L"%d\n%d\n", 1, 2));
    EXPECT_EQ(L"1\r\n" + PROMPT + CLEARING, gFakeHost.out);
}

struct PauseCase {
    const wchar_t* argument;
    uint32_t timeout;
    uint32_t lines;
};

TEST(PauseOption, Forms)
{
    const PauseCase cases[] = {
        {L"/P", 0, 0xFFFFFFFF},         {L"-p", 0, 0xFFFFFFFF},        {L"/P:5", 5000, 0xFFFFFFFF},
        {L"/P5", 5000, 0xFFFFFFFF},     {L"/p=5", 5000, 0xFFFFFFFF},   {L"/P:250M", 250, 0xFFFFFFFF},
        {L"/P:250m", 250, 0xFFFFFFFF},  {L"/P:0x1E", 30000, 0xFFFFFFFF}, {L"/P:5,20", 5000, 20},
        {L"/P5;20", 5000, 20},          {L"/P,20", 0, 20},             {L"/P:,20", 0, 20},
        {L"/P,0", 0, 0},                {L"/P:1,1000", 1000, 1000},    {L"/P,", 0, 0xFFFFFFFF},
        {L"/P:", 0, 0xFFFFFFFF},        {L"/P:0x10,0x10", 16000, 16},
        // Seconds beyond 32 bits of milliseconds: the longest wait, not a short one.
        {L"/P:4294968", 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const PauseCase& c : cases) {
        SCOPED_TRACE(c.argument);
        resetFakeHost();
        std::wstring argument(c.argument);
        uint32_t lines = 7;
        gPaging.pauseTimeout = 123;
        EXPECT_EQ(0, parsePauseOption(&argument[0], &lines));
        EXPECT_EQ(c.timeout, gPaging.pauseTimeout);
        EXPECT_EQ(c.lines, lines);
        EXPECT_EQ(L"", gFakeHost.err);
        EXPECT_EQ(c.argument, argument);
    }
    resetPaging();
}

TEST(PauseOption, OtherArgumentsAreLeftAlone)
{
    for (const wchar_t* text : {L"/X", L"P:5", L"/", L"", L"/Q5"}) {
        std::wstring argument(text);
        uint32_t lines = 7;
        gPaging.pauseTimeout = 123;
        EXPECT_EQ(0, parsePauseOption(&argument[0], &lines));
        EXPECT_EQ(7u, lines);
        EXPECT_EQ(123u, gPaging.pauseTimeout);
    }
    uint32_t lines = 0;
    EXPECT_EQ(-1, parsePauseOption(NULL, &lines));
    EXPECT_EQ(L"", gFakeHost.err);
    resetPaging();
}

TEST(PauseOption, ErrorsAreReportedWithTheArgumentUpperCased)
{
    struct Case {
        const wchar_t* argument;
        const wchar_t* message;
    } cases[] = {
        {L"/P:2S", L"Syntax error: \"/P:2S\"\r\n"},
        {L"/p:2s", L"Syntax error: \"/P:2S\"\r\n"},
        {L"/p:abc", L"Syntax error: \"/P:ABC\"\r\n"},
        {L"/P,x", L"Syntax error: \"/P,X\"\r\n"},
        {L"/P:5,20x", L"Syntax error: \"/P:5,20X\"\r\n"},
        {L"/p:1,1001", L"Pause lines must be 0 - 1000: 1001\r\n"},
        {L"/p:4294967296", L"Bad pause time: \"/P:4294967296\"\r\n"},
        {L"/p,99999999999", L"Bad pause lines: \"/P,99999999999\"\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        resetFakeHost();
        std::wstring argument(c.argument);
        uint32_t lines = 0;
        EXPECT_EQ(1, parsePauseOption(&argument[0], &lines));
        EXPECT_EQ(std::wstring(L"Kinfold plugin: ") + c.message, gFakeHost.err);
        EXPECT_EQ(L"", gFakeHost.out);
    }
    resetPaging();
}

}  // namespace
