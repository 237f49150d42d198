#include "base/version.h"
#include "command_fixtures.h"
#include "commands/help_texts.h"
#include "fake_host.h"
#include "render/sibling_order.h"

#include <gtest/gtest.h>

#include <string>

// The texts exactly as the user sees them, written out once more here so that
// a slip in either copy shows.
namespace {

const wchar_t* const EXPECTED_KINFOLD_HELP =
    L"List descendants of a given process.\n"
    L"\n"
    L"KINFOLD /A /ALL /ANC /C /CMD /CSV /D /E /END /F /H: /I /K /M /N: /O: /SUM /SVC /TC /T: /W: /Y root  \r\n"
    L"\n"
    L"\t/A\tASCII characters\n"
    L"\t/ALL\tevery match, or every process\n"
    L"\t/ANC\tshow the ancestors of each root\n"
    L"\t/C\tshow priorities\n"
    L"\t/CMD\tshow command lines\n"
    L"\t/CSV\tcomma-separated values\n"
    L"\t/D\tdecimal PIDs\n"
    L"\t/E\tstart from Explorer\n"
    L"\t/END\tend the tree, leaves first (asks first)\n"
    L"\t/F\tshow complete filenames\n"
    L"\t/H:\thighlight matching strings\n"
    L"\t/I\tshow extra info:  \u2191 elevated, \u00BB 32-bit\n"
    L"\t/K\tshow thread counts\n"
    L"\t/M\tshow memory usage\n"
    L"\t/N:\tdisable features:  CDESTWX  \t/N? for help\n"
    L"\t/O:\tsort processes:    -CDEKMNPTW \t/O? for help\n"
    L"\t/SUM\tshow subtree totals\n"
    L"\t/SVC\tstart from services root\n"
    L"\t/TC\tstart from Take Command\n"
    L"\t/T:\tprocess start times:  DSMF    \t/T? for help\n"
    L"\t/W:\tspecify line width\n"
    L"\t/Y\tend without asking (with /END)\n"
    L"\n"
    L"\u201CRoot\u201D may be a PID in decimal, or hexadecimal with a leading 0x;\n"
    L"or a wildspec matching the program\u2019s executable name, window title,  \n"
    L"or service name.  If omitted, it defaults to the current shell.\n";

const wchar_t* const EXPECTED_KINFOLD_HELP_N =
    L"KINFOLD /N:  \u2014 disable features\n"
    L"\n"
    L"\tC\tno highlight\n"
    L"\tD\tdo not show display names\n"
    L"\tE\tASCII periods instead of Unicode ellipses\n"
    L"\tS\tdo not collect service names\n"
    L"\tT\tdo not display the tree graphic\n"
    L"\tW\tdo not collect window titles\n"
    L"\tX\tdo not hide extensions\n";

const wchar_t* const EXPECTED_KINFOLD_HELP_O =
    L"KINFOLD /O:  \u2014 sort sibling processes\n"
    L"\n"
    L"\tC\tby priority (ascending)\n"
    L"\tD\tby display name\n"
    L"\tE\televated processes first\n"
    L"\tK\tby thread count (ascending)\n"
    L"\tM\tby memory usage (ascending)\n"
    L"\tN\tby executable name\n"
    L"\tP\tby process ID (ascending)\n"
    L"\tT\tby creation time (oldest first)\n"
    L"\tW\t32-bit processes first\n"
    L"\t-\treverses the following key\n";

const wchar_t* const EXPECTED_KINFOLD_HELP_T =
    L"KINFOLD /T:  \u2014 show start times\n"
    L"\n"
    L"\tD\tdate\n"
    L"\tS\tseconds\n"
    L"\tM\tmilliseconds\n"
    L"\tF\tall of the above\n";

const wchar_t* const EXPECTED_ANCESTRY_HELP =
    L"List ancestors of a given process.\n"
    L"\n"
    L"ANCESTRY /C /CMD /CSV /D /F /H: /I /K /M /N: /R /T: /W: process  \r\n"
    L"\n"
    L"\t/C\tshow priorities\n"
    L"\t/CMD\tshow command lines\n"
    L"\t/CSV\tcomma-separated values\n"
    L"\t/D\tdecimal PIDs\n"
    L"\t/F\tshow complete filenames\n"
    L"\t/H:\thighlight matching strings\n"
    L"\t/I\tshow extra info:  \u2191 elevated, \u00BB 32-bit\n"
    L"\t/K\tshow thread counts\n"
    L"\t/M\tshow memory usage\n"
    L"\t/N:\tdisable features:  CDESWX  \t/N? for help\n"
    L"\t/R\treverse order\n"
    L"\t/T:\tprocess start times:  DSMF    \t/T? for help\n"
    L"\t/W:\tspecify line width\n"
    L"\n"
    L"\u201CProcess\u201D may be a PID in decimal, or hexadecimal with a leading 0x;  \n"
    L"or a wildspec matching the program\u2019s executable name, window title,\n"
    L"or service name.  If omitted, it defaults to the current shell.\n";

const wchar_t* const EXPECTED_ANCESTRY_HELP_N =
    L"ANCESTRY /N:  \u2014 disable features\n"
    L"\n"
    L"\tC\tno highlight\n"
    L"\tD\tdo not show display names\n"
    L"\tE\tASCII periods instead of Unicode ellipses\n"
    L"\tS\tdo not collect service names\n"
    L"\tW\tdo not collect window titles\n"
    L"\tX\tdo not hide extensions\n";

const wchar_t* const EXPECTED_ANCESTRY_HELP_T =
    L"ANCESTRY /T:  \u2014 show start times\n"
    L"\n"
    L"\tD\tdate\n"
    L"\tS\tseconds\n"
    L"\tM\tmilliseconds\n"
    L"\tF\tall of the above\n";

const wchar_t* const EXPECTED_ANCESTRY_FUNCTION_HELP =
    L"Returns ancestors of a given process.\n"
    L"\n"
    L"@ANCESTRY[pid,flags] \r\n"
    L"\n"
    L"\tpid\tthe process ID, decimal or hex  \n"
    L"\tflags\t\u2000\u20000:  return PIDS in hexadecimal\n"
    L"\t\t\u2000\u20001:  hexadecimal, no leading 0x  \n"
    L"\t\t\u2000\u20002:  decimal\n"
    L"\t\t\u2000\u20003:  executable names\n"
    L"\t\t\u200064:  reverse order\n"
    L"\t\t128:  lowercase\n"
    L"\n"
    L"If pid is not specified, it defaults to the current shell.  \n";

// The architecture is spelt out rather than taken from the build's own macro.
#if defined(_WIN64)
const std::wstring VERSION_LINE = L"\r\n\t\t\t\tKinfold  " KF_VERSION_TEXT L".0 (x64)\r\n";
#else
const std::wstring VERSION_LINE = L"\r\n\t\t\t\tKinfold  " KF_VERSION_TEXT L".0 (x86)\r\n";
#endif

}  // namespace

