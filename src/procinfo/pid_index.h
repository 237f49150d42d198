// Every PID and parent PID of a list of process entries, by open addressing:
// one probe or so answers "which entry has this PID" and "which entries name
// it as parent", where a walk asks several times per process.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <memory>

#include "procinfo/process_record.h"

// One PID of the entries: an entry's, or one only named as a parent.
struct PidSlot {
    uint32_t pid;
    uint32_t firstEntry;  // the first entry with this PID in entry order; NO_RECORD when none
    uint32_t childStart;  // the candidate children in childIndexes; NO_RECORD: the slot is free
    uint32_t childCount;  // entries with a nonzero PID naming this PID as parent
};

struct PidIndex {
    std::unique_ptr<PidSlot[]> slots;
    uint32_t slotBits = 0;  // the slots are 2 to this power, more than twice the entries
    // Entry indexes grouped by parent PID, each group in entry order.
    std::unique_ptr<uint32_t[]> childIndexes;
};

// The entries to index, read one at a time: a table's records or a
// snapshot's chunks.
struct IndexedEntries {
    const void* context;
    uint32_t count;
    const PROCESSENTRY32W& (*entryAt)(const void* context, uint32_t index);
};

// Replaces *index with one over entries. False when memory runs out.
[[nodiscard]] bool buildPidIndex(const IndexedEntries& entries, PidIndex* index);

// The first entry with pid, in entry order; NO_RECORD when none.
uint32_t firstEntryOf(const PidIndex& index, uint32_t pid);

// The entries with a nonzero PID whose recorded parent is pid, in entry order.
struct ChildGroup {
    const uint32_t* indexes;
    uint32_t count;
};
ChildGroup childGroupOf(const PidIndex& index, uint32_t pid);
