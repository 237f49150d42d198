// KINFOLD /END and /SUM end to end: kfshell.exe with the built plugin against
// trees of processes this test starts. kfshell's --log-ends shows which
// processes the plugin ended, and in which order.
#include "csv_fields.h"
#include "process_tree.h"
#include "shell_run.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint32_t> Pids;

const TreeRole ROLES[] = {TREE_ROOT, TREE_BRANCH, TREE_LEAF, TREE_WINDOW};

// 0 when the process cannot be opened.
uint64_t creationTime(uint32_t pid)
{
    UniqueProcessHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    FILETIME created, exited, kernel, user;
    if (!process || !GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The children of pid at this moment: processes that name it as their
// parent and are younger than it. An older one names an ended process whose
// PID was given again to pid's process (services.exe showed up "under" a
// leaf of the tree that way, late in a long test run).
Pids childrenOf(uint32_t pid)
{
    Pids children;
    uint64_t born = creationTime(pid);
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == pid && creationTime(entry.th32ProcessID) >= born) {
            children.push_back(entry.th32ProcessID);
        }
    }
    std::sort(children.begin(), children.end());
    return children;
}

Pids sorted(Pids pids)
{
    std::sort(pids.begin(), pids.end());
    return pids;
}

Pids treePids(const ProcessTree& tree)
{
    Pids pids;
    for (TreeRole role : ROLES) {
        pids.push_back(tree.pid(role));
    }
    return pids;
}

