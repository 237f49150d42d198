// @KINFOLD[pid,flags]: a process and its descendants as one line of PIDs or
// executable names, written back into the host's buffer.
#include "commands/kinfold_function.h"

#include "base/host_api.h"
#include "base/text.h"
#include "commands/commands.h"
#include "commands/record_source.h"
#include "render/walk.h"

#include <algorithm>
#include <memory>
#include <new>

int collectKinfoldMembers(ProcessTable* table, uint32_t pid, uint32_t flags, const ProcessRecord** members,
                          uint32_t* count)
{
    *count = 0;
    if (table == nullptr || table->count == 0 || members == nullptr) {
        return 0;
    }
    RecordSource source = recordSourceFor(table);
    ListedMarks listed;
    if (!startListedMarks(source, &listed)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    ProcessRecord placeholder;
    const ProcessRecord* root = treeRootFor(table, pid, &placeholder);
    bool leavesFirst = (flags & KINFOLD_FLAG_LEAVES_FIRST) != 0;
    // Siblings by PID; for leaves first in reverse, and the whole list then
    // turned round, so each process comes after all of its descendants.
    DescendantWalk walk;
    startWalk(source, leavesFirst ? L"P" : L"", &listed, root, &walk);
    uint32_t stored = 0;
    WalkStep step;
    while (nextWalkStep(&walk, &step)) {
        // The placeholder of an ended root stands for no process.
        bool isRoot = step.depth == 0;
        if (isRoot && (step.record == &placeholder || (flags & KINFOLD_FLAG_DESCENDANTS_ONLY) != 0)) {
            continue;
        }
        members[stored++] = step.record;
    }
    if (walk.status != 0) {
        return walk.status;
    }
    if (leavesFirst) {
        std::reverse(members, members + stored);
    }
    *count = stored;
    return 0;
}

int writeKinfoldResult(ProcessTable* table, uint32_t pid, uint32_t flags, wchar_t* result, size_t resultCount)
{
    MemberLine line;
    if (!startMemberLine(&line, result, resultCount)) {
        return -1;
    }
    uint32_t size = table != nullptr ? table->count : 0;
    std::unique_ptr<const ProcessRecord*[]> members(new (std::nothrow) const ProcessRecord*[size == 0 ? 1 : size]);
    if (!members) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    uint32_t count = 0;
    int status = collectKinfoldMembers(table, pid, flags, members.get(), &count);
    if (status != 0) {
        return status;
    }
    if ((flags & KINFOLD_FLAG_COUNT) != 0) {
        (void)formatText(result, resultCount, L"%u", count);
        return 0;
    }
    uint32_t mode = flags & FUNCTION_MODE_MASK;
    wchar_t work[FUNCTION_MEMBER_WORK_COUNT];
    for (uint32_t i = 0; i < count; ++i) {
        const PROCESSENTRY32W& entry = members[i]->entry;
        if (!formatMember(mode, entry.th32ProcessID, entry.szExeFile, MAX_PATH, work) || !appendMember(&line, work)) {
            break;
        }
    }
    finishMemberLine(&line, (flags & FUNCTION_FLAG_LOWER) != 0);
    return 0;
}

extern "C" int WINAPI f_kinfold(wchar_t* buffer)
{
    FunctionArguments arguments;
    int result = 0;
    if (!readFunctionArguments(buffer, &arguments, &result)) {
        return result;
    }
    buffer[0] = L'\0';
    // Parent links and names are all the result needs: nothing else is collected.
    TableOptions options = {};
    ProcessTable table;
    if (buildProcessTable(options, &table) != 0) {
        return 0;
    }
    (void)writeKinfoldResult(&table, arguments.pid, arguments.flags, buffer, FUNCTION_RESULT_COUNT);
    return 0;
}
