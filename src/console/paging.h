// Paged output: every line of a command ends through endLine, which counts it
// and shows the pause prompt after a page; Esc and Ctrl-C stop the output.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "console/console_output.h"

const int STOPPED = -3;  // the user stopped the output at the pause prompt

// Restores the normal attribute, ends the line through the host, counts it,
// and pauses after a page. Returns 0, or STOPPED.
[[nodiscard]] int endLine(ConsoleOutput* output);

// The key that answered the prompt: the character, 0x10000 + code for an
// extended key, 3 for a caught Ctrl-C or Ctrl-Break, 0x20 on time-out.
uint32_t waitForKey(ConsoleOutput* output);

BOOL WINAPI pauseCtrlHandler(DWORD ctrlType);

// Writes "\r ^C \r\n" in a contrasting colour; always returns STOPPED.
int showBreakNotice(const ConsolePort* port);

// Sets the break notice's colour on the console; returns the attribute that
// was in force (7 when there is no console).
uint16_t setNoticeAttribute(const ConsolePort* port);

// Asks question on the console and waits for one key the way the pause
// prompt does, keys typed before the question left unread; the answer is
// echoed and the line ended (a caught Ctrl-C writes the break notice). True
// only for Y: every other key, Esc, Ctrl-C and a pause time-out mean no.
[[nodiscard]] bool askYes(ConsoleOutput* output, const wchar_t* question);

// The /P option: time-out (into paging) and line count. 0 handled or not a
// pause option, 1 error reported, -1 null argument. argument is upper-cased
// in place when quoted in a message.
[[nodiscard]] int parsePauseOption(wchar_t* argument, uint32_t* lines, PagingState* paging);
