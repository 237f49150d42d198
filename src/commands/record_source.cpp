#include "commands/record_source.h"

#include "base/host_api.h"

#include <new>

namespace {

ProcessTable& tableOf(void* context)
{
    return *static_cast<ProcessTable*>(context);
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

}  // namespace

RecordSource recordSourceFor(ProcessTable* table)
{
    RecordSource source = {table, sourceChildCount, sourceChildren, sourceParentPid, sourceDetails, sourceImagePath};
    return source;
}

uint64_t tableCreationTime(uint32_t pid, void* context)
{
    return liveCreationTime(tableOf(context), pid);
}

TableOptions tableOptionsFor(DisplayFlags flags)
{
    TableOptions options;
    options.collectDetails = (flags & OPT_OPEN_PROCESSES) != 0;
    // Without display texts a path would never be shown.
    options.collectImagePaths = (flags & OPT_FULL_PATH) != 0 && (flags & OPT_NO_DISPLAY_NAMES) == 0;
    options.collectServiceNames = (flags & OPT_NO_SERVICES) == 0;
    options.collectWindowTitles = (flags & OPT_NO_TITLES) == 0;
    options.localStartTimes = (flags & OPT_START_TIME) != 0;
    return options;
}

bool buildCommandTable(DisplayFlags flags, ProcessTable* table, int* result)
{
    return buildCommandTable(systemToolhelp(), flags, table, result);
}

bool buildCommandTable(const ToolhelpCalls& toolhelp, DisplayFlags flags, ProcessTable* table, int* result)
{
    *result = buildProcessTable(toolhelp, tableOptionsFor(flags), table);
    if (*result != 0) {
        return false;
    }
    if (table->count == 0) {
        Printf(L"No processes found!\r\n");
        return false;
    }
    return true;
}
