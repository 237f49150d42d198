// A line is built here column by column and leaves whole through the
// console's writeLine: one host call per line where colour is off, since
// each call can cost the shell a console or file write of its own.
#pragma once
#include "console/line_output.h"

// Empties the line and points it at output.
void startLine(LineText* line, ConsoleOutput* output);
// Appends plain text.
void appendToLine(LineText* line, const wchar_t* text);
// Appends text to be shown in attribute where colour is on.
void appendInAttribute(LineText* line, const wchar_t* text, unsigned attribute);
