#include "commands/display_options.h"
#include "commands/help_texts.h"
#include "console/arguments.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const std::wstring PREFIX = L"Kinfold plugin: ";

class OptionsTest : public ::testing::Test {
protected:
    std::unique_ptr<DisplaySettings> settings{new DisplaySettings()};

    // Splits the way the command does, then walks the options.
    int parse(CommandKind kind, const wchar_t* arguments)
    {
        gFakeHost.out.clear();
        gFakeHost.err.clear();
        splitArguments(kind == CommandKind::Kinfold ? SPLIT_MODE_KINFOLD : SPLIT_MODE_ANCESTRY, arguments);
        resetDisplaySettings(settings.get());
        return parseCommandOptions(kind, settings.get());
    }
    int kinfold(const wchar_t* arguments) { return parse(CommandKind::Kinfold, arguments); }
    int ancestry(const wchar_t* arguments) { return parse(CommandKind::Ancestry, arguments); }

    DisplayFlags flags() const { return settings->flags; }
    std::wstring pattern() const { return settings->highlightPattern; }
    std::wstring rootPattern() const { return settings->rootPattern ? settings->rootPattern : L"(null)"; }

    // A bad argument: result 1, nothing on standard output, settings discarded.
    void expectError(CommandKind kind, const wchar_t* arguments, const std::wstring& message)
    {
        EXPECT_EQ(OPTIONS_ERROR, parse(kind, arguments)) << arguments;
        EXPECT_EQ(PREFIX + message, gFakeHost.err) << arguments;
        EXPECT_EQ(L"", gFakeHost.out) << arguments;
        EXPECT_EQ(0u, flags()) << arguments;
        EXPECT_FALSE(settings->rootGiven) << arguments;
    }
};

const DisplayFlags MEMORY_BITS = OPT_MEMORY | OPT_OPEN_PROCESSES;

}  // namespace

