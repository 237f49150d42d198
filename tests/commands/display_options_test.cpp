#include "commands/display_options.h"
#include "console/arguments.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const CommandKind K = CommandKind::Kinfold;
const CommandKind A = CommandKind::Ancestry;
const DisplayFlags MEMORY_BITS = OPT_MEMORY | OPT_OPEN_PROCESSES;
const DisplayFlags TIME_BITS = OPT_START_TIME | OPT_OPEN_PROCESSES;
const DisplayFlags NO_BITS = OPT_NO_DISPLAY_NAMES | OPT_ASCII_ELLIPSIS | OPT_NO_SERVICES | OPT_NO_TITLES;
const DisplayFlags COMMON_BITS =
    OPT_PRIORITY | OPT_OPEN_PROCESSES | OPT_DECIMAL_PID | OPT_FULL_PATH | OPT_EXTRA_INFO | OPT_THREADS | OPT_COUNT;

class OptionsTest : public ::testing::Test {
protected:
    std::unique_ptr<DisplaySettings> settings{new DisplaySettings()};

    // Splits the way the command does, then walks the options.
    int parse(CommandKind kind, const wchar_t* arguments)
    {
        resetFakeHost();
        EXPECT_GE(splitArguments(&gTestArguments, kind == K ? SPLIT_MODE_KINFOLD : SPLIT_MODE_ANCESTRY, arguments), 0);
        resetDisplaySettings(settings.get());
        return parseCommandOptions(kind, &gTestArguments, settings.get(), &gTestOutput);
    }

    // The settings other than the flags that differ from their defaults.
    std::wstring summary() const
    {
        std::wstring text;
        auto add = [&text](bool given, const std::wstring& part) {
            text += given ? (text.empty() ? L"" : L" ") + part : L"";
        };
        add(settings->highlightPattern[0] != L'\0', L"h=" + std::wstring(settings->highlightPattern));
        add(settings->noHighlight, L"nohl");
        add(settings->width != 0, L"w=" + std::to_wstring(settings->width));
        add(settings->pauseLines != 0, L"p=" + std::to_wstring(settings->pauseLines));
        add(settings->rootGiven && !settings->rootPattern, L"pid=" + std::to_wstring(settings->rootPid));
        add(settings->rootPattern != nullptr, L"pat=" + std::wstring(settings->rootPattern ? settings->rootPattern : L""));
        add(settings->sortKeys[0] != L'\0', L"o=" + std::wstring(settings->sortKeys));
        add(settings->unsorted, L"unsorted");
        add(settings->explorerRoot, L"explorer");
        add(settings->shellWindowRoot, L"shell");
        return text;
    }
};

}  // namespace

