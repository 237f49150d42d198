#include "console/highlight.h"

#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const wchar_t* const PLUGIN_KEY = L"SOFTWARE\\Vessmark\\Kinfold";
const wchar_t* const SHARED_KEY = L"SOFTWARE\\Vessmark";

bool writeRawSetting(HKEY hive, const wchar_t* key, DWORD type, const void* data, DWORD bytes)
{
    return RegSetKeyValueW(hive, key, L"Highlight", type, data, bytes) == ERROR_SUCCESS;
}

bool writeSetting(HKEY hive, const wchar_t* key, const std::wstring& value)
{
    return writeRawSetting(hive, key, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A console in a chosen colour, no Highlight setting anywhere before and after.
class HighlightTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }
    static void clean()
    {
        SetEnvironmentVariableW(L"Highlight", NULL);
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteKeyValueW(hive, PLUGIN_KEY, L"Highlight");
            RegDeleteKeyValueW(hive, SHARED_KEY, L"Highlight");
            RegDeleteKeyW(hive, PLUGIN_KEY);  // only when empty: nothing else of ours lives there
            RegDeleteKeyW(hive, SHARED_KEY);
        }
        (gTestOutput.attributes = ConsoleAttributes());
    }
    unsigned loadWith(unsigned attribute, const wchar_t* setting = nullptr)
    {
        gFakeHost.attribute = attribute;
        gFakeConsole.attribute = static_cast<WORD>(attribute);
        SetEnvironmentVariableW(L"Highlight", setting);
        return loadHighlightAttributes(&gTestOutput);
    }
    static bool colourOff()
    {
        const ConsoleAttributes off = {};
        return memcmp(&gTestOutput.attributes, &off, sizeof off) == 0;
    }
    FakeConsoleScope console;
};

TEST_F(HighlightTest, DerivesTheAttributesFromTheCurrentColours)
{
    struct Case { unsigned current, highlight, alternate; } cases[] = {
        {0x07, 0x0F, 0x0E},  // grey on black: row 0 is the highlight, so row 1 for the alternate
        {0x1F, 0x1B, 0x16},  // bright white on blue: row 0 is the current one
        {0x17, 0x1F, 0x1B},  // no bright bit: the current one made bright
        {0x70, 0x79, 0x74},  // black foreground counts like a bright one
        {0x8E, 0x8F, 0x8B},  // bright background
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        EXPECT_EQ(c.highlight, loadWith(c.current));
        EXPECT_EQ(c.alternate, gTestOutput.attributes.alternateAttribute);
    }
    loadWith(0x07);
    EXPECT_EQ(0xF0, gTestOutput.attributes.inverseHighlightAttribute);
}

TEST_F(HighlightTest, SettingFormsGiveTheirColours)
{
    struct Case { unsigned current; const wchar_t* setting; unsigned highlight; } cases[] = {
        {0x1F, L"inv", 0x71},  // background loses its bright bit
        {0x1F, L"INVERSE", 0x71},
        {0x07, L"0x1E", 0x1E},
        {0x07, L"0X1e", 0x1E},
        {0x07, L"bright yellow on blue", 0x1E},  // the host's colour names
        {0x1F, L"yellow", 0x16},                 // foreground only: kept background
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(c.highlight, loadWith(c.current, c.setting));
    }
    // Hosts that report "no background" as 64.
    gFakeHost.parseColorsGivesBackground64 = true;
    EXPECT_EQ(0x0Eu, loadWith(0x07, L"bright yellow"));
    EXPECT_EQ(0x1Eu, loadWith(0x07, L"bright yellow on blue"));
}

TEST_F(HighlightTest, UnusableSettingOrNoConsoleTurnsColourOff)
{
    struct Case { unsigned current; const wchar_t* setting; } cases[] = {
        {0x07, L"0x77"},    // invisible
        {0x07, L"0x07"},    // the current colours
        {0x07, L"0x1G"},    // not hexadecimal
        {0x07, L"0x177"},   // more than an attribute byte would slip past the checks as 0x77
        {0x07, L"grey"},    // the current colours by name
        {0x07, L"nonsense"},
        {0x77, L"0x1E"},    // foreground equals background: no colour at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(0u, loadWith(c.current, c.setting));
        EXPECT_TRUE(colourOff());
    }
    // Without a console, and the earlier command's colours do not survive.
    loadWith(0x07);
    gFakeConsole.isConsole = false;
    EXPECT_EQ(0u, loadWith(0x07, L"0x1E"));
    EXPECT_TRUE(colourOff());
}

