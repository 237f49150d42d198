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
