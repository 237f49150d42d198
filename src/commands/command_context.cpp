#include "commands/command_context.h"

#include "base/text.h"
#include "commands/commands.h"
#include "console/diagnostics.h"
#include "console/paging.h"

#include <new>

int reportCommandResult(int driverResult, uint32_t pid)
{
    if (driverResult == 0) {
        return 0;
    }
    if (driverResult == STOPPED) {
        return 3;
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
