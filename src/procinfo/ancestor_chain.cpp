#include "procinfo/ancestor_chain.h"

#include "procinfo/process_access.h"
#include "procinfo/snapshot.h"

#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace {

size_t exeNameLength(const PROCESSENTRY32W& entry)
{
    return wcsnlen(entry.szExeFile, MAX_PATH - 1);
}

const PROCESSENTRY32W& snapshotEntryAt(const void* context, uint32_t index)
{
    return entryAt(*static_cast<const SnapshotEntries*>(context), index);
}

// A snapshot's entries as the walk sees them, found through the PID index
// the process table uses.
struct SnapshotLinks {
    const SnapshotEntries* entries;
    PidIndex index;
};

uint32_t findSnapshotEntry(const void* context, uint32_t pid)
{
    const SnapshotLinks& links = *static_cast<const SnapshotLinks*>(context);
    return pid == 0 ? NO_RECORD : firstEntryOf(links.index, pid);
}

uint32_t snapshotParentOf(const void* context, uint32_t index)
{
    const SnapshotLinks& links = *static_cast<const SnapshotLinks*>(context);
    return entryAt(*links.entries, index).th32ParentProcessID;
}

}  // namespace

uint32_t walkAncestorLinks(const AncestorLinks& links, uint32_t pid, CreationTimeQuery timeOf, void* context,
                           uint32_t* work, uint32_t* workIndexes)
{
    uint32_t count = links.count;
    uint32_t at = links.find(links.context, pid);
    if (at >= count) {
        return 0;
    }
    // Entries already in the chain; a PID always finds its first entry, so
    // this is the same as "the PID recurs".
    std::vector<bool> taken(count, false);
    taken[at] = true;
    uint64_t childTime = timeOf(pid, context);
    work[0] = pid;
    workIndexes[0] = at;
    uint32_t n = 1;
    uint32_t parentPid = links.parentOf(links.context, at);
    while (parentPid != 0 && n < count) {
        uint32_t parent = links.find(links.context, parentPid);
        if (parent >= count || taken[parent]) {
            break;
        }
        // Once one time is missing, no later link is tested.
        uint64_t parentTime = 0;
        if (childTime != 0) {
            parentTime = timeOf(parentPid, context);
            if (isCreatedLater(parentTime, childTime)) {
                break;  // the PID now belongs to a process younger than its child
            }
        }
        taken[parent] = true;
        work[n] = parentPid;
        workIndexes[n] = parent;
        ++n;
        childTime = parentTime;
        parentPid = links.parentOf(links.context, parent);
    }
    return n;
}

uint64_t systemCreationTime(uint32_t pid, void*)
{
    return creationTimeOf(pid);
}

int ancestorChainFromSnapshot(const SnapshotEntries& entries, uint32_t pid, bool withNames, CreationTimeQuery timeOf,
                              void* context, AncestorChain* chain)
{
    if (chain == NULL) {
        return -1;
    }
    *chain = AncestorChain();
    uint32_t entryCount = entries.count;
    if (entryCount == 0) {
        return 0;
    }
    if (timeOf == NULL) {
        timeOf = systemCreationTime;
    }
    SnapshotLinks snapshot;
    snapshot.entries = &entries;
    IndexedEntries indexed = {&entries, entryCount, snapshotEntryAt};
    if (!buildPidIndex(indexed, &snapshot.index)) {
        return 0;
    }
    AncestorLinks links = {&snapshot, entryCount, findSnapshotEntry, snapshotParentOf};
    std::vector<uint32_t> work(entryCount);
    std::vector<uint32_t> workIndexes(entryCount);
    uint32_t n = walkAncestorLinks(links, pid, timeOf, context, work.data(), workIndexes.data());
    if (n == 0) {
        return 0;
    }
    std::unique_ptr<uint32_t[]> pids(new (std::nothrow) uint32_t[n]);
    if (!pids) {
        return 0;
    }
    memcpy(pids.get(), work.data(), n * sizeof(uint32_t));
    chain->pids = std::move(pids);
    chain->count = n;
    if (!withNames) {
        return static_cast<int>(n);
    }
    size_t width = 1;
    for (uint32_t i = 0; i < n; ++i) {
        width = std::max(width, exeNameLength(entryAt(entries, workIndexes[i])) + 1);
    }
    // A missing table leaves the chain itself intact.
    std::unique_ptr<wchar_t[]> table(new (std::nothrow) wchar_t[static_cast<size_t>(n) * width]());
    if (!table) {
        return static_cast<int>(n);
    }
    for (uint32_t i = 0; i < n; ++i) {
        const PROCESSENTRY32W& entry = entryAt(entries, workIndexes[i]);
        memcpy(table.get() + i * width, entry.szExeFile, exeNameLength(entry) * sizeof(wchar_t));
    }
    chain->nameTable = std::move(table);
    chain->nameWidth = static_cast<uint32_t>(width);
    return static_cast<int>(n);
}

int getAncestorChain(uint32_t pid, bool withNames, CreationTimeQuery timeOf, void* context, AncestorChain* chain)
{
    if (chain == NULL) {
        return -1;
    }
    if (pid == 0) {
        pid = GetCurrentProcessId();
        if (pid == 0) {
            return -1;
        }
    }
    *chain = AncestorChain();
    SnapshotEntries snapshot;
    if (readProcessSnapshot(&snapshot) != 0) {
        return 0;
    }
    return ancestorChainFromSnapshot(snapshot, pid, withNames, timeOf, context, chain);
}