TEST(HelpTextTest, CommandsPrintTheirTextsByteForByteAndReturnZero)
{
    const struct {
        int(WINAPI* command)(wchar_t*);
        const wchar_t* arguments;
        std::wstring expected;
    } cases[] = {
        {kinfold, L"/?", EXPECTED_KINFOLD_HELP},
        {kinfold, L"/N?", EXPECTED_KINFOLD_HELP_N},
        {kinfold, L"/O?", EXPECTED_KINFOLD_HELP_O},
        {kinfold, L"/T?", EXPECTED_KINFOLD_HELP_T},
        {kinfold, L"/??", EXPECTED_KINFOLD_HELP + VERSION_LINE},
        {ancestry, L"/?", EXPECTED_ANCESTRY_HELP},
        {ancestry, L"/n?", EXPECTED_ANCESTRY_HELP_N},
        {ancestry, L"/t?", EXPECTED_ANCESTRY_HELP_T},
        {ancestry, L"/??", EXPECTED_ANCESTRY_HELP + VERSION_LINE},
        // Anything after the request goes unread, bad or not; anything before
        // it that is good is dropped.
        {kinfold, L"/A 4 /?x /Q 8", EXPECTED_KINFOLD_HELP},
        {ancestry, L"/? /Q", EXPECTED_ANCESTRY_HELP},
        // A "?" among the letters, or anywhere in /O.
        {kinfold, L"/O:n?", EXPECTED_KINFOLD_HELP_O},
        {kinfold, L"/N:c?", EXPECTED_KINFOLD_HELP_N},
        {ancestry, L"/T:D?", EXPECTED_ANCESTRY_HELP_T},
    };
    for (const auto& c : cases) {
        resetFakeHost();
        EXPECT_EQ(0, runCommand(c.command, c.arguments)) << c.arguments;
        EXPECT_EQ(c.expected, gFakeHost.out) << c.arguments;
        EXPECT_EQ(L"", gFakeHost.err) << c.arguments;
    }
    EXPECT_EQ(std::wstring(EXPECTED_ANCESTRY_FUNCTION_HELP), ANCESTRY_FUNCTION_HELP);
}

// Fails when a flag @KINFOLD takes is left out of its help, or its lines leave
// the layout @ANCESTRY's help has.
TEST(HelpTextTest, KinfoldFunctionHelpListsEveryFlagInAncestrysLayout)
{
    const std::wstring help = KINFOLD_FUNCTION_HELP;
    EXPECT_NE(std::wstring::npos, help.find(L"\n\n@KINFOLD[pid,flags] \r\n\n\tpid\tthe process ID, decimal or hex  \n"));
    const wchar_t* const flagColumns[] = {L"\tflags\t\u2000\u20000:  ", L"\t\t\u2000\u20001:  ",
                                          L"\t\t\u2000\u20002:  ",    L"\t\t\u2000\u20003:  ",
                                          L"\t\t\u200064:  ",         L"\t\t128:  ",
                                          L"\t\t256:  ",               L"\t\t512:  "};
    size_t from = 0;
    for (const wchar_t* column : flagColumns) {
        size_t at = help.find(column, from);
        EXPECT_NE(std::wstring::npos, at) << "flag line missing or out of order: " << column;
        from = at == std::wstring::npos ? from : at;
    }
    const std::wstring ancestryHelp = ANCESTRY_FUNCTION_HELP;
    const std::wstring lastLine = ancestryHelp.substr(ancestryHelp.rfind(L"\n\n"));
    EXPECT_EQ(lastLine, help.substr(help.size() - lastLine.size()));
}

// The /O: line of the help lists the keys by hand: a key added to the
// sort-key table (or taken out of it) without this line fails here.
TEST(HelpTextTest, SortLineOfTheHelpNamesEveryKeyOfTheTable)
{
    std::wstring letters = L"-";
    for (const SortKey& key : SORT_KEY_ROWS) {
        letters += key.letter;
    }
    const std::wstring line = L"\t/O:\tsort processes:    " + letters + L" \t/O? for help\n";
    EXPECT_NE(std::wstring::npos, std::wstring(KINFOLD_HELP).find(line)) << "no line " << line;
}
