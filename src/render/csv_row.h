// The comma-separated form of both commands' lines, for programs to read: a
// header naming the fields the options ask for, then one row per process.
// No colour, no tree graphic, nothing fitted to a width or cut.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "procinfo/process_record.h"
#include "console/line_output.h"
#include "render/subtree_totals.h"
#include "render/view.h"

// Appends length units of text as one field, quoted (quotes doubled) when
// it holds a comma, a double quote, CR or LF. A field of any length goes
// out whole; pieces longer than the line leave in order.
void appendCsvField(LineText* line, const wchar_t* text, size_t length);

// The header line for these flags; 0, STOPPED, or 8 when memory runs out.
[[nodiscard]] int writeCsvHeader(DisplayFlags flags, ConsoleOutput* output);

// The row of one record at this depth of its tree, under the record with
// parentPid, written through line (which it starts); totals: its subtree's
// under /SUM, else null. 0 or STOPPED.
[[nodiscard]] int writeCsvRow(const ProcessRecord& record, const ProcessDetails& details, uint32_t depth,
                              uint32_t parentPid, const SubtreeTotals* totals, const ViewSettings& view,
                              LineText* line);
