// @ANCESTRY[pid,flags]: the ancestor chain of a process as one line of PIDs
// or executable names, written back into the host's buffer.
#include "commands/ancestry.h"

#include "base/host_api.h"
#include "commands/commands.h"
#include "commands/function_result.h"
#include "procinfo/ancestor_chain.h"

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
    wchar_t work[FUNCTION_MEMBER_WORK_COUNT];
    MemberLine line;
    (void)startMemberLine(&line, result, resultCount);
    for (uint32_t step = 0; step < count; ++step) {
        uint32_t index = (flags & ANCESTRY_FLAG_REVERSE) ? step : count - 1 - step;
        const wchar_t* row = nameTable == NULL ? NULL : nameTable + static_cast<size_t>(index) * nameWidth;
        // Long chains of long names outgrow the host's buffer: keep whole members only.
        if (!formatMember(mode, chain[index], row, nameWidth, work) || !appendMember(&line, work)) {
            break;
        }
    }
    finishMemberLine(&line, (flags & ANCESTRY_FLAG_LOWER) != 0);
    return static_cast<int>(line.members);
}

extern "C" int WINAPI f_ancestry(wchar_t* buffer)
{
    if (buffer == NULL) {
        return 1;
    }
    FunctionArguments arguments;
    int result = 0;
    if (!readFunctionArguments(buffer, &arguments, &result)) {
        return result;
    }
    uint32_t pid = arguments.pid;
    uint32_t flags = arguments.flags;

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
