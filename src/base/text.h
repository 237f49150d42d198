// Wide-text formatting with Microsoft printf rules: "%s" is a wide string in a
// wide format, "I64" is the 64-bit size prefix, "%f" works. These are the rules
// of the host's Printf, so the plugin's own formats read the same. (mingw's
// swprintf follows C99 rules instead, where "%s" is narrow; never use it.)
#pragma once
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Writes at most count - 1 units and always terminates (when count > 0).
// Returns the length written, or -1 when the text was cut to fit.
[[nodiscard]] int formatText(wchar_t* buffer, size_t count, const wchar_t* format, ...);
[[nodiscard]] int formatTextV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);

// The length the formatted text needs, terminator not included; -1 on error.
int measureText(const wchar_t* format, va_list args);

// Copies at most count - 1 units and always terminates (when count > 0).
// Returns true when the whole text fitted.
bool copyText(wchar_t* buffer, size_t count, const wchar_t* text);
// Appends like copyText; returns true when the whole text fitted.
bool appendText(wchar_t* buffer, size_t count, const wchar_t* text);

// Option letters and sort keys are ASCII: only A to Z change case, so the
// result never depends on the user's locale.
wchar_t upperAscii(wchar_t ch);
wchar_t lowerAscii(wchar_t ch);
// Upper-cases the whole text in place (any letter), as messages quote arguments.
void upperCaseText(wchar_t* text);
// True when text begins with prefix, compared letter by letter without
// regard to case (the system's case mapping).
bool startsWithNoCase(const wchar_t* text, const wchar_t* prefix);

// The one number rule: decimal, or hexadecimal after "0x"; unsigned 32-bit.
// Without rest the number must be the whole text. Returns 0, or -1 leaving
// the outputs untouched.
[[nodiscard]] int parseNumber(const wchar_t* text, const wchar_t** rest, uint32_t* value);

// The first half of a surrogate pair: text cut in pieces is never cut after it.
inline bool isHighSurrogate(wchar_t ch)
{
    return ch >= 0xD800 && ch <= 0xDBFF;
}

// ":" or "=" between an option's letters and its value.
bool isValueSeparator(wchar_t ch);
