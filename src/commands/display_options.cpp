#include "commands/display_options.h"

#include "commands/help_texts.h"
#include "console/arguments.h"
#include "base/host_api.h"
#include "base/text.h"
#include "console/diagnostics.h"
#include "console/highlight.h"
#include "console/line_output.h"
#include "console/paging.h"
#include "console/window_fit.h"
#include "render/sibling_order.h"

#include <windows.h>
#include <string.h>
#include <wctype.h>

namespace {

enum class Match { Exact, Prefix };

enum class Action {
    Help,
    Ascii,
    Priority,
    Csv,
    DecimalPid,
    Explorer,
    FullPath,
    Highlight,
    ExtraInfo,
    Threads,
    Memory,
    MemoryFraction,
    MemoryBytes,
    Suboptions,
    SortKeys,
    Pause,
    ServicesRoot,
    ShellWindow,
    StartTime,
    Count,
    AutomaticWidth,
    Width,
    HexPid,
    ParentPid,
    NumberedLines,
    Reverse,
    AllRoots,
    AncestorPaths,
    SubtreeSums,
    EndTree,
    EndConfirmed,
    CommandLine,
};

struct OptionRow {
    const wchar_t* text;
    Match match;
    Action action;
};

// Tested top to bottom; the first row that matches decides, so an exact row
// placed before a prefix row with the same letters takes precedence (/TC).
const OptionRow KINFOLD_OPTIONS[] = {
    {L"/?", Match::Prefix, Action::Help},
    {L"/A", Match::Exact, Action::Ascii},
    {L"/ALL", Match::Exact, Action::AllRoots},
    {L"/ANC", Match::Exact, Action::AncestorPaths},
    {L"/C", Match::Exact, Action::Priority},
    {L"/CMD", Match::Exact, Action::CommandLine},
    {L"/CSV", Match::Exact, Action::Csv},
    {L"/D", Match::Exact, Action::DecimalPid},
    {L"/E", Match::Exact, Action::Explorer},
    {L"/END", Match::Exact, Action::EndTree},
    {L"/F", Match::Exact, Action::FullPath},
    {L"/H", Match::Prefix, Action::Highlight},
    {L"/I", Match::Exact, Action::ExtraInfo},
    {L"/K", Match::Exact, Action::Threads},
    {L"/M", Match::Exact, Action::Memory},
    {L"/MF", Match::Exact, Action::MemoryFraction},
    {L"/MM", Match::Exact, Action::MemoryBytes},
    {L"/N", Match::Prefix, Action::Suboptions},
    {L"/O", Match::Prefix, Action::SortKeys},
    {L"/P", Match::Prefix, Action::Pause},
    {L"/SUM", Match::Exact, Action::SubtreeSums},
    {L"/SV", Match::Exact, Action::ServicesRoot},
    {L"/SVC", Match::Exact, Action::ServicesRoot},
    {L"/TC", Match::Exact, Action::ShellWindow},
    {L"/TCMD", Match::Exact, Action::ShellWindow},
    {L"/T", Match::Prefix, Action::StartTime},
    {L"/U", Match::Exact, Action::Count},
    {L"/W", Match::Exact, Action::AutomaticWidth},
    {L"/W", Match::Prefix, Action::Width},
    {L"/X", Match::Exact, Action::HexPid},
    {L"/Y", Match::Exact, Action::EndConfirmed},
    {L"/Z", Match::Exact, Action::ParentPid},
};

const OptionRow ANCESTRY_OPTIONS[] = {
    {L"/?", Match::Prefix, Action::Help},
    {L"/C", Match::Exact, Action::Priority},
    {L"/CMD", Match::Exact, Action::CommandLine},
    {L"/CSV", Match::Exact, Action::Csv},
    {L"/D", Match::Exact, Action::DecimalPid},
    {L"/F", Match::Exact, Action::FullPath},
    {L"/H", Match::Prefix, Action::Highlight},
    {L"/I", Match::Exact, Action::ExtraInfo},
    {L"/K", Match::Exact, Action::Threads},
    {L"/L", Match::Exact, Action::NumberedLines},
    {L"/M", Match::Exact, Action::Memory},
    {L"/MF", Match::Exact, Action::MemoryFraction},
    {L"/MM", Match::Exact, Action::MemoryBytes},
    {L"/N", Match::Prefix, Action::Suboptions},
    {L"/P", Match::Prefix, Action::Pause},
    {L"/R", Match::Exact, Action::Reverse},
    {L"/T", Match::Prefix, Action::StartTime},
    {L"/U", Match::Exact, Action::Count},
    {L"/W", Match::Exact, Action::AutomaticWidth},
    {L"/W", Match::Prefix, Action::Width},
    {L"/X", Match::Exact, Action::HexPid},
};

// What makes one command's options differ from the other's.
struct CommandOptions {
    const OptionRow* rows;
    size_t rowCount;
    bool ignoreCase;             // ANCESTRY's splitter has upper-cased already
    const wchar_t* suboptionLetters;
    const wchar_t* unknownSuboptionMessage;
    const wchar_t* help;
    const wchar_t* helpN;
    const wchar_t* helpT;
};

const CommandOptions KINFOLD_COMMAND = {
    KINFOLD_OPTIONS, sizeof(KINFOLD_OPTIONS) / sizeof(KINFOLD_OPTIONS[0]), true, L"CDESTWX",
    L"Unknown suboption: /N:%c  (/N? for help)\r\n", KINFOLD_HELP, KINFOLD_HELP_N, KINFOLD_HELP_T,
};

const CommandOptions ANCESTRY_COMMAND = {
    ANCESTRY_OPTIONS, sizeof(ANCESTRY_OPTIONS) / sizeof(ANCESTRY_OPTIONS[0]), false, L"CDESWX",
    L"Unknown suboptions: /N:%c  (/N? for help)\r\n", ANCESTRY_HELP, ANCESTRY_HELP_N, ANCESTRY_HELP_T,
};

// Option names are ASCII; the host's own letters outside ASCII never match.
bool sameLetter(wchar_t a, wchar_t b, bool ignoreCase)
{
    return ignoreCase ? upperAscii(a) == upperAscii(b) : a == b;
}

bool rowMatches(const OptionRow& row, const wchar_t* argument, bool ignoreCase)
{
    size_t length = wcslen(row.text);
    size_t compared = row.match == Match::Exact ? length + 1 : 2;  // exact includes the terminator
    for (size_t i = 0; i < compared; ++i) {
        wchar_t expected = i < length ? row.text[i] : L'\0';
        if (!sameLetter(argument[i], expected, ignoreCase)) {
            return false;
        }
    }
    return true;
}

const OptionRow* findRow(const CommandOptions& command, const wchar_t* argument)
{
    for (size_t i = 0; i < command.rowCount; ++i) {
        if (rowMatches(command.rows[i], argument, command.ignoreCase)) {
            return &command.rows[i];
        }
    }
    return NULL;
}

// The value of a prefix option: after its two letters and one optional ":" or "=".
wchar_t* optionValue(wchar_t* argument)
{
    wchar_t* value = argument + 2;
    return isValueSeparator(*value) ? value + 1 : value;
}

void addHighlightText(wchar_t* argument, DisplaySettings* settings)
{
    wchar_t* text = argument + 2;
    if (isValueSeparator(*text)) {
        text++;
    } else if (upperAscii(text[0]) == L'L' && isValueSeparator(text[1])) {
        text += 2;
    }
    if (*text == L'\0') {
        return;
    }
    // Every "|" replaces at least two letters of option name, so the joined
    // pattern never outgrows the splitter's buffer of the same size.
    if (settings->highlightPattern[0] != L'\0') {
        appendText(settings->highlightPattern, HIGHLIGHT_PATTERN_COUNT, L"|");
    }
    appendText(settings->highlightPattern, HIGHLIGHT_PATTERN_COUNT, text);
}

void setMemoryFormat(DisplayFlags format, DisplaySettings* settings)
{
    settings->flags &= ~(OPT_MEMORY_BYTES | OPT_MEMORY_FRACTION);
    settings->flags |= OPT_MEMORY | OPT_OPEN_PROCESSES | format;
}

int applySuboptions(const CommandOptions& command, wchar_t* argument, DisplaySettings* settings,
                    ConsoleOutput* output)
{
    for (const wchar_t* p = optionValue(argument); *p != L'\0'; ++p) {
        wchar_t letter = upperAscii(*p);
        if (letter == L'?') {
            writeHelpText(output, command.helpN);
            return OPTIONS_HELP_DONE;
        }
        if (wcschr(command.suboptionLetters, letter) == NULL) {
            reportError(command.unknownSuboptionMessage, static_cast<wchar_t>(towupper(*p)));
            return OPTIONS_ERROR;
        }
        switch (letter) {
        case L'C': settings->noHighlight = true; break;
        case L'D': settings->flags |= OPT_NO_DISPLAY_NAMES; break;
        case L'E': settings->flags |= OPT_ASCII_ELLIPSIS; break;
        case L'S': settings->flags |= OPT_NO_SERVICES; break;
        case L'T': settings->flags |= OPT_NO_TREE; break;
        case L'W': settings->flags |= OPT_NO_TITLES; break;
        case L'X': settings->flags |= OPT_KEEP_EXTENSIONS; break;
        default: break;
        }
    }
    return OPTIONS_CONTINUE;
}

int applyStartTime(const CommandOptions& command, wchar_t* argument, DisplaySettings* settings,
                   ConsoleOutput* output)
{
    settings->flags |= OPT_START_TIME | OPT_OPEN_PROCESSES;
    for (const wchar_t* p = optionValue(argument); *p != L'\0'; ++p) {
        switch (upperAscii(*p)) {
        case L'D': settings->flags |= OPT_TIME_DATE; break;
        case L'S': settings->flags |= OPT_TIME_SECONDS; break;
        case L'M': settings->flags |= OPT_TIME_SECONDS | OPT_TIME_MILLIS; break;
        case L'F': settings->flags |= OPT_TIME_DATE | OPT_TIME_SECONDS | OPT_TIME_MILLIS; break;
        case L'?':
            writeHelpText(output, command.helpT);
            return OPTIONS_HELP_DONE;
        default:
            reportError(L"Unknown suboption: /T:%c  (/T? for help)\r\n", static_cast<wchar_t>(towupper(*p)));
            return OPTIONS_ERROR;
        }
    }
    return OPTIONS_CONTINUE;
}

int applyWidth(wchar_t* argument, DisplaySettings* settings)
{
    wchar_t* value = optionValue(argument);
    if (*value == L'\0') {
        return OPTIONS_CONTINUE;  // "/W:" names no width and changes nothing
    }
    uint32_t width = 0;
    if (parseNumber(value, NULL, &width) != 0) {
        upperCaseText(argument);
        reportError(L"Bad width: \"%s\"\r\n", value);
        return OPTIONS_ERROR;
    }
    if (width != 0 && (width < MIN_WIDTH || width > MAX_WIDTH)) {
        reportError(L"Width must be between %u and %u: %u\r\n", MIN_WIDTH, MAX_WIDTH, width);
        return OPTIONS_ERROR;
    }
    settings->width = width;
    return OPTIONS_CONTINUE;
}

int takeRoot(wchar_t* argument, DisplaySettings* settings)
{
    if (settings->rootGiven) {
        upperCaseText(argument);
        reportError(L"Syntax error: \"%s\"\r\n", argument);
        return OPTIONS_ERROR;
    }
    const wchar_t* rest = NULL;
    uint32_t pid = 0;
    if (parseNumber(argument, &rest, &pid) == 0 && *rest == L'\0') {
        settings->rootPid = pid;
        settings->rootPattern = NULL;
    } else {
        settings->rootPid = 0;
        settings->rootPattern = argument;
    }
    settings->rootGiven = true;
    return OPTIONS_CONTINUE;
}

int applyOption(const CommandOptions& command, const OptionRow& row, wchar_t* argument,
                DisplaySettings* settings, ConsoleOutput* output)
{
    switch (row.action) {
    case Action::Help:
        writeHelpText(output, command.help);
        if (argument[2] == L'?') {
            printVersionLine(output);
        }
        return OPTIONS_HELP_DONE;
    case Action::Ascii: settings->flags |= OPT_ASCII; break;
    case Action::Priority: settings->flags |= OPT_PRIORITY | OPT_OPEN_PROCESSES; break;
    case Action::Csv: settings->flags |= OPT_CSV; break;
    case Action::DecimalPid: settings->flags |= OPT_DECIMAL_PID; break;
    case Action::Explorer: settings->explorerRoot = true; break;
    // One choice of display text: the later of /F and /CMD wins.
    case Action::FullPath: settings->flags = (settings->flags & ~OPT_COMMAND_LINE) | OPT_FULL_PATH; break;
    case Action::CommandLine: settings->flags = (settings->flags & ~OPT_FULL_PATH) | OPT_COMMAND_LINE; break;
    case Action::Highlight: addHighlightText(argument, settings); break;
    case Action::ExtraInfo: settings->flags |= OPT_EXTRA_INFO | OPT_OPEN_PROCESSES; break;
    case Action::Threads: settings->flags |= OPT_THREADS; break;
    case Action::Memory: setMemoryFormat(0, settings); break;
    case Action::MemoryFraction: setMemoryFormat(OPT_MEMORY_FRACTION, settings); break;
    case Action::MemoryBytes: setMemoryFormat(OPT_MEMORY_BYTES, settings); break;
    case Action::Suboptions: return applySuboptions(command, argument, settings, output);
    case Action::SortKeys:
        if (wcschr(argument, L'?') != NULL) {
            writeSortKeyHelp(output);
            return OPTIONS_HELP_DONE;
        }
        return parseSortKeys(argument + 2, settings->sortKeys, &settings->unsorted) == 0 ? OPTIONS_CONTINUE
                                                                                           : OPTIONS_ERROR;
    case Action::Pause:
        return parsePauseOption(argument, &settings->pauseLines, &output->paging) == 0 ? OPTIONS_CONTINUE
                                                                                        : OPTIONS_ERROR;
    case Action::ServicesRoot: settings->flags |= OPT_SERVICES_ROOT; break;
    case Action::ShellWindow: settings->shellWindowRoot = true; break;
    case Action::StartTime: return applyStartTime(command, argument, settings, output);
    case Action::Count: settings->flags |= OPT_COUNT; break;
    case Action::AutomaticWidth: settings->width = 0; break;
    case Action::Width: return applyWidth(argument, settings);
    case Action::HexPid: settings->flags &= ~OPT_DECIMAL_PID; break;
    case Action::ParentPid: settings->flags |= OPT_PARENT_PID; break;
    case Action::NumberedLines: settings->flags |= OPT_NO_TREE; break;
    case Action::Reverse: settings->flags |= OPT_REVERSE; break;
    case Action::AllRoots: settings->flags |= OPT_ALL_ROOTS | OPT_MATCH_HIGHLIGHT; break;
    case Action::AncestorPaths: settings->flags |= OPT_ANCESTOR_PATHS | OPT_MATCH_HIGHLIGHT; break;
    case Action::SubtreeSums:
        // Totals are of memory first: /SUM alone shows /M's column, a memory
        // option before or after it picks the format.
        settings->flags |= OPT_SUBTREE_SUMS;
        if ((settings->flags & OPT_MEMORY) == 0) {
            setMemoryFormat(0, settings);
        }
        break;
    case Action::EndTree: settings->endTree = true; break;
    case Action::EndConfirmed: settings->endConfirmed = true; break;
    }
    return OPTIONS_CONTINUE;
}

// /END is refused before anything is printed where it could not be carried
// out as asked: rows for programs end nothing, and with nobody at a console
// to answer, only /Y says yes.
int checkEndTree(const DisplaySettings& settings, ConsoleOutput* output)
{
    if (!settings.endTree) {
        return OPTIONS_CONTINUE;
    }
    if ((settings.flags & OPT_CSV) != 0) {
        reportError(L"/END does not take /CSV: list with @KINFOLD, end with /END /Y\r\n");
        return OPTIONS_ERROR;
    }
    if (!settings.endConfirmed && !consoleCanAsk(output->port)) {
        reportError(L"/END needs /Y when there is no console to ask\r\n");
        return OPTIONS_ERROR;
    }
    return OPTIONS_CONTINUE;
}

}  // namespace

