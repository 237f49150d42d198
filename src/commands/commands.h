// The entries the host calls for the plugin's commands and function, and the
// command bodies behind them, which take the console to write to.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "console/console_port.h"

// Driver results besides 0, STOPPED and Windows error codes.
const int ROOT_PID_NOT_FOUND = 42;
const int NO_WILDCARD_MATCH = 43;
const int NO_SERVICES_ROOT = 44;
const int SOME_NOT_ENDED = 45;  // /END: each process left running has had its line; the command gives 1
const int SHELL_IN_TREE = 46;   // /END: the tree holds the shell or an ancestor of it; nothing was ended

extern "C" {
int WINAPI kinfold(wchar_t* arguments);
int WINAPI ancestry(wchar_t* arguments);
int WINAPI f_ancestry(wchar_t* buffer);
int WINAPI f_kinfold(wchar_t* buffer);
}

int kinfoldCommand(wchar_t* arguments, const ConsolePort* console);
int ancestryCommand(wchar_t* arguments, const ConsolePort* console);

// Reports a driver result on standard error and turns it into the command's
// result: 0, 3 after a stop (no message), 1 when /END left some processes
// running (no message), else 2. pid is the process the command looked for,
// quoted when it was not found; the shell's own under SHELL_IN_TREE.
int reportCommandResult(int driverResult, uint32_t pid);
