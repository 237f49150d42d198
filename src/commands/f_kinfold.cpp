// @KINFOLD[pid,flags]: a process and its descendants as one line of PIDs or
// executable names, written back into the host's buffer.
#include "commands/kinfold_function.h"

#include "base/host_api.h"
#include "base/text.h"
#include "commands/commands.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// What one walk holds: a mark per PID listed or waiting, the records still
// to visit, and room for the children of one process. All sized to the
// table, since no record can be listed twice.
struct KinfoldWalk {
    ProcessTable* table;
    std::unique_ptr<bool[]> seen;  // by the index of each PID's first record
    std::unique_ptr<const ProcessRecord*[]> pending;
    uint32_t pendingCount;
    std::unique_ptr<const ProcessRecord*[]> children;
    bool leavesFirst;
};

// Marks pid as listed; false when it was already. Every record of a PID has
// the same children, so a PID counts once however many records share it.
bool markSeen(KinfoldWalk* walk, uint32_t pid)
{
    const ProcessRecord* first = findRecordByPid(*walk->table, pid);
    if (first == nullptr) {
        return true;
    }
    bool& seen = walk->seen[first - walk->table->records.get()];
    if (seen) {
        return false;
    }
    seen = true;
    return true;
}

// Queues the children of pid not listed yet, so that the walk takes them in
// PID order, or for leaves first in reverse PID order (the list is then turned round).
void queueChildren(KinfoldWalk* walk, uint32_t pid)
{
    uint32_t room = walk->table->count;
    uint32_t found = collectChildren(*walk->table, pid, walk->children.get(), room);
    uint32_t stored = 0;
    for (uint32_t i = 0; i < found; ++i) {
        if (markSeen(walk, walk->children[i]->entry.th32ProcessID)) {
            walk->children[stored++] = walk->children[i];
        }
    }
    const ProcessRecord** first = walk->children.get();
    std::sort(first, first + stored, [](const ProcessRecord* a, const ProcessRecord* b) {
        return a->entry.th32ProcessID < b->entry.th32ProcessID;
    });
    // The pending stack is taken from its end.
    for (uint32_t i = 0; i < stored; ++i) {
        uint32_t next = walk->leavesFirst ? i : stored - 1 - i;
        walk->pending[walk->pendingCount++] = first[next];
    }
}

}  // namespace

int collectKinfoldMembers(ProcessTable* table, uint32_t pid, uint32_t flags, const ProcessRecord** members,
                          uint32_t* count)
{
    *count = 0;
    if (table == nullptr || table->count == 0 || members == nullptr) {
        return 0;
    }
    uint32_t size = table->count;
    KinfoldWalk walk;
    walk.table = table;
    walk.seen.reset(new (std::nothrow) bool[size]());
    walk.pending.reset(new (std::nothrow) const ProcessRecord*[size]);
    walk.children.reset(new (std::nothrow) const ProcessRecord*[size]);
    walk.pendingCount = 0;
    walk.leavesFirst = (flags & KINFOLD_FLAG_LEAVES_FIRST) != 0;
    if (!walk.seen || !walk.pending || !walk.children) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    const ProcessRecord* root = findRecordByPid(*table, pid);
    if (root != nullptr) {
        (void)markSeen(&walk, pid);
        walk.pending[walk.pendingCount++] = root;
    } else {
        // An ended process still roots the tree of its living children.
        queueChildren(&walk, pid);
    }
    // Without recursion: a chain as deep as the table must not spend the host's stack.
    uint32_t stored = 0;
    while (walk.pendingCount != 0) {
        const ProcessRecord* record = walk.pending[--walk.pendingCount];
        if (record != root || (flags & KINFOLD_FLAG_DESCENDANTS_ONLY) == 0) {
            members[stored++] = record;
        }
        queueChildren(&walk, record->entry.th32ProcessID);
    }
    // Taken right to left, each process came before its descendants: turned
    // round, each comes after all of them and siblings are in PID order.
    if (walk.leavesFirst) {
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