void resetDisplaySettings(DisplaySettings* settings)
{
    if (settings != NULL) {
        memset(settings, 0, sizeof(*settings));
    }
}

int parseCommandOptions(CommandKind kind, ArgumentTable* arguments, DisplaySettings* settings,
                        ConsoleOutput* output)
{
    if (arguments == NULL || settings == NULL || output == NULL) {
        return OPTIONS_ERROR;
    }
    const CommandOptions& command = kind == CommandKind::Kinfold ? KINFOLD_COMMAND : ANCESTRY_COMMAND;
    wchar_t emptyArgument[1] = {L'\0'};
    for (int i = 0; i < arguments->argCount; ++i) {
        wchar_t* argument = arguments->argText[i] != NULL ? arguments->argText[i] : emptyArgument;
        int result = OPTIONS_CONTINUE;
        const OptionRow* row = findRow(command, argument);
        if (row != NULL) {
            result = applyOption(command, *row, argument, settings, output);
        } else if (argument[0] == L'/') {
            upperCaseText(argument);
            reportError(L"Unknown option: \"%s\"\r\n", argument);
            result = OPTIONS_ERROR;
        } else {
            result = takeRoot(argument, settings);
        }
        if (result != OPTIONS_CONTINUE) {
            // Nothing of a walk that ended early is used.
            resetDisplaySettings(settings);
            return result;
        }
    }
    int result = checkEndTree(*settings, output);
    if (result != OPTIONS_CONTINUE) {
        resetDisplaySettings(settings);
    }
    return result;
}

