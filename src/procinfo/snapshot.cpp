#include "procinfo/snapshot.h"

#include "base/unique_handle.h"

#include <string.h>

#include <new>

namespace {

void resetEntry(PROCESSENTRY32W* entry)
{
    memset(entry, 0, sizeof(*entry));
    entry->dwSize = sizeof(*entry);
}

// The Windows error of the last call as a result: -1 when it is 0.
int lastErrorResult()
{
    DWORD error = GetLastError();
    return error == 0 ? -1 : static_cast<int>(error);
}

// Room for the entry at index count, in a new chunk when the last one is
// full; null when there is no chunk for it (out of memory).
PROCESSENTRY32W* slotFor(SnapshotEntries* snapshot)
{
    size_t chunk = snapshot->count / SNAPSHOT_CHUNK_COUNT;
    if (chunk == snapshot->chunks.size()) {
        std::unique_ptr<PROCESSENTRY32W[]> fresh(new (std::nothrow) PROCESSENTRY32W[SNAPSHOT_CHUNK_COUNT]);
        if (fresh) {
            snapshot->chunks.push_back(std::move(fresh));
        }
    }
    if (chunk >= snapshot->chunks.size()) {
        return NULL;
    }
    PROCESSENTRY32W* entry = &snapshot->chunks[chunk][snapshot->count % SNAPSHOT_CHUNK_COUNT];
    resetEntry(entry);
    return entry;
}

}  // namespace

ToolhelpCalls systemToolhelp()
{
    ToolhelpCalls calls = {CreateToolhelp32Snapshot, Process32FirstW, Process32NextW};
    return calls;
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
    UniqueHandle handle(toolhelp.createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!handle) {
        return lastErrorResult();
    }
    // One pass: each step of a snapshot walk can cost a round trip to the
    // system (some 40 us under Wine), so the walk is not repeated to count.
    for (;;) {
        PROCESSENTRY32W* entry = slotFor(snapshot);
        if (entry == NULL) {
            *snapshot = SnapshotEntries();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        BOOL found = snapshot->count == 0 ? toolhelp.firstProcess(handle.get(), entry)
                                          : toolhelp.nextProcess(handle.get(), entry);
        if (!found) {
            break;
        }
        ++snapshot->count;
    }
    snapshot->complete = GetLastError() == ERROR_NO_MORE_FILES;
    return 0;
}

int snapshotFromEntries(const PROCESSENTRY32W* entries, uint32_t count, SnapshotEntries* snapshot)
{
    *snapshot = SnapshotEntries();
    snapshot->complete = true;
    for (uint32_t i = 0; i < count; ++i) {
        PROCESSENTRY32W* entry = slotFor(snapshot);
        if (entry == NULL) {
            *snapshot = SnapshotEntries();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        *entry = entries[i];
        ++snapshot->count;
    }
    return 0;
}
