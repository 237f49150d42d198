#include "procinfo/process_end.h"

#include "procinfo/process_access.h"

#include <vector>

namespace {

typedef BOOL(WINAPI* IsProcessCriticalFn)(HANDLE process, PBOOL critical);

uint64_t systemCreationTime(void*, HANDLE process)
{
    return readCreationTime(process);
}

bool systemHasEnded(void*, HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// Windows 8.1 and later have the question; before that no process is
// reported critical, as the system offers no answer to a caller like us.
bool systemIsCritical(void*, HANDLE process)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    IsProcessCriticalFn isCritical =
        kernel != NULL ? reinterpret_cast<IsProcessCriticalFn>(GetProcAddress(kernel, "IsProcessCritical")) : NULL;
    BOOL critical = FALSE;
    return isCritical != NULL && isCritical(process, &critical) && critical;
}

DWORD systemTerminate(void*, HANDLE process)
{
    if (TerminateProcess(process, 1)) {
        return 0;
    }
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// WaitForMultipleObjects takes at most 64 handles: the processes are waited
// for in groups, all within the one time limit.
void systemWaitForEnd(void*, const HANDLE* processes, uint32_t count, DWORD milliseconds, bool* ended)
{
    DWORD start = GetTickCount();
    for (uint32_t first = 0; first < count; first += MAXIMUM_WAIT_OBJECTS) {
        uint32_t group = count - first < MAXIMUM_WAIT_OBJECTS ? count - first : MAXIMUM_WAIT_OBJECTS;
        DWORD spent = GetTickCount() - start;
        DWORD left = spent < milliseconds ? milliseconds - spent : 0;
        (void)WaitForMultipleObjects(group, processes + first, TRUE, left);
        for (uint32_t i = first; i < first + group; ++i) {
            ended[i] = WaitForSingleObject(processes[i], 0) == WAIT_OBJECT_0;
        }
    }
}

}  // namespace

EndCalls systemEndCalls()
{
    EndCalls calls = {NULL, systemCreationTime, systemHasEnded, systemIsCritical, systemTerminate, systemWaitForEnd};
    return calls;
}
