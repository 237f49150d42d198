// Wide-text formatting with Microsoft printf rules: "%s" is a wide string in a
// wide format, "I64" is the 64-bit size prefix, "%f" works. These are the rules
// of the host's Printf, so the plugin's own formats read the same. (mingw's
// swprintf follows C99 rules instead, where "%s" is narrow; never use it.)
#pragma once
#include <stdarg.h>
#include <stddef.h>

// Writes at most count - 1 units and always terminates (when count > 0).
// Returns the length written, or -1 when the text was cut to fit.
int formatText(wchar_t* buffer, size_t count, const wchar_t* format, ...);
int formatTextV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);

// The length the formatted text needs, terminator not included; -1 on error.
int measureText(const wchar_t* format, va_list args);

// Copies at most count - 1 units and always terminates (when count > 0).
// Returns true when the whole text fitted.
bool copyText(wchar_t* buffer, size_t count, const wchar_t* text);
// Appends like copyText; returns true when the whole text fitted.
bool appendText(wchar_t* buffer, size_t count, const wchar_t* text);