// The nodes of a started tree, opened so that their PIDs stay theirs and
// their ends can be seen.
class Watched {
public:
    explicit Watched(const Pids& pids)
    {
        for (uint32_t pid : pids) {
            handles_.emplace_back(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        }
    }
    size_t size() const { return handles_.size(); }
    bool opened(size_t i) const { return handles_[i].valid(); }
    bool running(size_t i) const { return WaitForSingleObject(handles_[i].get(), 0) == WAIT_TIMEOUT; }
    // The exit code once it has ended within milliseconds; -1 when it still runs.
    long exitCode(size_t i, DWORD milliseconds) const
    {
        DWORD code = 0;
        if (WaitForSingleObject(handles_[i].get(), milliseconds) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(handles_[i].get(), &code)) {
            return -1;
        }
        return static_cast<long>(code);
    }

private:
    std::vector<UniqueProcessHandle> handles_;
};

// The file kfshell's --log-ends appends to, empty at first.
class EndLog {
public:
    EndLog() : file_(L"") {}
    const std::wstring& path() const { return file_.path(); }
    bool ok() const { return file_.ok(); }
    Pids pids() const
    {
        Pids pids;
        UniqueHandle file(CreateFileW(path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        std::string bytes;
        char chunk[4096];
        DWORD got = 0;
        while (file.valid() && ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            bytes.append(chunk, got);
        }
        for (const std::wstring& line : splitLines(std::wstring(bytes.begin(), bytes.end()))) {
            if (!line.empty()) {
                pids.push_back(static_cast<uint32_t>(wcstoul(line.c_str(), nullptr, 10)));
            }
        }
        return pids;
    }

private:
    TempFile file_;
};

ShellResult runLogged(const EndLog& log, const std::wstring& line, const ShellOptions& options = ShellOptions())
{
    return runShell({L"--log-ends", log.path(), L"-c", line}, options);
}

// The hexadecimal PID a tree line starts with, after its tree graphic; 0 when none.
uint32_t treeLinePid(const std::wstring& line)
{
    size_t start = line.find_first_of(L"0123456789ABCDEF");
    return start == std::wstring::npos ? 0 : static_cast<uint32_t>(wcstoul(line.c_str() + start, nullptr, 16));
}

// The PID of the tree line that shows this name.
uint32_t pidBefore(const std::wstring& output, const std::wstring& name)
{
    for (const std::wstring& line : splitLines(output)) {
        if (contains(line, L"  " + name)) {
            return treeLinePid(line);
        }
    }
    return 0;
}

class KinfoldEndEndToEnd : public ::testing::Test {
protected:
    ProcessTree tree;

    void SetUp() override
    {
        // Wine starts its desktop process as a child of the first process
        // that needs the desktop; asked here, it can never be a node of a
        // tree that a test ends or counts.
        (void)GetDesktopWindow();
        ASSERT_TRUE(tree.start()) << tree.error();
        expectShape(tree);
    }

    static void expectShape(const ProcessTree& started)
    {
        ASSERT_EQ(sorted({started.pid(TREE_BRANCH), started.pid(TREE_WINDOW)}), childrenOf(started.pid(TREE_ROOT)));
        ASSERT_EQ(Pids{started.pid(TREE_LEAF)}, childrenOf(started.pid(TREE_BRANCH)));
        ASSERT_EQ(Pids{}, childrenOf(started.pid(TREE_LEAF)));
        ASSERT_EQ(Pids{}, childrenOf(started.pid(TREE_WINDOW))) << "more than the four nodes";
    }

    void expectAllRunning(const Watched& nodes) const
    {
        for (size_t i = 0; i < nodes.size(); ++i) {
            EXPECT_TRUE(nodes.running(i)) << "node " << i << " was ended";
        }
    }
};

}  // namespace

// The tree ends leaves first, each node once, and nothing else: not the
// sibling tree, not the test process that is the shell's parent. Faults:
// ending in printed order (the root first: its children are re-parented and
// live on), ending the root's parent or its other children, a PID ended
// twice.
TEST_F(KinfoldEndEndToEnd, EndsTheTreeLeavesFirstAndNothingElse)
{
    ProcessTree sibling;
    ASSERT_TRUE(sibling.start()) << sibling.error();
    ASSERT_NO_FATAL_FAILURE(expectShape(sibling));
    Pids members = treePids(tree);
    Watched nodes(members);
    Watched others(treePids(sibling));
    for (size_t i = 0; i < nodes.size(); ++i) {
        ASSERT_TRUE(nodes.opened(i) && others.opened(i));
    }

    EndLog log;
    ASSERT_TRUE(log.ok());
    ShellResult r = runLogged(log, L"kinfold " + std::to_wstring(tree.pid(TREE_ROOT)) + L" /END /Y");
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ(L"", r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(L"Ended 4 of 4 processes.", lines.back()) << r.out;

    Pids ended = log.pids();
    EXPECT_EQ(sorted(members), sorted(ended)) << "each node once, nothing else";
    std::map<uint32_t, size_t> at;
    for (size_t i = 0; i < ended.size(); ++i) {
        at[ended[i]] = i;
    }
    const struct {
        TreeRole child, parent;
    } links[] = {{TREE_LEAF, TREE_BRANCH}, {TREE_BRANCH, TREE_ROOT}, {TREE_WINDOW, TREE_ROOT}};
    for (const auto& link : links) {
        uint32_t child = tree.pid(link.child), parent = tree.pid(link.parent);
        if (at.count(child) != 0 && at.count(parent) != 0) {
            EXPECT_LT(at[child], at[parent]) << hexPid(child) << " ended after its parent " << hexPid(parent);
        }
    }
    // Exit code 1 is TerminateProcess's from the plugin; a node that ended on
    // its own (its stop event, its starter gone) exits with 0.
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(1, nodes.exitCode(i, 10000)) << hexPid(members[i]);
    }
    expectAllRunning(others);
}

// The shell itself, or the test process that started it, as the root: the
// tree holds the shell, so nothing is ended at all. Faults: the check
// skipped, the result mapped to 0 or 1, the message naming the root instead
// of the shell.
TEST_F(KinfoldEndEndToEnd, NothingIsEndedWhenTheTreeHoldsTheShell)
{
    Watched nodes(treePids(tree));
    const struct {
        const char* what;
        std::wstring root;
    } cases[] = {{"the shell", L"."}, {"the shell's parent", std::to_wstring(GetCurrentProcessId())}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EndLog log;
        ASSERT_TRUE(log.ok());
        ShellResult r = runLogged(log, L"kinfold " + c.root + L" /END /Y");
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(2, r.exitCode);
        uint32_t shell = pidBefore(r.out, L"kfshell");
        ASSERT_NE(0u, shell) << r.out;
        EXPECT_EQ(L"Kinfold plugin: the tree holds this shell (" + std::to_wstring(shell) + L"); nothing was ended\r\n",
                  r.err);
        EXPECT_FALSE(contains(r.out, L"Ended ")) << r.out;
        EXPECT_EQ(Pids{}, log.pids());
        expectAllRunning(nodes);
    }
}

// With no console to ask on and no /Y, nothing is printed or ended, whether
// the output goes to a pipe or to a file. Faults: the tree printed before the
// refusal, a file taken for a console (only a pipe checked), the question
// asked of nobody (a hang until the shell's time-out).
TEST_F(KinfoldEndEndToEnd, WithoutAConsoleOnlyYEnds)
{
    Watched nodes(treePids(tree));
    for (bool toFile : {false, true}) {
        SCOPED_TRACE(toFile ? "output to a file" : "output to a pipe");
        EndLog log;
        ASSERT_TRUE(log.ok());
        ShellOptions options;
        options.stdoutToFile = toFile;
        ShellResult r = runLogged(log, L"kinfold " + std::to_wstring(tree.pid(TREE_ROOT)) + L" /END", options);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(1, r.exitCode);
        EXPECT_EQ(L"Kinfold plugin: /END needs /Y when there is no console to ask\r\n", r.err);
        EXPECT_EQ(L"", r.out);
        EXPECT_EQ(Pids{}, log.pids());
        expectAllRunning(nodes);
    }
}

// /CSV /SUM in one run, so every figure is of the same moment: each row
// counts exactly the rows below it and sums their working sets with its own.
// Faults: a row counting itself, its own working set left out, a sibling's
// rows added in, a leaf given a count.
TEST_F(KinfoldEndEndToEnd, CsvSubtreeTotalsAddUpTheRowsBelow)
{
    ShellResult r = runShellLine(L"kinfold " + std::to_wstring(tree.pid(TREE_ROOT)) + L" /CSV /SUM /MM");
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(0, r.exitCode) << r.err;
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(L"Depth,PID,ParentPID,Name,WorkingSet,SubtreeCount,SubtreeWorkingSet,Display", lines[0]);
    struct Row {
        unsigned depth;
        uint32_t pid;
        uint64_t workingSet, subtreeCount, subtreeWorkingSet;
    };
    std::vector<Row> rows;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::wstring> fields = csvFields(lines[i]);
        ASSERT_EQ(8u, fields.size()) << lines[i];
        rows.push_back(Row{static_cast<unsigned>(std::stoul(fields[0])), static_cast<uint32_t>(std::stoul(fields[1])),
                           std::stoull(fields[4]), std::stoull(fields[5]), std::stoull(fields[6])});
        EXPECT_NE(0u, rows.back().workingSet) << lines[i];
    }
    Pids shown;
    for (const Row& row : rows) {
        shown.push_back(row.pid);
    }
    ASSERT_EQ(sorted(treePids(tree)), sorted(shown)) << r.out;
    ASSERT_EQ(tree.pid(TREE_ROOT), rows[0].pid);

