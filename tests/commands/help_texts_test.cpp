#include "commands/display_options.h"
#include "commands/help_texts.h"
#include "console/arguments.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The texts exactly as the user sees them, written out once more here so that
// a slip in either copy shows.
namespace {

const wchar_t* const EXPECTED_KINFOLD_HELP =
    L"List descendants of a given process.\n"
    L"\n"
    L"KINFOLD /A /C /D /E /F /H: /I /K /M /N: /O: /SVC /TC /T: /W: root  \r\n"
    L"\n"
    L"\t/A\tASCII characters\n"
    L"\t/C\tshow priorities\n"
    L"\t/D\tdecimal PIDs\n"
    L"\t/E\tstart from Explorer\n"
    L"\t/F\tshow complete filenames\n"
    L"\t/H:\thighlight matching strings\n"
    L"\t/I\tshow extra info:  \u2191 elevated, \u00BB 32-bit\n"
    L"\t/K\tshow thread counts\n"
    L"\t/M\tshow memory usage\n"
    L"\t/N:\tdisable features:  CDESTWX  \t/N? for help\n"
    L"\t/O:\tsort processes:    -CDEKMNPTW \t/O? for help\n"
    L"\t/SVC\tstart from services root\n"
    L"\t/TC\tstart from Take Command\n"
    L"\t/T:\tprocess start times:  DSMF    \t/T? for help\n"
    L"\t/W:\tspecify line width\n"
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
    L"ANCESTRY /C /D /F /H: /I /K /M /N: /R /T: /W: process  \r\n"
    L"\n"
    L"\t/C\tshow priorities\n"
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

class HelpTextTest : public ::testing::Test {
protected:
    std::unique_ptr<DisplaySettings> settings{new DisplaySettings()};

    // What the command prints for its help argument.
    std::wstring helpOutput(CommandKind kind, const wchar_t* arguments)
    {
        splitArguments(kind == CommandKind::Kinfold ? SPLIT_MODE_KINFOLD : SPLIT_MODE_ANCESTRY, arguments);
        resetDisplaySettings(settings.get());
        EXPECT_EQ(OPTIONS_HELP_DONE, parseCommandOptions(kind, settings.get())) << arguments;
        EXPECT_EQ(L"", gFakeHost.err);
        return gFakeHost.out;
    }
};

}  // namespace

TEST_F(HelpTextTest, KinfoldPrintsItsTextsByteForByte)
{
    EXPECT_EQ(EXPECTED_KINFOLD_HELP, helpOutput(CommandKind::Kinfold, L"/?"));
    gFakeHost.out.clear();
    EXPECT_EQ(EXPECTED_KINFOLD_HELP_N, helpOutput(CommandKind::Kinfold, L"/N?"));
    gFakeHost.out.clear();
    EXPECT_EQ(EXPECTED_KINFOLD_HELP_O, helpOutput(CommandKind::Kinfold, L"/O?"));
    gFakeHost.out.clear();
    EXPECT_EQ(EXPECTED_KINFOLD_HELP_T, helpOutput(CommandKind::Kinfold, L"/T?"));
}

TEST_F(HelpTextTest, AncestryPrintsItsTextsByteForByte)
{
    EXPECT_EQ(EXPECTED_ANCESTRY_HELP, helpOutput(CommandKind::Ancestry, L"/?"));
    gFakeHost.out.clear();
    EXPECT_EQ(EXPECTED_ANCESTRY_HELP_N, helpOutput(CommandKind::Ancestry, L"/n?"));
    gFakeHost.out.clear();
    EXPECT_EQ(EXPECTED_ANCESTRY_HELP_T, helpOutput(CommandKind::Ancestry, L"/t?"));
}

TEST(FunctionHelpTest, MatchesTheTextByteForByte)
{
    EXPECT_EQ(std::wstring(EXPECTED_ANCESTRY_FUNCTION_HELP), ANCESTRY_FUNCTION_HELP);
}

TEST(VersionLineTest, NamesModuleVersionAndArchitecture)
{
    printVersionLine();
    EXPECT_EQ(L"\r\n\t\t\t\tKinfold  1.1.1.0 (" KF_ARCH_TEXT L")\r\n", gFakeHost.out);
#if defined(_WIN64)
    EXPECT_EQ(std::wstring(L"x64"), KF_ARCH_TEXT);
#else
    EXPECT_EQ(std::wstring(L"x86"), KF_ARCH_TEXT);
#endif
}
