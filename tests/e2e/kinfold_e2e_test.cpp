// KINFOLD end to end: kfshell.exe with the built plugin, against processes
// the tests start themselves.
#include "process_tree.h"
#include "shell_run.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::wstring PREFIX = L"Kinfold plugin: ";
const wchar_t BRANCH[] = L"\x251C\x2500\x2500";  // ├──
const wchar_t LAST_BRANCH[] = L"\x2514\x2500\x2500";  // └──
const wchar_t CONTINUATION[] = L"\x2502  ";  // │

// The tree as the output lines after the empty first line, each cut to its
// prefix, PID and executable name; what follows the name is left out. The
// root's children are indented by three spaces, as the last of its siblings.
std::vector<std::wstring> expectedTree(const ProcessTree& tree, const std::wstring& rootLine)
{
    // Siblings come in PID order.
    uint32_t branch = tree.pid(TREE_BRANCH);
    uint32_t window = tree.pid(TREE_WINDOW);
    std::wstring branchLine = hexPid(branch) + L"  kfbranch";
    std::wstring leafLine = hexPid(tree.pid(TREE_LEAF)) + L"  kfleaf";
    std::wstring windowLine = hexPid(window) + L"  kfwindow";
    const std::wstring indent = L"   ";
    if (branch < window) {
        return {rootLine, indent + BRANCH + branchLine, indent + CONTINUATION + LAST_BRANCH + leafLine,
                indent + LAST_BRANCH + windowLine};
    }
    return {rootLine, indent + BRANCH + windowLine, indent + LAST_BRANCH + branchLine,
            indent + L"   " + LAST_BRANCH + leafLine};
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

// Checks the lines of a tree printed after its empty line; extra columns
// after a name are allowed when separated by blanks. Returns the lines.
std::vector<std::wstring> expectTree(const std::vector<std::wstring>& expected, const ShellResult& result)
{
    std::vector<std::wstring> lines = outputLines(result);
    EXPECT_GE(lines.size(), expected.size() + 1) << narrow(result.out);
    if (lines.size() < expected.size() + 1) {
        return lines;
    }
    EXPECT_EQ(L"", lines[0]);
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::wstring& line = lines[i + 1];
        EXPECT_TRUE(line == expected[i] || startsWith(line, expected[i] + L" "))
            << "line " << i + 1 << ": " << narrow(line) << "\nexpected: " << narrow(expected[i]);
    }
    return lines;
}

ShellResult kinfold(const std::wstring& arguments, bool toFile = false)
{
    ShellOptions options;
    options.stdoutToFile = toFile;
    options.timeoutMs = 20000;
    return runShellLine(L"kinfold " + arguments, options);
}

class KinfoldEndToEnd : public ::testing::Test {
protected:
    ProcessTree tree;

    void SetUp() override
    {
        ASSERT_TRUE(tree.start()) << narrow(tree.error());
    }
};

// A copy of the sleeper program under another name, running while the object lives.
class RenamedSleeper {
public:
    explicit RenamedSleeper(const std::wstring& path) : path_(path)
    {
        if (CopyFileW(ProcessTree::programDirectory().append(L"kfsleeper.exe").c_str(), path.c_str(), FALSE)) {
            process_.reset(new BackgroundProcess(path, {}));
        }
    }
    ~RenamedSleeper()
    {
        process_.reset();
        // The image stays locked for a moment after the process ends.
        for (int i = 0; i < 50 && !DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i) {
            Sleep(20);
        }
    }
    uint32_t pid() const { return process_ && process_->running() ? process_->pid() : 0; }

private:
    std::wstring path_;
    std::unique_ptr<BackgroundProcess> process_;
};

std::wstring tempDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, path);
    return std::wstring(path, length);
}

}  // namespace

TEST_F(KinfoldEndToEnd, TreeOfAGivenPidInDecimalOrHex)
{
    uint32_t root = tree.pid(TREE_ROOT);
    ShellResult decimal = kinfold(std::to_wstring(root));
    ASSERT_FALSE(decimal.timedOut);
    EXPECT_EQ(0, decimal.exitCode) << narrow(decimal.err);
    EXPECT_EQ(L"", decimal.err);
    EXPECT_EQ(5u, expectTree(expectedTree(tree, hexPid(root) + L"  kfroot"), decimal).size())
        << narrow(decimal.out);
    if (tree.hasWindow()) {
        EXPECT_TRUE(contains(decimal.out, tree.windowTitle())) << narrow(decimal.out);
    }

    wchar_t hex[16];
    wsprintfW(hex, L"0x%x", root);
    EXPECT_EQ(decimal.out, kinfold(hex).out);
}

