// One line of output, gathered whole before it leaves: its text, and the
// stretches of it that are to be shown in an attribute of their own. Every
// piece of a line leaves here, in order.
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

// Sends what is gathered and empties the line, which stays open. With colour
// off the text goes to the host in one call; with colour on the plain
// stretches go to the host and the coloured ones straight to the console,
// each followed by the normal attribute.
void writeLineText(LineText* line);

// Sends what is gathered, then ends the line through endLine (paging
// included). Returns 0 or STOPPED.
[[nodiscard]] int writeLine(LineText* line);
