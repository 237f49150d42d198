#include "procinfo/names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ServiceList {
    ServiceNameNode* head = NULL;
    ~ServiceList() { freeServiceNames(&head); }
};

struct TitleList {
    WindowTitleNode* head = NULL;
    ~TitleList() { freeWindowTitles(&head); }

    BOOL add(uint32_t pid, const wchar_t* title, const wchar_t* className = L"AppClass",
             LONG exStyle = 0, bool visible = true)
    {
        return considerWindowTitle(&head, pid, title, className, exStyle, visible);
    }
    std::vector<std::wstring> titles() const
    {
        std::vector<std::wstring> result;
        for (const WindowTitleNode* node = head; node != NULL; node = node->next) {
            result.push_back(node->title);
        }
        return result;
    }
    // Every next/prev pair agrees and the head has no prev.
    bool linksConsistent() const
    {
        const WindowTitleNode* previous = NULL;
        for (const WindowTitleNode* node = head; node != NULL; node = node->next) {
            if (node->prev != previous) {
                return false;
            }
            previous = node;
        }
        return true;
    }
};

TEST(ServiceNames, JoinsNamesPerProcessInArrivalOrder)
{
    ServiceList list;
    EXPECT_EQ(0, addServiceName(&list.head, 500, L"Event Log"));
    EXPECT_EQ(0, addServiceName(&list.head, 600, L"Plug and Play Service"));
    EXPECT_EQ(0, addServiceName(&list.head, 500, L"Remote Procedure Call (RPC)"));
    EXPECT_EQ(0, addServiceName(&list.head, 500, L"Task Scheduler"));

    ASSERT_NE(nullptr, findServiceNames(list.head, 500));
    EXPECT_STREQ(L"Event Log; Remote Procedure Call (RPC); Task Scheduler",
                 findServiceNames(list.head, 500)->names);
    EXPECT_STREQ(L"Plug and Play Service", findServiceNames(list.head, 600)->names);
    // One node per PID, in first-seen order.
    EXPECT_EQ(500u, list.head->pid);
    EXPECT_EQ(600u, list.head->next->pid);
    EXPECT_EQ(nullptr, list.head->next->next);
    EXPECT_EQ(nullptr, findServiceNames(list.head, 0));
    EXPECT_EQ(nullptr, findServiceNames(list.head, 700));
}

TEST(ServiceNames, RefusesPidZeroAndMissingNames)
{
    ServiceList list;
    EXPECT_EQ(-1, addServiceName(&list.head, 0, L"Stopped Service"));
    EXPECT_EQ(-1, addServiceName(&list.head, 8, NULL));
    EXPECT_EQ(-1, addServiceName(&list.head, 8, L""));
    EXPECT_EQ(-1, addServiceName(NULL, 8, L"x"));
    EXPECT_EQ(nullptr, list.head);
}

// The field holds 1023 units of text. A name that would not fit whole is
// dropped; the text already there stays intact and terminated.
TEST(ServiceNames, FullFieldDropsTheNameThatDoesNotFitWhole)
{
    ServiceList list;
    std::wstring first(1000, L'a');
    ASSERT_EQ(0, addServiceName(&list.head, 44, first.c_str()));

    // 1000 + "; " + 21 = 1023: exactly fits.
    std::wstring fits(21, L'b');
    EXPECT_EQ(0, addServiceName(&list.head, 44, fits.c_str()));
    std::wstring expected = first + L"; " + fits;
    EXPECT_EQ(expected, std::wstring(list.head->names));

    // Full: even one character more is refused, and the field is unchanged.
    EXPECT_EQ(static_cast<int>(ERROR_INSUFFICIENT_BUFFER), addServiceName(&list.head, 44, L"c"));
    EXPECT_EQ(expected, std::wstring(list.head->names));

    // One unit too long for a field with room left: dropped, not cut.
    ServiceList other;
    ASSERT_EQ(0, addServiceName(&other.head, 48, first.c_str()));
    std::wstring tooLong(22, L'd');
    EXPECT_EQ(static_cast<int>(ERROR_INSUFFICIENT_BUFFER),
              addServiceName(&other.head, 48, tooLong.c_str()));
    EXPECT_EQ(first, std::wstring(other.head->names));
    // A shorter name after it still joins.
    EXPECT_EQ(0, addServiceName(&other.head, 48, L"short"));
    EXPECT_EQ(first + L"; short", std::wstring(other.head->names));
}

TEST(ServiceNames, FirstNameOfANodeMustFitToo)
{
    ServiceList list;
    std::wstring longest(1023, L'x');
    EXPECT_EQ(0, addServiceName(&list.head, 4, longest.c_str()));
    EXPECT_EQ(longest, std::wstring(list.head->names));
    std::wstring tooLong(1024, L'y');
    EXPECT_EQ(static_cast<int>(ERROR_INSUFFICIENT_BUFFER),
              addServiceName(&list.head, 8, tooLong.c_str()));
    EXPECT_EQ(nullptr, findServiceNames(list.head, 8));
}

