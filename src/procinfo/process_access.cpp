#include "procinfo/process_access.h"

ProcessAccess gProcessAccess;

namespace {

DWORD lastErrorOr(DWORD fallback)
{
    DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

}  // namespace

DWORD processQueryAccess()
{
    return gProcessAccess.windowsMajorVersion < 6 ? PROCESS_QUERY_INFORMATION : PROCESS_QUERY_LIMITED_INFORMATION;
}

UniqueProcessHandle openProcessForQuery(uint32_t pid)
{
    return UniqueProcessHandle(OpenProcess(processQueryAccess(), FALSE, pid));
}

UniqueProcessHandle openProcessWith(OpenProcessFn open, uint32_t pid, DWORD extraRights, DWORD* refused)
{
    *refused = 0;
    UniqueProcessHandle process(open(processQueryAccess() | extraRights, FALSE, pid));
    if (process) {
        return process;
    }
    *refused = lastErrorOr(ERROR_ACCESS_DENIED);
    if (extraRights != 0 && *refused == ERROR_ACCESS_DENIED) {
        process.reset(open(processQueryAccess(), FALSE, pid));
    }
    return process;
}

uint64_t readCreationTime(HANDLE process)
{
    FILETIME creation = {0, 0};
    FILETIME unused[3];
    if (!GetProcessTimes(process, &creation, &unused[0], &unused[1], &unused[2])) {
        return 0;
    }
    return fileTimeValue(creation);
}

uint64_t creationTimeOf(uint32_t pid)
{
    if (pid == 0) {
        return 0;
    }
    UniqueProcessHandle process = openProcessForQuery(pid);
    return process ? readCreationTime(process.get()) : 0;
}

bool isCreatedLater(uint64_t parentTime, uint64_t childTime)
{
    return parentTime != 0 && childTime != 0 && parentTime > childTime;
}
