// The parts of the KINFOLD command that work on a table already built, apart
// so that they can be run over synthetic tables.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "commands/display_flags.h"
#include "procinfo/process_table.h"

const wchar_t* const ENDED_PROCESS_NAME = L"* PROCESS HAS ENDED *";

// Finds the root (services root, wildcard, or PID, else the ended-process
// placeholder when some process still names it as parent), prints the tree
// and the count line. 0, STOPPED, ROOT_PID_NOT_FOUND, NO_WILDCARD_MATCH,
// NO_SERVICES_ROOT, or a renderer error.
[[nodiscard]] int printKinfoldTree(const ProcessRecord* records, uint32_t count, const wchar_t* pattern,
                                   const wchar_t* sortKeys, uint32_t rootPid, const wchar_t* highlight,
                                   uint32_t width, DisplayFlags flags, const SYSTEMTIME* today);

// Reports a driver result on standard error and turns it into the command's
// result: 0, 3 after a stop, else 2.
int reportKinfoldResult(int driverResult, uint32_t rootPid);
