#include "procinfo/snapshot.h"

#include "base/unique_handle.h"

#include <string.h>

#include <new>
#include <vector>

namespace {

const uint32_t SNAPSHOT_CHUNK_COUNT = 1024;

void resetEntry(PROCESSENTRY32W* entry)
{
    memset(entry, 0, sizeof(*entry));
    entry->dwSize = sizeof(*entry);
}

}  // namespace

int lastErrorResult()
{
    DWORD error = GetLastError();
    return error == 0 ? -1 : static_cast<int>(error);
}

int readProcessSnapshot(SnapshotEntries* snapshot)
{
    if (snapshot == NULL) {
        return -1;
    }
    snapshot->entries.reset();
    snapshot->count = 0;
    snapshot->complete = false;
    UniqueHandle handle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!handle) {
        return lastErrorResult();
    }
    // One pass, in chunks: each step of a snapshot walk can cost a system
    // round trip, so the walk is not repeated just to learn the count.
    std::vector<std::unique_ptr<PROCESSENTRY32W[]>> chunks;
    uint32_t count = 0;
    for (;;) {
        uint32_t slot = count % SNAPSHOT_CHUNK_COUNT;
        if (slot == 0) {
            chunks.emplace_back(new (std::nothrow) PROCESSENTRY32W[SNAPSHOT_CHUNK_COUNT]);
            if (!chunks.back()) {
                return ERROR_NOT_ENOUGH_MEMORY;
            }
        }
        PROCESSENTRY32W* entry = &chunks.back()[slot];
        resetEntry(entry);
        BOOL found = count == 0 ? Process32FirstW(handle.get(), entry) : Process32NextW(handle.get(), entry);
        if (!found) {
            break;
        }
        ++count;
    }
    snapshot->complete = GetLastError() == ERROR_NO_MORE_FILES;
    handle.reset();
    if (count == 0) {
        return 0;
    }
    std::unique_ptr<PROCESSENTRY32W[]> entries(new (std::nothrow) PROCESSENTRY32W[count]);
    if (!entries) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (uint32_t i = 0; i < count; i += SNAPSHOT_CHUNK_COUNT) {
        uint32_t n = count - i < SNAPSHOT_CHUNK_COUNT ? count - i : SNAPSHOT_CHUNK_COUNT;
        memcpy(&entries[i], chunks[i / SNAPSHOT_CHUNK_COUNT].get(), n * sizeof(PROCESSENTRY32W));
        chunks[i / SNAPSHOT_CHUNK_COUNT].reset();
    }
    snapshot->entries = std::move(entries);
    snapshot->count = count;
    return 0;
}