TEST_F(HighlightTest, SettingIsLookedUpInItsFivePlacesInOrder)
{
    if (!writeSetting(HKEY_LOCAL_MACHINE, SHARED_KEY, L"0x01") ||
        !writeSetting(HKEY_LOCAL_MACHINE, PLUGIN_KEY, L"0x02")) {
        GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE";
    }
    ASSERT_TRUE(writeSetting(HKEY_CURRENT_USER, SHARED_KEY, L"0x03"));
    ASSERT_TRUE(writeSetting(HKEY_CURRENT_USER, PLUGIN_KEY, L"0x04"));
    EXPECT_EQ(0x05u, loadWith(0x07, L"0x05"));
    EXPECT_EQ(0x04u, loadWith(0x07));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, PLUGIN_KEY, L"Highlight");
    EXPECT_EQ(0x02u, loadWith(0x07));
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, PLUGIN_KEY, L"Highlight");
    EXPECT_EQ(0x03u, loadWith(0x07));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, SHARED_KEY, L"Highlight");
    EXPECT_EQ(0x01u, loadWith(0x07));
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SHARED_KEY, L"Highlight");
    EXPECT_EQ(0x0Fu, loadWith(0x07));
}

TEST_F(HighlightTest, EmptyWrongTypeOrTooLongValuesAreSkipped)
{
    wchar_t buffer[HIGHLIGHT_VALUE_COUNT];
    ASSERT_TRUE(writeSetting(HKEY_CURRENT_USER, SHARED_KEY, L"0x1E"));
    ASSERT_TRUE(writeSetting(HKEY_CURRENT_USER, PLUGIN_KEY, L""));
    EXPECT_EQ(0x1Eu, loadWith(0x07, L""));
    DWORD number = 0x1C;
    ASSERT_TRUE(writeRawSetting(HKEY_CURRENT_USER, PLUGIN_KEY, REG_DWORD, &number, sizeof(number)));
    EXPECT_EQ(0x1Eu, loadWith(0x07));
    std::wstring tooLongVariable(2000, L'x');
    EXPECT_EQ(0x1Eu, loadWith(0x07, tooLongVariable.c_str()));

    // 1023 units fit with the terminator; 1024 do not, stored with or without one.
    std::wstring longest(HIGHLIGHT_VALUE_COUNT - 1, L'y');
    ASSERT_TRUE(writeSetting(HKEY_CURRENT_USER, PLUGIN_KEY, longest));
    EXPECT_EQ(0, readHighlightValue(HKEY_CURRENT_USER, PLUGIN_KEY, buffer));
    EXPECT_EQ(longest, buffer);
    std::wstring tooLong(HIGHLIGHT_VALUE_COUNT, L'z');
    ASSERT_TRUE(writeSetting(HKEY_CURRENT_USER, PLUGIN_KEY, tooLong));
    EXPECT_NE(0, readHighlightValue(HKEY_CURRENT_USER, PLUGIN_KEY, buffer));
    EXPECT_STREQ(L"", buffer);
    ASSERT_TRUE(writeRawSetting(HKEY_CURRENT_USER, PLUGIN_KEY, REG_SZ, tooLong.c_str(),
                                static_cast<DWORD>(tooLong.size() * sizeof(wchar_t))));
    EXPECT_EQ(ERROR_MORE_DATA, readHighlightValue(HKEY_CURRENT_USER, PLUGIN_KEY, buffer));
    EXPECT_STREQ(L"", buffer);
}

TEST_F(HighlightTest, EmitRunLeavesTheAttributeSet)
{
    loadWith(0x07);
    EXPECT_EQ(0, emitRun(testConsolePort(), L"run", 0x1E));
    EXPECT_EQ(0x1E, gFakeConsole.attribute);
    EXPECT_EQ(L"run", gFakeHost.out);
}

TEST(PatternList, TermsNegationAndDotStar)
{
    // For executables a term without "." accepts any extension.
    struct Case { const wchar_t* patterns; const wchar_t* name; bool executable, matches; } cases[] = {
        {L"note*", L"notes of mine", false, true}, {L"cmd.exe", L"CMD.EXE", true, true},
        {L"cmd", L"cmd.exe", false, false},        {L"cmd", L"cmd.exe", true, true},
        // A negated term matches what it does not name; each term stands alone.
        {L"!cmd", L"svchost.exe", true, true},     {L"!cmd", L"cmd.exe", true, false},
        {L"cmd|!svchost", L"explorer.exe", true, true}, {L"cmd|!svchost", L"svchost.exe", true, false},
        {L"x||y|", L"y.exe", true, true},          {L"||", L"", false, false},
        {NULL, L"cmd.exe", true, false},           {L"*", NULL, true, false},
        // A lone "!" is literal text, unless ".*" makes it a negated term.
        {L"!", L"!", false, true}, {L"!", L"cmd.exe", false, false}, {L"!", L"cmd.exe", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.matches, matchesPatternList(c.patterns, c.name, c.executable))
            << (c.patterns ? c.patterns : L"(null)") << " / " << (c.name ? c.name : L"(null)");
    }
}

TEST(PatternList, LongTermsAreCutNotOverrun)
{
    std::wstring term(9000, L'a');
    std::wstring name(8191, L'a');
    EXPECT_TRUE(matchesPatternList(term.c_str(), name.c_str(), false));
    EXPECT_TRUE(matchesPatternList(term.c_str(), (name + L".exe").c_str(), true));
    EXPECT_TRUE(matchesPatternList((term + L"|zzz").c_str(), L"zzz", false));
}

}  // namespace
