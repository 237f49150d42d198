// Finding the process a command starts from, other than by plain PID.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "procinfo/process_table.h"

// The parent of the service hosts; 0 when there is none.
uint32_t findServicesRoot(ProcessTable* table);
// The first process whose executable name, else display name, matches; the
// current process for "."; 0 when none.
uint32_t findWildcardRoot(const wchar_t* pattern, const ProcessTable& table);
HWND findExplorerWindow();
HWND findShellWindow();
