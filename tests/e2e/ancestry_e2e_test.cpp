// ANCESTRY, @ANCESTRY and the help requests end to end: kfshell.exe with the
// built plugin, against a chain of processes the test starts itself.
#include "process_tree.h"
#include "shell_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// test process -> kfroot -> kfbranch -> kfleaf: the leaf's chain ends in
// three known processes whatever started the test.
class AncestryEndToEnd : public ::testing::Test {
protected:
    ProcessTree tree;

    void SetUp() override { ASSERT_TRUE(tree.start()) << tree.error(); }

    // Lines of `ancestry ARGUMENTS LEAF`.
    std::vector<std::wstring> ancestry(const std::wstring& arguments)
    {
        ShellResult r = runShellLine(L"ancestry " + arguments + std::to_wstring(tree.pid(TREE_LEAF)));
        EXPECT_EQ(0, r.exitCode) << r.err;
        EXPECT_EQ(L"", r.err);
        return splitLines(r.out);
    }

    // A member's line as ANCESTRY starts it: PID, then the name without extension.
    std::wstring member(TreeRole role) const
    {
        std::wstring name = ProcessTree::programName(role);
        return hexPid(tree.pid(role)) + L"  " + name.substr(0, name.find(L'.'));
    }
};

}  // namespace

TEST_F(AncestryEndToEnd, ChainOfTheDeepestProcessOldestFirstReversedAndNumbered)
{
    std::vector<std::wstring> lines = ancestry(L"");
    ASSERT_GE(lines.size(), 4u);
    size_t n = lines.size();
    EXPECT_FALSE(lines[0].empty()) << "no empty line comes before the list";
    EXPECT_TRUE(startsWith(lines[n - 4], hexPid(GetCurrentProcessId()) + L"  test_e2e")) << lines[n - 4];
    EXPECT_TRUE(startsWith(lines[n - 3], member(TREE_ROOT))) << lines[n - 3];
    EXPECT_TRUE(startsWith(lines[n - 2], member(TREE_BRANCH))) << lines[n - 2];
    EXPECT_TRUE(startsWith(lines[n - 1], member(TREE_LEAF))) << lines[n - 1];

    std::vector<std::wstring> reversed = ancestry(L"/r ");
    ASSERT_EQ(n, reversed.size());
    EXPECT_EQ(std::vector<std::wstring>(lines.rbegin(), lines.rend()), reversed);

    std::vector<std::wstring> numbered = ancestry(L"/L /U ");
    ASSERT_EQ(n + 2, numbered.size());
    EXPECT_EQ(L"", numbered[n]);
    EXPECT_EQ(L"Found " + std::to_wstring(n) + L" processes.", numbered[n + 1]);
    wchar_t first[16];
    wsprintfW(first, L"%3u:  ", static_cast<unsigned>(n));
    EXPECT_EQ(first + lines[0], numbered[0]);
    EXPECT_EQ(L"  1:  " + lines[n - 1], numbered[n - 1]);

    // A process whose parent has ended stands alone.
    ASSERT_TRUE(tree.stopRole(TREE_BRANCH));
    lines = ancestry(L"");
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(startsWith(lines[0], member(TREE_LEAF))) << lines[0];
}

TEST_F(AncestryEndToEnd, FunctionGivesNamesAndPids)
{
    std::wstring leaf = std::to_wstring(tree.pid(TREE_LEAF));
    // "." is the shell itself, started by this test program.
    ShellResult r = runShell({L"-c", L"echo %@ancestry[" + leaf + L",3]", L"-c", L"echo %@ancestry[" + leaf + L",66]",
                              L"-c", L"echo [%@ancestry[.,3]]"});
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"", r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_EQ(3u, lines.size()) << r.out;
    EXPECT_TRUE(endsWith(lines[0], L"test_e2e.exe kfroot.exe kfbranch.exe kfleaf.exe")) << lines[0];
    EXPECT_TRUE(startsWith(lines[1], leaf + L" " + std::to_wstring(tree.pid(TREE_BRANCH)) + L" " +
                                         std::to_wstring(tree.pid(TREE_ROOT)) + L" " +
                                         std::to_wstring(GetCurrentProcessId())))
        << lines[1];
    EXPECT_TRUE(endsWith(lines[2], L"test_e2e.exe kfshell.exe]")) << lines[2];
}

TEST(AncestryShell, FunctionErrorInABatchFileNamesTheFileAndLine)
{
    TempFile batch(L"@echo off\r\necho %@ancestry[abc,3]\r\necho %@ancestry[.,zz]\r\n");
    ASSERT_TRUE(batch.ok());
    wchar_t full[MAX_PATH * 4];
    GetFullPathNameW(batch.path().c_str(), MAX_PATH * 4, full, nullptr);
    ShellResult r = runShell({batch.path()});
    std::wstring prefix = std::wstring(L"Kinfold plugin: ") + full;
    EXPECT_EQ(prefix + L" [2]  Bad PID value: \"ABC\"\r\n" + prefix + L" [3]  Bad flags value: \"ZZ\"\r\n", r.err);
}

TEST(AncestryShell, UsageAndHelpRequests)
{
    ShellResult r = runShellLine(L"usage kinfold");
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_TRUE(startsWith(r.out, L"KINFOLD /A /ALL /ANC /C /CMD /CSV /D /E /END /F /H: /I /K /M /N: /O: /SUM /SVC /TC /T: /W: /Y root  \r\n"))
        << r.out;

    r = runShellLine(L"usage @ancestry");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ(L"", r.out);

    // kfshell prints the message box as text: caption in brackets, then the text.
    r = runShellLine(L"help @ANCESTRY");
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_TRUE(startsWith(r.out, L"[Kinfold Plugin Help]\r\nReturns ancestors of a given process.\n\n@ANCESTRY[pid,flags] \r\n"))
        << r.out;
    EXPECT_TRUE(endsWith(r.out, L"If pid is not specified, it defaults to the current shell.  \n\r\n")) << r.out;
}