    for (size_t i = 0; i < rows.size(); ++i) {
        uint64_t below = 0, bytes = rows[i].workingSet;
        for (size_t j = i + 1; j < rows.size() && rows[j].depth > rows[i].depth; ++j) {
            ++below;
            bytes += rows[j].workingSet;
        }
        EXPECT_EQ(below, rows[i].subtreeCount) << lines[i + 1];
        EXPECT_EQ(bytes, rows[i].subtreeWorkingSet) << lines[i + 1];
        if (rows[i].pid == tree.pid(TREE_LEAF) || rows[i].pid == tree.pid(TREE_WINDOW)) {
            EXPECT_EQ(0u, rows[i].subtreeCount) << lines[i + 1];
        }
    }
    EXPECT_EQ(3u, rows[0].subtreeCount);
}

// The tree form: " [+N]" after the name of each line with processes below,
// none on a leaf. Faults: the mark on leaves ("[+0]"), the line itself
// counted, the root given its children only.
TEST_F(KinfoldEndEndToEnd, TreeLinesCountTheProcessesBelow)
{
    ShellResult r = runShellLine(L"kinfold " + std::to_wstring(tree.pid(TREE_ROOT)) + L" /SUM");
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(0, r.exitCode) << r.err;
    const struct {
        TreeRole role;
        const wchar_t* after;  // what follows the name
    } cases[] = {{TREE_ROOT, L"kfroot [+3]"}, {TREE_BRANCH, L"kfbranch [+1]"}, {TREE_LEAF, L"kfleaf"},
                 {TREE_WINDOW, L"kfwindow"}};
    std::vector<std::wstring> lines = splitLines(r.out);
    for (const auto& c : cases) {
        auto line = std::find_if(lines.begin(), lines.end(),
                                 [&](const std::wstring& text) { return treeLinePid(text) == tree.pid(c.role); });
        ASSERT_NE(lines.end(), line) << r.out;
        size_t name = line->find(L"  kf");
        ASSERT_NE(std::wstring::npos, name) << *line;
        std::wstring rest = line->substr(name + 2);
        EXPECT_TRUE(rest == c.after || startsWith(rest, std::wstring(c.after) + L"  ")) << *line;
    }
}
