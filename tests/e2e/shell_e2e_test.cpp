// kfshell.exe with the built plugin, end to end.
#include "shell_run.h"

#include <gtest/gtest.h>

TEST(ShellSmoke, LoadsThePluginOfItsOwnBuild)
{
    ShellResult r = runShellLine(L"echo hello");
    ASSERT_TRUE(r.started) << buildPath(L"kfshell.exe");
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"hello\r\n", r.out);
    EXPECT_EQ(L"", r.err);
}
