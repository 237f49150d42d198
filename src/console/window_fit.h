// Fitting a command's output to the console window: the automatic line width
// and the lines of a page, from the window's size.
#pragma once
#include <stdint.h>

#include "console/console_port.h"

// The widths /W accepts, and the bounds of the automatic one.
const uint32_t MIN_WIDTH = 40;
const uint32_t MAX_WIDTH = 1020;

// The automatic width: 100 when output is not a console, else the window
// width less one, within MIN_WIDTH..MAX_WIDTH.
uint32_t automaticWidth(const ConsolePort* port);

// The pause line count fitted to the window height; 0 turns paging off.
uint32_t fitPauseLines(const ConsolePort* port, uint32_t lines);

// The rules behind the two, given the console's facts: whether output is a
// console, whether its screen buffer could be read, and the window's size.
uint32_t widthFromWindow(bool isConsole, bool infoOk, int windowWidth);
uint32_t pauseLinesForWindow(uint32_t lines, bool infoOk, int windowHeight);
