#include "procinfo/process_table.h"

#include "base/host_api.h"
#include "plugin/plugin.h"
#include "procinfo/names.h"
#include "base/unique_handle.h"

#include <string.h>

#include <new>

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

int lastErrorResult()
{
    DWORD error = GetLastError();
    return error == 0 ? -1 : static_cast<int>(error);
}

HANDLE openForQuery(uint32_t pid)
{
    return OpenProcess(processQueryAccess(), FALSE, pid);
}

// 0 when the process cannot be opened or its times cannot be read.
uint64_t queryCreationTime(HANDLE process)
{
    FILETIME creation = {0, 0};
    FILETIME unused[3];
    if (!GetProcessTimes(process, &creation, &unused[0], &unused[1], &unused[2])) {
        return 0;
    }
    return fileTimeValue(creation);
}

bool parentNewerFromSystem(uint32_t parentPid, uint32_t pid, void*)
{
    return isParentNewer(parentPid, pid);
}

}  // namespace

void initProcessRecords(ProcessRecord* records, uint32_t count)
{
    if (records == NULL) {
        return;
    }
    memset(records, 0, sizeof(ProcessRecord) * count);
    for (uint32_t i = 0; i < count; ++i) {
        records[i].entry.dwSize = sizeof(PROCESSENTRY32W);
        records[i].memory.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    }
}

uint64_t fileTimeValue(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool isCreatedLater(uint64_t parentTime, uint64_t childTime)
{
    return parentTime != 0 && childTime != 0 && parentTime > childTime;
}

void validateParentLinks(ProcessRecord* records, uint32_t count, ParentNewerQuery parentNewer,
                         void* context)
{
    if (records == NULL || parentNewer == NULL) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        PROCESSENTRY32W& entry = records[i].entry;
        if (entry.th32ProcessID == 0 || entry.th32ParentProcessID == 0) {
            continue;
        }
        if (parentNewer(entry.th32ParentProcessID, entry.th32ProcessID, context)) {
            entry.th32ParentProcessID = 0;
        }
    }
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

uint32_t countSnapshotEntries(HANDLE snapshot)
{
    PROCESSENTRY32W entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    uint32_t count = 0;
    BOOL found = Process32FirstW(snapshot, &entry);
    while (found) {
        ++count;
        memset(&entry, 0, sizeof(entry));
        entry.dwSize = sizeof(entry);
        found = Process32NextW(snapshot, &entry);
    }
    // A walk broken off by an error counts as an empty system.
    return GetLastError() == ERROR_NO_MORE_FILES ? count : 0;
}

bool isParentNewer(uint32_t parentPid, uint32_t pid)
{
    if (parentPid == 0 || pid == 0) {
        return false;
    }
    UniqueProcessHandle parent(openForQuery(parentPid));
    UniqueProcessHandle child(openForQuery(pid));
    if (!parent || !child) {
        return false;
    }
    uint64_t parentTime = queryCreationTime(parent.get());
    if (parentTime == 0) {
        return false;
    }
    return isCreatedLater(parentTime, queryCreationTime(child.get()));
}

void collectProcessDetails(ProcessRecord* record)
{
    if (record == NULL) {
        return;
    }
    UniqueProcessHandle process(openForQuery(record->entry.th32ProcessID));
    if (!process) {
        return;
    }
    UniqueProcessHandle token;
    if (OpenProcessToken(process.get(), TOKEN_QUERY, token.put())) {
        DWORD elevation = 0;
        DWORD length = 0;
        if (GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &length) &&
            elevation != 0) {
            record->elevated = 1;
        }
        token.reset();
    }
    FILETIME unused[3];
    GetProcessTimes(process.get(), &record->creationTime, &unused[0], &unused[1], &unused[2]);
    record->priorityIndex = priorityIndexFromClass(GetPriorityClass(process.get()));
    GetProcessMemoryInfo(process.get(), &record->memory, sizeof(PROCESS_MEMORY_COUNTERS));
    // Marks a 32-bit process on 64-bit Windows; on 32-bit Windows nothing is.
    BOOL wow64 = FALSE;
    if (IsWow64Process(process.get(), &wow64) && wow64) {
        record->is32Bit = 1;
    }
}

void attachDisplayNames(ProcessTable* table)
{
    if (table == NULL || table->records == NULL) {
        return;
    }
    for (uint32_t i = 0; i < table->count; ++i) {
        ProcessRecord& record = table->records[i];
        uint32_t pid = record.entry.th32ProcessID;
        record.displayName = NULL;
        if (table->serviceNames != NULL) {
            const ServiceNameNode* node = findServiceNames(table->serviceNames, pid);
            if (node != NULL) {
                record.displayName = node->names;
            }
        }
        if (table->windowTitles != NULL && record.displayName == NULL) {
            const WindowTitleNode* node = findWindowTitle(table->windowTitles, pid);
            if (node != NULL) {
                record.displayName = node->title;
            }
        }
    }
}

int buildProcessTable(DisplayFlags flags, ProcessTable* table)
{
    if (table == NULL) {
        return -1;
    }
    memset(table, 0, sizeof(*table));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == NULL || snapshot == INVALID_HANDLE_VALUE) {
        return lastErrorResult();
    }
    table->snapshot = snapshot;

    uint32_t count = countSnapshotEntries(snapshot);
    if (count == 0) {
        Printf(L"No processes found!\r\n");
        return 0;
    }
    table->records = new (std::nothrow) ProcessRecord[count];
    if (table->records == NULL) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    table->count = count;
    initProcessRecords(table->records, count);

    // The same snapshot as the count pass, so the same processes in the same order.
    for (uint32_t i = 0; i < count; ++i) {
        BOOL filled = i == 0 ? Process32FirstW(snapshot, &table->records[0].entry)
                             : Process32NextW(snapshot, &table->records[i].entry);
        if (!filled) {
            return lastErrorResult();
        }
    }

    validateParentLinks(table->records, count, parentNewerFromSystem, NULL);

    if ((flags & OPT_OPEN_PROCESSES) != 0) {
        for (uint32_t i = 0; i < count; ++i) {
            collectProcessDetails(&table->records[i]);
        }
    }
    if ((flags & OPT_NO_SERVICES) == 0) {
        collectServiceNames(&table->serviceNames);
    }
    if ((flags & OPT_NO_TITLES) == 0) {
        collectWindowTitles(&table->windowTitles);
    }
    attachDisplayNames(table);
    return 0;
}

void releaseProcessTable(ProcessTable* table)
{
    if (table == NULL) {
        return;
    }
    delete[] table->records;
    table->records = NULL;
    table->count = 0;
    if (table->snapshot != NULL && table->snapshot != INVALID_HANDLE_VALUE) {
        CloseHandle(table->snapshot);
    }
    table->snapshot = NULL;
    freeServiceNames(&table->serviceNames);
    freeWindowTitles(&table->windowTitles);
}

const ProcessRecord* findRecordByPid(const ProcessRecord* records, uint32_t count, uint32_t pid)
{
    if (records == NULL) {
        return NULL;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (records[i].entry.th32ProcessID == pid) {
            return &records[i];
        }
    }
    return NULL;
}
