#include "commands/root_selection.h"
#include "command_fixtures.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

uint32_t servicesRoot(const std::vector<ProcessRecord>& records)
{
    ProcessTable table;
    fillTable(records, &table);
    return findServicesRoot(&table);
}

uint32_t wildcardRoot(const wchar_t* pattern, const std::vector<ProcessRecord>& records)
{
    ProcessTable table;
    fillTable(records, &table);
    return findWildcardRoot(pattern, table);
}

// Appends count service hosts under parent, with PIDs from firstPid on.
void addHosts(std::vector<ProcessRecord>* records, uint32_t parent, uint32_t count, uint32_t firstPid)
{
    for (uint32_t i = 0; i < count; ++i) {
        records->push_back(makeRecord(firstPid + 4 * i, parent, L"svchost.exe"));
    }
}

TEST(ServicesRoot, FirstParentOfFiveServiceHostsInTableOrder)
{
    std::vector<ProcessRecord> records = {makeRecord(0x24, 0x20, L"services.exe")};
    addHosts(&records, 0x24, 4, 0x100);
    addHosts(&records, 0x100, 4, 0x200);  // hosts under another parent do not add up
    EXPECT_EQ(0u, servicesRoot(records)) << "four service hosts are not enough";
    addHosts(&records, 0x14, 5, 0x300);
    addHosts(&records, 0x24, 1, 0x400);
    EXPECT_EQ(0x14u, servicesRoot(records)) << "0x14 reached five first";

    // The name must match exactly, and a parent of 0 is no parent.
    records.clear();
    addHosts(&records, 0x24, 4, 0x100);
    records.push_back(makeRecord(0x200, 0x24, L"SVCHOST.EXE"));
    records.push_back(makeRecord(0x204, 0x24, L"svchost.exe.bak"));
    addHosts(&records, 0, 6, 0x300);
    EXPECT_EQ(0u, servicesRoot(records));

    EXPECT_EQ(0u, findServicesRoot(nullptr));
    EXPECT_EQ(0u, servicesRoot({}));
}

// Hosts whose parent PID now belongs to a process younger than they are
// count for nobody, even when they come first in the table.
TEST(ServicesRoot, HostsOfAReusedParentPidAreNotCounted)
{
    std::vector<PROCESSENTRY32W> entries;
    std::map<uint32_t, uint64_t> times;
    auto add = [&](uint32_t pid, uint32_t parent, const wchar_t* name, uint64_t time) {
        entries.push_back(makeRecord(pid, parent, name).entry);
        times[pid] = time;
    };
    add(0x50, 0x8, L"updater.exe", 900);
    for (uint32_t i = 0; i < 5; ++i) {
        add(0x100 + 4 * i, 0x50, L"svchost.exe", 100 + i);
    }
    add(0x24, 0x8, L"services.exe", 50);
    for (uint32_t i = 0; i < 5; ++i) {
        add(0x200 + 4 * i, 0x24, L"svchost.exe", 60 + i);
    }
    struct Times {
        static bool read(void* context, uint32_t pid, unsigned, ProcessFacts* facts, wchar_t*)
        {
            const std::map<uint32_t, uint64_t>& known = *static_cast<const std::map<uint32_t, uint64_t>*>(context);
            auto time = known.find(pid);
            if (time == known.end()) return false;
            facts->creationTime = time->second;
            return true;
        }
    };
    ProcessTable table;
    TableOptions options = {false, false, false, false};
    ASSERT_EQ(0, fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), options,
                                  ProcessProbe{Times::read, &times}, &table));
    EXPECT_EQ(0x24u, findServicesRoot(&table));
}

TEST(ServicesRoot, ParentsMetAfterSixteenOthersAreNotCounted)
{
    std::vector<ProcessRecord> records;
    for (uint32_t parent = 1; parent <= 16; ++parent) {
        addHosts(&records, 4 * parent, 1, 0x1000 + 4 * parent);
    }
    addHosts(&records, 0x400, 6, 0x2000);
    EXPECT_EQ(0u, servicesRoot(records));
    addHosts(&records, 4 * 16, 4, 0x3000);  // the sixteenth candidate still counts
    EXPECT_EQ(4u * 16, servicesRoot(records));
}

// --- wildcard root ---------------------------------------------------------

