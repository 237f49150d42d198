// The per-invocation table of processes: one record per process of a fresh
// toolhelp snapshot, parent links checked against creation times.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <stdint.h>

#include "commands/display_flags.h"

struct ServiceNameNode;
struct WindowTitleNode;

struct ProcessRecord {
    PROCESSENTRY32W entry;
    PROCESS_MEMORY_COUNTERS memory;
    FILETIME creationTime;       // 0 in both halves: unknown
    const wchar_t* displayName;  // service names or window title; not owned
    uint32_t elevated;
    uint32_t is32Bit;            // a 32-bit process on 64-bit Windows
    int32_t priorityIndex;       // 0..6; -1 only in the ended-process placeholder
};

struct ProcessTable {
    ProcessRecord* records;
    uint32_t count;
    ServiceNameNode* serviceNames;
    WindowTitleNode* windowTitles;
    HANDLE snapshot;
};

// Priority labels by priorityIndex, lowest scheduling priority first.
const int PRIORITY_INDEX_COUNT = 7;

// Builds the table from a fresh snapshot. Reads only OPT_OPEN_PROCESSES,
// OPT_NO_SERVICES and OPT_NO_TITLES. 0 (count 0 means "No processes found!"
// was printed), 8 out of memory, or a Windows error code (-1 when none).
// The caller releases the table on every path, failed builds included.
[[nodiscard]] int buildProcessTable(DisplayFlags flags, ProcessTable* table);
void releaseProcessTable(ProcessTable* table);

uint32_t countSnapshotEntries(HANDLE snapshot);
// True when the process holding parentPid was created after pid: the PID
// was reused and the link is false.
bool isParentNewer(uint32_t parentPid, uint32_t pid);
void collectProcessDetails(ProcessRecord* record);
void attachDisplayNames(ProcessTable* table);

// The priority index for a GetPriorityClass result (0 for anything unknown).
int32_t priorityIndexFromClass(DWORD priorityClass);

// The steps of the build that need no system call, apart for testing.
// Zeroes the records and sets entry.dwSize and memory.cb in each.
void initProcessRecords(ProcessRecord* records, uint32_t count);
// Creation times as one 100-ns count; 0 means unknown.
uint64_t fileTimeValue(const FILETIME& time);
// The decision of isParentNewer: true only when both times are known and the
// parent's is strictly later. Equal or unknown times keep the link.
bool isCreatedLater(uint64_t parentTime, uint64_t childTime);
typedef bool (*ParentNewerQuery)(uint32_t parentPid, uint32_t pid, void* context);
// Clears th32ParentProcessID where the query says the parent is newer; asks
// only for records whose PID and parent PID are both nonzero, in array order.
void validateParentLinks(ProcessRecord* records, uint32_t count, ParentNewerQuery parentNewer,
                         void* context);

// The first record with this PID, in table order; null when none.
const ProcessRecord* findRecordByPid(const ProcessRecord* records, uint32_t count, uint32_t pid);

// Owns one command's table: released on every way out, failed builds included.
class ProcessTableOwner {
public:
    ProcessTableOwner() : table_() {}
    ~ProcessTableOwner() { releaseProcessTable(&table_); }
    ProcessTableOwner(const ProcessTableOwner&) = delete;
    ProcessTableOwner& operator=(const ProcessTableOwner&) = delete;
    ProcessTable* get() { return &table_; }

private:
    ProcessTable table_;
};
