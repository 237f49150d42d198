#include "console/window_fit.h"

#include "fake_console.h"

#include <gtest/gtest.h>

namespace {

const uint32_t ALL_LINES = 0xFFFFFFFF;  // what /P without a line count asks for

// Faults: a bound of the believable window off by one (21/22 or 400/401
// columns, 9/10 or 100/101 lines); the width not one less than the window;
// a page that leaves no line for the prompt.
TEST(WindowFit, WidthAndPageFollowTheWindow)
{
    FakeConsoleScope console;
    const struct {
        bool isConsole;
        bool windowReadable;
        SHORT columns;
        SHORT lines;
        uint32_t asked;  // lines per page
        uint32_t width;
        uint32_t page;
    } cases[] = {
        {true, true, 80, 25, ALL_LINES, 79, 23},
        // Too few or too many lines for the window give a page two short of it.
        {true, true, 80, 25, 2, 79, 23},
        {true, true, 80, 25, 3, 79, 3},
        {true, true, 80, 25, 24, 79, 24},
        {true, true, 80, 25, 25, 79, 23},
        {true, true, 80, 10, ALL_LINES, 79, 8},
        {true, true, 80, 100, ALL_LINES, 79, 98},
        // Windows of 9 or 101 lines are not paged.
        {true, true, 80, 9, ALL_LINES, 79, 0},
        {true, true, 80, 101, ALL_LINES, 79, 0},
        // Narrow windows get the least width; windows too narrow or too wide 100.
        {true, true, 22, 25, 10, 40, 10},
        {true, true, 21, 25, 10, 100, 10},
        {true, true, 400, 25, 10, 399, 10},
        {true, true, 401, 25, 10, 100, 10},
        // Redirected output or an unreadable window: width 100, no paging.
        {false, true, 80, 25, 10, 100, 0},
        {true, false, 80, 25, 10, 100, 0},
    };
    for (const auto& c : cases) {
        gFakeConsole.isConsole = c.isConsole;
        gFakeConsole.bufferInfoWorks = c.windowReadable;
        gFakeConsole.window = {0, 0, static_cast<SHORT>(c.columns - 1), static_cast<SHORT>(c.lines - 1)};
        EXPECT_EQ(c.width, automaticWidth(testConsolePort())) << c.columns << "x" << c.lines;
        EXPECT_EQ(c.page, fitPauseLines(testConsolePort(), c.asked)) << c.columns << "x" << c.lines << " " << c.asked;
    }
}

}  // namespace
