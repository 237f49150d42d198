#include "console/paging.h"
#include "console/line_output.h"

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

std::wstring lineEnds(unsigned count)
{
    std::wstring text;
    while (count-- > 0) {
        text += LINE_END;
    }
    return text;
}

// Every test must leave no handler, no open console handle and no unanswered prompt.
class PagingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetTestOutput();
        (gTestOutput.attributes = ConsoleAttributes());
    }
    void TearDown() override
    {
        resetTestOutput();
        (gTestOutput.attributes = ConsoleAttributes());
        EXPECT_EQ(nullptr, gFakeConsole.handler) << "the ctrl handler outlived the wait";
        EXPECT_EQ(gFakeConsole.handlerAdds, gFakeConsole.handlerRemoves);
        EXPECT_EQ(0, gFakeConsole.openHandles);
        EXPECT_FALSE(gFakeConsole.starved) << "a prompt waited for a key the test did not type";
    }
    // A fresh command paging every `lines` lines, with these keys typed ahead.
    void page(uint32_t lines, const std::wstring& keys = L"")
    {
        resetTestOutput();
        gTestOutput.paging.pageLength = lines;
        gTestOutput.paging.linesLeft = lines;
        gFakeHost.out.clear();
        gFakeConsole.keys.clear();
        typeKeys(keys);
    }
    void colour(unsigned normal)
    {
        gFakeHost.attribute = normal;
        gFakeConsole.attribute = static_cast<WORD>(normal);
        ASSERT_NE(0u, loadHighlightAttributes(&gTestOutput));
    }
    // Ends lines until a prompt shows or the output stops; the number ended.
    unsigned linesToNextPrompt(unsigned limit = 200)
    {
        for (unsigned i = 1; i <= limit; ++i) {
            int waits = gFakeConsole.handlerAdds;
            if (endLine(&gTestOutput) != 0 || gFakeConsole.handlerAdds != waits) {
                return i;
            }
        }
        return 0;
    }
    FakeConsoleScope console;
};

TEST_F(PagingTest, PromptAfterEveryPageWithExactTexts)
{
    page(23, L"  ");
    EXPECT_EQ(23u, linesToNextPrompt());
    EXPECT_EQ(lineEnds(23) + PROMPT + CLEARING, gFakeHost.out);
    // The prompt and the clearing line do not count as lines.
    EXPECT_EQ(23u, linesToNextPrompt());

    // Without paging lines just end.
    page(0);
    EXPECT_EQ(0u, linesToNextPrompt(100));
    EXPECT_EQ(lineEnds(100), gFakeHost.out);
    EXPECT_EQ(2, gFakeConsole.handlerAdds);
}

TEST_F(PagingTest, KeysChangeTheDistanceToTheNextPause)
{
    // 0: continue or all, no pause again for the rest of the command.
    struct Case { const wchar_t* key; unsigned next; } cases[] = {
        {L"/", 11}, {L"5", 5},  {L"1", 1},  {L"9", 9},  {L"0", 10}, {L"x", 23},       {L" ", 23},
        {L"\r", 23}, {L"c", 0}, {L"C", 0}, {L"a", 0}, {L"A", 0}, {L"\xE0P", 23},  // arrow down
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        page(23, std::wstring(c.key) + L"  ");
        EXPECT_EQ(23u, linesToNextPrompt());
        EXPECT_EQ(c.next, linesToNextPrompt());
        EXPECT_EQ(c.next ? 23u : 0u, linesToNextPrompt());  // then full pages again
        EXPECT_EQ(0, gTestOutput.paging.stopState);
    }
}

TEST_F(PagingTest, EscapeStopsSilently)
{
    page(3, L"\x1b");
    EXPECT_EQ(3u, linesToNextPrompt());
    EXPECT_EQ(STOPPED, gTestOutput.paging.stopState);
    EXPECT_EQ(lineEnds(3) + PROMPT + CLEARING, gFakeHost.out);
    // Whoever goes on printing gets the notice and the stop.
    gFakeHost.out.clear();
    EXPECT_EQ(STOPPED, printPaged(&gTestOutput, L"\nFound %u process%s.\n", 2u, L"es"));
    EXPECT_EQ(NOTICE, gFakeHost.out);
}

TEST_F(PagingTest, CtrlCTypedOrCaughtStopsWithTheNotice)
{
    // Typed with processed input off: the key code 3.
    colour(0x07);
    page(1);
    gFakeConsole.keys.assign(1, 3);
    EXPECT_EQ(STOPPED, endLine(&gTestOutput));
    EXPECT_EQ(STOPPED, gTestOutput.paging.stopState);
    EXPECT_EQ(LINE_END + PROMPT + CLEARING + NOTICE, gFakeHost.out);
    EXPECT_EQ(0x07, gFakeConsole.attribute);

    // Sent to the console while the prompt waits: the handler catches it.
    for (DWORD event : {static_cast<DWORD>(CTRL_C_EVENT), static_cast<DWORD>(CTRL_BREAK_EVENT)}) {
        SCOPED_TRACE(event);
        page(1);
        gFakeConsole.breakEvent = event;
        gFakeConsole.breakAfterSleeps = static_cast<int>(gFakeConsole.sleeps) + 3;
        EXPECT_EQ(STOPPED, endLine(&gTestOutput));
        EXPECT_EQ(LINE_END + PROMPT + CLEARING + NOTICE, gFakeHost.out);
        EXPECT_EQ(0x07, gFakeConsole.attribute);
    }
    // Only the break events are ours: closing the console must still end the host.
    EXPECT_FALSE(pauseCtrlHandler(CTRL_CLOSE_EVENT) || pauseCtrlHandler(CTRL_LOGOFF_EVENT) ||
                 pauseCtrlHandler(CTRL_SHUTDOWN_EVENT));
}

