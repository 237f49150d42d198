// Console colours for executable names and for names that match the user's
// highlight patterns; and the pattern matching itself.
#pragma once
#include <windows.h>
#include <stdint.h>

// Computed once per command; normalAttribute 0 means colour output is off.
struct ConsoleAttributes {
    uint8_t normalAttribute;
    uint8_t highlightAttribute;
    uint8_t alternateAttribute;
    uint8_t inverseNormalAttribute;
    uint8_t inverseHighlightAttribute;
    uint8_t inverseAlternateAttribute;
};
extern ConsoleAttributes gAttributes;

// Three rows of attributes per background colour, each foreground standing
// out on that background.
extern const uint8_t contrastTable[3][16];

const int HIGHLIGHT_VALUE_COUNT = 1024;

void resetAttributes();

// Reads the console's colours and the Highlight setting; returns the
// highlight attribute, or 0 when colour output stays off.
unsigned loadHighlightAttributes();

// The "Highlight" REG_SZ value of one key; buffer holds HIGHLIGHT_VALUE_COUNT
// units. 0, a Windows error code (buffer empty), or -1 for bad arguments.
int readHighlightValue(HKEY hive, const wchar_t* subKey, wchar_t* buffer);

// Writes text in the attribute straight to the console and restores the
// normal one; plain through the host when colour is off. Returns 0.
int writeInAttribute(const wchar_t* text, unsigned attribute);

// Writes text in the attribute straight to the console; the caller restores.
int emitRun(const wchar_t* text, unsigned attribute);

// True when a term of the "|"-separated list matches name ("!term" negates;
// with addDotStar a term without "." gets ".*").
bool matchesPatternList(const wchar_t* patterns, const wchar_t* name, bool addDotStar);