TEST_F(KinfoldEndToEnd, EndedParentStandsAtTheTopOfItsChildren)
{
    uint32_t root = tree.pid(TREE_ROOT);
    ASSERT_TRUE(tree.stopRole(TREE_ROOT));
    ShellResult r = kinfold(std::to_wstring(root) + L" /U /Z");
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    std::vector<std::wstring> lines = expectTree(expectedTree(tree, hexPid(root) + L"  * PROCESS HAS ENDED *"), r);
    ASSERT_EQ(7u, lines.size()) << narrow(r.out);
    EXPECT_EQ(L"", lines[5]);
    EXPECT_EQ(L"Found 3 processes.", lines[6]);
}

TEST_F(KinfoldEndToEnd, WildcardRootByExecutableName)
{
    for (const wchar_t* pattern : {L"kfbranch", L"KFBR*", L"kfbranch.exe"}) {
        ShellResult r = kinfold(pattern);
        EXPECT_EQ(0, r.exitCode) << narrow(r.err);
        std::vector<std::wstring> lines = expectTree(
            {hexPid(tree.pid(TREE_BRANCH)) + L"  kfbranch", L"   " + (LAST_BRANCH + hexPid(tree.pid(TREE_LEAF))) + L"  kfleaf"},
            r);
        EXPECT_EQ(3u, lines.size());
    }
    ShellResult none = kinfold(L"kfbranch.com");
    EXPECT_EQ(2, none.exitCode);
    EXPECT_EQ(L"", none.out);
    EXPECT_TRUE(startsWith(none.err, PREFIX + L"No process matching")) << narrow(none.err);
}

TEST_F(KinfoldEndToEnd, ExecutableNamePassComesBeforeWindowTitles)
{
    if (!tree.hasWindow()) {
        GTEST_SKIP() << "no windows on this machine";
    }
    // The title "Kinfold tree window TOKEN" belongs to kfwindow; a process
    // started later has an executable name that fits the same pattern.
    std::wstring title = tree.windowTitle();
    std::wstring pattern = title;
    std::replace(pattern.begin(), pattern.end(), L' ', L'?');
    std::wstring exeName = pattern;
    std::replace(exeName.begin(), exeName.end(), L'?', L'_');
    RenamedSleeper sleeper(tempDirectory() + exeName + L"_copy.exe");
    ASSERT_NE(0u, sleeper.pid());

    ShellResult r = kinfold(pattern + L"*");
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_EQ(2u, lines.size()) << narrow(r.out);
    EXPECT_TRUE(startsWith(lines[1], hexPid(sleeper.pid()) + L"  " + exeName)) << narrow(lines[1]);

    // Without the "*" the name pass looks for TOKEN.exe and finds nothing;
    // the title pass then finds the window's owner.
    r = kinfold(pattern + L" /N:T");
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    lines = outputLines(r);
    ASSERT_EQ(1u, lines.size()) << narrow(r.out);
    EXPECT_TRUE(contains(lines[0], hexPid(tree.pid(TREE_WINDOW)) + L"  kfwindow")) << narrow(lines[0]);
}

TEST_F(KinfoldEndToEnd, RedirectedOutputIsPlainAndUnpaged)
{
    // Highlighting and a pause every 3 lines are asked for, but a file gets
    // neither colours nor a prompt (which would wait for a key until the time-out).
    ShellResult r = kinfold(std::to_wstring(tree.pid(TREE_ROOT)) + L" /P:3 /H:kf*", true);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    EXPECT_EQ(5u, expectTree(expectedTree(tree, hexPid(tree.pid(TREE_ROOT)) + L"  kfroot"), r).size())
        << narrow(r.out);
    for (wchar_t ch : r.out) {
        EXPECT_FALSE(ch == 0x1B || (ch >= 17 && ch <= 22)) << "colour code " << static_cast<int>(ch);
    }
}

TEST(KinfoldWidth, RedirectedOutputIsOneHundredColumnsWide)
{
    // A full path far longer than the line.
    std::wstring directory = tempDirectory() + L"kinfold_e2e_" + std::wstring(60, L'w');
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    {
        RenamedSleeper sleeper(directory + L"\\" + std::wstring(40, L'p') + L".exe");
        ASSERT_NE(0u, sleeper.pid());
        for (bool toFile : {true, false}) {
            ShellResult r = kinfold(std::to_wstring(sleeper.pid()) + L" /F", toFile);
            EXPECT_EQ(0, r.exitCode) << narrow(r.err);
            std::vector<std::wstring> lines = splitLines(r.out);
            ASSERT_EQ(2u, lines.size()) << narrow(r.out);
            EXPECT_EQ(100u, lines[1].size()) << narrow(lines[1]);
            EXPECT_TRUE(startsWith(lines[1], hexPid(sleeper.pid()) + L"  ")) << narrow(lines[1]);
        }
    }
    RemoveDirectoryW(directory.c_str());
}

