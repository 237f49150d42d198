// KINFOLD end to end: kfshell.exe with the built plugin, against processes
// the tests start themselves.
#include "csv_fields.h"
#include "process_tree.h"
#include "shell_run.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::wstring PREFIX = L"Kinfold plugin: ";
const std::wstring BRANCH = L"\x251C\x2500\x2500";       // ├──
const std::wstring LAST_BRANCH = L"\x2514\x2500\x2500";  // └──

ShellResult kinfold(const std::wstring& arguments, bool toFile = false)
{
    ShellOptions options;
    options.stdoutToFile = toFile;
    return runShellLine(L"kinfold " + arguments, options);
}

// The output lines, without those of the desktop process (explorer.exe) that
// Wine starts as a child of the first process to create a window.
std::vector<std::wstring> outputLines(const ShellResult& result)
{
    std::vector<std::wstring> lines = splitLines(result.out);
    lines.erase(std::remove_if(lines.begin() + (lines.empty() ? 0 : 1), lines.end(),
                               [](const std::wstring& line) { return contains(line, L"  explorer"); }),
                lines.end());
    return lines;
}

// Checks the lines after the empty first line against their expected starts
// (prefix, PID and name; further columns follow a blank). Returns the lines.
std::vector<std::wstring> expectTree(const std::vector<std::wstring>& expected, const ShellResult& result)
{
    EXPECT_EQ(0, result.exitCode) << result.err;
    std::vector<std::wstring> lines = outputLines(result);
    if (lines.size() < expected.size() + 1) {
        ADD_FAILURE() << result.out;
        return lines;
    }
    EXPECT_EQ(L"", lines[0]);
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::wstring& line = lines[i + 1];
        EXPECT_TRUE(line == expected[i] || startsWith(line, expected[i] + L" "))
            << line << "\nexpected: " << expected[i];
    }
    return lines;
}

class KinfoldEndToEnd : public ::testing::Test {
protected:
    ProcessTree tree;

    void SetUp() override { ASSERT_TRUE(tree.start()) << tree.error(); }

    // The tree under this root line; the root's children are indented as
    // the last of its siblings, and siblings come in PID order.
    std::vector<std::wstring> expectedTree(const std::wstring& rootLine) const
    {
        std::wstring branch = hexPid(tree.pid(TREE_BRANCH)) + L"  kfbranch";
        std::wstring leaf = hexPid(tree.pid(TREE_LEAF)) + L"  kfleaf";
        std::wstring window = hexPid(tree.pid(TREE_WINDOW)) + L"  kfwindow";
        if (tree.pid(TREE_BRANCH) < tree.pid(TREE_WINDOW)) {
            return {rootLine, L"   " + BRANCH + branch, L"   \x2502  " + LAST_BRANCH + leaf, L"   " + LAST_BRANCH + window};
        }
        return {rootLine, L"   " + BRANCH + window, L"   " + LAST_BRANCH + branch, L"      " + LAST_BRANCH + leaf};
    }
};

}  // namespace

TEST_F(KinfoldEndToEnd, TreeOfAPidInDecimalOrHexAndRedirectedToAFile)
{
    uint32_t root = tree.pid(TREE_ROOT);
    ShellResult decimal = kinfold(std::to_wstring(root));
    ASSERT_FALSE(decimal.timedOut);
    EXPECT_EQ(L"", decimal.err);
    EXPECT_EQ(5u, expectTree(expectedTree(hexPid(root) + L"  kfroot"), decimal).size()) << decimal.out;
    if (tree.hasWindow()) {
        EXPECT_TRUE(contains(decimal.out, tree.windowTitle())) << decimal.out;
    }
    EXPECT_EQ(decimal.out, kinfold(L"0x" + hexPid(root)).out);

    // Highlighting and a pause every 3 lines are asked for, but a file gets
    // neither colours nor a prompt (which would wait for a key until the time-out).
    ShellResult toFile = kinfold(std::to_wstring(root) + L" /P:3 /H:kf*", true);
    ASSERT_FALSE(toFile.timedOut);
    EXPECT_EQ(decimal.out, toFile.out);
}

