#include "procinfo/process_probe.h"

#include "procinfo/command_line.h"
#include "procinfo/image_path.h"
#include "procinfo/process_access.h"
#include "procinfo/process_record.h"

namespace {

// GetPriorityClass values by priorityIndex; index 0 stands for anything else.
const DWORD PRIORITY_CLASSES[PRIORITY_INDEX_COUNT] = {
    0,
    IDLE_PRIORITY_CLASS,
    BELOW_NORMAL_PRIORITY_CLASS,
    NORMAL_PRIORITY_CLASS,
    ABOVE_NORMAL_PRIORITY_CLASS,
    HIGH_PRIORITY_CLASS,
    REALTIME_PRIORITY_CLASS,
};

void collectProcessDetails(HANDLE process, ProcessFacts* facts)
{
    UniqueProcessHandle token;
    if (OpenProcessToken(process, TOKEN_QUERY, token.put())) {
        DWORD elevation = 0;
        DWORD length = 0;
        if (GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &length) &&
            elevation != 0) {
            facts->elevated = 1;
        }
    }
    facts->priorityIndex = priorityIndexFromClass(GetPriorityClass(process));
    GetProcessMemoryInfo(process, &facts->memory, sizeof(PROCESS_MEMORY_COUNTERS));
    // Marks a 32-bit process on 64-bit Windows; on 32-bit Windows nothing is.
    BOOL wow64 = FALSE;
    if (IsWow64Process(process, &wow64) && wow64) {
        facts->is32Bit = 1;
    }
}

}  // namespace

bool readSystemProcess(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path)
{
    DWORD extraRights = ((want & WANT_COMMAND_LINE) != 0 ? PROCESS_VM_READ : 0) |
                        ((want & WANT_HOLD) != 0 ? PROCESS_TERMINATE | SYNCHRONIZE : 0);
    DWORD refused = 0;
    UniqueProcessHandle process = openProcessWith(OpenProcess, pid, extraRights, &refused);
    if (!process) {
        facts->openError = refused;
        return false;
    }
    facts->creationTime = readCreationTime(process.get());
    if (want & WANT_DETAILS) {
        collectProcessDetails(process.get(), facts);
    }
    if ((want & WANT_IMAGE_PATH) && path != NULL) {
        readImagePath(process.get(), static_cast<DriveMap*>(context), path);
    }
    // A protected process opened with the query right alone keeps its other
    // facts and shows no command line; nor can it be ended.
    bool readable = refused == 0 && facts->commandLine != NULL && facts->commandLineCount > 0;
    if ((want & WANT_COMMAND_LINE) != 0 && readable) {
        // No text is all a failure means here: the text is left empty.
        (void)readCommandLine(systemCommandLineCalls(), process.get(), facts->commandLine, facts->commandLineCount);
    }
    if ((want & WANT_HOLD) != 0) {
        if (refused == 0) {
            facts->held = process.release();
        } else {
            facts->openError = refused;
        }
    }
    return true;
}

void releaseSystemProcess(void*, HANDLE process)
{
    CloseHandle(process);
}

int32_t priorityIndexFromClass(DWORD priorityClass)
{
    for (int32_t index = 1; index < PRIORITY_INDEX_COUNT; ++index) {
        if (PRIORITY_CLASSES[index] == priorityClass) {
            return index;
        }
    }
    return 0;
}
