// ANCESTRY: one line per ancestor of a process, laid out like a tree root
// line, oldest first or the process first.
#include "commands/ancestry.h"


#include "commands/command_context.h"
#include "commands/commands.h"
#include "commands/display_options.h"
#include "commands/record_source.h"
#include "commands/root_selection.h"
#include "console/arguments.h"
#include "console/paging.h"
#include "procinfo/ancestor_chain.h"
#include "render/tree.h"

#include <memory>

namespace {

// What the driver needs of the options.
struct AncestryRequest {
    const wchar_t* highlight;
    uint32_t pid;
    const wchar_t* pattern;
    uint32_t width;
    DisplayFlags flags;
};

// The driver; usedPid receives the PID whose chain was asked for, so that a
// wildcard root whose process has gone is reported by the PID it matched.
int runAncestry(const AncestryRequest& request, ConsoleOutput* output, uint32_t* usedPid)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    ProcessTable table;
    int result = 0;
    if (!buildCommandTable(request.flags, &table, &result)) {
        return result;
    }
    uint32_t pid = request.pid;
    if (request.pattern != nullptr) {
        pid = findWildcardRoot(request.pattern, table);
        if (pid == 0) {
            return NO_WILDCARD_MATCH;
        }
    }
    *usedPid = pid;

    // The walk reads creation times through the table, which keeps them for
    // the lines: each process is opened once.
    AncestorChain chain;
    if (getAncestorChain(pid, false, tableCreationTime, &table, &chain) <= 0) {
        return ROOT_PID_NOT_FOUND;
    }

    ViewSettings view = {};
    view.source = recordSourceFor(&table);
    view.output = output;
    view.sortKeys = nullptr;
    view.highlightPattern = request.highlight;
    view.width = request.width;
    view.flags = request.flags;
    view.printedCount = 0;
    view.totalCount = chain.count;
    view.today = &today;
    return renderAncestorLines(chain.pids.get(), chain.count, table, &view);
}

}  // namespace

int renderAncestorLines(const uint32_t* chain, uint32_t count, const ProcessTable& table, ViewSettings* view)
{
    if (chain == nullptr || view == nullptr) {
        return 0;
    }
    bool reverse = (view->flags & OPT_REVERSE) != 0;
    for (uint32_t step = 0; step < count; ++step) {
        uint32_t index = reverse ? step : count - 1 - step;
        // A process started after the table's snapshot has no record to show.
        const ProcessRecord* record = findRecordByPid(table, chain[index]);
        if (record == nullptr) {
            continue;
        }
        int result = renderProcess(record, nullptr, false, false, view);
        if (result != 0) {
            return result;
        }
    }
    if (view->flags & OPT_COUNT) {
        if (printPaged(view->output, L"\nFound %u process%s.\n", view->printedCount,
                       view->printedCount == 1 ? L"" : L"es") == STOPPED) {
            return STOPPED;
        }
    }
    return 0;
}

int ancestryCommand(wchar_t* arguments, const ConsolePort* console)
{
    if (arguments == nullptr) {
        return 1;
    }
    std::unique_ptr<CommandContext> context = newCommandContext(console);
    if (!context) {
        return reportCommandResult(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    DisplaySettings* settings = &context->settings;
    // An overflow has been reported by the splitter and leaves no arguments:
    // the command goes on with its defaults.
    (void)splitArguments(&context->arguments, SPLIT_MODE_ANCESTRY, arguments);
    int options = parseCommandOptions(CommandKind::Ancestry, &context->arguments, settings, &context->output);
    if (options == OPTIONS_HELP_DONE) {
        return 0;
    }
    if (options != OPTIONS_CONTINUE) {
        return 1;
    }

    AncestryRequest request;
    request.pid = 0;
    request.pattern = nullptr;
    if (!settings->rootGiven) {
        request.pid = GetCurrentProcessId();
    } else if (settings->rootPattern != nullptr) {
        request.pattern = settings->rootPattern;
    } else {
        request.pid = settings->rootPid;
    }
    finishDisplayOptions(CommandKind::Ancestry, settings, &context->output);

    request.highlight = settings->highlightPattern[0] != L'\0' ? settings->highlightPattern : nullptr;
    request.width = settings->width;
    request.flags = settings->flags;
    uint32_t usedPid = request.pid;
    int result = runAncestry(request, &context->output, &usedPid);
    return reportCommandResult(result, usedPid);
}

extern "C" int WINAPI ancestry(wchar_t* arguments)
{
    return ancestryCommand(arguments, &gWin32Console);
}
