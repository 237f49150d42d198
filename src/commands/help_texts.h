// The help texts of the three names, as /? prints them and as the host's
// help and usage requests show them.
#pragma once

extern const wchar_t* const KINFOLD_HELP;
extern const wchar_t* const KINFOLD_HELP_N;
extern const wchar_t* const KINFOLD_HELP_T;
extern const wchar_t* const ANCESTRY_HELP;
extern const wchar_t* const ANCESTRY_HELP_N;
extern const wchar_t* const ANCESTRY_HELP_T;
extern const wchar_t* const ANCESTRY_FUNCTION_HELP;
extern const wchar_t* const KINFOLD_FUNCTION_HELP;

struct ConsoleOutput;

// The line /?? adds after the help text.
void printVersionLine(ConsoleOutput* output);
// The /O? text, a line for each key of the sort-key table.
void writeSortKeyHelp(ConsoleOutput* output);
