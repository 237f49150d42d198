#include "commands/command_context.h"

#include "base/text.h"
#include "commands/commands.h"
#include "commands/record_source.h"
#include "console/diagnostics.h"
#include "console/line_output.h"
#include "console/paging.h"
#include "procinfo/process_table.h"

#include <new>

int reportCommandResult(int driverResult, uint32_t pid)
{
    if (driverResult == 0) {
        return 0;
    }
    if (driverResult == STOPPED) {
        return 3;
    }
    // Each process left running has had its line already.
    if (driverResult == SOME_NOT_ENDED) {
        return 1;
    }
    wchar_t message[ERROR_TEXT_COUNT];
    switch (driverResult) {
    case ROOT_PID_NOT_FOUND:
        (void)formatText(message, ERROR_TEXT_COUNT, L"Process ID not found: 0x%04X (%u)", pid, pid);
        break;
    case NO_WILDCARD_MATCH:
        copyText(message, ERROR_TEXT_COUNT, L"No process matching the given wildcards was found.");
        break;
    case NO_SERVICES_ROOT:
        copyText(message, ERROR_TEXT_COUNT, L"Services root not found.");
        break;
    case SHELL_IN_TREE:
        (void)formatText(message, ERROR_TEXT_COUNT, L"the tree holds this shell (%u); nothing was ended", pid);
        break;
    default:
        formatSystemError(static_cast<DWORD>(driverResult), message);
        break;
    }
    reportError(L"%s\r\n", message);
    return 2;
}

std::unique_ptr<CommandContext> newCommandContext(const ConsolePort* port)
{
    std::unique_ptr<CommandContext> context(new (std::nothrow) CommandContext());
    if (context) {
        resetConsoleOutput(&context->output, port);
    }
    return context;
}

ViewSettings viewForRequest(const CommandRequest& request, ProcessTable* table, ConsoleOutput* output)
{
    ViewSettings view = {};
    view.source = recordSourceFor(table);
    view.output = output;
    view.sortKeys = nullptr;
    view.highlightPattern = request.highlight != nullptr && request.highlight[0] != L'\0' ? request.highlight : nullptr;
    view.width = request.width;
    view.flags = request.flags;
    view.parentPidOnFirstLine = false;
    view.printedCount = 0;
    view.totalCount = 0;
    view.today = request.today;
    return view;
}

int printCountLine(ConsoleOutput* output, uint32_t count)
{
    return printPaged(output, L"\nFound %u process%s.\n", count, count == 1 ? L"" : L"es") == STOPPED ? STOPPED : 0;
}

namespace {

// Builds the table and runs the driver; the table is released before the
// command reports anything.
int driveOverTable(const CommandSteps& steps, const CommandRequest& request, ConsoleOutput* output,
                   uint32_t* reportedPid)
{
    ProcessTable table;
    int result = 0;
    if (!buildCommandTable(request.flags, request.endTree, output, &table, &result)) {
        return result;
    }
    return steps.drive(&table, request, output, reportedPid);
}

}  // namespace

int runCommandSteps(const CommandSteps& steps, wchar_t* arguments, const ConsolePort* console)
{
    if (arguments == nullptr) {
        return 1;
    }
    std::unique_ptr<CommandContext> context = newCommandContext(console);
    if (!context) {
        return reportCommandResult(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    DisplaySettings* settings = &context->settings;

    // After an overflow the splitter has reported it and left no arguments:
    // the command goes on with its defaults.
    (void)splitArguments(&context->arguments, steps.splitMode, arguments);
    int parsed = parseCommandOptions(steps.kind, &context->arguments, settings, &context->output);
    if (parsed == OPTIONS_HELP_DONE) {
        return 0;
    }
    if (parsed != OPTIONS_CONTINUE) {
        return 1;
    }
    // A root argument, PID or pattern, wins over any default.
    if (!settings->rootGiven && !steps.chooseDefaultRoot(settings)) {
        return 2;
    }
    finishDisplayOptions(steps.kind, settings, &context->output);

    SYSTEMTIME today;
    GetLocalTime(&today);
    CommandRequest request;
    request.pattern = settings->rootGiven ? settings->rootPattern : nullptr;
    request.sortKeys = settings->unsorted ? nullptr : settings->sortKeys;
    request.rootPid = settings->rootPid;
    request.highlight = settings->highlightPattern[0] != L'\0' ? settings->highlightPattern : nullptr;
    request.width = settings->width;
    request.flags = settings->flags;
    request.today = &today;
    request.shellPid = GetCurrentProcessId();
    request.endTree = settings->endTree;
    request.endConfirmed = settings->endConfirmed;
    uint32_t reportedPid = request.rootPid;
    int result = driveOverTable(steps, request, &context->output, &reportedPid);
    return reportCommandResult(result, reportedPid);
}
