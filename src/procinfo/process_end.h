// Ending processes through handles held since they were checked: the calls
// that asks of the system, apart so that tests can stand in a system whose
// processes are replaced, protected or slow to die.
#pragma once
#include <windows.h>
#include <stdint.h>

struct EndCalls {
    void* context;
    // The creation time read through the handle; 0 when it cannot be read.
    uint64_t (*creationTime)(void* context, HANDLE process);
    bool (*hasEnded)(void* context, HANDLE process);
    // Marked critical to the system (ending it stops the system); false
    // where the system cannot tell.
    bool (*isCritical)(void* context, HANDLE process);
    // TerminateProcess(process, 1): 0, or the error code.
    DWORD (*terminate)(void* context, HANDLE process);
    // Waits until every process has ended or milliseconds have passed in all;
    // ended[i] tells which did.
    void (*waitForEnd)(void* context, const HANDLE* processes, uint32_t count, DWORD milliseconds, bool* ended);
};

// The system's answers.
EndCalls systemEndCalls();