TEST_F(OptionsTest, LaterOptionsDecideMemoryFormatAndPidBase)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/A /MF"));
    EXPECT_EQ(OPT_ASCII | MEMORY_BITS | OPT_MEMORY_FRACTION, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/MF /A"));
    EXPECT_EQ(OPT_ASCII | MEMORY_BITS | OPT_MEMORY_FRACTION, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/MF /M"));
    EXPECT_EQ(MEMORY_BITS, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/MM /MF"));
    EXPECT_EQ(MEMORY_BITS | OPT_MEMORY_FRACTION, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/MF /MM"));
    EXPECT_EQ(MEMORY_BITS | OPT_MEMORY_BYTES, flags());
    // The memory options leave the other bits alone, also OPT_OPEN_PROCESSES from /C.
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/C /MM /M"));
    EXPECT_EQ(OPT_PRIORITY | MEMORY_BITS, flags());

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/D /X"));
    EXPECT_EQ(0u, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/X /D"));
    EXPECT_EQ(OPT_DECIMAL_PID, flags());
}

TEST_F(OptionsTest, KinfoldSetsEachBitAndSwitchWithoutRegardToCase)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/a /c /d /f /i /k /u /z /sv"));
    EXPECT_EQ(OPT_ASCII | OPT_PRIORITY | OPT_OPEN_PROCESSES | OPT_DECIMAL_PID | OPT_FULL_PATH | OPT_EXTRA_INFO |
                  OPT_THREADS | OPT_COUNT | OPT_PARENT_PID | OPT_SERVICES_ROOT,
              flags());
    EXPECT_FALSE(settings->explorerRoot);
    EXPECT_FALSE(settings->shellWindowRoot);
    EXPECT_EQ(L"", gFakeHost.err);

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/E/SVC"));
    EXPECT_TRUE(settings->explorerRoot);
    EXPECT_EQ(OPT_SERVICES_ROOT, flags());

    // /TC and /TCMD are whole options that come before the /T prefix.
    for (const wchar_t* shell : {L"/TC", L"/tcmd", L"/Tc"}) {
        ASSERT_EQ(OPTIONS_CONTINUE, kinfold(shell));
        EXPECT_TRUE(settings->shellWindowRoot) << shell;
        EXPECT_EQ(0u, flags()) << shell;
    }
    expectError(CommandKind::Kinfold, L"/TCM", L"Unknown suboption: /T:C  (/T? for help)\r\n");

    // Exact options match only the whole argument.
    expectError(CommandKind::Kinfold, L"/MX", L"Unknown option: \"/MX\"\r\n");
    expectError(CommandKind::Kinfold, L"/svcx", L"Unknown option: \"/SVCX\"\r\n");
    expectError(CommandKind::Kinfold, L"/", L"Unknown option: \"/\"\r\n");
}

TEST_F(OptionsTest, StartTimeLetters)
{
    const DisplayFlags base = OPT_START_TIME | OPT_OPEN_PROCESSES;
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/T"));
    EXPECT_EQ(base, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/T:"));
    EXPECT_EQ(base, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/td"));
    EXPECT_EQ(base | OPT_TIME_DATE, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/T=s"));
    EXPECT_EQ(base | OPT_TIME_SECONDS, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/T:M"));
    EXPECT_EQ(base | OPT_TIME_SECONDS | OPT_TIME_MILLIS, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/T:f"));
    EXPECT_EQ(base | OPT_TIME_DATE | OPT_TIME_SECONDS | OPT_TIME_MILLIS, flags());

    expectError(CommandKind::Kinfold, L"/T:dq", L"Unknown suboption: /T:Q  (/T? for help)\r\n");
    // Only one separator is skipped.
    expectError(CommandKind::Kinfold, L"/T::D", L"Unknown suboption: /T::  (/T? for help)\r\n");
}

TEST_F(OptionsTest, SuboptionLetters)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/N:cx"));
    EXPECT_TRUE(settings->noHighlight);
    EXPECT_EQ(OPT_KEEP_EXTENSIONS, flags());

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/n=DeStW"));
    EXPECT_FALSE(settings->noHighlight);
    EXPECT_EQ(OPT_NO_DISPLAY_NAMES | OPT_ASCII_ELLIPSIS | OPT_NO_SERVICES | OPT_NO_TREE | OPT_NO_TITLES, flags());

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/N"));
    EXPECT_EQ(0u, flags());

    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/n:desw"));
    EXPECT_EQ(OPT_NO_DISPLAY_NAMES | OPT_ASCII_ELLIPSIS | OPT_NO_SERVICES | OPT_NO_TITLES, flags());

    expectError(CommandKind::Kinfold, L"/N:q", L"Unknown suboption: /N:Q  (/N? for help)\r\n");
    // ANCESTRY has no tree to switch off, and says so in the plural.
    expectError(CommandKind::Ancestry, L"/N:T", L"Unknown suboptions: /N:T  (/N? for help)\r\n");
}

TEST_F(OptionsTest, HighlightTextsJoinAndNoHighlightIsKeptApart)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/H:cmd /h=tcc*"));
    EXPECT_EQ(L"cmd|tcc*", pattern());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/H: /HL: /H= /hl="));
    EXPECT_EQ(L"", pattern());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/HL"));
    EXPECT_EQ(L"L", pattern());
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/Habc /HLabc /hl:x /HL=y"));
    EXPECT_EQ(L"abc|Labc|x|y", pattern());

    // /N:C wins wherever it stands; the pattern is emptied only afterwards.
    for (const wchar_t* arguments : {L"/H:abc /N:C", L"/N:C /H:abc"}) {
        ASSERT_EQ(OPTIONS_CONTINUE, kinfold(arguments));
        EXPECT_TRUE(settings->noHighlight) << arguments;
        EXPECT_EQ(L"abc", pattern()) << arguments;
    }

    // ANCESTRY keeps its texts upper-cased; /HELP is a highlight option there.
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/h:cmd /HELP"));
    EXPECT_EQ(L"CMD|ELP", pattern());
}

TEST_F(OptionsTest, ExplicitWidth)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/W:40"));
    EXPECT_EQ(40u, settings->width);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/w=1020"));
    EXPECT_EQ(1020u, settings->width);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/W:0x28"));
    EXPECT_EQ(40u, settings->width);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/W100"));
    EXPECT_EQ(100u, settings->width);
    // The last /W wins; alone, or with 0, it means automatic.
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/W:50 /W:0"));
    EXPECT_EQ(0u, settings->width);
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/W:50 /W"));
    EXPECT_EQ(0u, settings->width);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/W:50 /W:"));
    EXPECT_EQ(50u, settings->width);

    expectError(CommandKind::Kinfold, L"/W:39", L"Width must be between 40 and 1020: 39\r\n");
    expectError(CommandKind::Ancestry, L"/W:1021", L"Width must be between 40 and 1020: 1021\r\n");
    expectError(CommandKind::Kinfold, L"/W:abc", L"Bad width: \"ABC\"\r\n");
    expectError(CommandKind::Kinfold, L"/w=80x", L"Bad width: \"80X\"\r\n");
    expectError(CommandKind::Kinfold, L"/W:4294967296", L"Bad width: \"4294967296\"\r\n");
}

TEST_F(OptionsTest, RootArgumentIsPidOrPattern)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"77"));
    EXPECT_TRUE(settings->rootGiven);
    EXPECT_EQ(77u, settings->rootPid);
    EXPECT_EQ(nullptr, settings->rootPattern);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"0x4D"));
    EXPECT_EQ(77u, settings->rootPid);
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"0x4d"));
    EXPECT_EQ(77u, settings->rootPid);
    EXPECT_EQ(nullptr, settings->rootPattern);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"0"));
    EXPECT_TRUE(settings->rootGiven);
    EXPECT_EQ(0u, settings->rootPid);

    // Anything that is not a whole number is matched as a pattern, as typed.
    for (const wchar_t* text : {L"0x", L"12abc", L"-5", L"note*", L"-P", L"4294967296"}) {
        ASSERT_EQ(OPTIONS_CONTINUE, kinfold(text)) << text;
        EXPECT_TRUE(settings->rootGiven) << text;
        EXPECT_EQ(0u, settings->rootPid) << text;
        EXPECT_EQ(text, rootPattern());
    }
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"note* /D"));
    EXPECT_EQ(L"NOTE*", rootPattern());
    EXPECT_EQ(OPT_DECIMAL_PID, flags());
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"-p"));
    EXPECT_EQ(L"-P", rootPattern());

    expectError(CommandKind::Kinfold, L"4 8", L"Syntax error: \"8\"\r\n");
    expectError(CommandKind::Kinfold, L"note* tcc", L"Syntax error: \"TCC\"\r\n");
}

