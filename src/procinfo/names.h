// The two name sources that give a process line its display name: the
// services a process hosts, and the title of its most prominent top-level
// window. Each is collected straight into a map by PID that the process table
// keeps for as long as its records point into it.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <unordered_map>

const int SERVICE_NAMES_COUNT = 1024;  // units of one process's joined service names, terminator included
const int WINDOW_TITLE_COUNT = 1024;   // units read per window title / class name
// Room for services that appear between the sizing and the filling call.
const DWORD SERVICE_NAMES_SLACK = 176;

struct NamedText {
    std::wstring text;
    uint32_t score;  // window titles: titleScore of the window it came from
};
// By PID, never 0.
typedef std::unordered_map<uint32_t, NamedText> NameMap;

// The text held for pid; null when none or pid is 0.
const wchar_t* findName(const NameMap& names, uint32_t pid);

// Empties the map, then fills it from the service control manager. Returns
// the number of names taken in.
uint32_t collectServiceNames(NameMap* names);
// 0 joined or added; -1 pid 0 or no name; ERROR_INSUFFICIENT_BUFFER when
// "; " and the name do not fit whole in SERVICE_NAMES_COUNT - 1 units: the
// name is dropped, never cut, and the text stays as it was.
[[nodiscard]] int addServiceName(NameMap* names, uint32_t pid, const wchar_t* name);

// Points awarded to a window; the highest scoring window of a process names it.
uint32_t titleScore(LONG extendedStyle, const wchar_t* className, bool visible);
// The decision of the window callback over what it read from one window:
// skips, keeps the better title per PID (the first of equals), at most
// WINDOW_TITLE_COUNT - 1 units of it.
void considerWindowTitle(NameMap* titles, uint32_t pid, const wchar_t* title, const wchar_t* className,
                         LONG extendedStyle, bool visible);
// Empties the map and collects every top-level window's title into it.
void collectWindowTitles(NameMap* titles);
