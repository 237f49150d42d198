// The optional detail columns of a process line: working set and extra info
// before the executable name, priority, thread count and start time after it.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "console/line_output.h"
#include "procinfo/process_record.h"
#include "render/subtree_totals.h"
#include "render/view.h"

// Capacity, in UTF-16 units with the terminator, of the text a column is
// formatted in.
const int COLUMN_TEXT_COUNT = 1024;

// The working set as this build reads it: the whole count in the 64-bit DLL,
// the 32-bit count (which wraps above 4 GiB) in the 32-bit one.
uint64_t workingSetBytes(const ProcessDetails& details);

// Each format function returns the length of its text (0 for no text).
int formatMemoryColumn(uint64_t bytes, DisplayFlags flags, wchar_t* text, size_t count);
// "↑ " for an elevated process, "» " for a 32-bit one, else two spaces;
// "^ " and "* " under OPT_ASCII.
const wchar_t* extraInfoMarker(const ProcessDetails& details, DisplayFlags flags);
// Null for an index outside 0 to 6, such as the ended-process placeholder's.
const wchar_t* priorityLabel(int32_t priorityIndex);
// The start time, already in local time; returns the column's nominal
// width, or 0 when it is unknown (wYear 0). The date is left out on today.
int formatStartTime(const SYSTEMTIME& local, const SYSTEMTIME* today, DisplayFlags flags, wchar_t* text,
                    size_t count);

// The display text a line shows: the command line under OPT_COMMAND_LINE;
// the full path under OPT_FULL_PATH when one is known, else the service
// names or window title; null or empty for none.
const wchar_t* lineDisplayText(const ProcessRecord& record, const ViewSettings& view);
// The command line the source read for the record; null when none.
const wchar_t* shownCommandLine(const RecordSource& source, const ProcessRecord* record);

// The column steps of a line. Each adds its column to the line when its
// flag is set and the rules let it, and charges *remaining. text is working
// space of COLUMN_TEXT_COUNT units. totals: the line's subtree under /SUM,
// else null; the working set and thread columns then show its totals, and
// the count below it follows the name.
void writeLeadingColumns(const ProcessDetails& details, const SubtreeTotals* totals, const ViewSettings& view,
                         LineText* line, wchar_t* text, int32_t* remaining);
void writeTrailingColumns(const ProcessRecord& record, const ProcessDetails& details, const SubtreeTotals* totals,
                          const ViewSettings& view, LineText* line, wchar_t* text, int32_t* remaining);