TEST_F(OptionsTest, AncestryHasItsOwnOptionSet)
{
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/l /r /c /d /f /i /k /u"));
    EXPECT_EQ(OPT_NO_TREE | OPT_REVERSE | OPT_PRIORITY | OPT_OPEN_PROCESSES | OPT_DECIMAL_PID | OPT_FULL_PATH |
                  OPT_EXTRA_INFO | OPT_THREADS | OPT_COUNT,
              flags());

    expectError(CommandKind::Ancestry, L"/TC", L"Unknown suboption: /T:C  (/T? for help)\r\n");
    expectError(CommandKind::Ancestry, L"/tcmd", L"Unknown suboption: /T:C  (/T? for help)\r\n");
    for (const wchar_t* option : {L"/A", L"/Z", L"/E", L"/O:N", L"/SV", L"/SVC"}) {
        std::wstring quoted = std::wstring(L"Unknown option: \"") + option + L"\"\r\n";
        expectError(CommandKind::Ancestry, option, quoted);
    }
    // And KINFOLD has neither /L nor /R.
    expectError(CommandKind::Kinfold, L"/l", L"Unknown option: \"/L\"\r\n");
    expectError(CommandKind::Kinfold, L"/R", L"Unknown option: \"/R\"\r\n");
}

TEST_F(OptionsTest, HelpEndsTheWalkAndErrorsBeforeItWin)
{
    const std::wstring version = L"\r\n\t\t\t\tKinfold  1.1.1.0 (" KF_ARCH_TEXT L")\r\n";

    EXPECT_EQ(OPTIONS_HELP_DONE, kinfold(L"/??"));
    EXPECT_EQ(KINFOLD_HELP + version, gFakeHost.out);
    EXPECT_EQ(OPTIONS_HELP_DONE, ancestry(L"/??"));
    EXPECT_EQ(ANCESTRY_HELP + version, gFakeHost.out);
    EXPECT_EQ(OPTIONS_HELP_DONE, kinfold(L"/?x"));
    EXPECT_EQ(KINFOLD_HELP, gFakeHost.out);

    // Nothing after the help request is looked at, and nothing before it survives.
    EXPECT_EQ(OPTIONS_HELP_DONE, kinfold(L"/A 4 /? /Q 8"));
    EXPECT_EQ(KINFOLD_HELP, gFakeHost.out);
    EXPECT_EQ(L"", gFakeHost.err);
    EXPECT_EQ(0u, flags());
    EXPECT_FALSE(settings->rootGiven);
    EXPECT_EQ(OPTIONS_HELP_DONE, ancestry(L"/? /Q"));
    EXPECT_EQ(ANCESTRY_HELP, gFakeHost.out);

    expectError(CommandKind::Ancestry, L"/Q /?", L"Unknown option: \"/Q\"\r\n");
    expectError(CommandKind::Kinfold, L"/W:5 /??", L"Width must be between 40 and 1020: 5\r\n");

    // The sub-help texts: a "?" among the letters, or anywhere in /O.
    EXPECT_EQ(OPTIONS_HELP_DONE, kinfold(L"/O:n?"));
    EXPECT_EQ(KINFOLD_HELP_O, gFakeHost.out);
    EXPECT_EQ(OPTIONS_HELP_DONE, kinfold(L"/N:c?"));
    EXPECT_EQ(KINFOLD_HELP_N, gFakeHost.out);
    EXPECT_EQ(OPTIONS_HELP_DONE, ancestry(L"/T:D?"));
    EXPECT_EQ(ANCESTRY_HELP_T, gFakeHost.out);
    // A bad letter before the "?" is reported instead.
    expectError(CommandKind::Kinfold, L"/N:q?", L"Unknown suboption: /N:Q  (/N? for help)\r\n");
}

