#include "commands/commands.h"

#include "commands/display_options.h"
#include "commands/kinfold_driver.h"
#include "commands/root_selection.h"
#include "commands/view_settings.h"
#include "console/arguments.h"
#include "console/diagnostics.h"
#include "base/text.h"
#include "console/paging.h"
#include "base/host_api.h"
#include "procinfo/process_table.h"
#include "render/tree.h"

#include <memory>
#include <new>

namespace {

// Stands for "no PID": with /SVC the driver looks for the services root instead.
const uint32_t SERVICES_ROOT_PID = 0xFFFFFFFF;

uint32_t windowOwner(HWND window)
{
    DWORD pid = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid;
}

void printMessage(const wchar_t* text)
{
    printErrorPrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s\r\n", text);
}

// The root when no root argument was given. False after a message: the
// command then ends with 2.
bool chooseDefaultRoot(DisplaySettings* settings)
{
    if (settings->explorerRoot) {
        settings->rootPid = windowOwner(findExplorerWindow());
        if (settings->rootPid == 0) {
            printErrorPrefix();
            Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Explorer process not found.\r\n");
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
    settings->rootPid =
        (settings->flags & OPT_SERVICES_ROOT) != 0 ? SERVICES_ROOT_PID : GetCurrentProcessId();
    return true;
}

}  // namespace

int printKinfoldTree(const ProcessRecord* records, uint32_t count, const wchar_t* pattern,
                     const wchar_t* sortKeys, uint32_t rootPid, const wchar_t* highlight, uint32_t width,
                     DisplayFlags flags, const SYSTEMTIME* today)
{
    uint32_t root = rootPid;
    if ((flags & OPT_SERVICES_ROOT) != 0) {
        root = findServicesRoot(records, count);
        if (root == 0) {
            return NO_SERVICES_ROOT;
        }
    } else if (pattern != nullptr) {
        root = findWildcardRoot(pattern, records, count);
        if (root == 0) {
            return NO_WILDCARD_MATCH;
        }
    }

    const ProcessRecord* rootRecord = findRecordByPid(records, count, root);
    ProcessRecord placeholder;
    if (rootRecord == nullptr) {
        // A parent that has ended still roots the tree of its living children.
        if (countChildren(records, count, root) == 0) {
            return ROOT_PID_NOT_FOUND;
        }
        placeholder = ProcessRecord();
        placeholder.entry.dwSize = sizeof(placeholder.entry);
        placeholder.entry.th32ProcessID = root;
        copyText(placeholder.entry.szExeFile, MAX_PATH, ENDED_PROCESS_NAME);
        placeholder.priorityIndex = -1;
        rootRecord = &placeholder;
        flags &= ~OPT_PARENT_PID;
    }

    ViewSettings view = {};
    view.table = records;
    view.sortKeys = sortKeys;
    view.highlightPattern = highlight != nullptr && highlight[0] != L'\0' ? highlight : nullptr;
    view.count = count;
    view.width = width;
    view.flags = flags;
    view.printedCount = 0;
    view.totalCount = 0;
    view.today = today;

    if ((flags & OPT_NO_TREE) == 0) {
        CrLf();
    }
    int result = renderProcess(rootRecord, nullptr, true, true, &view);
    if (result != 0) {
        return result;
    }
    if ((view.flags & OPT_COUNT) != 0) {
        uint32_t printed = view.printedCount;
        if (printPaged(L"\nFound %u process%s.\n", printed, printed == 1 ? L"" : L"es") == STOPPED) {
            return STOPPED;
        }
    }
    return 0;
}

int reportKinfoldResult(int driverResult, uint32_t rootPid)
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
        formatText(message, ERROR_TEXT_COUNT, L"Process ID not found: 0x%04X (%u)", rootPid, rootPid);
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
    printMessage(message);
    return 2;
}

int runKinfold(const wchar_t* pattern, const wchar_t* sortKeys, uint32_t rootPid, const wchar_t* highlight,
               uint32_t width, uint32_t flags)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    // Released before the command prints any message.
    ProcessTableOwner owner;
    ProcessTable* table = owner.get();
    int result = buildProcessTable(flags, table);
    if (result != 0 || table->count == 0) {
        // With no records "No processes found!" has been printed already.
        return result;
    }
    return printKinfoldTree(table->records, table->count, pattern, sortKeys, rootPid, highlight, width, flags,
                            &today);
}

extern "C" int WINAPI kinfold(wchar_t* arguments)
{
    if (arguments == nullptr) {
        return 1;
    }
    resetPaging();
    // The settings hold a 16 KB pattern: too much for the host's stack.
    std::unique_ptr<DisplaySettings> settings(new (std::nothrow) DisplaySettings);
    if (!settings) {
        return reportKinfoldResult(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    resetDisplaySettings(settings.get());

    // After an overflow the splitter has reported it and left no arguments:
    // the command goes on with its defaults.
    (void)splitArguments(SPLIT_MODE_KINFOLD, arguments);
    if (gArguments.argCount > 0) {
        int parsed = parseCommandOptions(CommandKind::Kinfold, settings.get());
        if (parsed == OPTIONS_ERROR) {
            return 1;
        }
        if (parsed == OPTIONS_HELP_DONE) {
            return 0;
        }
    }
    // A root argument, PID or pattern, wins over /E and /TC.
    if (!settings->rootGiven && !chooseDefaultRoot(settings.get())) {
        return 2;
    }
    finishDisplayOptions(CommandKind::Kinfold, settings.get());

    const wchar_t* pattern = settings->rootGiven ? settings->rootPattern : nullptr;
    const wchar_t* sortKeys = settings->unsorted ? nullptr : settings->sortKeys;
    const wchar_t* highlight = settings->highlightPattern[0] != L'\0' ? settings->highlightPattern : nullptr;
    int result = runKinfold(pattern, sortKeys, settings->rootPid, highlight, settings->width, settings->flags);
    return reportKinfoldResult(result, settings->rootPid);
}
