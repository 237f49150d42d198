#include "commands/root_selection.h"

#include "fake_host.h"

#include <gtest/gtest.h>
#include <wchar.h>

#include <vector>

namespace {

ProcessRecord makeRecord(uint32_t pid, uint32_t parentPid, const wchar_t* name,
                         const wchar_t* displayName = nullptr)
{
    ProcessRecord record = {};
    record.entry.dwSize = sizeof(record.entry);
    record.entry.th32ProcessID = pid;
    record.entry.th32ParentProcessID = parentPid;
    wcsncpy(record.entry.szExeFile, name, MAX_PATH - 1);
    record.displayName = displayName;
    return record;
}

uint32_t servicesRoot(const std::vector<ProcessRecord>& records)
{
    return findServicesRoot(records.data(), static_cast<uint32_t>(records.size()));
}

uint32_t wildcardRoot(const wchar_t* pattern, const std::vector<ProcessRecord>& records)
{
    return findWildcardRoot(pattern, records.data(), static_cast<uint32_t>(records.size()));
}

// --- services root ---------------------------------------------------------

TEST(ServicesRoot, FifthServiceHostUnderOneParentDecides)
{
    std::vector<ProcessRecord> records = {makeRecord(0x20, 0, L"wininit.exe"),
                                          makeRecord(0x24, 0x20, L"services.exe")};
    for (uint32_t i = 0; i < 4; ++i) {
        records.push_back(makeRecord(0x100 + 4 * i, 0x24, L"svchost.exe"));
        records.push_back(makeRecord(0x200 + 4 * i, 0x100, L"svchost.exe"));  // hosts under another parent
    }
    EXPECT_EQ(0u, servicesRoot(records)) << "four service hosts are not enough";
    records.push_back(makeRecord(0x300, 0x24, L"svchost.exe"));
    EXPECT_EQ(0x24u, servicesRoot(records));
}

TEST(ServicesRoot, FirstParentToReachFiveWinsInTableOrder)
{
    std::vector<ProcessRecord> records;
    for (uint32_t i = 0; i < 4; ++i) {
        records.push_back(makeRecord(0x100 + 4 * i, 0x10, L"svchost.exe"));
    }
    for (uint32_t i = 0; i < 5; ++i) {
        records.push_back(makeRecord(0x200 + 4 * i, 0x14, L"svchost.exe"));
    }
    records.push_back(makeRecord(0x300, 0x10, L"svchost.exe"));
    EXPECT_EQ(0x14u, servicesRoot(records));
}

TEST(ServicesRoot, NameMustMatchExactlyAndParentMustBeKnown)
{
    std::vector<ProcessRecord> records;
    for (uint32_t i = 0; i < 4; ++i) {
        records.push_back(makeRecord(0x100 + 4 * i, 0x24, L"svchost.exe"));
    }
    records.push_back(makeRecord(0x200, 0x24, L"SVCHOST.EXE"));
    records.push_back(makeRecord(0x204, 0x24, L"svchost.exe.bak"));
    EXPECT_EQ(0u, servicesRoot(records));

    // Processes started without a parent report 0; that is no services root.
    std::vector<ProcessRecord> orphans;
    for (uint32_t i = 0; i < 6; ++i) {
        orphans.push_back(makeRecord(0x100 + 4 * i, 0, L"svchost.exe"));
    }
    EXPECT_EQ(0u, servicesRoot(orphans));
}

TEST(ServicesRoot, ParentsMetAfterSixteenOthersAreNotCounted)
{
    std::vector<ProcessRecord> records;
    for (uint32_t parent = 1; parent <= 16; ++parent) {
        records.push_back(makeRecord(0x1000 + 4 * parent, 4 * parent, L"svchost.exe"));
    }
    for (uint32_t i = 0; i < 6; ++i) {
        records.push_back(makeRecord(0x2000 + 4 * i, 0x400, L"svchost.exe"));
    }
    EXPECT_EQ(0u, servicesRoot(records));

    // The sixteenth candidate still counts.
    for (uint32_t i = 0; i < 4; ++i) {
        records.push_back(makeRecord(0x3000 + 4 * i, 4 * 16, L"svchost.exe"));
    }
    EXPECT_EQ(4u * 16, servicesRoot(records));
}

TEST(ServicesRoot, MissingOrEmptyTable)
{
    EXPECT_EQ(0u, findServicesRoot(nullptr, 5));
    ProcessRecord one = makeRecord(8, 4, L"svchost.exe");
    EXPECT_EQ(0u, findServicesRoot(&one, 0));
}

// --- wildcard root ---------------------------------------------------------

TEST(WildcardRoot, DotIsTheShellWithoutLookingAtTheTable)
{
    EXPECT_EQ(GetCurrentProcessId(), findWildcardRoot(L".", nullptr, 0));
}

TEST(WildcardRoot, BareNameGetsTheExecutableExtension)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"cmdx.exe"), makeRecord(0x14, 0, L"cmd"),
                                          makeRecord(0x18, 0, L"CMD.EXE"), makeRecord(0x1C, 0, L"cmd.exe.old")};
    EXPECT_EQ(0x18u, wildcardRoot(L"cmd", records)) << "cmd means cmd.exe, in any letter case";
    EXPECT_EQ(0x10u, wildcardRoot(L"cmd*", records)) << "a trailing * keeps the pattern as it is";
    EXPECT_EQ(0x1Cu, wildcardRoot(L"cmd.exe.old", records)) << "a pattern with a dot gets no extension";
    EXPECT_EQ(0x18u, wildcardRoot(L"cm?", records)) << "cm? becomes cm?.exe and skips the bare name";
}

