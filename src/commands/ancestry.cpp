// ANCESTRY: one line per ancestor of a process, laid out like a tree root
// line, oldest first or the process first.
#include "commands/ancestry.h"

#include "commands/commands.h"
#include "commands/display_options.h"
#include "commands/root_selection.h"
#include "console/arguments.h"
#include "console/diagnostics.h"
#include "base/text.h"
#include "console/paging.h"
#include "base/host_api.h"
#include "procinfo/ancestor_chain.h"
#include "procinfo/process_table.h"
#include "render/tree.h"

#include <new>
#include <memory>

namespace {

const int MESSAGE_COUNT = 1024;

// The driver; usedPid receives the PID whose chain was asked for, so that a
// wildcard root whose process has gone is reported by the PID it matched.
int runAncestryFor(const wchar_t* highlight, uint32_t pid, const wchar_t* pattern, uint32_t width,
                   uint32_t flags, uint32_t* usedPid)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    ProcessTableOwner owner;
    ProcessTable& table = *owner.get();
    int result = buildProcessTable(flags, &table);
    if (result != 0) {
        return result;
    }
    if (table.count == 0) {
        return 0;  // the builder has said "No processes found!"
    }
    if (pattern != NULL) {
        pid = findWildcardRoot(pattern, table.records, table.count);
        if (pid == 0) {
            return NO_WILDCARD_MATCH;
        }
    }
    *usedPid = pid;

    uint32_t count = 0;
    uint32_t* chain = NULL;
    getAncestorChain(pid, &count, &chain, NULL, NULL);
    // Declared after the table owner: the chain goes first.
    std::unique_ptr<uint32_t[]> chainOwner(chain);
    if (count == 0) {
        return ROOT_PID_NOT_FOUND;
    }

    ViewSettings view = {};
    view.table = table.records;
    view.sortKeys = NULL;
    view.highlightPattern = highlight;
    view.count = table.count;
    view.width = width;
    view.flags = flags;
    view.printedCount = 0;
    view.totalCount = count;
    view.today = &today;
    return renderAncestorLines(chain, count, &view);
}

}  // namespace

int renderAncestorLines(const uint32_t* chain, uint32_t count, ViewSettings* view)
{
    if (chain == NULL || view == NULL) {
        return 0;
    }
    bool reverse = (view->flags & OPT_REVERSE) != 0;
    for (uint32_t step = 0; step < count; ++step) {
        uint32_t index = reverse ? step : count - 1 - step;
        // A process started after the table's snapshot has no record to show.
        const ProcessRecord* record = findRecordByPid(view->table, view->count, chain[index]);
        if (record == NULL) {
            continue;
        }
        if (renderProcess(record, NULL, false, false, view) == STOPPED) {
            return STOPPED;
        }
    }
    if (view->flags & OPT_COUNT) {
        if (printPaged(L"\nFound %u process%s.\n", view->printedCount,
                       view->printedCount == 1 ? L"" : L"es") == STOPPED) {
            return STOPPED;
        }
    }
    return 0;
}

int runAncestry(const wchar_t* highlight, uint32_t pid, const wchar_t* pattern, uint32_t width,
                uint32_t flags)
{
    uint32_t usedPid = pid;
    return runAncestryFor(highlight, pid, pattern, width, flags, &usedPid);
}

extern "C" int WINAPI ancestry(wchar_t* arguments)
{
    if (arguments == NULL) {
        return 1;
    }
    // The settings hold a pattern of 8192 units: too much for the host's stack.
    std::unique_ptr<DisplaySettings> settings(new (std::nothrow) DisplaySettings);
    if (!settings) {
        wchar_t message[MESSAGE_COUNT];
        formatSystemError(ERROR_NOT_ENOUGH_MEMORY, message);
        reportError(L"%s\r\n", message);
        return 2;
    }
    resetDisplaySettings(settings.get());
    resetPaging();
    // An overflow has been reported by the splitter and leaves no arguments:
    // the command goes on with its defaults.
    splitArguments(SPLIT_MODE_ANCESTRY, arguments);
    int options = parseCommandOptions(CommandKind::Ancestry, settings.get());
    if (options == OPTIONS_HELP_DONE) {
        return 0;
    }
    if (options != OPTIONS_CONTINUE) {
        return 1;
    }

    uint32_t pid = 0;
    const wchar_t* pattern = NULL;
    if (!settings->rootGiven) {
        pid = GetCurrentProcessId();
    } else if (settings->rootPattern != NULL) {
        pattern = settings->rootPattern;
    } else {
        pid = settings->rootPid;
    }
    finishDisplayOptions(CommandKind::Ancestry, settings.get());

    const wchar_t* highlight = settings->highlightPattern[0] != L'\0' ? settings->highlightPattern : NULL;
    uint32_t usedPid = pid;
    int result = runAncestryFor(highlight, pid, pattern, settings->width, settings->flags, &usedPid);
    if (result == 0) {
        return 0;
    }
    if (result == STOPPED) {
        return 3;
    }
    wchar_t message[MESSAGE_COUNT];
    if (result == ROOT_PID_NOT_FOUND) {
        formatText(message, MESSAGE_COUNT, L"Process ID not found: 0x%04X (%u)", usedPid, usedPid);
    } else if (result == NO_WILDCARD_MATCH) {
        copyText(message, MESSAGE_COUNT, L"No process matching the given wildcards was found.");
    } else {
        formatSystemError(static_cast<DWORD>(result), message);
    }
    reportError(L"%s\r\n", message);
    return 2;
}
