// Paged output: every line of a command ends through endLine, which counts it
// and shows the pause prompt after a page; Esc and Ctrl-C stop the output.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <stdint.h>

#include <atomic>

const int STOPPED = -3;  // the user stopped the output at the pause prompt

struct PagingState {
    uint32_t pageLength;    // lines per page; 0: no paging
    uint32_t linesLeft;     // line ends before the next pause; 0: no paging
    uint32_t pauseTimeout;  // ms after which the prompt goes on by itself; 0: wait
    int32_t stopState;      // 0, or STOPPED
    // Written by the console control handler's thread while the prompt waits.
    std::atomic<uint32_t> breakCount;
};
extern PagingState gPaging;

// Each command starts from here: no paging, no time-out, not stopped.
void resetPaging();

// Restores the normal attribute, ends the line through the host, counts it,
// and pauses after a page. Returns 0, or STOPPED.
int endLine();

// The key that answered the prompt: the character, 0x10000 + code for an
// extended key, 3 for a caught Ctrl-C or Ctrl-Break, 0x20 on time-out.
uint32_t waitForKey();

BOOL WINAPI pauseCtrlHandler(DWORD ctrlType);

// Writes "\r ^C \r\n" in a contrasting colour; always returns STOPPED.
int showBreakNotice();

// Sets the break notice's colour on the console; returns the attribute that
// was in force (7 when there is no console).
uint16_t setNoticeAttribute();

// Formats, then writes line by line through endLine; attribute codes 17-22 in
// the text switch colours (dropped when colour is off). Return 0, -1 for a
// null format, -2 when out of memory, STOPPED.
int printPlainPaged(const wchar_t* format, va_list args);
int printPaged(const wchar_t* format, ...);

// The /P option: time-out and line count. 0 handled or not a pause option,
// 1 error reported, -1 null argument. argument is upper-cased in place when
// quoted in a message.
int parsePauseOption(wchar_t* argument, uint32_t* lines);
