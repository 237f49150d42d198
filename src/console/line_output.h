// The one way out for the lines of a command: a line is gathered whole
// (its text, and the stretches of it to be shown in an attribute of their
// own) and leaves here in order, with its end counted by the pager. Nothing
// above the console layer writes around it.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "console/console_output.h"

const size_t LINE_TEXT_COUNT = 4096;
const size_t LINE_RUN_COUNT = 8;

// A stretch of the text in an attribute of its own; the text between such
// stretches is plain.
struct ColouredRun {
    uint16_t start;
    uint16_t length;
    uint8_t attribute;
};

struct LineText {
    ConsoleOutput* output;  // where the line goes
    wchar_t text[LINE_TEXT_COUNT];
    size_t length;
    ColouredRun runs[LINE_RUN_COUNT];  // in text order, none overlapping
    size_t runCount;
};

// Empties the line and points it at output.
void startLine(LineText* line, ConsoleOutput* output);
// Appends plain text. What does not fit sends the gathered pieces first, so
// nothing is lost and the order stays; only a text longer than a whole line
// goes in parts.
void appendToLine(LineText* line, const wchar_t* text);
// Appends length units of text as appendToLine does; text need not be
// terminated there, so a caller can hand over a stretch of a longer text.
void appendPartToLine(LineText* line, const wchar_t* text, size_t length);
// Appends text to be shown in attribute where colour is on.
void appendInAttribute(LineText* line, const wchar_t* text, unsigned attribute);

// Sends what is gathered and empties the line, which stays open. With colour
// off the text goes to the host in one call; with colour on the plain
// stretches go to the host and the coloured ones straight to the console,
// each followed by the normal attribute.
void writeLineText(LineText* line);

// Sends what is gathered, then ends the line through endLine (paging
// included). Returns 0 or STOPPED.
[[nodiscard]] int writeLine(LineText* line);

// An empty line of the page: counted, and the prompt may follow it. 0 or STOPPED.
[[nodiscard]] int writeEmptyLine(ConsoleOutput* output);
// The one line end a command writes before anything it counts: the empty
// line before the first tree.
void writeUncountedLineEnd(ConsoleOutput* output);
// A help text as it stands, its line ends included; written before any
// paging is set up, so not counted.
void writeHelpText(ConsoleOutput* output, const wchar_t* text);

// Formats, then writes line by line: each line feed ends a line through
// writeLine (paging included), a last line without one goes out without a
// line end. Attribute codes 17-22 in the text switch colours (dropped when
// colour is off); every stretch of a coloured text goes to the console in
// its attribute. 0, -1 for a null format, -2 when out of memory, STOPPED.
[[nodiscard]] int printPaged(ConsoleOutput* output, const wchar_t* format, ...);
