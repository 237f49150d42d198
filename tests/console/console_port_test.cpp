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
    // A surrogate pair at the second cut stays together.
    std::wstring text = std::wstring(32767, L'x') + std::wstring(32766, L'y') + L"\xD83D\xDE00z";
    writeToConsole(testConsolePort(), text.c_str(), text.size());
    EXPECT_EQ(text, gFakeHost.out);
    EXPECT_EQ((std::vector<DWORD>{32767, 32766, 3}), gFakeConsole.writeCounts);
}

TEST(ConsolePort, RedirectedOutputStillReachesTheConsoleDevice)
{
    FakeConsoleScope console;
    gFakeConsole.isConsole = false;
    EXPECT_FALSE(stdoutIsConsole(testConsolePort()));
    writeToConsole(testConsolePort(), L"\r ^C \r\n");
    EXPECT_EQ(L"\r ^C \r\n", gFakeHost.out);
    EXPECT_EQ(0, gFakeConsole.openHandles);

    // Without a console at all the text goes nowhere, quietly.
    gFakeHost.out.clear();
    gFakeConsole.conoutOpens = false;
    writeToConsole(testConsolePort(), L"lost");
    EXPECT_EQ(L"", gFakeHost.out);
}

// Under ctest there is no console: the real port must say so, not crash.
TEST(ConsolePort, RealPortWithoutAConsole)
{
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        GTEST_SKIP() << "standard output is a console here";
    }
    EXPECT_FALSE(stdoutIsConsole(&gWin32Console));
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(stdoutScreenBufferInfo(&gWin32Console, &info));
}

}  // namespace