void finishDisplayOptions(CommandKind kind, DisplaySettings* settings, ConsoleOutput* output)
{
    if (settings == NULL || output == NULL) {
        return;
    }
    if (kind == CommandKind::Kinfold && settings->sortKeys[0] != L'\0') {
        settings->flags |= OPT_OPEN_PROCESSES;
    }
    // Rows for programs to read: no prompt to wait at, no colour codes.
    if ((settings->flags & OPT_CSV) != 0) {
        settings->pauseLines = 0;
        settings->noHighlight = true;
    }
    if (settings->pauseLines != 0) {
        settings->pauseLines = fitPauseLines(output->port, settings->pauseLines);
    }
    output->paging.pageLength = settings->pauseLines;
    output->paging.linesLeft = settings->pauseLines;
    output->attributes = ConsoleAttributes();
    if (settings->noHighlight) {
        settings->highlightPattern[0] = L'\0';
        settings->flags &= ~OPT_MATCH_HIGHLIGHT;
    } else {
        loadHighlightAttributes(output);
    }
    if (settings->width == 0) {
        settings->width = automaticWidth(output->port);
    }
}

int parseSortKeys(const wchar_t* text, wchar_t* keys, bool* unsorted)
{
    if (text == nullptr || keys == nullptr) {
        return -1;
    }
    keys[0] = L'\0';
    if (unsorted != nullptr) {
        *unsorted = false;
    }
    if (*text == L':' || *text == L'=') {
        ++text;
    }
    if (*text == L'U' || *text == L'u') {
        if (unsorted != nullptr) {
            *unsorted = true;
        }
        return 0;
    }

    int count = 0;
    bool reverseNext = false;
    bool reverseAll = false;
    for (; *text != L'\0'; ++text) {
        wchar_t ch = *text;
        if (ch == L'-') {
            reverseNext = !reverseNext;
        } else if (findSortKey(ch) != nullptr) {
            if (count < MAX_SORT_KEYS) {
                keys[count++] = reverseNext ? upperAscii(ch) : lowerAscii(ch);
                keys[count] = L'\0';
            }
            reverseNext = false;
        } else if (ch == L'R' || ch == L'r') {
            reverseAll = true;
            reverseNext = false;
        } else {
            reportError(L"Unknown sort flag: /O:%c  (/O? for help)\r\n", upperAscii(ch));
            return 1;
        }
    }
    if (reverseAll) {
        swapKeyCase(keys);
    }
    return 0;
}

int swapKeyCase(wchar_t* keys)
{
    if (keys == nullptr) {
        return 0;
    }
    int changed = 0;
    for (; *keys != L'\0'; ++keys) {
        if (*keys >= L'a' && *keys <= L'z') {
            *keys = upperAscii(*keys);
            ++changed;
        } else if (*keys >= L'A' && *keys <= L'Z') {
            *keys = lowerAscii(*keys);
            ++changed;
        }
    }
    return changed;
}
