// The part of @KINFOLD that works on a table already built, so that any
// table, real or made up, gives its result the same way.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "commands/function_result.h"
#include "procinfo/process_table.h"

// @KINFOLD flags besides the mode bits and lower case.
const uint32_t KINFOLD_FLAG_LEAVES_FIRST = 0x40;       // each process after all of its descendants
const uint32_t KINFOLD_FLAG_DESCENDANTS_ONLY = 0x100;  // without the process itself
const uint32_t KINFOLD_FLAG_COUNT = 0x200;             // the number of members instead

// The members of pid's tree in the order the flags ask: pid (unless
// KINFOLD_FLAG_DESCENDANTS_ONLY) and its descendants by validated parent
// links, each process before its descendants and siblings by PID, or with
// KINFOLD_FLAG_LEAVES_FIRST each after all of its descendants. An ended pid
// with living children gives those alone. Nobody is listed twice, whatever
// cycles the links form. members holds table->count pointers; *count gets
// how many were stored. 0, or 8 when memory ran out.
[[nodiscard]] int collectKinfoldMembers(ProcessTable* table, uint32_t pid, uint32_t flags,
                                        const ProcessRecord** members, uint32_t* count);

// Writes @KINFOLD's result for pid into result (resultCount units): the
// members in the flags' format, separated by single blanks, cut after the
// last whole member that fits; with KINFOLD_FLAG_COUNT their number. 0; -1
// for no result buffer; 8 when memory ran out (the result is empty).
[[nodiscard]] int writeKinfoldResult(ProcessTable* table, uint32_t pid, uint32_t flags, wchar_t* result,
                                     size_t resultCount);
