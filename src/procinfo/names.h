// The two lists that give a process line its display name: the services a
// process hosts, and the title of its most prominent top-level window.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <memory>

const int SERVICE_NAMES_COUNT = 1024;  // units of ServiceNameNode::names, terminator included
const int WINDOW_TITLE_COUNT = 1024;   // units read per window title / class name
// Room for services that appear between the sizing and the filling call.
const DWORD SERVICE_NAMES_SLACK = 176;

struct ServiceNameNode {
    ServiceNameNode* next;
    uint32_t pid;  // never 0
    wchar_t names[SERVICE_NAMES_COUNT];  // display names joined by "; "
};

struct WindowTitleNode {
    WindowTitleNode* next;
    WindowTitleNode* prev;
    uint32_t pid;    // never 0
    uint32_t score;  // titleScore of the window the title came from
    wchar_t* title;  // lives in the node's own allocation, right after it
};

// Empties the list, then fills it from the service control manager. Returns
// the number of names taken in.
uint32_t collectServiceNames(ServiceNameNode** list);
// 0 joined or node appended; -1 pid 0 or no name; 8 out of memory;
// ERROR_INSUFFICIENT_BUFFER when "; " and the name do not fit whole in the
// node's field: the name is dropped, never cut, and the field stays as it was.
[[nodiscard]] int addServiceName(ServiceNameNode** list, uint32_t pid, const wchar_t* name);
void freeServiceNames(ServiceNameNode** list);
// The first node for pid; null when none or pid is 0.
const ServiceNameNode* findServiceNames(const ServiceNameNode* list, uint32_t pid);

// Points awarded to a window; the highest scoring window of a process names it.
uint32_t titleScore(LONG extendedStyle, const wchar_t* className, bool visible);
// Null when pid is 0, title is null or empty, or memory runs out. Keeps at
// most WINDOW_TITLE_COUNT - 1 units of the title.
WindowTitleNode* newWindowTitleNode(uint32_t pid, const wchar_t* title, uint32_t score);
// The decision of the window callback over what it read from one window:
// skips, keeps the better title per PID. FALSE only when a node could not be
// allocated, which ends the enumeration.
BOOL considerWindowTitle(WindowTitleNode** list, uint32_t pid, const wchar_t* title,
                         const wchar_t* className, LONG extendedStyle, bool visible);
// EnumWindows callback; param is the address of the list head.
BOOL CALLBACK windowTitleCallback(HWND window, LPARAM param);
// Starts an empty list and collects every top-level window's title into it.
void collectWindowTitles(WindowTitleNode** list);
void freeWindowTitles(WindowTitleNode** list);
const WindowTitleNode* findWindowTitle(const WindowTitleNode* list, uint32_t pid);

// Owners of whole lists: every node goes when the owner does.
struct ServiceNameListDeleter {
    void operator()(ServiceNameNode* head) const { freeServiceNames(&head); }
};
struct WindowTitleListDeleter {
    void operator()(WindowTitleNode* head) const { freeWindowTitles(&head); }
};
typedef std::unique_ptr<ServiceNameNode, ServiceNameListDeleter> ServiceNameList;
typedef std::unique_ptr<WindowTitleNode, WindowTitleListDeleter> WindowTitleList;
