#include "procinfo/names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ServiceList {
    NameMap map;
    int add(uint32_t pid, const std::wstring& name) { return addServiceName(&map, pid, name.c_str()); }
    std::wstring names(uint32_t pid) const { return findName(map, pid); }
};

struct TitleList {
    NameMap map;
    void add(uint32_t pid, const wchar_t* title, const wchar_t* className = L"C", LONG exStyle = 0,
             bool visible = true)
    {
        considerWindowTitle(&map, pid, title, className, exStyle, visible);
    }
    // The title kept for pid; "-" when none.
    std::wstring title(uint32_t pid) const
    {
        const wchar_t* text = findName(map, pid);
        return text != nullptr ? text : L"-";
    }
};

TEST(ServiceNames, JoinsPerProcessAndRefusesPidZeroAndMissingNames)
{
    ServiceList list;
    EXPECT_EQ(0, list.add(500, L"Event Log"));
    EXPECT_EQ(0, list.add(600, L"Plug and Play Service"));
    EXPECT_EQ(0, list.add(500, L"Task Scheduler"));
    EXPECT_EQ(L"Event Log; Task Scheduler", list.names(500));
    EXPECT_EQ(L"Plug and Play Service", list.names(600));

    EXPECT_EQ(-1, list.add(0, L"Stopped Service"));
    EXPECT_EQ(-1, list.add(8, L""));
    EXPECT_EQ(-1, addServiceName(&list.map, 8, NULL));
    EXPECT_EQ(nullptr, findName(list.map, 8));
    EXPECT_EQ(nullptr, findName(list.map, 0));
}

// The field holds 1023 units. A name that would not fit whole is dropped;
// the text already there stays intact and terminated.
TEST(ServiceNames, FullFieldDropsTheNameThatDoesNotFitWhole)
{
    const int tooBig = static_cast<int>(ERROR_INSUFFICIENT_BUFFER);
    const std::wstring first(1000, L'a');
    ServiceList list;
    ASSERT_EQ(0, list.add(44, first));
    EXPECT_EQ(tooBig, list.add(44, std::wstring(22, L'd')));  // one unit too long
    EXPECT_EQ(first, list.names(44));
    EXPECT_EQ(0, list.add(44, std::wstring(21, L'b')));       // 1000 + 2 + 21: exactly fits
    const std::wstring full = first + L"; " + std::wstring(21, L'b');
    EXPECT_EQ(full, list.names(44));
    EXPECT_EQ(tooBig, list.add(44, L"c"));
    EXPECT_EQ(full, list.names(44));

    // The first name of a node obeys the same limit.
    EXPECT_EQ(0, list.add(4, std::wstring(1023, L'x')));
    EXPECT_EQ(tooBig, list.add(8, std::wstring(1024, L'y')));
    EXPECT_EQ(nullptr, findName(list.map, 8));
}

TEST(WindowTitles, ScoreAddsAppWindowNonDialogAndVisible)
{
    EXPECT_EQ(21u, titleScore(WS_EX_APPWINDOW, L"AppClass", true));
    EXPECT_EQ(1u, titleScore(WS_EX_TOOLWINDOW, L"#32770", true));
    EXPECT_EQ(0u, titleScore(0, L"#32770", false));
}

TEST(WindowTitles, SkipsUnnamedShortAndInputMethodWindows)
{
    TitleList list;
    list.add(0, L"No owner");
    list.add(12, L"");
    list.add(12, L"X");
    list.add(12, L"Default IME", L"IME");
    list.add(12, L"MSCTFIME UI", L"MSCTFIME UI");
    EXPECT_TRUE(list.map.empty());
    list.add(12, L"Lower ime", L"ime");  // the class test is case-sensitive
    list.add(16, L"OK");                 // two characters are enough
    EXPECT_EQ(L"Lower ime", list.title(12));
    EXPECT_EQ(L"OK", list.title(16));
    EXPECT_EQ(2u, list.map.size());
}

// A better window replaces the title its process had; a worse or equal one
// changes nothing.
TEST(WindowTitles, BetterWindowReplacesAndTiesKeepTheFirst)
{
    TitleList list;
    list.add(4, L"four hidden", L"C", 0, false);
    list.add(8, L"eight dialog", L"#32770");
    list.add(12, L"twelve hidden", L"C", 0, false);
    list.add(8, L"eight app");
    list.add(8, L"eight second dialog", L"#32770");
    list.add(4, L"four app", L"C", WS_EX_APPWINDOW);
    list.add(4, L"four tie", L"C", WS_EX_APPWINDOW);
    list.add(12, L"twelve shown");
    EXPECT_EQ(L"four app", list.title(4));
    EXPECT_EQ(L"eight app", list.title(8));
    EXPECT_EQ(L"twelve shown", list.title(12));
    EXPECT_EQ(21u, list.map.at(4).score);
}

TEST(WindowTitles, RefusesBadInputAndCapsTheTitle)
{
    TitleList list;
    list.add(4, NULL);
    considerWindowTitle(NULL, 4, L"Nowhere", L"C", 0, true);
    EXPECT_EQ(L"-", list.title(4));
    std::wstring huge(3000, L't');
    list.add(4, huge.c_str());
    EXPECT_EQ(huge.substr(0, WINDOW_TITLE_COUNT - 1), list.title(4));
}

}  // namespace
