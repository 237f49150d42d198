// The host's own logic, shared by the stand-in TakeCmd.dll and by the
// capturing fake host of the unit tests, so both behave the same.
#pragma once
#include <stdarg.h>
#include <string>

// The text in lower case; the shell's names ignore letter case.
std::wstring hostLowered(std::wstring text);
// The text without blanks at either end.
std::wstring hostTrimmed(const std::wstring& text);

// Microsoft printf rules: "%s" is wide in a wide format, "I64" works.
std::wstring hostFormat(const wchar_t* format, va_list args);

// File-name wildcards: "*", "?" and "[...]" sets (ranges, "!" or "^" to
// negate), letter case ignored. True on a match.
bool hostWildcardMatch(const wchar_t* pattern, const wchar_t* text);

// "[bright] colour [on [bright] colour]"; colour numbers 0-15. A part that is
// not named stays as it was. Returns the position after what was parsed, or
// null when no foreground colour was recognised.
const wchar_t* hostParseColors(const wchar_t* text, int* foreground, int* background);

// Looks a variable up; returns false when it is not defined.
typedef bool (*HostVariableLookup)(const std::wstring& name, std::wstring* value);
// Calls a variable function such as @ancestry; returns false when unknown.
typedef bool (*HostFunctionCall)(const std::wstring& name, const std::wstring& args, std::wstring* result);

// Replaces %NAME%, %NAME, %[NAME] and %@FUNC[args] in text; "%%" is a "%".
std::wstring hostExpand(const std::wstring& text, HostVariableLookup lookup, HostFunctionCall call);

// Encloses a file name in double quotes when it holds blanks or shell
// characters. Returns true when the name changed.
bool hostAddQuotes(wchar_t* name, size_t capacity);
