// The per-invocation table of processes: one record per process of a fresh
// toolhelp snapshot, indexed by PID and by parent. The records stay as the
// build made them; what needs a process to be opened (a parent link's
// creation-time test, the details, the image path) is read only when
// something shown or compared depends on it, once per process, kept beside
// the record and answered by the table.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <memory>
#include <unordered_map>

#include "procinfo/image_path.h"
#include "procinfo/process_record.h"
#include "procinfo/snapshot.h"
#include "procinfo/names.h"

// What one invocation wants collected.
struct TableOptions {
    bool collectDetails;       // elevation, creation time, priority, memory
    bool collectImagePaths;    // the full path of every line shown
    bool collectServiceNames;
    bool collectWindowTitles;
    bool localStartTimes;      // creation times also in local time, for display
};

// What one opening of a process gave.
struct ProcessFacts {
    uint64_t creationTime;  // 0: unknown
    PROCESS_MEMORY_COUNTERS memory;
    uint32_t elevated;
    uint32_t is32Bit;
    int32_t priorityIndex;
};
const unsigned WANT_DETAILS = 0x1;
const unsigned WANT_IMAGE_PATH = 0x2;

// How the table reads a process: the system, or synthetic processes in tests.
// read opens pid once and fills the creation time and what want asks for
// (path: IMAGE_PATH_COUNT units, left empty when unknown); false when the
// process cannot be opened.
struct ProcessProbe {
    bool (*read)(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path);
    void* context;
};
// The system's processes; context is a DriveMap (procinfo/image_path.h) or null.
bool readSystemProcess(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path);

// Records the address space is first reserved for (some 150 MB on x64:
// address space, not memory); more only on a system with more processes.
const uint32_t RECORD_RESERVE_COUNT = 262144;

// The records of a table in one block of address space, reserved for many
// and committed as they come: a snapshot walk writes each entry where it
// stays, though the number of processes is known only at the walk's end.
class RecordBlock {
public:
    RecordBlock() noexcept = default;
    // A first reservation for this many records (at least one commit step).
    explicit RecordBlock(uint32_t reserveCount) noexcept : firstReserveCount_(reserveCount) {}
    ~RecordBlock() { reset(); }
    RecordBlock(const RecordBlock&) = delete;
    RecordBlock& operator=(const RecordBlock&) = delete;
    RecordBlock(RecordBlock&& other) noexcept;
    RecordBlock& operator=(RecordBlock&& other) noexcept;

    ProcessRecord* get() const noexcept { return base_; }
    ProcessRecord& operator[](size_t index) const noexcept { return base_[index]; }
    explicit operator bool() const noexcept { return base_ != NULL; }
    uint32_t size() const noexcept { return size_; }
    // Room for one more record after the others (uninitialized); null when
    // out of memory. The records move only when the reserved space is full.
    ProcessRecord* append() noexcept;
    // Keeps the first count records.
    void truncate(uint32_t count) noexcept;
    void reset() noexcept;

private:
    ProcessRecord* base_ = NULL;
    uint32_t size_ = 0;
    size_t reservedBytes_ = 0;
    size_t committedBytes_ = 0;
    uint32_t firstReserveCount_ = RECORD_RESERVE_COUNT;
};

// Per record, what every table reads and decides: the parent link.
struct RecordState {
    uint64_t liveTime;  // creation time read when opened; 0 unknown
    bool opened;
    bool linkChecked;
    bool parentCut;     // the parent PID now belongs to a process younger than this one
};

// Per record, what only a table that shows details or paths reads.
struct RecordFacts {
    std::unique_ptr<wchar_t[]> imagePath;
    ProcessDetails details;
};

const uint32_t NO_RECORD = 0xFFFFFFFF;

// One PID of the table: a record's, or one only named as a parent.
struct PidSlot {
    uint32_t pid;
    uint32_t firstRecord;  // the first record with this PID in table order; NO_RECORD when none
    uint32_t childStart;   // the candidate children in childIndexes; NO_RECORD: the slot is free
    uint32_t childCount;   // records with a nonzero PID naming this PID as parent
};

struct ProcessTable {
    RecordBlock records;
    uint32_t count = 0;
    // What the display names point into.
    NameMap serviceNames;
    NameMap windowTitles;
    TableOptions options = {};
    ProcessProbe probe = {};
    std::unique_ptr<RecordState[]> state;
    std::unique_ptr<RecordFacts[]> facts;  // null when no details or paths are collected
    // Every PID and snapshot parent PID of the records, by open addressing:
    // one probe or so answers a lookup, where a walk makes several per process.
    std::unique_ptr<PidSlot[]> pidSlots;
    uint32_t pidSlotBits = 0;  // the slots are 2 to this power, more than twice the records
    // Record indexes grouped by snapshot parent PID, each group in table order.
    std::unique_ptr<uint32_t[]> childIndexes;
    // Creation times of parent PIDs that have no record.
    std::unordered_map<uint32_t, uint64_t> outsideTimes;
    // The drive letters' device names, read at the first path that needs them.
    std::unique_ptr<DriveMap> drives;
};

// Builds the table from a fresh snapshot read with the system's toolhelp
// calls, or with toolhelp's. 0 (count 0: no processes were found), 8 out of
// memory, or a Windows error code (-1 when none).
[[nodiscard]] int buildProcessTable(const TableOptions& options, ProcessTable* table);
[[nodiscard]] int buildProcessTable(const ToolhelpCalls& toolhelp, const TableOptions& options,
                                    ProcessTable* table);
// The same over entries already read; probe answers for the processes.
[[nodiscard]] int fillProcessTable(const SnapshotEntries& snapshot, const TableOptions& options,
                                   const ProcessProbe& probe, ProcessTable* table);
[[nodiscard]] int fillProcessTable(const PROCESSENTRY32W* entries, uint32_t count, const TableOptions& options,
                                   const ProcessProbe& probe, ProcessTable* table);

// The priority index for a GetPriorityClass result (0 for anything unknown).
int32_t priorityIndexFromClass(DWORD priorityClass);
// Sets every displayName from the table's name maps: service names win over
// a window title.
void attachDisplayNames(ProcessTable* table);

// The first record with this PID, in table order; null when none.
const ProcessRecord* findRecordByPid(const ProcessTable& table, uint32_t pid);
// The creation time of whoever holds pid now, read once per invocation.
uint64_t liveCreationTime(ProcessTable& table, uint32_t pid);
// The record's parent PID once its link has passed the creation-time test:
// 0 when the parent PID now belongs to a process younger than the record.
// A record outside the table keeps its snapshot parent.
uint32_t validatedParentPid(ProcessTable& table, const ProcessRecord& record);
// The records with a nonzero PID whose validated parent is pid, in table
// order; candidates is an upper bound of how many there can be.
uint32_t childCandidates(const ProcessTable& table, uint32_t pid);
uint32_t collectChildren(ProcessTable& table, uint32_t pid, const ProcessRecord** children, uint32_t room);
// The details of a shown or compared record, read with its image path at
// the first question; never null. A record outside the table is the
// ended-process placeholder: priority index -1, nothing else known.
const ProcessDetails* recordDetails(ProcessTable& table, const ProcessRecord& record);
// The full image path read for the record; null when unknown or not collected.
const wchar_t* recordImagePath(ProcessTable& table, const ProcessRecord& record);