TEST_F(KinfoldEndToEnd, EndedParentStandsAtTheTopOfItsChildren)
{
    uint32_t root = tree.pid(TREE_ROOT);
    ASSERT_TRUE(tree.stopRole(TREE_ROOT));
    ShellResult r = kinfold(std::to_wstring(root) + L" /U /Z");
    std::vector<std::wstring> lines = expectTree(expectedTree(hexPid(root) + L"  * PROCESS HAS ENDED *"), r);
    ASSERT_EQ(7u, lines.size()) << r.out;
    EXPECT_EQ(L"", lines[5]);
    EXPECT_EQ(L"Found 3 processes.", lines[6]);
}

TEST_F(KinfoldEndToEnd, RootByExecutableNameBeforeWindowTitle)
{
    for (const wchar_t* pattern : {L"KFBR*", L"kfbranch.exe"}) {
        std::vector<std::wstring> lines = expectTree(
            {hexPid(tree.pid(TREE_BRANCH)) + L"  kfbranch", L"   " + LAST_BRANCH + hexPid(tree.pid(TREE_LEAF)) + L"  kfleaf"},
            kinfold(pattern));
        EXPECT_EQ(3u, lines.size());
    }
    if (!tree.hasWindow()) {
        GTEST_SKIP() << "no windows on this machine";
    }
    // kfwindow's title is "Kinfold tree window TOKEN"; a process started
    // later has an executable name that fits the same pattern.
    std::wstring pattern = tree.windowTitle();
    std::replace(pattern.begin(), pattern.end(), L' ', L'?');
    std::wstring exeName = pattern;
    std::replace(exeName.begin(), exeName.end(), L'?', L'_');
    BackgroundProcess sleeper(tempPath(exeName + L"_copy.exe"));
    ASSERT_NE(0u, sleeper.pid());
    expectTree({hexPid(sleeper.pid()) + L"  " + exeName + L"_copy"}, kinfold(pattern + L"*"));

    // Without the "*" the name pass looks for TOKEN.exe and finds nothing;
    // the title pass then finds the window's owner.
    ShellResult r = kinfold(pattern + L" /N:T");
    std::vector<std::wstring> lines = outputLines(r);
    ASSERT_EQ(1u, lines.size()) << r.out;
    EXPECT_TRUE(contains(lines[0], hexPid(tree.pid(TREE_WINDOW)) + L"  kfwindow")) << lines[0];
}

namespace {

// The first number of a tree line: its PID, after any tree graphic.
uint32_t leadingPid(const std::wstring& line)
{
    size_t start = line.find_first_of(L"0123456789");
    return start == std::wstring::npos ? 0 : static_cast<uint32_t>(wcstoul(line.c_str() + start, nullptr, 10));
}

// A decimal field; 0 for anything else.
uint32_t decimalField(const std::wstring& field)
{
    wchar_t* end = nullptr;
    unsigned long value = wcstoul(field.c_str(), &end, 10);
    return field.empty() || *end != L'\0' ? 0 : static_cast<uint32_t>(value);
}

}  // namespace

// The CSV form lists the processes of the tree in its order: one header, one
// row per process, CRLF line ends, the depth of each in the tree.
TEST_F(KinfoldEndToEnd, CsvRowsHoldTheTreesProcessesInItsOrder)
{
    std::wstring root = std::to_wstring(tree.pid(TREE_ROOT));
    ShellResult drawn = kinfold(root + L" /D");
    ShellResult csv = kinfold(root + L" /CSV /M /T");
    ASSERT_FALSE(drawn.timedOut || csv.timedOut);
    ASSERT_EQ(0, csv.exitCode) << csv.err;
    EXPECT_EQ(L"", csv.err);

    std::vector<uint32_t> treePids;
    std::vector<std::wstring> treeLines = outputLines(drawn);
    for (size_t i = 1; i < treeLines.size(); ++i) {
        treePids.push_back(leadingPid(treeLines[i]));
    }
    ASSERT_EQ(4u, treePids.size()) << drawn.out;

    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), L'\n'), std::count(csv.out.begin(), csv.out.end(), L'\r'));
    ASSERT_TRUE(endsWith(csv.out, L"\r\n")) << csv.out;
    std::vector<std::wstring> lines = splitLines(csv.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(L"Depth,PID,ParentPID,Name,WorkingSet,Started,Display", lines[0]);
    std::vector<uint32_t> csvPids;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::wstring> fields = csvFields(lines[i]);
        ASSERT_LE(7u, fields.size()) << lines[i];
        if (fields[3] == L"explorer.exe") {
            continue;  // Wine's desktop process, left out of the tree lines too
        }
        uint32_t pid = decimalField(fields[1]);
        csvPids.push_back(pid);
        // Our own processes can be opened: their facts are known.
        EXPECT_NE(L"", fields[4]) << lines[i];
        EXPECT_EQ(23u, fields[5].size()) << lines[i];
        const uint32_t depths[TREE_ROLE_COUNT] = {0, 1, 2, 1};
        for (int role = 0; role < TREE_ROLE_COUNT; ++role) {
            if (pid == tree.pid(static_cast<TreeRole>(role))) {
                EXPECT_EQ(std::to_wstring(depths[role]), fields[0]) << lines[i];
                EXPECT_EQ(std::to_wstring(tree.parentPid(static_cast<TreeRole>(role))), fields[2]) << lines[i];
            }
        }
    }
    EXPECT_EQ(treePids, csvPids) << drawn.out << csv.out;
}