TEST_F(PagingTest, WaitForKeyAnswers)
{
    // A key typed ahead answers at once, without a sleep.
    typeKeys(L"q");
    EXPECT_EQ(static_cast<uint32_t>(L'q'), waitForKey(&gTestOutput));
    EXPECT_EQ(0u, gFakeConsole.sleeps);

    // Extended keys: arrow up (0xE0 lead-in) and F1 (0 lead-in).
    gFakeConsole.keys = {0xE0, 0x48, 0, 0x3B};
    EXPECT_EQ(0x10048u, waitForKey(&gTestOutput));
    EXPECT_EQ(0x1003Bu, waitForKey(&gTestOutput));

    // A key that comes later, polled every 10 ms; Ctrl-C counted before the
    // wait does not end it.
    gBreakCount = 5;
    gFakeConsole.keysAfterSleeps = 7;
    typeKeys(L"k");
    EXPECT_EQ(static_cast<uint32_t>(L'k'), waitForKey(&gTestOutput));
    EXPECT_EQ(7u, gFakeConsole.sleeps);
    EXPECT_EQ(1070u, gFakeConsole.tick);
}

TEST_F(PagingTest, TimeOutActsLikeASpaceAlsoAcrossTheTickWrap)
{
    struct Case { DWORD start; uint32_t timeout; } cases[] = {
        {1000, 2000}, {0xFFFFFF00, 2000}, {0xFFFFFFF0, 250}, {0xFFFFF830, 2000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        gFakeConsole.tick = c.start;
        gFakeConsole.sleeps = 0;
        gTestOutput.paging.pauseTimeout = c.timeout;
        EXPECT_EQ(0x20u, waitForKey(&gTestOutput));
        EXPECT_EQ(c.timeout / 10, gFakeConsole.sleeps);
    }
}

TEST_F(PagingTest, NoticeAttributeContrastsAndIsRestored)
{
    const WORD cases[][2] = {{0x07, 0x0E}, {0x0E, 0x0F}, {0x1F, 0x1B}, {0x70, 0x79}};  // current, notice
    for (const auto& c : cases) {
        gFakeConsole.attribute = c[0];
        EXPECT_EQ(c[0], setNoticeAttribute(testConsolePort()));
        EXPECT_EQ(c[1], gFakeConsole.attribute) << c[0];
    }
    gFakeConsole.attribute = 0x1F;
    EXPECT_EQ(STOPPED, showBreakNotice(testConsolePort()));
    EXPECT_EQ(NOTICE, gFakeHost.out);
    ASSERT_EQ(1u, gFakeConsole.runs.size());
    EXPECT_EQ(0x1B, gFakeConsole.runs[0].first);
    EXPECT_EQ(0x1F, gFakeConsole.attribute);

    // Output redirected and no console device: nothing to colour, nothing to restore.
    gFakeHost.out.clear();
    gFakeConsole.conoutOpens = false;
    gFakeConsole.attributeLog.clear();
    EXPECT_EQ(7, setNoticeAttribute(testConsolePort()));
    EXPECT_EQ(STOPPED, showBreakNotice(testConsolePort()));
    EXPECT_EQ(NOTICE, gFakeHost.out);
    EXPECT_TRUE(gFakeConsole.attributeLog.empty());
}

TEST_F(PagingTest, CountLineMakesTwoPagedLinesAndTextStaysText)
{
    page(3, L"  ");
    EXPECT_EQ(0, endLine(&gTestOutput));
    EXPECT_EQ(0, printPaged(&gTestOutput, L"\nFound %u process%s.\n", 7u, L"es"));
    EXPECT_EQ(L"\r\n\r\nFound 7 processes.\r\n" + PROMPT + CLEARING, gFakeHost.out);

    // A "%" in an argument is not formatted again.
    gFakeHost.out.clear();
    EXPECT_EQ(0, printPaged(&gTestOutput, L"%s\n", L"100%s"));
    EXPECT_EQ(L"100%s\r\n", gFakeHost.out);
}

TEST_F(PagingTest, AttributeCodesColourRunsAndEndInTheNormalColour)
{
    colour(0x1F);
    gFakeConsole.attribute = 0x1B;  // endLine puts the normal colour back first
    EXPECT_EQ(0, endLine(&gTestOutput));
    EXPECT_EQ(0x1F, gFakeConsole.attribute);

    colour(0x07);
    gFakeConsole.runs.clear();
    gFakeHost.out.clear();
    EXPECT_EQ(0, printPaged(&gTestOutput, L"a\x12" L"b\x14" L"c\r\x11" L"d\n\x15" L"e\x16" L"f\x13" L"g\n\x12x\ny"));
    EXPECT_EQ(L"abcd\r\nefg\r\nx\r\ny", gFakeHost.out);
    // A line feed goes back to the normal colour for the next line.
    std::vector<std::pair<WORD, std::wstring>> expected = {
        {0x07, L"a"}, {0x0F, L"b"}, {0xF0, L"c"}, {0x07, L"d"}, {0x0E, L"e"},
        {0xE0, L"f"}, {0x70, L"g"}, {0x0F, L"x"}, {0x07, L"y"},
    };
    EXPECT_EQ(expected, gFakeConsole.runs);
    EXPECT_EQ(0x07, gFakeConsole.attribute);
    EXPECT_EQ(0x07, gFakeHost.lastColors);

    // Stopped inside coloured text: the colour is still put back.
    page(1, L"\x1b");
    EXPECT_EQ(STOPPED, printPaged(&gTestOutput, L"\x12one\n\x12two\n"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"two"));
    EXPECT_EQ(0x07, gFakeConsole.attribute);
}

TEST_F(PagingTest, WithColourOffCodesAreDroppedAndTheHostPrints)
{
    gFakeConsole.isConsole = false;
    loadHighlightAttributes(&gTestOutput);
    page(2, L"\x1b");
    EXPECT_EQ(0, printPaged(&gTestOutput, L"\x12name\x11 rest\r\n"));
    EXPECT_EQ(L"name rest\r\n", gFakeHost.out);
    EXPECT_TRUE(gFakeConsole.runs.empty() && gFakeConsole.attributeLog.empty());
    EXPECT_EQ(STOPPED, printPaged(&gTestOutput, L"one\ntwo\nthree"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"two"));
}

TEST(PauseOption, FormsAndErrors)
{
    // Other arguments leave the time 123 and the lines 7 alone.
    struct Case { const wchar_t* argument; uint32_t timeout, lines; const wchar_t* error; } cases[] = {
        {L"/P", 0, 0xFFFFFFFF},         {L"-p", 0, 0xFFFFFFFF},        {L"/P:5", 5000, 0xFFFFFFFF},
        {L"/P5", 5000, 0xFFFFFFFF},     {L"/p=5", 5000, 0xFFFFFFFF},   {L"/P:250M", 250, 0xFFFFFFFF},
        {L"/P:250m", 250, 0xFFFFFFFF},  {L"/P:0x1E", 30000, 0xFFFFFFFF}, {L"/P:5,20", 5000, 20},
        {L"/P5;20", 5000, 20},          {L"/P,20", 0, 20},             {L"/P:,20", 0, 20},
        {L"/P,0", 0, 0},                {L"/P:1,1000", 1000, 1000},    {L"/P,", 0, 0xFFFFFFFF},
        {L"/P:", 0, 0xFFFFFFFF},        {L"/P:0x10,0x10", 16000, 16},
        // Seconds beyond 32 bits of milliseconds: the longest wait, not a short one.
        {L"/P:4294968", 0xFFFFFFFF, 0xFFFFFFFF},
        {L"/X", 123, 7},                {L"P:5", 123, 7},              {L"/", 123, 7},
        {L"", 123, 7},                  {L"/Q5", 123, 7},
        // Errors name the argument upper-cased.
        {L"/p:2s", 0, 0, L"Syntax error: \"/P:2S\"\r\n"},
        {L"/P:5,20x", 0, 0, L"Syntax error: \"/P:5,20X\"\r\n"},
        {L"/p:1,1001", 0, 0, L"Pause lines must be 0 - 1000: 1001\r\n"},
        {L"/p:4294967296", 0, 0, L"Bad pause time: \"/P:4294967296\"\r\n"},
        {L"/p,99999999999", 0, 0, L"Bad pause lines: \"/P,99999999999\"\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        resetFakeHost();
        std::wstring argument(c.argument);
        uint32_t lines = 7;
        gTestOutput.paging.pauseTimeout = 123;
        EXPECT_EQ(c.error ? 1 : 0, parsePauseOption(&argument[0], &lines, &gTestOutput.paging));
        EXPECT_EQ(c.error ? std::wstring(L"Kinfold plugin: ") + c.error : L"", gFakeHost.err);
        if (!c.error) {
            EXPECT_EQ(c.argument, argument);
            EXPECT_EQ(c.timeout, gTestOutput.paging.pauseTimeout);
            EXPECT_EQ(c.lines, lines);
        }
    }
    uint32_t lines = 0;
    EXPECT_EQ(-1, parsePauseOption(NULL, &lines, &gTestOutput.paging));
    resetTestOutput();
}

}  // namespace
