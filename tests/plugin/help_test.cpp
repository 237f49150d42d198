#include "commands/commands.h"
#include "commands/help_texts.h"
#include "fake_host.h"
#include "plugin/help.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ShownBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
std::vector<ShownBox> gBoxes;

int WINAPI captureBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    gBoxes.push_back({owner, text ? text : L"(null)", caption ? caption : L"(null)", type});
    return IDOK;
}

// A real box would wait for a click forever on a headless machine.
class HelpTest : public ::testing::Test {
protected:
    void SetUp() override { gBoxes.clear(); }

    int help(const std::wstring& name) { return showHelp(name.c_str(), captureBox); }

    // Usage into a buffer preset to a sentinel, so untouched stays visible.
    int usage(const std::wstring& name, std::wstring* text)
    {
        std::vector<wchar_t> buffer(USAGE_TEXT_COUNT, L'#');
        buffer[USAGE_TEXT_COUNT - 1] = L'\0';
        std::wstring copy = name;
        int result = Usage(&copy[0], buffer.data());
        *text = buffer.data();
        return result;
    }

private:
};

}  // namespace

TEST_F(HelpTest, ShowsTheWholeTextOfEachNameRegardlessOfCase)
{
    EXPECT_EQ(1, help(L"ANCESTRY"));
    EXPECT_EQ(1, help(L"Kinfold"));
    EXPECT_EQ(1, help(L"@AnCeStRy"));
    EXPECT_EQ(1, help(L"@KINFOLD"));
    ASSERT_EQ(4u, gBoxes.size());
    EXPECT_EQ(ANCESTRY_HELP, gBoxes[0].text);
    EXPECT_EQ(KINFOLD_HELP, gBoxes[1].text);
    EXPECT_EQ(ANCESTRY_FUNCTION_HELP, gBoxes[2].text);
    EXPECT_EQ(KINFOLD_FUNCTION_HELP, gBoxes[3].text);
    for (const ShownBox& box : gBoxes) {
        EXPECT_EQ(L"Kinfold Plugin Help", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.type);
        EXPECT_EQ(GetForegroundWindow(), box.owner);
    }
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST_F(HelpTest, OtherNamesShowNothing)
{
    for (const wchar_t* name : {L"dir", L"", L"ancestr", L"ancestry ", L"@kinfol", L"@kinfold ", L"_ancestry", L"kinfoldx"}) {
        EXPECT_EQ(0, help(name)) << name;
    }
    EXPECT_EQ(0, showHelp(nullptr, captureBox));
    EXPECT_TRUE(gBoxes.empty());
}

TEST_F(HelpTest, UsageStartsAtTheSyntaxLine)
{
    std::wstring text;
    EXPECT_EQ(1, usage(L"ancestry", &text));
    const std::wstring syntax = L"ANCESTRY /C /CMD /CSV /D /F /H: /I /K /M /N: /R /T: /W: process  \r\n\n\t/C\tshow priorities\n";
    EXPECT_EQ(syntax, text.substr(0, syntax.size()));
    EXPECT_EQ(std::wstring(ANCESTRY_HELP).substr(std::wstring(ANCESTRY_HELP).find(L"ANCESTRY /C")), text);

    EXPECT_EQ(1, usage(L"KINFOLD", &text));
    std::wstring full = KINFOLD_HELP;
    std::wstring firstLine = full.substr(0, full.find(L'\n'));
    EXPECT_EQ(0u, text.find(L"KINFOLD "));
    EXPECT_EQ(std::wstring::npos, text.find(firstLine));
    EXPECT_EQ(full.substr(full.find_first_not_of(L'\n', firstLine.size())), text);
    EXPECT_TRUE(gBoxes.empty());
}

TEST_F(HelpTest, UsageAnswersOnlyForCommands)
{
    for (const wchar_t* name : {L"@ancestry", L"@ANCESTRY", L"@kinfold", L"_ancestry", L"_cwd", L"dir", L"", L"kinfold2"}) {
        std::wstring text;
        EXPECT_EQ(0, usage(name, &text)) << name;
        EXPECT_EQ(std::wstring(USAGE_TEXT_COUNT - 1, L'#'), text) << name;
    }
    wchar_t buffer[USAGE_TEXT_COUNT];
    EXPECT_EQ(0, Usage(nullptr, buffer));
    wchar_t name[] = L"kinfold";
    EXPECT_EQ(0, Usage(name, nullptr));
}
