#include "render/csv_row.h"

#include "base/text.h"
#include "render/columns.h"

#include <wchar.h>

#include <memory>
#include <new>

namespace {

// Room for the text of any field but Name and Display, which point at theirs.
const size_t SCRATCH_COUNT = 64;

bool needsQuotes(const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        wchar_t ch = text[i];
        if (ch == L',' || ch == L'"' || ch == L'\r' || ch == L'\n') {
            return true;
        }
    }
    return false;
}

// What one row is made of.
struct RowFacts {
    const ProcessRecord* record;
    const ProcessDetails* details;
    uint32_t depth;
    uint32_t parentPid;
    const SubtreeTotals* totals;
    const ViewSettings* view;
};

// The ended-process placeholder stands for no process: it has a PID, a
// name and nothing else.
bool isPlaceholder(const RowFacts& row)
{
    return row.details->priorityIndex == -1;
}

// A process that could not be opened keeps all-zero details; every opened
// one has a creation time.
bool detailsKnown(const RowFacts& row)
{
    return row.details->creationTime != 0;
}

const wchar_t* yesNo(bool value)
{
    return value ? L"Yes" : L"No";
}

// Each returns the field's text, or null for an empty field; scratch holds
// SCRATCH_COUNT units.
const wchar_t* depthText(const RowFacts& row, wchar_t* scratch)
{
    (void)formatText(scratch, SCRATCH_COUNT, L"%u", row.depth);
    return scratch;
}

const wchar_t* pidText(const RowFacts& row, wchar_t* scratch)
{
    (void)formatText(scratch, SCRATCH_COUNT, L"%u", row.record->entry.th32ProcessID);
    return scratch;
}

const wchar_t* parentPidText(const RowFacts& row, wchar_t* scratch)
{
    (void)formatText(scratch, SCRATCH_COUNT, L"%u", row.parentPid);
    return scratch;
}

const wchar_t* nameText(const RowFacts& row, wchar_t*)
{
    return row.record->entry.szExeFile;
}

const wchar_t* workingSetText(const RowFacts& row, wchar_t* scratch)
{
    if (!detailsKnown(row)) {
        return nullptr;
    }
    (void)formatText(scratch, SCRATCH_COUNT, L"%I64u", workingSetBytes(*row.details));
    return scratch;
}

const wchar_t* elevatedText(const RowFacts& row, wchar_t*)
{
    return detailsKnown(row) ? yesNo(row.details->elevated) : nullptr;
}

const wchar_t* is32BitText(const RowFacts& row, wchar_t*)
{
    return detailsKnown(row) ? yesNo(row.details->is32Bit) : nullptr;
}

const wchar_t* priorityText(const RowFacts& row, wchar_t*)
{
    return priorityLabel(row.details->priorityIndex);
}

const wchar_t* threadsText(const RowFacts& row, wchar_t* scratch)
{
    if (isPlaceholder(row)) {
        return nullptr;
    }
    (void)formatText(scratch, SCRATCH_COUNT, L"%u", row.record->entry.cntThreads);
    return scratch;
}

