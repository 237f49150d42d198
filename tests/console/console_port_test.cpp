#include "console/console_port.h"

#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ConsolePort, LongTextsGoInWritesOfAtMost32767Units)
{
    FakeConsoleScope console;
    std::wstring text(70000, L'x');
    writeToConsole(text.c_str(), text.size());
    EXPECT_EQ(text, gFakeHost.out);
    EXPECT_EQ((std::vector<DWORD>{32767, 32767, 4466}), gFakeConsole.writeCounts);

    // A surrogate pair at the cut stays together.
    gFakeHost.out.clear();
    gFakeConsole.writeCounts.clear();
    text.assign(32766, L'y');
    text += L"\xD83D\xDE00z";
    writeToConsole(text.c_str(), text.size());
    EXPECT_EQ(text, gFakeHost.out);
    EXPECT_EQ((std::vector<DWORD>{32766, 3}), gFakeConsole.writeCounts);
}

TEST(ConsolePort, RedirectedOutputStillReachesTheConsoleDevice)
{
    FakeConsoleScope console;
    gFakeConsole.isConsole = false;
    EXPECT_FALSE(stdoutIsConsole());
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(stdoutScreenBufferInfo(&info));
    writeToConsole(L"\r ^C \r\n");
    EXPECT_EQ(L"\r ^C \r\n", gFakeHost.out);
    EXPECT_EQ(0, gFakeConsole.openHandles);

    // Without a console at all the text goes nowhere, quietly.
    gFakeHost.out.clear();
    gFakeConsole.conoutOpens = false;
    writeToConsole(L"lost");
    EXPECT_EQ(L"", gFakeHost.out);
}

TEST(ConsolePort, StdoutFactsForTheWidthAndPageLength)
{
    FakeConsoleScope console;
    gFakeConsole.window = {0, 10, 119, 49};
    gFakeConsole.attribute = 0x1F;
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(stdoutIsConsole());
    ASSERT_TRUE(stdoutScreenBufferInfo(&info));
    EXPECT_EQ(120, info.srWindow.Right - info.srWindow.Left + 1);
    EXPECT_EQ(40, info.srWindow.Bottom - info.srWindow.Top + 1);
    EXPECT_EQ(0x1F, info.wAttributes);
    EXPECT_FALSE(stdoutScreenBufferInfo(NULL));
    setStdoutAttribute(0x2A);
    EXPECT_EQ(0x2A, gFakeConsole.attribute);
}

// Under ctest there is no console: the real port must say so, not crash.
TEST(ConsolePort, RealPortWithoutAConsole)
{
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        GTEST_SKIP() << "standard output is a console here";
    }
    EXPECT_EQ(&gWin32Console, gConsole);
    EXPECT_FALSE(stdoutIsConsole());
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(stdoutScreenBufferInfo(&info));
}

}  // namespace