TEST_F(OptionsTest, GoodArgumentsGiveTheirSettings)
{
    const struct {
        CommandKind kind;
        const wchar_t* arguments;
        DisplayFlags flags;
        const wchar_t* others;
    } cases[] = {
        {K, L"/a /c /d /f /i /k /u /z /sv", OPT_ASCII | COMMON_BITS | OPT_PARENT_PID | OPT_SERVICES_ROOT, L""},
        {A, L"/l /r /c /d /f /i /k /u", OPT_NO_TREE | OPT_REVERSE | COMMON_BITS, L""},
        // Later options decide the memory format and the PID base.
        {K, L"/MM /MF", MEMORY_BITS | OPT_MEMORY_FRACTION, L""},
        {K, L"/MF /MM", MEMORY_BITS | OPT_MEMORY_BYTES, L""},
        {K, L"/C /MM /M", OPT_PRIORITY | MEMORY_BITS, L""},  // /M keeps the open bit /C set
        {K, L"/D /X", 0, L""},
        {K, L"/X /D", OPT_DECIMAL_PID, L""},
        // /F and /CMD are one choice of display text: the later one wins.
        {K, L"/F /CMD", OPT_COMMAND_LINE, L""},
        {A, L"/cmd /f", OPT_FULL_PATH, L""},
        // /SUM shows memory (a memory option before or after picks the format).
        {K, L"/SUM", OPT_SUBTREE_SUMS | MEMORY_BITS, L""},
        {K, L"/MM /SUM", OPT_SUBTREE_SUMS | MEMORY_BITS | OPT_MEMORY_BYTES, L""},
        {K, L"/SUM /MF", OPT_SUBTREE_SUMS | MEMORY_BITS | OPT_MEMORY_FRACTION, L""},
        {K, L"/td /T=s", TIME_BITS | OPT_TIME_DATE | OPT_TIME_SECONDS, L""},  // letters add up
        {K, L"/T:M", TIME_BITS | OPT_TIME_SECONDS | OPT_TIME_MILLIS, L""},
        {A, L"/T:f", TIME_BITS | OPT_TIME_DATE | OPT_TIME_SECONDS | OPT_TIME_MILLIS, L""},
        {K, L"/n=DeStWx", NO_BITS | OPT_NO_TREE | OPT_KEEP_EXTENSIONS, L""},
        {A, L"/n:desw", NO_BITS, L""},
        // /TC and /TCMD are whole options that come before the /T prefix.
        {K, L"/E/SVC", OPT_SERVICES_ROOT, L"explorer"},
        {K, L"/TC", 0, L"shell"},
        {K, L"/tcmd", 0, L"shell"},
        // Highlight texts join; /N:C wins wherever it stands, and the pattern
        // is emptied only afterwards.
        {K, L"/H:cmd /h=tcc*", 0, L"h=cmd|tcc*"},
        {K, L"/H: /HL: /H= /hl=", 0, L""},
        {K, L"/Habc /HL /hl:x /HL=y", 0, L"h=abc|L|x|y"},
        {K, L"/H:abc /N:C", 0, L"h=abc nohl"},
        {K, L"/N:C /H:abc", 0, L"h=abc nohl"},
        // ANCESTRY keeps its texts upper-cased; /HELP is a highlight option there.
        {A, L"/h:cmd /HELP", 0, L"h=CMD|ELP"},
        // The last /W wins; alone, or with 0, it means automatic.
        {K, L"/W:40 /w=1020", 0, L"w=1020"},
        {K, L"/W100", 0, L"w=100"},
        {K, L"/W:50 /W:0", 0, L""},
        {A, L"/W:50 /W", 0, L""},
        {K, L"/W:50 /W:", 0, L"w=50"},
        {K, L"/P", 0, L"p=4294967295"},
        {A, L"/P:0,10", 0, L"p=10"},
        // Sorting opens the processes only once the walk is over.
        {K, L"/O:-TN", 0, L"o=Tn"},
        {K, L"/O:U", 0, L"unsorted"},
        {K, L"/O:U /o:p", 0, L"o=p"},
        // The root: a whole number is a PID, anything else a pattern as typed.
        {K, L"77", 0, L"pid=77"},
        {A, L"0x4d", 0, L"pid=77"},
        {K, L"0", 0, L"pid=0"},
        {K, L"0x", 0, L"pat=0x"},
        {K, L"4294967296", 0, L"pat=4294967296"},
        {A, L"note*", 0, L"pat=NOTE*"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(OPTIONS_CONTINUE, parse(c.kind, c.arguments)) << c.arguments << gFakeHost.err;
        EXPECT_EQ(c.flags, settings->flags) << c.arguments;
        EXPECT_EQ(c.others, summary()) << c.arguments;
        EXPECT_EQ(L"", gFakeHost.out + gFakeHost.err) << c.arguments;
    }
}

// Each message is written out once; other rows give only the part that shows
// which argument or letter was blamed.
TEST_F(OptionsTest, BadArgumentsPrintOneMessageAndDiscardTheSettings)
{
    const struct {
        CommandKind kind;
        const wchar_t* arguments;
        const wchar_t* text;
        bool whole;
    } cases[] = {
        {K, L"/MX", L"Unknown option: \"/MX\"\r\n", true},
        {K, L"/T:dq", L"Unknown suboption: /T:Q  (/T? for help)\r\n", true},
        {K, L"/N:q", L"Unknown suboption: /N:Q  (/N? for help)\r\n", true},
        // ANCESTRY has no tree to switch off, and says so in the plural.
        {A, L"/N:T", L"Unknown suboptions: /N:T  (/N? for help)\r\n", true},
        {K, L"/W:39", L"Width must be between 40 and 1020: 39\r\n", true},
        {K, L"/W:abc", L"Bad width: \"ABC\"\r\n", true},
        {K, L"4 8", L"Syntax error: \"8\"\r\n", true},
        {K, L"/TCM", L"/T:C ", false},
        {A, L"/tcmd", L"/T:C ", false},  // no /TC here: the /T option fails on C
        {K, L"/T::D", L"/T::", false},   // only one separator is skipped
        {K, L"/l", L"\"/L\"", false},
        {A, L"/A", L"\"/A\"", false},
        {A, L"/SVC", L"\"/SVC\"", false},
        // A chain has no subtrees to total, and ANCESTRY ends nothing.
        {A, L"/sum", L"Unknown option: \"/SUM\"\r\n", true},
        {A, L"/END /Y", L"\"/END\"", false},
        {A, L"/W:1021", L": 1021\r\n", false},
        {K, L"/W:4294967296", L"\"4294967296\"", false},
        {K, L"/O:Q", L"/O:Q", false},
        {A, L"/P:X", L"\"/P:X\"", false},
        // A bad argument before a help request wins over it.
        {A, L"/Q /?", L"\"/Q\"", false},
        {K, L"/W:5 /??", L": 5\r\n", false},
        {K, L"/N:q?", L"/N:Q ", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OPTIONS_ERROR, parse(c.kind, c.arguments)) << c.arguments;
        if (c.whole) {
            EXPECT_EQ(std::wstring(L"Kinfold plugin: ") + c.text, gFakeHost.err) << c.arguments;
        } else {
            EXPECT_NE(std::wstring::npos, gFakeHost.err.find(c.text)) << c.arguments << ": " << gFakeHost.err;
            EXPECT_EQ(gFakeHost.err.rfind(L"\r\n"), gFakeHost.err.find(L"\r\n")) << "one message";
        }
        EXPECT_EQ(L"", gFakeHost.out) << c.arguments;
        EXPECT_EQ(0u, settings->flags) << c.arguments;
        EXPECT_EQ(L"", summary()) << c.arguments;
    }
}

// The window's own rules belong to the console (window_fit); here, that
// /P, /W and /CSV reach them and the paging state.
TEST_F(OptionsTest, AfterTheWalkWidthAndPageFitTheWindow)
{
    FakeConsoleScope console;
    const struct {
        bool isConsole;
        const wchar_t* arguments;
        uint32_t width;
        uint32_t page;
    } cases[] = {
        {true, L"/P", 79, 23},
        {true, L"/P:0,3", 79, 3},
        {true, L"/W:60", 60, 0},
        {true, L"/P:0,10 /CSV", 79, 0},
        {false, L"/P:0,10 /H:cmd", 100, 0},
    };
    for (const auto& c : cases) {
        gFakeConsole.isConsole = c.isConsole;
        gFakeConsole.window = {0, 0, 79, 24};
        ASSERT_EQ(OPTIONS_CONTINUE, parse(K, c.arguments)) << c.arguments;
        finishDisplayOptions(K, settings.get(), &gTestOutput);
        EXPECT_EQ(c.width, settings->width) << c.arguments;
        EXPECT_EQ(c.page, gTestOutput.paging.pageLength) << c.arguments;
        EXPECT_EQ(c.page, gTestOutput.paging.linesLeft) << c.arguments;
        EXPECT_EQ(c.isConsole && (settings->flags & OPT_CSV) == 0, gTestOutput.attributes.normalAttribute != 0)
            << "colour only on a console, and never in CSV rows: " << c.arguments;
    }
}

TEST_F(OptionsTest, AfterTheWalkSortKeysOpenProcessesAndNoHighlightDropsColour)
{
    FakeConsoleScope console;
    ASSERT_EQ(OPTIONS_CONTINUE, parse(K, L"/H:cmd /O:N"));
    finishDisplayOptions(K, settings.get(), &gTestOutput);
    EXPECT_EQ(OPT_OPEN_PROCESSES, settings->flags);
    EXPECT_EQ(L"cmd", std::wstring(settings->highlightPattern));
    EXPECT_NE(0, gTestOutput.attributes.normalAttribute);

    gTestOutput.attributes.normalAttribute = 0x1F;
    ASSERT_EQ(OPTIONS_CONTINUE, parse(A, L"/H:cmd /N:C"));
    finishDisplayOptions(A, settings.get(), &gTestOutput);
    EXPECT_EQ(L"", std::wstring(settings->highlightPattern));
    EXPECT_EQ(0, gTestOutput.attributes.normalAttribute);
}