const wchar_t* startedText(const RowFacts& row, wchar_t* scratch)
{
    const SYSTEMTIME& local = row.details->localStartTime;
    if (local.wYear == 0) {
        return nullptr;
    }
    (void)formatText(scratch, SCRATCH_COUNT, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth,
                     local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return scratch;
}

const wchar_t* subtreeCountText(const RowFacts& row, wchar_t* scratch)
{
    (void)formatText(scratch, SCRATCH_COUNT, L"%u", row.totals != nullptr ? row.totals->below : 0u);
    return scratch;
}

const wchar_t* subtreeWorkingSetText(const RowFacts& row, wchar_t* scratch)
{
    if (row.totals == nullptr) {
        return nullptr;
    }
    (void)formatText(scratch, SCRATCH_COUNT, L"%I64u", row.totals->workingSet);
    return scratch;
}

const wchar_t* displayText(const RowFacts& row, wchar_t*)
{
    return lineDisplayText(*row.record, *row.view);
}

struct CsvField {
    const wchar_t* name;
    DisplayFlags askedBy;    // 0: always present
    DisplayFlags droppedBy;  // 0: never left out
    const wchar_t* (*text)(const RowFacts& row, wchar_t* scratch);
};

// In the order the tree line shows the same facts; the display text last,
// so that a batch file's FOR /F takes the rest of the line for it.
const CsvField CSV_FIELDS[] = {
    {L"Depth", 0, 0, depthText},
    {L"PID", 0, 0, pidText},
    {L"ParentPID", 0, 0, parentPidText},
    {L"Name", 0, 0, nameText},
    {L"WorkingSet", OPT_MEMORY, 0, workingSetText},
    {L"Elevated", OPT_EXTRA_INFO, 0, elevatedText},
    {L"Is32Bit", OPT_EXTRA_INFO, 0, is32BitText},
    {L"Priority", OPT_PRIORITY, 0, priorityText},
    {L"Threads", OPT_THREADS, 0, threadsText},
    {L"Started", OPT_START_TIME, 0, startedText},
    {L"SubtreeCount", OPT_SUBTREE_SUMS, 0, subtreeCountText},
    {L"SubtreeWorkingSet", OPT_SUBTREE_SUMS, 0, subtreeWorkingSetText},
    {L"Display", 0, OPT_NO_DISPLAY_NAMES | OPT_COMMAND_LINE, displayText},
    {L"CommandLine", OPT_COMMAND_LINE, OPT_NO_DISPLAY_NAMES, displayText},
};

bool fieldShown(const CsvField& field, DisplayFlags flags)
{
    return (field.askedBy == 0 || (flags & field.askedBy) != 0) && (flags & field.droppedBy) == 0;
}

}  // namespace

void appendCsvField(LineText* line, const wchar_t* text, size_t length)
{
    if (line == nullptr || text == nullptr) {
        return;
    }
    bool quoted = needsQuotes(text, length);
    if (quoted) {
        appendToLine(line, L"\"");
    }
    // Each stretch runs up to a quote and the next one starts at it, so every
    // quote goes out twice; a quote never splits a surrogate pair.
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'"') {
            appendPartToLine(line, text + start, i + 1 - start);
            start = i;
        }
    }
    appendPartToLine(line, text + start, length - start);
    if (quoted) {
        appendToLine(line, L"\"");
    }
}

int writeCsvHeader(DisplayFlags flags, ConsoleOutput* output)
{
    std::unique_ptr<LineText> line(new (std::nothrow) LineText);
    if (!line) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    startLine(line.get(), output);
    bool first = true;
    for (const CsvField& field : CSV_FIELDS) {
        if (fieldShown(field, flags)) {
            appendToLine(line.get(), first ? L"" : L",");
            appendToLine(line.get(), field.name);
            first = false;
        }
    }
    return writeLine(line.get());
}

int writeCsvRow(const ProcessRecord& record, const ProcessDetails& details, uint32_t depth, uint32_t parentPid,
                const SubtreeTotals* totals, const ViewSettings& view, LineText* line)
{
    RowFacts row = {&record, &details, depth, parentPid, totals, &view};
    wchar_t scratch[SCRATCH_COUNT];
    startLine(line, view.output);
    bool first = true;
    for (const CsvField& field : CSV_FIELDS) {
        if (!fieldShown(field, view.flags)) {
            continue;
        }
        if (!first) {
            appendToLine(line, L",");
        }
        first = false;
        scratch[0] = L'\0';
        const wchar_t* text = field.text(row, scratch);
        if (text != nullptr) {
            // The snapshot's name fills its array when it is as long as it can be.
            size_t limit = text == record.entry.szExeFile ? MAX_PATH : wcslen(text);
            appendCsvField(line, text, wcsnlen(text, limit));
        }
    }
    return writeLine(line);
}