TEST_F(OptionsTest, SortAndPauseOptionsReachTheirParsers)
{
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/O:-TN"));
    EXPECT_EQ(L"Tn", std::wstring(settings->sortKeys));
    EXPECT_FALSE(settings->unsorted);
    EXPECT_EQ(0u, flags());  // opened only once the walk is over

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/O:U"));
    EXPECT_TRUE(settings->unsorted);
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/O:U /o:p"));
    EXPECT_FALSE(settings->unsorted);
    EXPECT_EQ(L"p", std::wstring(settings->sortKeys));

    EXPECT_EQ(OPTIONS_ERROR, kinfold(L"/O:Q"));
    EXPECT_NE(std::wstring::npos, gFakeHost.err.find(L"/O:Q"));

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/P"));
    EXPECT_EQ(0xFFFFFFFFu, settings->pauseLines);
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/P:0,10"));
    EXPECT_EQ(10u, settings->pauseLines);
    EXPECT_EQ(OPTIONS_ERROR, ancestry(L"/P:X"));
    EXPECT_NE(L"", gFakeHost.err);
    EXPECT_EQ(0u, settings->pauseLines);
}

TEST(AutomaticWidthTest, FollowsTheWindowWithinLimits)
{
    EXPECT_EQ(100u, widthFromWindow(false, true, 80));   // redirected
    EXPECT_EQ(79u, widthFromWindow(true, true, 80));
    EXPECT_EQ(100u, widthFromWindow(true, false, 80));   // unreadable window
    EXPECT_EQ(100u, widthFromWindow(true, true, 21));
    EXPECT_EQ(100u, widthFromWindow(true, true, 401));
    EXPECT_EQ(100u, widthFromWindow(true, true, -5));
    EXPECT_EQ(40u, widthFromWindow(true, true, 22));     // raised to the least width
    EXPECT_EQ(40u, widthFromWindow(true, true, 41));
    EXPECT_EQ(41u, widthFromWindow(true, true, 42));
    EXPECT_EQ(399u, widthFromWindow(true, true, 400));
}

