// The chain of living ancestors of one process, from its own snapshot, each
// link checked against the creation times of parent and child.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <memory>

#include "procinfo/pid_index.h"
#include "procinfo/snapshot.h"

// Index 0 is the process asked for, the last element its oldest ancestor.
struct AncestorChain {
    std::unique_ptr<uint32_t[]> pids;
    uint32_t count = 0;
    // count rows of nameWidth units, each a terminated executable name; only
    // when names were asked for.
    std::unique_ptr<wchar_t[]> nameTable;
    uint32_t nameWidth = 0;
};

// Creation time of a process in 100-ns units; 0 when not available.
typedef uint64_t (*CreationTimeQuery)(uint32_t pid, void* context);
// The system's answer: opens the process, reads, closes.
uint64_t systemCreationTime(uint32_t pid, void* context);

// pid 0 means the calling process. Returns -1 when that cannot be known,
// else the chain length (0: no chain, outputs empty). timeOf may be null for
// the system's answer.
[[nodiscard]] int getAncestorChain(uint32_t pid, bool withNames, CreationTimeQuery timeOf, void* context,
                                   AncestorChain* chain);

// The same over entries already read: a snapshot, or synthetic ones in tests.
[[nodiscard]] int ancestorChainFromSnapshot(const SnapshotEntries& entries, uint32_t pid, bool withNames,
                                            CreationTimeQuery timeOf, void* context, AncestorChain* chain);

// Where a walk finds the first entry of a PID and the parent PID of an
// entry: a snapshot's entries, or a command's process table.
struct AncestorLinks {
    const void* context;
    uint32_t count;
    // The index of the first entry with pid; count or more when none.
    uint32_t (*find)(const void* context, uint32_t pid);
    uint32_t (*parentOf)(const void* context, uint32_t index);
};

// The walk over such entries: pid and its accepted ancestors into work, their
// entry indexes into workIndexes (room for links.count each); how many, 0
// when pid has no entry. Besides the newer-parent rule, the walk ends when a
// PID recurs, so parent links that form a cycle cannot keep it going.
uint32_t walkAncestorLinks(const AncestorLinks& links, uint32_t pid, CreationTimeQuery timeOf, void* context,
                           uint32_t* work, uint32_t* workIndexes);
