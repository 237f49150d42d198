// One process as a command sees it: the snapshot's entry with the name it is
// shown by, and the facts read about it. The renderer reads these and
// nothing else of this layer.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

// No record: an index or a lookup that found none.
const uint32_t NO_RECORD = 0xFFFFFFFF;

// What the snapshot listed; fixed once the table is built.
struct ProcessRecord {
    PROCESSENTRY32W entry;
    const wchar_t* displayName;  // service names or window title; not owned
};

// What opening a process told; all zero when it was not read or could not
// be opened.
struct ProcessDetails {
    uint64_t creationTime;       // UTC, 100-ns units; 0 unknown
    SYSTEMTIME localStartTime;   // creationTime in local time, wYear 0 when not converted
    SIZE_T workingSetSize;       // the 32-bit DLL sees the count modulo 4 GiB
    int32_t priorityIndex;       // 0..6; -1 only for the ended-process placeholder
    bool elevated;
    bool is32Bit;                // a 32-bit process on 64-bit Windows
};

// Priority labels by priorityIndex, lowest scheduling priority first.
const int PRIORITY_INDEX_COUNT = 7;