TEST(KinfoldRoots, PidThatNobodyHas)
{
    ShellResult r = kinfold(L"4294967280");
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ(L"", r.out);
    EXPECT_TRUE(startsWith(r.err, PREFIX)) << narrow(r.err);
    EXPECT_TRUE(contains(r.err, L"0xFFFFFFF0 (4294967280)")) << narrow(r.err);
}

TEST(KinfoldRoots, ExplorerAndShellWindowSwitches)
{
    // No Progman window exists here.
    ShellResult r = kinfold(L"/E");
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ(L"", r.out);
    EXPECT_TRUE(startsWith(r.err, PREFIX + L"Explorer ")) << narrow(r.err);

    // The shell runs without a console window here: /TC falls back to the
    // shell itself, like no argument at all.
    ShellResult plain = kinfold(L"/N:T");
    ShellResult shellWindow = kinfold(L"/TC /N:T");
    for (const ShellResult* result : {&plain, &shellWindow}) {
        EXPECT_EQ(0, result->exitCode) << narrow(result->err);
        EXPECT_EQ(L"", result->err);
        std::vector<std::wstring> lines = splitLines(result->out);
        ASSERT_EQ(1u, lines.size()) << narrow(result->out);
        EXPECT_TRUE(contains(lines[0], L"  kfshell")) << narrow(lines[0]);
    }
}

TEST(KinfoldRoots, HelpText)
{
    ShellResult r = kinfold(L"/?");
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(L"", r.err);
    EXPECT_TRUE(startsWith(r.out, L"List descendants of a given process.\n\nKINFOLD /A /C")) << narrow(r.out);
    EXPECT_TRUE(contains(r.out, L"If omitted, it defaults to the current shell.")) << narrow(r.out);
}

namespace {

uint32_t servicesPid()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    uint32_t pid = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && pid == 0; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"services.exe") == 0) {
            pid = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return pid;
}

// Starts services that Wine hosts in svchost.exe, and stops on destruction
// those it started.
class StartedServices {
public:
    explicit StartedServices(std::initializer_list<const wchar_t*> names)
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager_ == nullptr) {
            return;
        }
        for (const wchar_t* name : names) {
            SC_HANDLE service = OpenServiceW(manager_, name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
            if (service == nullptr) {
                continue;
            }
            if (StartServiceW(service, 0, nullptr)) {
                started_.push_back(service);
                waitFor(service, SERVICE_RUNNING);
            } else {
                CloseServiceHandle(service);
            }
        }
    }
    ~StartedServices()
    {
        for (SC_HANDLE service : started_) {
            SERVICE_STATUS status = {};
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            waitFor(service, SERVICE_STOPPED);
            CloseServiceHandle(service);
        }
        if (manager_ != nullptr) {
            CloseServiceHandle(manager_);
        }
    }

private:
    SC_HANDLE manager_ = nullptr;
    std::vector<SC_HANDLE> started_;

    static void waitFor(SC_HANDLE service, DWORD state)
    {
        for (int i = 0; i < 100; ++i) {
            SERVICE_STATUS status = {};
            if (!QueryServiceStatus(service, &status) || status.dwCurrentState == state) {
                return;
            }
            Sleep(50);
        }
    }
};

}  // namespace

TEST(KinfoldRoots, ServicesRoot)
{
    uint32_t services = servicesPid();
    if (services == 0) {
        GTEST_SKIP() << "no services.exe";
    }
    // /SVC also overrides a root argument.
    ShellResult before = kinfold(L"/SVC 4294967280 /N:T");
    if (before.exitCode == 2) {
        EXPECT_EQ(L"", before.out);
        EXPECT_TRUE(startsWith(before.err, PREFIX + L"Services root")) << narrow(before.err);
    }

    // Four more service hosts give services.exe the five that make it the root.
    StartedServices started({L"Schedule", L"BITS", L"FontCache", L"StiSvc"});
    ShellResult r = kinfold(L"/SVC 4294967280 /N:T");
    if (r.exitCode == 2 && before.exitCode == 2) {
        GTEST_SKIP() << "the service hosts could not be started";
    }
    EXPECT_EQ(0, r.exitCode) << narrow(r.err);
    std::vector<std::wstring> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 6u) << narrow(r.out);
    EXPECT_TRUE(contains(lines[0], hexPid(services) + L"  services")) << narrow(lines[0]);
    size_t hosts = std::count_if(lines.begin(), lines.end(),
                                 [](const std::wstring& line) { return contains(line, L"  svchost"); });
    EXPECT_GE(hosts, 5u) << narrow(r.out);
}
