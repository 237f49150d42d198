// ANCESTRY, @ANCESTRY and the help requests end to end: kfshell.exe with the
// built plugin, against a chain of processes the test starts itself.
#include "process_tree.h"
#include "shell_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ShellResult shell(const std::wstring& line)
{
    ShellOptions options;
    options.timeoutMs = 20000;
    return runShellLine(line, options);
}

// test process -> kfroot -> kfbranch -> kfleaf: the leaf's chain ends in
// three known processes whatever started the test.
class AncestryEndToEnd : public ::testing::Test {
protected:
    ProcessTree tree;

    void SetUp() override { ASSERT_TRUE(tree.start()) << narrow(tree.error()); }

    // Each known member as ANCESTRY starts its line: PID, then the name
    // without extension.
    std::wstring lineStart(TreeRole role) const
    {
        std::wstring name = ProcessTree::programName(role);
        return hexPid(tree.pid(role)) + L"  " + name.substr(0, name.find(L'.'));
    }
};

}  // namespace

TEST_F(AncestryEndToEnd, ChainOfTheDeepestProcessOldestFirst)
{
    ShellResult r = shell(L"ancestry " + std::to_wstring(tree.pid(TREE_LEAF)));
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    EXPECT_EQ(L"", r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 4u) << narrow(r.out);
    size_t n = lines.size();
    EXPECT_FALSE(lines[0].empty()) << "no empty line comes before the list";
    EXPECT_TRUE(startsWith(lines[n - 4], hexPid(GetCurrentProcessId()) + L"  test_e2e")) << narrow(r.out);
    EXPECT_TRUE(startsWith(lines[n - 3], lineStart(TREE_ROOT))) << narrow(r.out);
    EXPECT_TRUE(startsWith(lines[n - 2], lineStart(TREE_BRANCH))) << narrow(r.out);
    EXPECT_TRUE(startsWith(lines[n - 1], lineStart(TREE_LEAF))) << narrow(r.out);
}

TEST_F(AncestryEndToEnd, ReversedAndNumbered)
{
    std::wstring leaf = std::to_wstring(tree.pid(TREE_LEAF));
    ShellResult reversed = shell(L"ancestry /r " + leaf);
    EXPECT_EQ(0, reversed.exitCode) << narrow(reversed.err);
    std::vector<std::wstring> lines = splitLines(reversed.out);
    ASSERT_GE(lines.size(), 4u) << narrow(reversed.out);
    EXPECT_TRUE(startsWith(lines[0], lineStart(TREE_LEAF))) << narrow(reversed.out);
    EXPECT_TRUE(startsWith(lines[1], lineStart(TREE_BRANCH)));
    EXPECT_TRUE(startsWith(lines[2], lineStart(TREE_ROOT)));

    ShellResult numbered = shell(L"ancestry /L /U 0x" + hexPid(tree.pid(TREE_LEAF)));
    EXPECT_EQ(0, numbered.exitCode) << narrow(numbered.err);
    lines = splitLines(numbered.out);
    ASSERT_GE(lines.size(), 6u) << narrow(numbered.out);
    size_t members = lines.size() - 2;
    EXPECT_EQ(L"", lines[members]);
    EXPECT_EQ(L"Found " + std::to_wstring(members) + L" processes.", lines[members + 1]);
    EXPECT_TRUE(startsWith(lines[members - 3], L"  3:  " + lineStart(TREE_ROOT))) << narrow(numbered.out);
    EXPECT_TRUE(startsWith(lines[members - 2], L"  2:  " + lineStart(TREE_BRANCH)));
    EXPECT_TRUE(startsWith(lines[members - 1], L"  1:  " + lineStart(TREE_LEAF)));
    wchar_t first[16];
    wsprintfW(first, L"%3u:  ", static_cast<unsigned>(members));
    EXPECT_TRUE(startsWith(lines[0], first)) << narrow(numbered.out);
}

TEST_F(AncestryEndToEnd, ProcessWhoseParentHasEndedStandsAlone)
{
    uint32_t leaf = tree.pid(TREE_LEAF);
    ASSERT_TRUE(tree.stopRole(TREE_BRANCH));
    ShellResult r = shell(L"ancestry " + std::to_wstring(leaf));
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_EQ(1u, lines.size()) << narrow(r.out);
    EXPECT_TRUE(startsWith(lines[0], lineStart(TREE_LEAF)));
}

TEST_F(AncestryEndToEnd, FunctionGivesNamesAndPids)
{
    std::wstring leaf = std::to_wstring(tree.pid(TREE_LEAF));
    ShellResult names = shell(L"echo %@ancestry[" + leaf + L",3]");
    EXPECT_EQ(0, names.exitCode) << narrow(names.err);
    EXPECT_TRUE(endsWith(names.out, L"test_e2e.exe kfroot.exe kfbranch.exe kfleaf.exe\r\n")) << narrow(names.out);

    ShellResult pids = shell(L"echo %@ancestry[" + leaf + L",66]");
    std::wstring expected = leaf + L" " + std::to_wstring(tree.pid(TREE_BRANCH)) + L" " +
                            std::to_wstring(tree.pid(TREE_ROOT)) + L" " + std::to_wstring(GetCurrentProcessId());
    EXPECT_TRUE(startsWith(pids.out, expected)) << narrow(pids.out);
    EXPECT_EQ(L"", names.err + pids.err);
}

TEST(AncestryBatch, FunctionErrorNamesTheBatchFileAndLine)
{
    TempFile batch(batchText({L"@echo off", L"echo %@ancestry[abc,3]", L"echo %@ancestry[.,zz]"}));
    ASSERT_TRUE(batch.ok());
    wchar_t full[MAX_PATH * 4];
    GetFullPathNameW(batch.path().c_str(), MAX_PATH * 4, full, nullptr);
    ShellResult r = runShell({batch.path()});
    ASSERT_FALSE(r.timedOut);
    std::wstring prefix = std::wstring(L"Kinfold plugin: ") + full;
    EXPECT_EQ(prefix + L" [2]  Bad PID value: \"ABC\"\r\n" + prefix + L" [3]  Bad flags value: \"ZZ\"\r\n", r.err);
}

TEST(AncestryHelp, UsageStartsWithTheSyntaxLine)
{
    ShellResult r = shell(L"usage kinfold");
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    EXPECT_TRUE(startsWith(r.out, L"KINFOLD /A /C /D /E /F /H: /I /K /M /N: /O: /SVC /TC /T: /W: root  \r\n"))
        << narrow(r.out);

    ShellResult function = shell(L"usage @ancestry");
    EXPECT_EQ(1, function.exitCode);
    EXPECT_EQ(L"", function.out);
}

TEST(AncestryHelp, HelpShowsTheFunctionText)
{
    ShellResult r = shell(L"help @ANCESTRY");
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    // kfshell prints the message box as text: caption in brackets, then the text.
    EXPECT_EQ(L"[Kinfold Plugin Help]\r\n"
              L"Returns ancestors of a given process.\n\n@ANCESTRY[pid,flags] \r\n\n"
              L"\tpid\tthe process ID, decimal or hex  \n"
              L"\tflags\t\x2000\x2000" L"0:  return PIDS in hexadecimal\n"
              L"\t\t\x2000\x2000" L"1:  hexadecimal, no leading 0x  \n"
              L"\t\t\x2000\x2000" L"2:  decimal\n"
              L"\t\t\x2000\x2000" L"3:  executable names\n"
              L"\t\t\x2000" L"64:  reverse order\n"
              L"\t\t128:  lowercase\n\n"
              L"If pid is not specified, it defaults to the current shell.  \n\r\n",
              r.out);
}
