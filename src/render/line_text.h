// The text of one line, gathered so that the host gets it in one call
// instead of one call per column: each call can cost the shell a console or
// file write of its own.
#pragma once
#include <stddef.h>

#include "console/console_output.h"

const size_t LINE_TEXT_COUNT = 4096;

struct LineText {
    wchar_t text[LINE_TEXT_COUNT];
    size_t length;
};

void startLine(LineText* line);
// Appends; what does not fit goes to the host first, so nothing is lost.
void appendToLine(LineText* line, const wchar_t* text);
// Hands what is gathered to the host.
void flushLine(LineText* line);
// A text in an attribute: gathered like the rest when colour is off;
// otherwise the gathered text goes first and the text straight to the console.
void appendInAttribute(LineText* line, const ConsoleOutput* output, const wchar_t* text, unsigned attribute);
