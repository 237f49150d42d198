// Reading one process: the only part of the table that calls the system. A
// probe opens a process once and reads everything the invocation wants from
// that one handle; tests hand the table a probe over synthetic processes.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <stdint.h>

#include "procinfo/command_line.h"

// What one opening of a process gave.
struct ProcessFacts {
    uint64_t creationTime;  // 0: unknown
    PROCESS_MEMORY_COUNTERS memory;
    uint32_t elevated;
    uint32_t is32Bit;
    int32_t priorityIndex;
    // Set by the caller for WANT_COMMAND_LINE: where the command line goes,
    // commandLineCount units (COMMAND_LINE_COUNT holds any); null for none.
    wchar_t* commandLine;
    uint32_t commandLineCount;
    // WANT_HOLD: the process opened able to end it and wait for it, now the
    // caller's (given back through ProcessProbe::release); null when that
    // was refused, with the reason in openError.
    HANDLE held;
    uint32_t openError;
};
const unsigned WANT_DETAILS = 0x1;
const unsigned WANT_IMAGE_PATH = 0x2;
// Each adds rights to the one opening (the query right alone once more
// where the system refuses them, and then neither is served).
const unsigned WANT_COMMAND_LINE = 0x4;  // PROCESS_VM_READ
const unsigned WANT_HOLD = 0x8;          // PROCESS_TERMINATE | SYNCHRONIZE

// read opens pid once and fills the creation time and what want asks for
// (path: IMAGE_PATH_COUNT units; path and command line left empty when
// unknown, control characters in the command line shown as spaces); false
// when the process cannot be opened.
struct ProcessProbe {
    bool (*read)(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path);
    void* context;
    // Closes a process handed out under WANT_HOLD; null: nothing to close.
    void (*release)(void* context, HANDLE process);
};
// The system's processes; context is a DriveMap (procinfo/image_path.h) or null.
bool readSystemProcess(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path);
void releaseSystemProcess(void* context, HANDLE process);

// The priority index for a GetPriorityClass result (0 for anything unknown).
int32_t priorityIndexFromClass(DWORD priorityClass);
