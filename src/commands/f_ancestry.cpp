// @ANCESTRY[pid,flags]: the ancestor chain of a process as one line of PIDs
// or executable names, written back into the host's buffer.
#include "commands/ancestry.h"

#include "base/host_api.h"
#include "base/text.h"
#include "commands/commands.h"
#include "console/arguments.h"
#include "console/diagnostics.h"
#include "procinfo/ancestor_chain.h"

#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include <memory>
#include <new>

namespace {

const wchar_t* const PID_FORMATS[] = {L"0x%04X", L"%X", L"%u"};

// One member's text in the name work buffer; false when there is none.
bool memberText(uint32_t mode, uint32_t pid, const wchar_t* nameRow, uint32_t nameWidth, wchar_t* work)
{
    if (mode != ANCESTRY_MODE_NAMES) {
        return formatText(work, ANCESTRY_NAME_WORK_COUNT, PID_FORMATS[mode], pid) >= 0;
    }
    // A row is terminated within its width; the bound guards a table that is not.
    size_t length = 0;
    while (length < nameWidth && length + 1 < ANCESTRY_NAME_WORK_COUNT && nameRow[length] != L'\0') {
        work[length] = nameRow[length];
        ++length;
    }
    work[length] = L'\0';
    AddQuotes(work);
    return true;
}

}  // namespace

int formatAncestorChain(uint32_t count, const uint32_t* chain, const wchar_t* nameTable,
                        uint32_t nameWidth, uint32_t flags, wchar_t* result, size_t resultCount)
{
    if (result == NULL || resultCount == 0) {
        return -1;
    }
    result[0] = L'\0';
    uint32_t mode = flags & ANCESTRY_MODE_MASK;
    if (count == 0 || chain == NULL) {
        return 0;
    }
    // Without names there is nothing truthful to write in name mode, and PIDs
    // there would be taken for names by a batch file.
    if (mode == ANCESTRY_MODE_NAMES && (nameTable == NULL || nameWidth == 0)) {
        return 0;
    }
    wchar_t work[ANCESTRY_NAME_WORK_COUNT];
    size_t length = 0;
    int written = 0;
    for (uint32_t step = 0; step < count; ++step) {
        uint32_t index = (flags & ANCESTRY_FLAG_REVERSE) ? step : count - 1 - step;
        const wchar_t* row = nameTable == NULL ? NULL : nameTable + static_cast<size_t>(index) * nameWidth;
        if (!memberText(mode, chain[index], row, nameWidth, work)) {
            break;
        }
        // Long chains of long names outgrow the host's buffer: keep whole
        // members only. The blank after the last one is dropped below.
        size_t memberLength = wcslen(work);
        if (length + memberLength >= resultCount) {
            break;
        }
        memcpy(result + length, work, memberLength * sizeof(wchar_t));
        length += memberLength;
        ++written;
        if (length + 1 < resultCount) {
            result[length++] = L' ';
        }
        result[length] = L'\0';
    }
    while (length > 0 && iswspace(result[length - 1])) {
        result[--length] = L'\0';
    }
    if (flags & ANCESTRY_FLAG_LOWER) {
        CharLowerW(result);
    }
    return written;
}

extern "C" int WINAPI f_ancestry(wchar_t* buffer)
{
    if (buffer == NULL) {
        return 1;
    }
    // The splitter works on its own copy: the buffer keeps the argument text
    // until every argument has passed. The table is too big for the host's stack.
    std::unique_ptr<ArgumentTable> arguments(new (std::nothrow) ArgumentTable);
    if (!arguments) {
        buffer[0] = L'\0';
        return 0;
    }
    (void)splitArguments(arguments.get(), SPLIT_MODE_FUNCTION, buffer);
    uint32_t pid = 0;
    const wchar_t* pidText = argumentText(*arguments, 0);
    if (pidText[0] != L'\0') {
        if (wcscmp(pidText, L".") == 0) {
            pid = GetCurrentProcessId();
        } else if (parseNumber(pidText, NULL, &pid) != 0) {
            reportError(L"Bad PID value: \"%s\"\r\n", pidText);
            return -1;
        } else if (pid == 0) {
            reportError(L"PID must be nonzero: \"%s\"\r\n", pidText);
            return -1;
        }
    }
    uint32_t flags = 0;
    const wchar_t* flagsText = argumentText(*arguments, 1);
    if (flagsText[0] != L'\0' && parseNumber(flagsText, NULL, &flags) != 0) {
        reportError(L"Bad flags value: \"%s\"\r\n", flagsText);
        return -1;
    }
    if (pid == 0) {
        pid = GetCurrentProcessId();
    }

    buffer[0] = L'\0';
    AncestorChain chain;
    bool names = (flags & ANCESTRY_MODE_MASK) == ANCESTRY_MODE_NAMES;
    if (getAncestorChain(pid, names, NULL, NULL, &chain) <= 0) {
        return 0;
    }
    (void)formatAncestorChain(chain.count, chain.pids.get(), chain.nameTable.get(), chain.nameWidth, flags, buffer,
                              ANCESTRY_RESULT_COUNT);
    return 0;
}
