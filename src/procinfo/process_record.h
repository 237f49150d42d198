// One process as a command sees it: the snapshot's entry and the facts read
// about it. The renderer reads records and nothing else of this layer.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <stdint.h>

struct ProcessRecord {
    PROCESSENTRY32W entry;
    PROCESS_MEMORY_COUNTERS memory;
    FILETIME creationTime;       // 0 in both halves: unknown
    const wchar_t* displayName;  // service names or window title; not owned
    uint32_t elevated;
    uint32_t is32Bit;            // a 32-bit process on 64-bit Windows
    int32_t priorityIndex;       // 0..6; -1 only in the ended-process placeholder
};

// Priority labels by priorityIndex, lowest scheduling priority first.
const int PRIORITY_INDEX_COUNT = 7;
