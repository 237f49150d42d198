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
    // Counted first so that the copy is one allocation of the right size.
    PROCESSENTRY32W entry;
    resetEntry(&entry);
    uint32_t count = 0;
    for (BOOL found = Process32FirstW(handle.get(), &entry); found;
         found = Process32NextW(handle.get(), &entry)) {
        ++count;
        resetEntry(&entry);
    }
    snapshot->complete = GetLastError() == ERROR_NO_MORE_FILES;
    if (count == 0) {
        return 0;
    }
    std::unique_ptr<PROCESSENTRY32W[]> entries(new (std::nothrow) PROCESSENTRY32W[count]);
    if (!entries) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // The same snapshot as the count pass, so the same processes in the same order.
    for (uint32_t i = 0; i < count; ++i) {
        resetEntry(&entries[i]);
        BOOL filled = i == 0 ? Process32FirstW(handle.get(), &entries[0]) : Process32NextW(handle.get(), &entries[i]);
        if (!filled) {
            return lastErrorResult();
        }
    }
    snapshot->entries = std::move(entries);
    snapshot->count = count;
    return 0;
}
