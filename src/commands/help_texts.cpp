#include "commands/help_texts.h"

#include "base/host_api.h"
#include "base/product.h"
#include "base/text.h"
#include "console/line_output.h"
#include "render/sibling_order.h"

#include <wchar.h>

namespace {

const size_t VERSION_LINE_COUNT = 128;
// Room for the /O? text: a heading and a line for each key and for "-".
const size_t SORT_KEY_HELP_COUNT = 512;

}  // namespace

// The line ends are part of each text: the host prints them unchanged, and
// Usage hands back everything after the first line.

const wchar_t* const KINFOLD_HELP =
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

const wchar_t* const KINFOLD_HELP_N =
    L"KINFOLD /N:  \u2014 disable features\n"
    L"\n"
    L"\tC\tno highlight\n"
    L"\tD\tdo not show display names\n"
    L"\tE\tASCII periods instead of Unicode ellipses\n"
    L"\tS\tdo not collect service names\n"
    L"\tT\tdo not display the tree graphic\n"
    L"\tW\tdo not collect window titles\n"
    L"\tX\tdo not hide extensions\n";

const wchar_t* const KINFOLD_HELP_T =
    L"KINFOLD /T:  \u2014 show start times\n"
    L"\n"
    L"\tD\tdate\n"
    L"\tS\tseconds\n"
    L"\tM\tmilliseconds\n"
    L"\tF\tall of the above\n";

const wchar_t* const ANCESTRY_HELP =
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

const wchar_t* const ANCESTRY_HELP_N =
    L"ANCESTRY /N:  \u2014 disable features\n"
    L"\n"
    L"\tC\tno highlight\n"
    L"\tD\tdo not show display names\n"
    L"\tE\tASCII periods instead of Unicode ellipses\n"
    L"\tS\tdo not collect service names\n"
    L"\tW\tdo not collect window titles\n"
    L"\tX\tdo not hide extensions\n";

const wchar_t* const ANCESTRY_HELP_T =
    L"ANCESTRY /T:  \u2014 show start times\n"
    L"\n"
    L"\tD\tdate\n"
    L"\tS\tseconds\n"
    L"\tM\tmilliseconds\n"
    L"\tF\tall of the above\n";

const wchar_t* const ANCESTRY_FUNCTION_HELP =
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

const wchar_t* const KINFOLD_FUNCTION_HELP =
    L"Returns a process and its descendants.\n"
    L"\n"
    L"@KINFOLD[pid,flags] \r\n"
    L"\n"
    L"\tpid\tthe process ID, decimal or hex  \n"
    L"\tflags\t\u2000\u20000:  return PIDS in hexadecimal\n"
    L"\t\t\u2000\u20001:  hexadecimal, no leading 0x  \n"
    L"\t\t\u2000\u20002:  decimal\n"
    L"\t\t\u2000\u20003:  executable names\n"
    L"\t\t\u200064:  leaves first (each process after its descendants)\n"
    L"\t\t128:  lowercase\n"
    L"\t\t256:  descendants only, without the process itself\n"
    L"\t\t512:  only the number of processes the list would hold\n"
    L"\n"
    L"If pid is not specified, it defaults to the current shell.  \n";

void printVersionLine(ConsoleOutput* output)
{
    wchar_t line[VERSION_LINE_COUNT];
    (void)formatText(line, VERSION_LINE_COUNT, L"\r\n\t\t\t\t%s  %u.%u.%u.%u (%s)\r\n", PLUGIN_NAME, PLUGIN_MAJOR,
                     PLUGIN_MINOR, PLUGIN_BUILD, 0u, KF_ARCH_TEXT);
    writeHelpText(output, line);
}

void writeSortKeyHelp(ConsoleOutput* output)
{
    wchar_t text[SORT_KEY_HELP_COUNT];
    copyText(text, SORT_KEY_HELP_COUNT, L"KINFOLD /O:  \u2014 sort sibling processes\n\n");
    for (const SortKey& key : SORT_KEY_ROWS) {
        size_t length = wcslen(text);
        (void)formatText(text + length, SORT_KEY_HELP_COUNT - length, L"\t%c\t%s\n", key.letter, key.help);
    }
    appendText(text, SORT_KEY_HELP_COUNT, L"\t-\treverses the following key\n");
    writeHelpText(output, text);
}