TEST(KinfoldOutput, RedirectedOutputIsOneHundredColumnsWide)
{
    // A full path far longer than the line.
    std::wstring directory = tempPath(L"kinfold_e2e_" + std::wstring(60, L'w'));
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    {
        BackgroundProcess sleeper(directory + L"\\" + std::wstring(40, L'p') + L".exe");
        ASSERT_NE(0u, sleeper.pid());
        for (bool toFile : {true, false}) {
            std::vector<std::wstring> lines = expectTree({hexPid(sleeper.pid()) + L" "},
                                                         kinfold(std::to_wstring(sleeper.pid()) + L" /F", toFile));
            ASSERT_EQ(2u, lines.size());
            EXPECT_EQ(100u, lines[1].size()) << lines[1];
        }
    }
    RemoveDirectoryW(directory.c_str());
}

TEST(KinfoldRoots, RootsThatCannotBeFound)
{
    struct Case {
        const wchar_t* arguments;
        const wchar_t* error;
    } cases[] = {
        {L"4294967280", L"0xFFFFFFF0 (4294967280)"},
        {L"kfbranch.com", L"No process matching"},
        {L"/E", L"Explorer "},  // no Progman window here
    };
    for (const Case& c : cases) {
        ShellResult r = kinfold(c.arguments);
        EXPECT_EQ(2, r.exitCode);
        EXPECT_EQ(L"", r.out);
        EXPECT_TRUE(contains(r.err, c.error) && startsWith(r.err, PREFIX)) << r.err;
    }
}

TEST(KinfoldRoots, ShellWindowFallsBackToTheShell)
{
    // The shell runs without a console window here: /TC falls back to the
    // shell itself, like no argument at all.
    for (const wchar_t* arguments : {L"/N:T", L"/TC /N:T"}) {
        ShellResult r = kinfold(arguments);
        EXPECT_EQ(0, r.exitCode) << r.err;
        EXPECT_EQ(L"", r.err);
        std::vector<std::wstring> lines = splitLines(r.out);
        ASSERT_EQ(1u, lines.size()) << r.out;
        EXPECT_TRUE(contains(lines[0], L"  kfshell")) << lines[0];
    }
}

namespace {

// Whether the service reached state.
bool waitForService(SC_HANDLE service, DWORD state)
{
    SERVICE_STATUS status = {};
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != state; ++i) {
        Sleep(50);
    }
    return status.dwCurrentState == state;
}

// The process a running service lives in; null when it cannot be told.
HANDLE openServiceHost(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed) ||
        status.dwProcessId == 0) {
        return nullptr;
    }
    return OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId);
}

// Services that Wine hosts in svchost.exe, stopped with the object if it started them.
// A stopped service's svchost ends a moment after the service reports it has
// stopped; the tests after this one (the console test prints services.exe's
// tree twice and compares) need that tree to hold still, so the hosts are
// waited for. Wine's Task Scheduler ignores the stop and stays, as it would
// have from any earlier run.
struct StartedServices {
    struct Started {
        UniqueScHandle service;
        UniqueProcessHandle host;
    };
    UniqueScHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    std::vector<Started> started;

