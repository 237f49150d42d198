// Splitting a command tail into arguments.
#pragma once
#include <stdint.h>

#include "base/text.h"

const int MAX_ARG_LEN = 8192;  // all argument texts with their terminators
const int MAX_ARGS = 1024;

// Split modes.
const unsigned SPLIT_AT_WHITESPACE = 0x1;
const unsigned SPLIT_AT_COMMA = 0x2;
const unsigned SPLIT_SLASH_OPTIONS = 0x4;  // "/a/b" is two options
const unsigned SPLIT_UPPERCASE = 0x80;

const unsigned SPLIT_MODE_KINFOLD = SPLIT_AT_WHITESPACE | SPLIT_SLASH_OPTIONS;
const unsigned SPLIT_MODE_ANCESTRY = SPLIT_AT_WHITESPACE | SPLIT_SLASH_OPTIONS | SPLIT_UPPERCASE;
const unsigned SPLIT_MODE_FUNCTION = SPLIT_AT_COMMA | SPLIT_UPPERCASE;

// One per command invocation; every split starts it afresh.
struct ArgumentTable {
    wchar_t argBuffer[MAX_ARG_LEN];
    wchar_t* argText[MAX_ARGS];  // null for an empty argument
    int argLengths[MAX_ARGS];
    int argCount;
};

// Returns argCount, or -1 for a null text or an overflow (reported; argCount 0).
[[nodiscard]] int splitArguments(ArgumentTable* table, unsigned mode, const wchar_t* text);

// The text of argument i, "" for an empty argument.
const wchar_t* argumentText(const ArgumentTable& table, int index);
