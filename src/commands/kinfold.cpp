#include "commands/commands.h"

#include "base/host_api.h"
#include "base/text.h"
#include "commands/command_context.h"
#include "commands/display_options.h"
#include "commands/end_tree.h"
#include "commands/kinfold_driver.h"
#include "commands/record_source.h"
#include "commands/root_selection.h"
#include "commands/tree_plan.h"
#include "console/arguments.h"
#include "console/diagnostics.h"
#include "console/line_output.h"
#include "console/paging.h"
#include "procinfo/process_table.h"
#include "render/csv_row.h"
#include "render/tree.h"

namespace {

uint32_t windowOwner(HWND window)
{
    DWORD pid = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid;
}

int driveKinfold(ProcessTable* table, const CommandRequest& request, ConsoleOutput* output, uint32_t* reportedPid)
{
    int result = printKinfoldTree(table, request, output);
    if (result == SHELL_IN_TREE) {
        *reportedPid = request.shellPid;
    }
    return result;
}

// What /END ends of what was printed: the roots' trees, not the ancestors
// /ANC shows above them.
std::vector<const ProcessRecord*> treesToEnd(const TreePlan& plan, const std::vector<const ProcessRecord*>& printed)
{
    std::vector<const ProcessRecord*> members;
    members.reserve(printed.size());
    for (const ProcessRecord* record : printed) {
        if (!isAncestorOnly(plan, record)) {
            members.push_back(record);
        }
    }
    return members;
}

const CommandSteps KINFOLD_STEPS = {CommandKind::Kinfold, SPLIT_MODE_KINFOLD, chooseKinfoldDefaultRoot,
                                    driveKinfold};

}  // namespace

bool chooseKinfoldDefaultRoot(DisplaySettings* settings)
{
    if (settings->explorerRoot) {
        settings->rootPid = windowOwner(findExplorerWindow());
        if (settings->rootPid == 0) {
            reportError(L"Explorer process not found.\r\n");
            return false;
        }
        return true;
    }
    if (settings->shellWindowRoot) {
        settings->rootPid = windowOwner(findShellWindow());
        if (settings->rootPid != 0) {
            return true;
        }
    }
    if ((settings->flags & (OPT_ALL_ROOTS | OPT_SERVICES_ROOT)) == OPT_ALL_ROOTS && !settings->shellWindowRoot) {
        settings->flags |= OPT_WHOLE_SYSTEM;
        settings->rootPid = 0;
        return true;
    }
    // With /SVC the driver looks for the services root instead.
    settings->rootPid = (settings->flags & OPT_SERVICES_ROOT) != 0 ? 0 : GetCurrentProcessId();
    return true;
}

int printKinfoldTree(ProcessTable* table, const CommandRequest& request, ConsoleOutput* output, const EndCalls* ending)
{
    DisplayFlags flags = request.flags;
    TreePlan plan;
    if (!startTreePlan(table, &plan)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    RootPattern pattern;
    uint32_t matches = 0;
    bool matchesShown = false;
    if ((flags & OPT_SERVICES_ROOT) == 0 && request.pattern != nullptr &&
        (flags & (OPT_ALL_ROOTS | OPT_ANCESTOR_PATHS)) != 0) {
        if (!prepareRootPattern(request.pattern, &pattern)) {
            return NO_WILDCARD_MATCH;
        }
        matches = markMatches(pattern, &plan);
        matchesShown = (flags & OPT_MATCH_HIGHLIGHT) != 0;
    }

    // Several trees, or one below its ancestors, come from the plan; one
    // plain tree walks the table as it is.
    bool planned = true;
    ProcessRecord placeholder;
    bool parentPid = (flags & OPT_PARENT_PID) != 0;
    if ((flags & OPT_WHOLE_SYSTEM) != 0) {
        planWholeSystem(request.sortKeys, &plan);
    } else if ((flags & (OPT_ALL_ROOTS | OPT_SERVICES_ROOT)) == OPT_ALL_ROOTS && request.pattern != nullptr) {
        if (matches == 0) {
            return NO_WILDCARD_MATCH;
        }
        planTopmostMatches(request.sortKeys, &plan);
    } else {
        uint32_t root = request.rootPid;
        if ((flags & OPT_SERVICES_ROOT) != 0) {
            root = findServicesRoot(table);
            if (root == 0) {
                return NO_SERVICES_ROOT;
            }
        } else if (request.pattern != nullptr) {
            root = findWildcardRoot(request.pattern, *table);
            if (root == 0) {
                return NO_WILDCARD_MATCH;
            }
        }

        const ProcessRecord* rootRecord = treeRootFor(table, root, &placeholder);
        if (rootRecord == nullptr) {
            return ROOT_PID_NOT_FOUND;
        }
        // The placeholder stands for no process: it has no parent to name.
        parentPid = parentPid && rootRecord != &placeholder;
        planSingleRoot(rootRecord, &plan);
        planned = (flags & OPT_ANCESTOR_PATHS) != 0;
    }
    if ((flags & OPT_ANCESTOR_PATHS) != 0 && (flags & OPT_WHOLE_SYSTEM) == 0) {
        addAncestorPaths(request.sortKeys, &plan);
    }

    ViewSettings view = viewForRequest(request, table, output);
    view.sortKeys = request.sortKeys;
    view.parentPidOnFirstLine = parentPid;
    if (planned) {
        view.source = planSource(&plan);
    }
    if (matchesShown) {
        view.nameMatch = planMatches(&plan);
    }
    std::vector<const ProcessRecord*> printed;
    if (request.endTree) {
        view.printed = &printed;
    }

    // Rows for programs have one header and no empty lines between trees.
    if ((flags & OPT_CSV) != 0) {
        int header = writeCsvHeader(flags, output);
        if (header != 0) {
            return header;
        }
    }
    bool firstTree = true;
    for (const ProcessRecord* first = nextTree(&plan); first != nullptr; first = nextTree(&plan)) {
        // The empty line before the first tree comes before anything is
        // counted; the ones between trees are lines of the page like any other.
        if ((flags & (OPT_NO_TREE | OPT_CSV)) == 0 && firstTree) {
            writeUncountedLineEnd(output);
        } else if ((flags & (OPT_NO_TREE | OPT_CSV)) == 0 && writeEmptyLine(output) == STOPPED) {
            return STOPPED;
        }
        firstTree = false;
        int result = renderTree(first, &plan.listed, &view);
        if (result != 0) {
            return result;
        }
    }
    if ((flags & (OPT_COUNT | OPT_CSV)) == OPT_COUNT && printCountLine(output, view.printedCount) == STOPPED) {
        return STOPPED;
    }
    if (!request.endTree) {
        return 0;
    }
    EndRequest end = {request.shellPid, !request.endConfirmed, flags};
    EndCalls system = systemEndCalls();
    return endPrintedTree(table, treesToEnd(plan, printed), end, ending != nullptr ? *ending : system, output);
}

int kinfoldCommand(wchar_t* arguments, const ConsolePort* console)
{
    return runCommandSteps(KINFOLD_STEPS, arguments, console);
}

extern "C" int WINAPI kinfold(wchar_t* arguments)
{
    return kinfoldCommand(arguments, &gWin32Console);
}