TEST(WindowTitles, ScoreAddsAppWindowNonDialogAndVisible)
{
    EXPECT_EQ(21u, titleScore(WS_EX_APPWINDOW, L"AppClass", true));
    EXPECT_EQ(20u, titleScore(WS_EX_APPWINDOW | WS_EX_TOPMOST, L"AppClass", false));
    EXPECT_EQ(17u, titleScore(WS_EX_APPWINDOW, L"#32770", true));
    EXPECT_EQ(5u, titleScore(0, L"AppClass", true));
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
    // The class test is case-sensitive: "ime" is an ordinary class.
    EXPECT_TRUE(list.add(12, L"Lower ime", L"ime"));
    EXPECT_EQ(std::vector<std::wstring>{L"Lower ime"}, list.titles());
    // Two characters are enough.
    EXPECT_TRUE(list.add(16, L"OK"));
    EXPECT_STREQ(L"OK", findWindowTitle(list.head, 16)->title);
}

TEST(WindowTitles, ApplicationWindowBeatsDialogInEitherOrder)
{
    TitleList dialogFirst;
    dialogFirst.add(20, L"Confirm", L"#32770", 0, true);
    dialogFirst.add(20, L"Editor", L"EditorClass", 0, true);
    EXPECT_STREQ(L"Editor", findWindowTitle(dialogFirst.head, 20)->title);
    EXPECT_EQ(5u, findWindowTitle(dialogFirst.head, 20)->score);

    TitleList appFirst;
    appFirst.add(20, L"Editor", L"EditorClass", 0, true);
    appFirst.add(20, L"Confirm", L"#32770", 0, true);
    EXPECT_STREQ(L"Editor", findWindowTitle(appFirst.head, 20)->title);
}

TEST(WindowTitles, EqualScoresKeepTheFirstAndHiddenDialogStillCounts)
{
    TitleList list;
    list.add(24, L"First", L"A", 0, true);
    list.add(24, L"Second", L"B", 0, true);
    EXPECT_STREQ(L"First", findWindowTitle(list.head, 24)->title);

    TitleList hidden;
    hidden.add(28, L"Hidden dialog", L"#32770", 0, false);
    ASSERT_NE(nullptr, findWindowTitle(hidden.head, 28));
    EXPECT_EQ(0u, findWindowTitle(hidden.head, 28)->score);
}

// A better window replaces the node where it stands: list order is the order
// of first appearance, links stay consistent at head, middle and tail.
TEST(WindowTitles, ReplacementKeepsPositionAndLinks)
{
    TitleList list;
    list.add(4, L"four hidden", L"C", 0, false);
    list.add(8, L"eight hidden", L"C", 0, false);
    list.add(12, L"twelve hidden", L"C", 0, false);
    ASSERT_TRUE(list.linksConsistent());

    list.add(8, L"eight shown", L"C", 0, true);
    EXPECT_EQ((std::vector<std::wstring>{L"four hidden", L"eight shown", L"twelve hidden"}),
              list.titles());
    EXPECT_TRUE(list.linksConsistent());
    list.add(4, L"four app", L"C", WS_EX_APPWINDOW, true);
    list.add(12, L"twelve shown", L"C", 0, true);
    EXPECT_EQ((std::vector<std::wstring>{L"four app", L"eight shown", L"twelve shown"}),
              list.titles());
    EXPECT_TRUE(list.linksConsistent());
    EXPECT_EQ(21u, list.head->score);
}

TEST(WindowTitles, NewNodeRefusesBadInputAndCapsTheTitle)
{
    EXPECT_EQ(nullptr, newWindowTitleNode(0, L"title", 1));
    EXPECT_EQ(nullptr, newWindowTitleNode(4, NULL, 1));
    EXPECT_EQ(nullptr, newWindowTitleNode(4, L"", 1));

    WindowTitleNode* node = newWindowTitleNode(4, L"Title", 7);
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(nullptr, node->next);
    EXPECT_EQ(nullptr, node->prev);
    EXPECT_EQ(4u, node->pid);
    EXPECT_EQ(7u, node->score);
    EXPECT_STREQ(L"Title", node->title);
    freeWindowTitles(&node);
    EXPECT_EQ(nullptr, node);

    std::wstring huge(3000, L't');
    WindowTitleNode* capped = newWindowTitleNode(4, huge.c_str(), 0);
    ASSERT_NE(nullptr, capped);
    EXPECT_EQ(static_cast<size_t>(WINDOW_TITLE_COUNT - 1), wcslen(capped->title));
    freeWindowTitles(&capped);
}

}  // namespace
