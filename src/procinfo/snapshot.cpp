#include "procinfo/snapshot.h"

#include "base/unique_handle.h"

#include <string.h>

#include <new>

namespace {

// The Windows error of the last call as a result: -1 when it is 0.
int lastErrorResult()
{
    DWORD error = GetLastError();
    return error == 0 ? -1 : static_cast<int>(error);
}

// Room for the entry at index, in a new chunk when the last one is full;
// null when there is no chunk for it (out of memory).
PROCESSENTRY32W* chunkSlotAt(void* context, uint32_t index)
{
    SnapshotEntries* snapshot = static_cast<SnapshotEntries*>(context);
    size_t chunk = index / SNAPSHOT_CHUNK_COUNT;
    if (chunk == snapshot->chunks.size()) {
        std::unique_ptr<PROCESSENTRY32W[]> fresh(new (std::nothrow) PROCESSENTRY32W[SNAPSHOT_CHUNK_COUNT]);
        if (fresh) {
            snapshot->chunks.push_back(std::move(fresh));
        }
    }
    if (chunk >= snapshot->chunks.size()) {
        return NULL;
    }
    return &snapshot->chunks[chunk][index % SNAPSHOT_CHUNK_COUNT];
}

}  // namespace

ToolhelpCalls systemToolhelp()
{
    ToolhelpCalls calls = {CreateToolhelp32Snapshot, Process32FirstW, Process32NextW};
    return calls;
}

int walkProcessSnapshot(const ToolhelpCalls& toolhelp, const EntrySlots& slots, uint32_t* count, bool* complete)
{
    *count = 0;
    *complete = false;
    UniqueHandle handle(toolhelp.createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!handle) {
        return lastErrorResult();
    }
    // One pass: each step of a snapshot walk can cost a round trip to the
    // system (some 40 us under Wine), so the walk is not repeated to count.
    uint32_t walked = 0;
    for (;;) {
        PROCESSENTRY32W* entry = slots.slotAt(slots.context, walked);
        if (entry == NULL) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        memset(entry, 0, sizeof(*entry));
        entry->dwSize = sizeof(*entry);
        BOOL found = walked == 0 ? toolhelp.firstProcess(handle.get(), entry)
                                 : toolhelp.nextProcess(handle.get(), entry);
        if (!found) {
            break;
        }
        ++walked;
    }
    *complete = GetLastError() == ERROR_NO_MORE_FILES;
    *count = walked;
    return 0;
}

int readProcessSnapshot(SnapshotEntries* snapshot)
{
    return readProcessSnapshot(systemToolhelp(), snapshot);
}

int readProcessSnapshot(const ToolhelpCalls& toolhelp, SnapshotEntries* snapshot)
{
    if (snapshot == NULL) {
        return -1;
    }
    *snapshot = SnapshotEntries();
    EntrySlots slots = {chunkSlotAt, snapshot};
    uint32_t count = 0;
    bool complete = false;
    int result = walkProcessSnapshot(toolhelp, slots, &count, &complete);
    if (result != 0) {
        *snapshot = SnapshotEntries();
        return result;
    }
    snapshot->count = count;
    snapshot->complete = complete;
    return 0;
}

int snapshotFromEntries(const PROCESSENTRY32W* entries, uint32_t count, SnapshotEntries* snapshot)
{
    *snapshot = SnapshotEntries();
    snapshot->complete = true;
    for (uint32_t i = 0; i < count; ++i) {
        PROCESSENTRY32W* entry = chunkSlotAt(snapshot, i);
        if (entry == NULL) {
            *snapshot = SnapshotEntries();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        *entry = entries[i];
        ++snapshot->count;
    }
    return 0;
}
