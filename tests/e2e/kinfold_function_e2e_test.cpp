// @KINFOLD end to end: kfshell.exe with the built plugin expands it on a
// tree of processes the test starts, next to KINFOLD's own lines.
#include "process_tree.h"
#include "shell_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> words(const std::wstring& text)
{
    std::wistringstream in(text);
    return {std::istream_iterator<std::wstring, wchar_t>(in), std::istream_iterator<std::wstring, wchar_t>()};
}

// One line of `kinfold /D`: its depth (three units of prefix per level) and PID.
struct TreeLine {
    size_t depth;
    std::wstring pid;
};

TreeLine readTreeLine(const std::wstring& line)
{
    size_t start = line.find_first_of(L"0123456789");
    size_t end = line.find_first_not_of(L"0123456789", start);
    TreeLine tree = {start == std::wstring::npos ? 0 : start / 3, line.substr(start, end - start)};
    return tree;
}

}  // namespace

// Fails when the function's order is not KINFOLD's (siblings by PID, each
// process before its descendants), when it reaches processes the tree does
// not, or when leaves first lets a parent come before one of its children.
TEST(KinfoldFunctionEndToEnd, PidsAreThoseOfTheTreeLinesInOrderAndLeavesFirstEndsWithTheRoot)
{
    ProcessTree tree;
    ASSERT_TRUE(tree.start()) << tree.error();
    // Any desktop process Wine starts for the window's owner is already
    // there once the tree has reported in, so every call below sees it alike.
    const std::wstring root = std::to_wstring(tree.pid(TREE_ROOT));
    ShellResult r = runShell({L"-c", L"kinfold " + root + L" /D", L"-c", L"echo %@kinfold[" + root + L",2]", L"-c",
                              L"echo %@kinfold[" + root + L",66]", L"-c", L"echo %@kinfold[" + root + L",0x302]"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"", r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 1u + 4u + 3u) << r.out;
    EXPECT_EQ(L"", lines[0]);
    std::vector<TreeLine> treeLines;
    std::vector<std::wstring> treePids;
    for (size_t i = 1; i + 3 < lines.size(); ++i) {
        treeLines.push_back(readTreeLine(lines[i]));
        treePids.push_back(treeLines.back().pid);
    }
    for (TreeRole role : {TREE_ROOT, TREE_BRANCH, TREE_LEAF, TREE_WINDOW}) {
        EXPECT_NE(treePids.end(), std::find(treePids.begin(), treePids.end(), std::to_wstring(tree.pid(role))))
            << r.out;
    }

    EXPECT_EQ(treePids, words(lines[lines.size() - 3])) << r.out;
    EXPECT_EQ(std::to_wstring(treePids.size() - 1), lines.back()) << "256 + 512 counts the descendants";

    std::vector<std::wstring> leavesFirst = words(lines[lines.size() - 2]);
    ASSERT_EQ(treePids.size(), leavesFirst.size()) << r.out;
    EXPECT_EQ(root, leavesFirst.back());
    // Each line's parent is the nearest line above it that is one level up.
    for (size_t i = 1; i < treeLines.size(); ++i) {
        size_t parent = i;
        while (parent > 0 && treeLines[parent].depth >= treeLines[i].depth) {
            --parent;
        }
        auto child = std::find(leavesFirst.begin(), leavesFirst.end(), treeLines[i].pid) - leavesFirst.begin();
        auto above = std::find(leavesFirst.begin(), leavesFirst.end(), treeLines[parent].pid) - leavesFirst.begin();
        EXPECT_LT(child, above) << treeLines[i].pid << " comes after its parent " << treeLines[parent].pid;
    }
}
