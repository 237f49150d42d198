#include "commands/record_source.h"

#include "console/line_output.h"
#include "console/paging.h"
#include "base/text.h"

#include <new>

namespace {

ProcessTable& tableOf(void* context)
{
    return *static_cast<ProcessTable*>(context);
}

uint32_t sourceSlotOf(void* context, const ProcessRecord* record)
{
    const ProcessTable& table = tableOf(context);
    return recordIndex(table, record) == NO_RECORD ? NO_RECORD : firstEntryOf(table.pids, record->entry.th32ProcessID);
}

uint32_t sourceChildCount(void* context, uint32_t pid)
{
    return childCandidates(tableOf(context), pid);
}

uint32_t sourceChildren(void* context, uint32_t pid, const ProcessRecord** out, uint32_t room)
{
    return collectChildren(tableOf(context), pid, out, room);
}

uint32_t sourceParentPid(void* context, const ProcessRecord* record)
{
    return validatedParentPid(tableOf(context), *record);
}

const ProcessDetails* sourceDetails(void* context, const ProcessRecord* record)
{
    return recordDetails(tableOf(context), *record);
}

const wchar_t* sourceImagePath(void* context, const ProcessRecord* record)
{
    return recordImagePath(tableOf(context), *record);
}

const wchar_t* sourceCommandLine(void* context, const ProcessRecord* record)
{
    return recordCommandLine(tableOf(context), *record);
}

uint32_t findInTable(const void* context, uint32_t pid)
{
    const ProcessTable& table = *static_cast<const ProcessTable*>(context);
    return pid == 0 ? NO_RECORD : firstEntryOf(table.pids, pid);
}

uint32_t parentInTable(const void* context, uint32_t index)
{
    return static_cast<const ProcessTable*>(context)->records[index].entry.th32ParentProcessID;
}

}  // namespace

RecordSource recordSourceFor(ProcessTable* table)
{
    RecordSource source = {table,           table->count,    sourceSlotOf,  sourceChildCount, sourceChildren,
                           sourceParentPid, sourceDetails,   sourceImagePath, nullptr};
    if (table->options.collectCommandLines) {
        source.commandLine = sourceCommandLine;
    }
    return source;
}

const ProcessRecord* treeRootFor(ProcessTable* table, uint32_t pid, ProcessRecord* placeholder)
{
    const ProcessRecord* record = findRecordByPid(*table, pid);
    if (record != nullptr) {
        return record;
    }
    // A parent that has ended still roots the tree of its living children;
    // outside the table, the table answers for it as an ended process.
    const ProcessRecord* child = nullptr;
    if (collectChildren(*table, pid, &child, 1) == 0) {
        return nullptr;
    }
    *placeholder = ProcessRecord();
    placeholder->entry.dwSize = sizeof(placeholder->entry);
    placeholder->entry.th32ProcessID = pid;
    copyText(placeholder->entry.szExeFile, MAX_PATH, ENDED_PROCESS_NAME);
    return placeholder;
}

uint64_t tableCreationTime(uint32_t pid, void* context)
{
    return liveCreationTime(tableOf(context), pid);
}

AncestorLinks tableAncestorLinks(const ProcessTable* table)
{
    AncestorLinks links = {table, table->count, findInTable, parentInTable};
    return links;
}

TableOptions tableOptionsFor(DisplayFlags flags, bool hold)
{
    TableOptions options = {};
    options.collectDetails = (flags & OPT_OPEN_PROCESSES) != 0;
    // Without display texts a path would never be shown.
    options.collectImagePaths = (flags & OPT_FULL_PATH) != 0 && (flags & OPT_NO_DISPLAY_NAMES) == 0;
    options.collectCommandLines = (flags & OPT_COMMAND_LINE) != 0 && (flags & OPT_NO_DISPLAY_NAMES) == 0;
    options.collectServiceNames = (flags & OPT_NO_SERVICES) == 0;
    options.collectWindowTitles = (flags & OPT_NO_TITLES) == 0;
    options.localStartTimes = (flags & OPT_START_TIME) != 0;
    options.holdProcesses = hold;
    return options;
}

bool buildCommandTable(DisplayFlags flags, bool hold, ConsoleOutput* output, ProcessTable* table, int* result)
{
    return buildCommandTable(systemToolhelp(), flags, hold, output, table, result);
}

bool buildCommandTable(const ToolhelpCalls& toolhelp, DisplayFlags flags, bool hold, ConsoleOutput* output,
                       ProcessTable* table, int* result)
{
    *result = buildProcessTable(toolhelp, tableOptionsFor(flags, hold), table);
    if (*result != 0) {
        return false;
    }
    if (table->count == 0) {
        *result = printPaged(output, L"No processes found!\n") == STOPPED ? STOPPED : 0;
        return false;
    }
    return true;
}