    void start(const wchar_t* name)
    {
        UniqueScHandle service(OpenServiceW(manager.get(), name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
        if (service && StartServiceW(service.get(), 0, nullptr)) {
            waitForService(service.get(), SERVICE_RUNNING);
            UniqueProcessHandle host(openServiceHost(service.get()));
            started.push_back(Started{std::move(service), std::move(host)});
        }
    }
    ~StartedServices()
    {
        for (const Started& each : started) {
            SERVICE_STATUS status = {};
            ControlService(each.service.get(), SERVICE_CONTROL_STOP, &status);
            // Bounded against a host that keeps other services too.
            if (waitForService(each.service.get(), SERVICE_STOPPED) && each.host) {
                WaitForSingleObject(each.host.get(), 10000);
            }
        }
    }
};

}  // namespace

TEST(KinfoldRoots, ServicesRootOverridesARootArgument)
{
    ShellResult before = kinfold(L"/SVC 4294967280 /N:T");
    if (before.exitCode == 2) {
        EXPECT_EQ(L"", before.out);
        EXPECT_TRUE(startsWith(before.err, PREFIX + L"Services root")) << before.err;
    }
    // Four more service hosts give services.exe the five that make it the root.
    StartedServices services;
    for (const wchar_t* name : {L"Schedule", L"BITS", L"FontCache", L"StiSvc"}) {
        services.start(name);
    }
    ShellResult r = kinfold(L"/SVC 4294967280 /N:T");
    if (r.exitCode == 2 && before.exitCode == 2) {
        GTEST_SKIP() << "the service hosts could not be started";
    }
    EXPECT_EQ(0, r.exitCode) << r.err;
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 6u) << r.out;
    EXPECT_TRUE(contains(lines[0], L"  services")) << lines[0];
    EXPECT_GE(std::count_if(lines.begin(), lines.end(), [](const std::wstring& line) { return contains(line, L"  svchost"); }),
              5) << r.out;
}

namespace {

// "PID  name" of each tree line, without its tree prefix or line number.
std::wstring withoutPrefix(const std::wstring& line)
{
    size_t start = line.find_first_not_of(L" |`+-");
    if (start == std::wstring::npos) {
        return L"";
    }
    std::wstring rest = line.substr(start);
    size_t colon = rest.find(L":  ");
    if (colon != std::wstring::npos && colon < 4) {
        rest = rest.substr(colon + 3);
    }
    return rest;
}

std::wstring pidOf(const std::wstring& line)
{
    std::wstring rest = withoutPrefix(line);
    return rest.substr(0, rest.find(L' '));
}

// The PIDs of the system as one toolhelp snapshot lists them.
std::set<std::wstring> snapshotPids()
{
    std::set<std::wstring> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return pids;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        pids.insert(hexPid(entry.th32ProcessID));
    }
    CloseHandle(snapshot);
    return pids;
}

// Two kfroot trees side by side under this test process.
class KinfoldAllEndToEnd : public ::testing::Test {
protected:
    ProcessTree first;
    ProcessTree second;

    void SetUp() override
    {
        ASSERT_TRUE(first.start()) << first.error();
        ASSERT_TRUE(second.start()) << second.error();
    }

    // Each tree's "PID  name" lines, the tree of the lower kfroot PID first.
    std::vector<std::wstring> bothTrees() const
    {
        std::vector<const ProcessTree*> trees = {&first, &second};
        if (second.pid(TREE_ROOT) < first.pid(TREE_ROOT)) {
            std::swap(trees[0], trees[1]);
        }
        std::vector<std::wstring> lines;
        for (const ProcessTree* tree : trees) {
            std::wstring branch = hexPid(tree->pid(TREE_BRANCH)) + L"  kfbranch";
            std::wstring leaf = hexPid(tree->pid(TREE_LEAF)) + L"  kfleaf";
            std::wstring window = hexPid(tree->pid(TREE_WINDOW)) + L"  kfwindow";
            lines.push_back(hexPid(tree->pid(TREE_ROOT)) + L"  kfroot");
            if (tree->pid(TREE_BRANCH) < tree->pid(TREE_WINDOW)) {
                lines.insert(lines.end(), {branch, leaf, window});
            } else {
                lines.insert(lines.end(), {window, branch, leaf});
            }
        }
        return lines;
    }
};

// Each line's "PID  name", the window titles cut off.
std::vector<std::wstring> pidAndNames(const std::vector<std::wstring>& lines)
{
    std::vector<std::wstring> result;
    for (const std::wstring& line : lines) {
        std::wstring rest = withoutPrefix(line);
        size_t name = rest.find(L"  ");
        size_t end = name == std::wstring::npos ? std::wstring::npos : rest.find(L"  ", name + 2);
        result.push_back(rest.substr(0, end));
    }
    return result;
}

}  // namespace

