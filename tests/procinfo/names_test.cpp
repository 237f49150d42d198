#include "procinfo/names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ServiceList {
    ServiceNameNode* head = NULL;
    ~ServiceList() { freeServiceNames(&head); }
    int add(uint32_t pid, const std::wstring& name) { return addServiceName(&head, pid, name.c_str()); }
    std::wstring names(uint32_t pid) const { return findServiceNames(head, pid)->names; }
};

struct TitleList {
    WindowTitleNode* head = NULL;
    ~TitleList() { freeWindowTitles(&head); }
    BOOL add(uint32_t pid, const wchar_t* title, const wchar_t* className = L"C", LONG exStyle = 0,
             bool visible = true)
    {
        return considerWindowTitle(&head, pid, title, className, exStyle, visible);
    }
    // The titles in list order; empty if a next/prev pair disagrees.
    std::vector<std::wstring> titles() const
    {
        std::vector<std::wstring> result;
        const WindowTitleNode* previous = NULL;
        for (const WindowTitleNode* node = head; node != NULL; previous = node, node = node->next) {
            if (node->prev != previous) return {};
            result.push_back(node->title);
        }
        return result;
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
    EXPECT_EQ(600u, list.head->next->pid);  // one node per PID, first seen first

    EXPECT_EQ(-1, list.add(0, L"Stopped Service"));
    EXPECT_EQ(-1, list.add(8, L""));
    EXPECT_EQ(-1, addServiceName(&list.head, 8, NULL));
    EXPECT_EQ(nullptr, findServiceNames(list.head, 8));
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
    EXPECT_EQ(nullptr, findServiceNames(list.head, 8));
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
    EXPECT_TRUE(list.add(0, L"No owner"));
    EXPECT_TRUE(list.add(12, L""));
    EXPECT_TRUE(list.add(12, L"X"));
    EXPECT_TRUE(list.add(12, L"Default IME", L"IME"));
    EXPECT_TRUE(list.add(12, L"MSCTFIME UI", L"MSCTFIME UI"));
    EXPECT_EQ(nullptr, list.head);
    EXPECT_TRUE(list.add(12, L"Lower ime", L"ime"));  // the class test is case-sensitive
    EXPECT_TRUE(list.add(16, L"OK"));                 // two characters are enough
    EXPECT_EQ((std::vector<std::wstring>{L"Lower ime", L"OK"}), list.titles());
}

// A better window replaces the node where it stands (head, middle, tail);
// a worse or equal one changes nothing.
TEST(WindowTitles, BetterWindowReplacesInPlaceAndTiesKeepTheFirst)
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
    EXPECT_EQ((std::vector<std::wstring>{L"four app", L"eight app", L"twelve shown"}), list.titles());
    EXPECT_EQ(21u, list.head->score);
}

TEST(WindowTitles, NewNodeRefusesBadInputAndCapsTheTitle)
{
    EXPECT_EQ(nullptr, newWindowTitleNode(4, NULL, 1));
    std::wstring huge(3000, L't');
    WindowTitleNode* capped = newWindowTitleNode(4, huge.c_str(), 0);
    ASSERT_NE(nullptr, capped);
    EXPECT_EQ(static_cast<size_t>(WINDOW_TITLE_COUNT - 1), wcslen(capped->title));
    freeWindowTitles(&capped);
    EXPECT_EQ(nullptr, capped);
}

}  // namespace
