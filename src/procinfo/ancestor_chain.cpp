#include "procinfo/ancestor_chain.h"

#include "plugin/plugin.h"
#include "base/unique_handle.h"

#include <string.h>
#include <wchar.h>

#include <memory>
#include <new>

namespace {

uint64_t systemCreationTime(uint32_t pid, void*)
{
    FILETIME time;
    if (getCreationTime(pid, &time) != 1) {
        return 0;
    }
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool chainHolds(const uint32_t* work, uint32_t n, uint32_t pid)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (work[i] == pid) {
            return true;
        }
    }
    return false;
}

size_t exeNameLength(const PROCESSENTRY32W& entry)
{
    return wcsnlen(entry.szExeFile, MAX_PATH - 1);
}

void resetEntry(PROCESSENTRY32W* entry)
{
    memset(entry, 0, sizeof(*entry));
    entry->dwSize = sizeof(*entry);
}

}  // namespace

const PROCESSENTRY32W* findEntryByPid(const PROCESSENTRY32W* entries, uint32_t count, uint32_t pid)
{
    if (entries == NULL || pid == 0) {
        return NULL;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (entries[i].th32ProcessID == pid) {
            return &entries[i];
        }
    }
    return NULL;
}

int getCreationTime(uint32_t pid, FILETIME* time)
{
    if (pid == 0 || time == NULL) {
        return -1;
    }
    time->dwLowDateTime = 0;
    time->dwHighDateTime = 0;
    UniqueProcessHandle process(OpenProcess(processQueryAccess(), FALSE, pid));
    if (!process) {
        return 0;
    }
    FILETIME creation;
    FILETIME unused[3];
    if (!GetProcessTimes(process.get(), &creation, &unused[0], &unused[1], &unused[2])) {
        return 0;
    }
    *time = creation;
    return 1;
}

uint32_t walkAncestorChain(const PROCESSENTRY32W* entries, uint32_t count, uint32_t pid,
                           CreationTimeQuery timeOf, void* context, uint32_t* work)
{
    const PROCESSENTRY32W* entry = findEntryByPid(entries, count, pid);
    if (entry == NULL || work == NULL || timeOf == NULL) {
        return 0;
    }
    uint64_t childTime = timeOf(pid, context);
    work[0] = pid;
    uint32_t n = 1;
    uint32_t parentPid = entry->th32ParentProcessID;
    while (parentPid != 0 && n < count && !chainHolds(work, n, parentPid)) {
        const PROCESSENTRY32W* parent = findEntryByPid(entries, count, parentPid);
        if (parent == NULL) {
            break;
        }
        // Once one time is missing, no later link is tested.
        uint64_t parentTime = 0;
        if (childTime != 0) {
            parentTime = timeOf(parentPid, context);
            if (parentTime != 0 && parentTime > childTime) {
                break;  // the PID now belongs to a process younger than its child
            }
        }
        work[n++] = parentPid;
        childTime = parentTime;
        parentPid = parent->th32ParentProcessID;
    }
    return n;
}

int ancestorChainFromEntries(const PROCESSENTRY32W* entries, uint32_t entryCount, uint32_t pid,
                             CreationTimeQuery timeOf, void* context, uint32_t* count,
                             uint32_t** chain, wchar_t** nameTable, uint32_t* nameWidth)
{
    *count = 0;
    *chain = NULL;
    if (nameTable != NULL) {
        *nameTable = NULL;
    }
    if (nameWidth != NULL) {
        *nameWidth = 0;
    }
    if (entries == NULL || entryCount == 0) {
        return 0;
    }
    std::unique_ptr<uint32_t[]> work(new (std::nothrow) uint32_t[entryCount]());
    if (!work) {
        return 0;
    }
    uint32_t n = walkAncestorChain(entries, entryCount, pid, timeOf, context, work.get());
    if (n == 0) {
        return 0;
    }
    uint32_t* result = new (std::nothrow) uint32_t[n];
    if (result == NULL) {
        return 0;
    }
    memcpy(result, work.get(), n * sizeof(uint32_t));
    *chain = result;
    *count = n;

    if (nameTable == NULL || nameWidth == NULL) {
        return static_cast<int>(n);
    }
    size_t width = 1;
    for (uint32_t i = 0; i < n; ++i) {
        const PROCESSENTRY32W* entry = findEntryByPid(entries, entryCount, result[i]);
        if (entry != NULL && exeNameLength(*entry) + 1 > width) {
            width = exeNameLength(*entry) + 1;
        }
    }
    // A missing table leaves the chain itself intact.
    wchar_t* table = new (std::nothrow) wchar_t[static_cast<size_t>(n) * width]();
    if (table == NULL) {
        return static_cast<int>(n);
    }
    for (uint32_t i = 0; i < n; ++i) {
        const PROCESSENTRY32W* entry = findEntryByPid(entries, entryCount, result[i]);
        if (entry != NULL) {
            memcpy(table + i * width, entry->szExeFile, exeNameLength(*entry) * sizeof(wchar_t));
        }
    }
    *nameTable = table;
    *nameWidth = static_cast<uint32_t>(width);
    return static_cast<int>(n);
}

int getAncestorChain(uint32_t pid, uint32_t* count, uint32_t** chain, wchar_t** nameTable,
                     uint32_t* nameWidth)
{
    if (count == NULL || chain == NULL) {
        return -1;
    }
    if (pid == 0) {
        pid = GetCurrentProcessId();
        if (pid == 0) {
            return -1;
        }
    }
    if (nameTable != NULL && nameWidth == NULL) {
        return -1;
    }
    *chain = NULL;
    *count = 0;
    if (nameTable != NULL) {
        *nameTable = NULL;
    }
    if (nameWidth != NULL) {
        *nameWidth = 0;
    }

    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    PROCESSENTRY32W entry;
    resetEntry(&entry);
    uint32_t entryCount = 0;
    BOOL found = Process32FirstW(snapshot.get(), &entry);
    while (found) {
        ++entryCount;
        resetEntry(&entry);
        found = Process32NextW(snapshot.get(), &entry);
    }
    if (entryCount == 0) {
        return 0;
    }
    std::unique_ptr<PROCESSENTRY32W[]> entries(new (std::nothrow) PROCESSENTRY32W[entryCount]);
    if (!entries) {
        return 0;
    }
    uint32_t copied = 0;
    resetEntry(&entries[0]);
    found = Process32FirstW(snapshot.get(), &entries[0]);
    while (found) {
        ++copied;
        if (copied == entryCount) {
            break;
        }
        resetEntry(&entries[copied]);
        found = Process32NextW(snapshot.get(), &entries[copied]);
    }
    snapshot.reset();
    return ancestorChainFromEntries(entries.get(), copied, pid, systemCreationTime, NULL, count,
                                    chain, nameTable, nameWidth);
}
