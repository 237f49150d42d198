// The chain of living ancestors of one process, from its own snapshot, each
// link checked against the creation times of parent and child.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

// Result arrays belong to the caller: free with delete[].
// Returns -1 for missing slots, else the chain length (0: no chain, outputs
// cleared). pid 0 means the calling process.
int getAncestorChain(uint32_t pid, uint32_t* count, uint32_t** chain, wchar_t** nameTable,
                     uint32_t* nameWidth);

const PROCESSENTRY32W* findEntryByPid(const PROCESSENTRY32W* entries, uint32_t count, uint32_t pid);

// -1 bad arguments, 0 no time available (time set to 0), 1 success.
int getCreationTime(uint32_t pid, FILETIME* time);

// The walk without system calls, apart for testing.

// Creation time of a process in 100-ns units; 0 when not available.
typedef uint64_t (*CreationTimeQuery)(uint32_t pid, void* context);

// Writes pid and its accepted ancestors into work (room for count PIDs) and
// returns how many; 0 when pid is not among the entries. Besides the newer-
// parent rule, the walk ends when a PID recurs or the chain holds count PIDs,
// so parent links that form a cycle cannot keep it going.
uint32_t walkAncestorChain(const PROCESSENTRY32W* entries, uint32_t count, uint32_t pid,
                           CreationTimeQuery timeOf, void* context, uint32_t* work);

// getAncestorChain after the snapshot copy: walks, then hands out the chain
// and, when both slots are given, the name table. Outputs as getAncestorChain;
// the arguments are not checked again.
int ancestorChainFromEntries(const PROCESSENTRY32W* entries, uint32_t entryCount, uint32_t pid,
                             CreationTimeQuery timeOf, void* context, uint32_t* count,
                             uint32_t** chain, wchar_t** nameTable, uint32_t* nameWidth);