TEST(WildcardRoot, ExecutableNamePassBeatsEarlierDisplayName)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"svchost.exe", L"Editor"),
                                          makeRecord(0x14, 0x10, L"notepad.exe", L"Untitled - Notepad"),
                                          makeRecord(0x18, 0x10, L"editor.exe")};
    EXPECT_EQ(0x18u, wildcardRoot(L"editor", records));
    // The display-name pass compares the pattern without the added extension.
    EXPECT_EQ(0x10u, wildcardRoot(L"Edit*", std::vector<ProcessRecord>{records[0], records[1]}));
    EXPECT_EQ(0x14u, wildcardRoot(L"untitled - notepad", records));
    EXPECT_EQ(0u, wildcardRoot(L"nothing*", records));
}

TEST(WildcardRoot, ShellTakesPartInTheNamePassOnly)
{
    uint32_t self = GetCurrentProcessId();
    std::vector<ProcessRecord> records = {makeRecord(self, 0, L"kfshell.exe", L"Shell Window"),
                                          makeRecord(self + 4, self, L"other.exe", L"Other Window")};
    EXPECT_EQ(self, wildcardRoot(L"kfshell", records));
    EXPECT_EQ(0u, wildcardRoot(L"Shell Window", records));
    EXPECT_EQ(self + 4, wildcardRoot(L"* Window", records));
}

TEST(WildcardRoot, NothingToMatch)
{
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"a.exe")};
    EXPECT_EQ(0u, wildcardRoot(nullptr, records));
    EXPECT_EQ(0u, wildcardRoot(L"", records));
    EXPECT_EQ(0u, findWildcardRoot(L"a", nullptr, 1));
    EXPECT_EQ(0u, findWildcardRoot(L"a", records.data(), 0));
}

TEST(WildcardRoot, LongestPatternStaysInsideItsBuffer)
{
    // The longest pattern the splitter can deliver leaves no room for ".exe".
    std::wstring longName(8191, L'a');
    std::vector<ProcessRecord> records = {makeRecord(0x10, 0, L"a.exe")};
    EXPECT_EQ(0u, wildcardRoot(longName.c_str(), records));
    std::wstring longStar(8190, L'?');
    longStar += L"*";
    EXPECT_EQ(0u, wildcardRoot(longStar.c_str(), records));
}

// --- shell window ----------------------------------------------------------

TEST(ShellWindow, AnswerIsReadAsNumberWithBaseDetection)
{
    gFakeHost.ipcAnswer = L"123456";
    EXPECT_EQ(reinterpret_cast<HWND>(123456), findShellWindow());
    gFakeHost.ipcAnswer = L"0x1F2e";
    EXPECT_EQ(reinterpret_cast<HWND>(0x1F2E), findShellWindow());
    gFakeHost.ipcAnswer = L"010";
    EXPECT_EQ(reinterpret_cast<HWND>(8), findShellWindow());
    gFakeHost.ipcAnswer = L"42 and more";
    EXPECT_EQ(reinterpret_cast<HWND>(42), findShellWindow());
}

TEST(ShellWindow, NoNumberNoWindow)
{
    gFakeHost.ipcAnswer = L"";
    EXPECT_EQ(nullptr, findShellWindow());
    gFakeHost.ipcAnswer = L"x123";
    EXPECT_EQ(nullptr, findShellWindow());
    gFakeHost.ipcAnswer = L" 123";
    EXPECT_EQ(nullptr, findShellWindow());
}

// --- Explorer window -------------------------------------------------------

LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

struct OwnWindow {
    HWND window = nullptr;
    ATOM atom = 0;
    OwnWindow(const wchar_t* className)
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = plainWindowProc;
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