TEST_F(KinfoldAllEndToEnd, SiblingTreesOfOneNameAloneAndBelowTheirAncestors)
{
    // /ALL: one tree per kfroot, in PID order, each as KINFOLD draws a tree.
    ShellResult all = kinfold(L"kfroot /all /a");
    ASSERT_EQ(0, all.exitCode) << all.err;
    std::vector<std::wstring> lines = outputLines(all);
    std::vector<std::wstring> expected = bothTrees();
    ASSERT_EQ(10u, lines.size()) << all.out;
    EXPECT_EQ(L"", lines[0]);
    EXPECT_EQ(L"", lines[5]);
    lines.erase(lines.begin() + 5);
    lines.erase(lines.begin());
    EXPECT_EQ(expected, pidAndNames(lines)) << all.out;

    // /ANC: one tree from the oldest ancestor; the lines down to this test
    // process are the ones ANCESTRY lists, and both kfroot trees hang below it.
    ShellResult ancestry = runShellLine(L"ancestry kfroot");
    ASSERT_EQ(0, ancestry.exitCode) << ancestry.err;
    std::vector<std::wstring> chain = pidAndNames(splitLines(ancestry.out));
    ASSERT_GE(chain.size(), 2u) << ancestry.out;
    chain.pop_back();  // the kfroot that matched first
    ShellResult paths = kinfold(L"kfroot /ALL /ANC /A");
    ASSERT_EQ(0, paths.exitCode) << paths.err;
    lines = outputLines(paths);
    ASSERT_EQ(1u + chain.size() + expected.size(), lines.size()) << paths.out;
    EXPECT_EQ(L"", lines[0]);
    std::vector<std::wstring> shown = pidAndNames(std::vector<std::wstring>(lines.begin() + 1, lines.end()));
    EXPECT_EQ(chain, std::vector<std::wstring>(shown.begin(), shown.begin() + chain.size())) << paths.out;
    EXPECT_EQ(expected, std::vector<std::wstring>(shown.begin() + chain.size(), shown.end())) << paths.out;
    EXPECT_EQ(hexPid(GetCurrentProcessId()), pidOf(shown[chain.size() - 1]));

    // Numbered and counted: the one tree's first line is 1, the count covers every line.
    ShellResult counted = kinfold(L"kfroot /ALL /ANC /N:T /U");
    ASSERT_EQ(0, counted.exitCode) << counted.err;
    // Wine's desktop process may join a tree here, so the lines are not filtered.
    lines = splitLines(counted.out);
    ASSERT_GE(lines.size(), chain.size() + expected.size() + 2) << counted.out;
    size_t treeLines = lines.size() - 2;
    EXPECT_TRUE(startsWith(lines[0], L"  1:  ")) << lines[0];
    for (size_t i = 1; i < treeLines; ++i) {
        EXPECT_FALSE(startsWith(lines[i], L"  ") && lines[i].find(L":  ") == 3) << "one tree, one number: " << lines[i];
    }
    EXPECT_EQ(L"", lines[treeLines]);
    EXPECT_EQ(L"Found " + std::to_wstring(treeLines) + L" processes.", lines[treeLines + 1]);
}

TEST_F(KinfoldAllEndToEnd, WholeSystemShowsEveryProcessOnce)
{
    std::set<std::wstring> before = snapshotPids();
    ShellResult all = kinfold(L"/ALL /A /U");
    std::set<std::wstring> after = snapshotPids();
    ASSERT_EQ(0, all.exitCode) << all.err;
    std::map<std::wstring, int> shown;
    std::vector<std::wstring> lines = splitLines(all.out);
    ASSERT_GE(lines.size(), 3u);
    for (size_t i = 0; i + 2 < lines.size(); ++i) {
        if (!lines[i].empty()) {
            shown[pidOf(lines[i])]++;
        }
    }
    // Processes alive before and after were in kinfold's snapshot too.
    for (const std::wstring& pid : before) {
        if (after.count(pid) != 0) {
            EXPECT_EQ(1, shown[pid]) << pid << "\n" << all.out;
        }
    }
    for (const auto& line : shown) {
        EXPECT_EQ(1, line.second) << line.first << "\n" << all.out;
    }
    EXPECT_EQ(L"Found " + std::to_wstring(shown.size()) + L" processes.", lines.back()) << all.out;
}
