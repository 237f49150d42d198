// Console colours for executable names and for names that match the user's
// highlight patterns; and the pattern matching itself.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "console/console_output.h"


// Three rows of attributes per background colour, each foreground standing
// out on that background.
extern const uint8_t contrastTable[3][16];

const int HIGHLIGHT_VALUE_COUNT = 1024;


// Reads the console's colours and the Highlight setting into the output's
// attributes; returns the highlight attribute, or 0 when colour output stays off.
unsigned loadHighlightAttributes(ConsoleOutput* output);

// The "Highlight" REG_SZ value of one key; buffer holds HIGHLIGHT_VALUE_COUNT
// units. 0, a Windows error code (buffer empty), or -1 for bad arguments.
int readHighlightValue(HKEY hive, const wchar_t* subKey, wchar_t* buffer);

// Writes text in the attribute straight to the console; the caller restores.
int emitRun(const ConsolePort* port, const wchar_t* text, unsigned attribute);

// True when a term of the "|"-separated list matches name ("!term" negates;
// with addDotStar a term without "." gets ".*").
bool matchesPatternList(const wchar_t* patterns, const wchar_t* name, bool addDotStar);