TEST(PauseLinesTest, FitTheWindowHeight)
{
    // A 25-line window: /P alone, too few or too many lines give a page of 23.
    EXPECT_EQ(23u, pauseLinesForWindow(0xFFFFFFFFu, true, 25));
    EXPECT_EQ(23u, pauseLinesForWindow(2, true, 25));
    EXPECT_EQ(23u, pauseLinesForWindow(25, true, 25));
    EXPECT_EQ(10u, pauseLinesForWindow(10, true, 25));
    EXPECT_EQ(3u, pauseLinesForWindow(3, true, 25));
    EXPECT_EQ(24u, pauseLinesForWindow(24, true, 25));
    // Windows too small, too large or unreadable turn paging off.
    EXPECT_EQ(0u, pauseLinesForWindow(10, true, 9));
    EXPECT_EQ(0u, pauseLinesForWindow(10, true, 101));
    EXPECT_EQ(0u, pauseLinesForWindow(10, false, 25));
    EXPECT_EQ(8u, pauseLinesForWindow(0xFFFFFFFFu, true, 10));
    EXPECT_EQ(98u, pauseLinesForWindow(0xFFFFFFFFu, true, 100));
}

TEST_F(OptionsTest, AfterTheWalkThePageWidthAndColoursFitTheConsole)
{
    FakeConsoleScope console;
    gFakeConsole.window = {0, 0, 79, 24};  // 80 x 25

    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/P /H:cmd /O:N"));
    finishDisplayOptions(CommandKind::Kinfold, settings.get());
    EXPECT_EQ(23u, gPaging.pageLength);
    EXPECT_EQ(23u, gPaging.linesLeft);
    EXPECT_EQ(79u, settings->width);
    EXPECT_EQ(OPT_OPEN_PROCESSES, flags());  // any sort key opens every process
    EXPECT_EQ(L"cmd", pattern());
    EXPECT_NE(0, gAttributes.normalAttribute);

    // /N:C: colours stay off and the pattern goes; an explicit width stays.
    gAttributes.normalAttribute = 0x1F;
    ASSERT_EQ(OPTIONS_CONTINUE, ancestry(L"/H:cmd /N:C /P:0,10 /W:60"));
    finishDisplayOptions(CommandKind::Ancestry, settings.get());
    EXPECT_EQ(L"", pattern());
    EXPECT_EQ(0, gAttributes.normalAttribute);
    EXPECT_EQ(10u, gPaging.pageLength);
    EXPECT_EQ(60u, settings->width);
    EXPECT_EQ(0u, flags());

    // Too few or too many lines to page in.
    for (SHORT bottom : {8, 100}) {
        gFakeConsole.window = {0, 0, 199, bottom};
        ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/P"));
        finishDisplayOptions(CommandKind::Kinfold, settings.get());
        EXPECT_EQ(0u, gPaging.pageLength) << bottom;
        EXPECT_EQ(0u, gPaging.linesLeft) << bottom;
        EXPECT_EQ(199u, settings->width) << bottom;
    }
}

TEST_F(OptionsTest, RedirectedOutputGetsWidth100AndNoPaging)
{
    FakeConsoleScope console;
    gFakeConsole.isConsole = false;
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/P:0,10 /H:cmd"));
    finishDisplayOptions(CommandKind::Kinfold, settings.get());
    EXPECT_EQ(100u, settings->width);
    EXPECT_EQ(0u, gPaging.pageLength);
    EXPECT_EQ(0u, gPaging.linesLeft);
    EXPECT_EQ(0, gAttributes.normalAttribute);

    gFakeConsole.isConsole = true;
    gFakeConsole.bufferInfoWorks = false;
    ASSERT_EQ(OPTIONS_CONTINUE, kinfold(L"/P"));
    finishDisplayOptions(CommandKind::Kinfold, settings.get());
    EXPECT_EQ(100u, settings->width);
    EXPECT_EQ(0u, gPaging.pageLength);
}
