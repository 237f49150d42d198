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
#include "render/csv_row.h"
#include "render/tree.h"

namespace {

bool chooseShellRoot(DisplaySettings* settings)
{
    settings->rootPid = GetCurrentProcessId();
    return true;
}

// Prints the chain of the request's process (or of the first wildcard
// match, which becomes the PID a not-found message names).
int driveAncestry(ProcessTable* table, const CommandRequest& request, ConsoleOutput* output, uint32_t* reportedPid)
{
    uint32_t pid = request.rootPid;
    if (request.pattern != nullptr) {
        pid = findWildcardRoot(request.pattern, *table);
        if (pid == 0) {
            return NO_WILDCARD_MATCH;
        }
    }
    *reportedPid = pid;

    // The walk reads creation times through the table, which keeps them for
    // the lines: each process is opened once.
    AncestorChain chain;
    if (getAncestorChain(pid, false, tableCreationTime, table, &chain) <= 0) {
        return ROOT_PID_NOT_FOUND;
    }

    ViewSettings view = viewForRequest(request, table, output);
    view.totalCount = chain.count;
    return renderAncestorLines(chain.pids.get(), chain.count, *table, &view);
}

const CommandSteps ANCESTRY_STEPS = {CommandKind::Ancestry, SPLIT_MODE_ANCESTRY, chooseShellRoot, driveAncestry};

}  // namespace

int renderAncestorLines(const uint32_t* chain, uint32_t count, const ProcessTable& table, ViewSettings* view)
{
    if (chain == nullptr || view == nullptr) {
        return 0;
    }
    bool csv = (view->flags & OPT_CSV) != 0;
    if (csv) {
        int header = writeCsvHeader(view->flags, view->output);
        if (header != 0) {
            return header;
        }
    }
    bool reverse = (view->flags & OPT_REVERSE) != 0;
    for (uint32_t step = 0; step < count; ++step) {
        uint32_t index = reverse ? step : count - 1 - step;
        // A process started after the table's snapshot has no record to show.
        const ProcessRecord* record = findRecordByPid(table, chain[index]);
        if (record == nullptr) {
            continue;
        }
        // The oldest ancestor is the chain's last member, and each row hangs
        // under the one older than it, as the walk linked them.
        uint32_t parentPid = index + 1 < count ? chain[index + 1] : 0;
        int result = renderSingleLine(record, count - 1 - index, parentPid, view);
        if (result != 0) {
            return result;
        }
    }
    return (view->flags & OPT_COUNT) != 0 && !csv ? printCountLine(view->output, view->printedCount) : 0;
}

int ancestryCommand(wchar_t* arguments, const ConsolePort* console)
{
    return runCommandSteps(ANCESTRY_STEPS, arguments, console);
}

extern "C" int WINAPI ancestry(wchar_t* arguments)
{
    return ancestryCommand(arguments, &gWin32Console);
}
