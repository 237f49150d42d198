// The option vocabulary KINFOLD and ANCESTRY share: one argument loop, one
// table of options per command.
#pragma once
#include <stdint.h>

#include "console/arguments.h"
#include "console/console_output.h"
#include "render/view.h"

const int HIGHLIGHT_PATTERN_COUNT = 8192;

enum class CommandKind { Kinfold, Ancestry };

// What the arguments of one invocation asked for.
struct DisplaySettings {
    DisplayFlags flags;
    wchar_t highlightPattern[HIGHLIGHT_PATTERN_COUNT];  // /H texts joined by "|"
    uint32_t width;        // 0: automatic
    uint32_t pauseLines;   // 0: no paging
    bool noHighlight;      // /N:C
    bool rootGiven;
    uint32_t rootPid;
    const wchar_t* rootPattern;  // the root argument when it is no number; else null
    wchar_t sortKeys[SORT_KEYS_COUNT];  // KINFOLD only
    bool unsorted;                      // KINFOLD /O:U
    bool explorerRoot;                  // KINFOLD /E
    bool shellWindowRoot;               // KINFOLD /TC, /TCMD
    bool endTree;                       // KINFOLD /END
    bool endConfirmed;                  // KINFOLD /Y: end without asking
};

// Results of the argument loop.
const int OPTIONS_CONTINUE = 0;   // settings ready
const int OPTIONS_ERROR = 1;      // a message was printed; the command returns 1
const int OPTIONS_HELP_DONE = 2;  // a help text was printed; the command returns 0

void resetDisplaySettings(DisplaySettings* settings);

// Walks the split arguments left to right; /P sets the output's pause time-out.
// Arguments may be upper-cased in place where a message quotes them.
[[nodiscard]] int parseCommandOptions(CommandKind command, ArgumentTable* arguments, DisplaySettings* settings,
                                      ConsoleOutput* output);

// The steps after the argument loop: sort keys open processes (KINFOLD), the
// pause line count fitted to the window and handed to the paging state, the
// colours loaded (or the pattern emptied under /N:C), and the automatic width.
void finishDisplayOptions(CommandKind command, DisplaySettings* settings, ConsoleOutput* output);

// The /O keys. text: the argument after "/O". keys: SORT_KEYS_COUNT units.
// unsorted may be null. 0, 1 after reporting an unknown key, -1 for null arguments.
[[nodiscard]] int parseSortKeys(const wchar_t* text, wchar_t* keys, bool* unsorted);
// Reverses every key (R): swaps the case of each letter; returns how many.
int swapKeyCase(wchar_t* keys);