TEST(WildcardRoot, BareNameGetsTheExecutableExtension)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"cmdx.exe"), makeRecord(0x14, 0, L"cmd"),
                                          makeRecord(0x18, 0, L"CMD.EXE"), makeRecord(0x1C, 0, L"cmd.exe.old")};
    EXPECT_EQ(0x18u, wildcardRoot(L"cmd", records)) << "cmd means cmd.exe, in any letter case";
    EXPECT_EQ(0x10u, wildcardRoot(L"cmd*", records)) << "a trailing * keeps the pattern as it is";
    EXPECT_EQ(0x1Cu, wildcardRoot(L"cmd.exe.old", records)) << "a pattern with a dot gets no extension";
    EXPECT_EQ(0x18u, wildcardRoot(L"cm?", records)) << "cm? becomes cm?.exe and skips the bare name";
}

TEST(WildcardRoot, ExecutableNamePassBeforeDisplayNamePass)
{
    uint32_t self = GetCurrentProcessId();
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"svchost.exe", L"Editor"),
                                          makeRecord(0x14, 0x10, L"notepad.exe", L"Untitled - Notepad"),
                                          makeRecord(0x18, 0x10, L"editor.exe"),
                                          makeRecord(self, 0, L"kfshell.exe", L"Shell Window"),
                                          makeRecord(self + 4, self, L"other.exe", L"Other Window")};
    EXPECT_EQ(0x18u, wildcardRoot(L"editor", records)) << "the name pass wins over an earlier display name";
    // The display-name pass compares the pattern without the added extension.
    EXPECT_EQ(0x14u, wildcardRoot(L"untitled - notepad", records));
    // The shell takes part in the name pass only.
    EXPECT_EQ(self, wildcardRoot(L"kfshell", records));
    EXPECT_EQ(0u, wildcardRoot(L"Shell Window", records));
    EXPECT_EQ(self + 4, wildcardRoot(L"* Window", records));
}

TEST(WildcardRoot, DotNothingAndTheLongestPattern)
{
    EXPECT_EQ(GetCurrentProcessId(), wildcardRoot(L".", {}));
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"a.exe")};
    EXPECT_EQ(0u, wildcardRoot(nullptr, records));
    EXPECT_EQ(0u, wildcardRoot(L"", records));
    EXPECT_EQ(0u, wildcardRoot(L"a", {}));
    // The longest pattern the splitter can deliver leaves no room for ".exe".
    EXPECT_EQ(0u, wildcardRoot(std::wstring(8191, L'a').c_str(), records));
    EXPECT_EQ(0u, wildcardRoot((std::wstring(8190, L'?') + L"*").c_str(), records));
}

// --- shell window ----------------------------------------------------------

// The answer follows the number rule of PIDs: a leading 0 is no octal
// ("010" read with base detection names window 8), and a number past 32
// bits names no window rather than a cut one.
TEST(ShellWindow, AnswerIsReadByTheNumberRuleOfPids)
{
    const struct {
        const wchar_t* answer;
        uintptr_t window;
    } cases[] = {{L"123456", 123456}, {L"0x1F2e", 0x1F2E}, {L"010", 10},          {L"42 and more", 42},
                 {L"", 0},            {L"x123", 0},        {L" 123", 0},          {L"0xFFFFFFFF", 0xFFFFFFFF},
                 {L"0x100000000", 0}};
    for (const auto& c : cases) {
        gFakeHost.ipcAnswer = c.answer;
        EXPECT_EQ(reinterpret_cast<HWND>(c.window), findShellWindow()) << c.answer;
    }
}

// --- Explorer window -------------------------------------------------------

struct OwnWindow {
    HWND window = nullptr;
    ATOM atom = 0;
    OwnWindow(const wchar_t* className)
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        atom = RegisterClassW(&windowClass);
        if (atom != 0) {
            window = CreateWindowExW(0, className, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                     windowClass.hInstance, nullptr);
        }
    }
    ~OwnWindow()
    {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        if (atom != 0) {
            UnregisterClassW(MAKEINTATOM(atom), GetModuleHandleW(nullptr));
        }
    }
};

TEST(ExplorerWindow, FoundOnlyByExactClassName)
{
    if (findExplorerWindow() != nullptr) {
        GTEST_SKIP() << "this desktop already has an Explorer window";
    }
    {
        OwnWindow lowerCase(L"progman");
        if (lowerCase.window == nullptr) {
            GTEST_SKIP() << "no windows on this machine (no graphics driver)";
        }
        EXPECT_EQ(nullptr, findExplorerWindow()) << "the class name is compared with letter case";
    }
    OwnWindow desktop(L"Progman");
    ASSERT_NE(nullptr, desktop.window);
    EXPECT_EQ(desktop.window, findExplorerWindow());
}

}  // namespace
