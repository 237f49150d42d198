// One reading of a toolhelp process snapshot, shared by the process table and
// the ancestor walk: the entries are copied out and the snapshot is closed
// before anyone looks at them.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <memory>
#include <vector>

const uint32_t SNAPSHOT_CHUNK_COUNT = 1024;

// The entries in snapshot order, kept in chunks as they were read: no
// copy into one block, which would hold the whole snapshot twice.
struct SnapshotEntries {
    std::vector<std::unique_ptr<PROCESSENTRY32W[]>> chunks;
    uint32_t count = 0;
    // The walk ended the normal way (ERROR_NO_MORE_FILES), not by an
    // error part way through.
    bool complete = false;
};

inline const PROCESSENTRY32W& entryAt(const SnapshotEntries& snapshot, uint32_t index)
{
    return snapshot.chunks[index / SNAPSHOT_CHUNK_COUNT][index % SNAPSHOT_CHUNK_COUNT];
}

// The toolhelp calls a snapshot is read with: the system's, or a test's that
// fails where the system rarely does.
struct ToolhelpCalls {
    HANDLE(WINAPI* createSnapshot)(DWORD flags, DWORD processId);
    BOOL(WINAPI* firstProcess)(HANDLE snapshot, PROCESSENTRY32W* entry);
    BOOL(WINAPI* nextProcess)(HANDLE snapshot, PROCESSENTRY32W* entry);
};
// Made at each call, so that whoever patched the imports meanwhile is called.
ToolhelpCalls systemToolhelp();

// Where a walk writes the entry at index: room for it, or null when there is
// none (out of memory).
struct EntrySlots {
    PROCESSENTRY32W* (*slotAt)(void* context, uint32_t index);
    void* context;
};

// Walks a fresh snapshot once, writing each entry straight into its slot.
// *count entries were written; *complete as in SnapshotEntries. 0, 8 out of
// memory, or the Windows error code of the failing call (-1 when there is none).
[[nodiscard]] int walkProcessSnapshot(const ToolhelpCalls& toolhelp, const EntrySlots& slots, uint32_t* count,
                                      bool* complete);

// 0 (count may be 0), 8 out of memory, or the Windows error code of the
// failing call (-1 when there is none).
[[nodiscard]] int readProcessSnapshot(SnapshotEntries* snapshot);
[[nodiscard]] int readProcessSnapshot(const ToolhelpCalls& toolhelp, SnapshotEntries* snapshot);

// Entries already read (synthetic ones in tests): copied in. 0 or 8.
[[nodiscard]] int snapshotFromEntries(const PROCESSENTRY32W* entries, uint32_t count, SnapshotEntries* snapshot);

