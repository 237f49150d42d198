#include "procinfo/process_table.h"

#include "base/file_time.h"
#include "procinfo/image_path.h"
#include "procinfo/process_access.h"
#include "procinfo/snapshot.h"

#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <new>

namespace {

// Memory is committed in steps of this many bytes as the records come.
const size_t COMMIT_STEP_BYTES = 256 * 1024;

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

// Where pid's slot is, or the free slot that would take it: the probe starts
// at the top bits of a multiplicative hash (PIDs are multiples of 4).
uint32_t slotIndexOf(const ProcessTable& table, uint32_t pid)
{
    uint32_t mask = (1u << table.pidSlotBits) - 1;
    uint32_t at = static_cast<uint32_t>((pid * 0x9E3779B1u) >> (32 - table.pidSlotBits));
    // Never endless: there are more slots than PIDs to hold.
    while (table.pidSlots[at].childStart != NO_RECORD && table.pidSlots[at].pid != pid) {
        at = (at + 1) & mask;
    }
    return at;
}

const PidSlot* findSlot(const ProcessTable& table, uint32_t pid)
{
    if (!table.pidSlots) {
        return NULL;
    }
    const PidSlot& slot = table.pidSlots[slotIndexOf(table, pid)];
    return slot.childStart != NO_RECORD ? &slot : NULL;
}

PidSlot& claimSlot(ProcessTable* table, uint32_t pid)
{
    PidSlot& slot = table->pidSlots[slotIndexOf(*table, pid)];
    if (slot.childStart == NO_RECORD) {
        slot.pid = pid;
        slot.childStart = 0;
    }
    return slot;
}

uint32_t firstIndexOf(const ProcessTable& table, uint32_t pid, bool* found)
{
    const PidSlot* slot = findSlot(table, pid);
    *found = slot != NULL && slot->firstRecord != NO_RECORD;
    return *found ? slot->firstRecord : 0;
}

// The ended-process placeholder's answer: nothing was read, and its
// priority marks it as no process of the table.
const ProcessDetails ENDED_PROCESS_DETAILS = {0, {0, 0, 0, 0, 0, 0, 0, 0}, 0, -1, false, false};
// What a record of a table that collects no details answers.
const ProcessDetails NO_DETAILS = {0, {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, false, false};

// Converted with the daylight-saving rule of the start date, not today's;
// left at wYear 0 when the time cannot be converted.
void convertToLocalTime(uint64_t creationTime, SYSTEMTIME* local)
{
    FILETIME created = fileTimeFromValue(creationTime);
    SYSTEMTIME utc;
    SYSTEMTIME converted;
    if (creationTime != 0 && FileTimeToSystemTime(&created, &utc) &&
        SystemTimeToTzSpecificLocalTime(NULL, &utc, &converted)) {
        *local = converted;
    }
}

// Opens the process of record index once, reading all this invocation wants.
void openRecord(ProcessTable& table, uint32_t index)
{
    RecordState& state = table.state[index];
    if (state.opened) {
        return;
    }
    state.opened = true;
    unsigned want = (table.options.collectDetails ? WANT_DETAILS : 0) |
                    (table.options.collectImagePaths ? WANT_IMAGE_PATH : 0);
    std::unique_ptr<wchar_t[]> path;
    if (want & WANT_IMAGE_PATH) {
        path.reset(new (std::nothrow) wchar_t[IMAGE_PATH_COUNT]);
        if (!path) {
            want &= ~WANT_IMAGE_PATH;
        } else {
            path[0] = L'\0';
        }
    }
    ProcessFacts facts;
    memset(&facts, 0, sizeof(facts));
    facts.memory.cb = sizeof(facts.memory);
    if (table.probe.read == NULL ||
        !table.probe.read(table.probe.context, table.records[index].entry.th32ProcessID, want, &facts, path.get())) {
        return;  // an unopenable process keeps its zero details
    }
    state.liveTime = facts.creationTime;
    if (!table.facts) {
        return;
    }
    RecordFacts& kept = table.facts[index];
    if (want & WANT_DETAILS) {
        ProcessDetails& details = kept.details;
        details.creationTime = facts.creationTime;
        details.workingSetSize = facts.memory.WorkingSetSize;
        details.priorityIndex = facts.priorityIndex;
        details.elevated = facts.elevated != 0;
        details.is32Bit = facts.is32Bit != 0;
        if (table.options.localStartTimes) {
            convertToLocalTime(facts.creationTime, &details.localStartTime);
        }
    }
    if (path && path[0] != L'\0') {
        // Kept at its own length: most records are never printed with a path.
        size_t length = wcsnlen(path.get(), IMAGE_PATH_COUNT - 1);
        kept.imagePath.reset(new (std::nothrow) wchar_t[length + 1]);
        if (kept.imagePath) {
            memcpy(kept.imagePath.get(), path.get(), length * sizeof(wchar_t));
            kept.imagePath[length] = L'\0';
        }
    }
}

// Records outside the table, such as the ended-process placeholder, have
// nothing to read.
bool inTable(const ProcessTable& table, const ProcessRecord& record)
{
    return table.records && &record >= table.records.get() && &record < table.records.get() + table.count;
}

uint32_t indexOf(const ProcessTable& table, const ProcessRecord& record)
{
    return static_cast<uint32_t>(&record - table.records.get());
}

// Fills the PID slots and the children's groups of the table's records.
// False when out of memory.
bool indexPids(ProcessTable* table)
{
    uint32_t count = table->count;
    // More than twice the records: a free slot always ends a probe, even
    // when every parent PID differs from every PID.
    uint32_t bits = 2;
    while (bits < 31 && (1u << bits) <= 2 * static_cast<uint64_t>(count)) {
        ++bits;
    }
    if ((1u << bits) <= 2 * static_cast<uint64_t>(count)) {
        return false;
    }
    uint32_t slotCount = 1u << bits;
    table->pidSlots.reset(new (std::nothrow) PidSlot[slotCount]);
    table->childIndexes.reset(new (std::nothrow) uint32_t[count]);
    if (!table->pidSlots || !table->childIndexes) {
        return false;
    }
    table->pidSlotBits = bits;
    for (uint32_t i = 0; i < slotCount; ++i) {
        table->pidSlots[i] = PidSlot{0, NO_RECORD, NO_RECORD, 0};
    }
    for (uint32_t i = 0; i < count; ++i) {
        const PROCESSENTRY32W& entry = table->records[i].entry;
        PidSlot& own = claimSlot(table, entry.th32ProcessID);
        if (own.firstRecord == NO_RECORD) {
            own.firstRecord = i;
        }
        if (entry.th32ProcessID != 0) {
            ++claimSlot(table, entry.th32ParentProcessID).childCount;
        }
    }
    uint32_t start = 0;
    for (uint32_t i = 0; i < slotCount; ++i) {
        PidSlot& slot = table->pidSlots[i];
        if (slot.childStart != NO_RECORD) {
            slot.childStart = start;
            start += slot.childCount;
            slot.childCount = 0;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        const PROCESSENTRY32W& entry = table->records[i].entry;
        if (entry.th32ProcessID != 0) {
            PidSlot& parent = table->pidSlots[slotIndexOf(*table, entry.th32ParentProcessID)];
            table->childIndexes[parent.childStart + parent.childCount++] = i;
        }
    }
    return true;
}

// Indexes the records appended to the table and attaches their display
// names. 0 or 8.
int indexRecords(const TableOptions& options, const ProcessProbe& probe, ProcessTable* table)
{
    uint32_t count = table->records.size();
    table->options = options;
    table->probe = probe;
    if (count == 0) {
        table->records.reset();
        return 0;
    }
    table->state.reset(new (std::nothrow) RecordState[count]());
    // Most tables show neither: their records hold only the link state.
    if (options.collectDetails || options.collectImagePaths) {
        table->facts.reset(new (std::nothrow) RecordFacts[count]());
    }
    if (!table->state || ((options.collectDetails || options.collectImagePaths) && !table->facts)) {
        *table = ProcessTable();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    table->count = count;
    if (!indexPids(table)) {
        *table = ProcessTable();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (uint32_t i = 0; i < count; ++i) {
        table->records[i].displayName = NULL;
    }

    if (options.collectServiceNames) {
        collectServiceNames(&table->serviceNames);
    }
    if (options.collectWindowTitles) {
        collectWindowTitles(&table->windowTitles);
    }
    attachDisplayNames(table);
    return 0;
}

PROCESSENTRY32W* recordSlotAt(void* context, uint32_t index)
{
    RecordBlock* records = static_cast<RecordBlock*>(context);
    ProcessRecord* record = index < records->size() ? &(*records)[index] : records->append();
    return record != NULL ? &record->entry : NULL;
}

// Rounded up to whole commit steps.
size_t wholeSteps(size_t bytes)
{
    return (bytes + COMMIT_STEP_BYTES - 1) / COMMIT_STEP_BYTES * COMMIT_STEP_BYTES;
}

}  // namespace

bool readSystemProcess(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path)
{
    UniqueProcessHandle process = openProcessForQuery(pid);
    if (!process) {
        return false;
    }
    facts->creationTime = readCreationTime(process.get());
    if (want & WANT_DETAILS) {
        collectProcessDetails(process.get(), facts);
    }
    if ((want & WANT_IMAGE_PATH) && path != NULL) {
        readImagePath(process.get(), static_cast<DriveMap*>(context), path);
    }
    return true;
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

void attachDisplayNames(ProcessTable* table)
{
    if (table == NULL || !table->records) {
        return;
    }
    for (uint32_t i = 0; i < table->count; ++i) {
        ProcessRecord& record = table->records[i];
        uint32_t pid = record.entry.th32ProcessID;
        record.displayName = findName(table->serviceNames, pid);
        if (record.displayName == NULL) {
            record.displayName = findName(table->windowTitles, pid);
        }
    }
}

RecordBlock::RecordBlock(RecordBlock&& other) noexcept
    : base_(other.base_), size_(other.size_), reservedBytes_(other.reservedBytes_),
      committedBytes_(other.committedBytes_), firstReserveCount_(other.firstReserveCount_)
{
    other.base_ = NULL;
    other.reset();
}

RecordBlock& RecordBlock::operator=(RecordBlock&& other) noexcept
{
    if (this != &other) {
        reset();
        base_ = other.base_;
        size_ = other.size_;
        reservedBytes_ = other.reservedBytes_;
        committedBytes_ = other.committedBytes_;
        firstReserveCount_ = other.firstReserveCount_;
        other.base_ = NULL;
        other.reset();
    }
    return *this;
}

void RecordBlock::reset() noexcept
{
    if (base_ != NULL) {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    base_ = NULL;
    size_ = 0;
    reservedBytes_ = 0;
    committedBytes_ = 0;
}

void RecordBlock::truncate(uint32_t count) noexcept
{
    if (count < size_) {
        size_ = count;
    }
}

ProcessRecord* RecordBlock::append() noexcept
{
    if (size_ == UINT32_MAX || size_ >= (SIZE_MAX - COMMIT_STEP_BYTES) / sizeof(ProcessRecord) - 1) {
        return NULL;
    }
    size_t usedBytes = static_cast<size_t>(size_) * sizeof(ProcessRecord);
    size_t neededBytes = usedBytes + sizeof(ProcessRecord);
    if (neededBytes > reservedBytes_) {
        // The address space is full: a larger block, the records copied over.
        size_t bytes = std::max(wholeSteps(firstReserveCount_ * sizeof(ProcessRecord)),
                                reservedBytes_ <= SIZE_MAX / 4 ? reservedBytes_ * 2 : 0);
        size_t leastBytes = wholeSteps(neededBytes);
        void* fresh = NULL;
        for (;;) {
            bytes = std::max(bytes, leastBytes);
            fresh = VirtualAlloc(NULL, bytes, MEM_RESERVE, PAGE_NOACCESS);
            // A crowded 32-bit address space may have no run this long.
            if (fresh != NULL || bytes == leastBytes) {
                break;
            }
            bytes = wholeSteps(bytes / 2);
        }
        if (fresh == NULL) {
            return NULL;
        }
        size_t keptBytes = wholeSteps(usedBytes);
        if (keptBytes != 0 && VirtualAlloc(fresh, keptBytes, MEM_COMMIT, PAGE_READWRITE) == NULL) {
            VirtualFree(fresh, 0, MEM_RELEASE);
            return NULL;
        }
        if (usedBytes != 0) {
            memcpy(fresh, base_, usedBytes);
        }
        uint32_t kept = size_;
        reset();
        base_ = static_cast<ProcessRecord*>(fresh);
        size_ = kept;
        reservedBytes_ = bytes;
        committedBytes_ = keptBytes;
    }
    if (neededBytes > committedBytes_) {
        size_t step = std::min(COMMIT_STEP_BYTES, reservedBytes_ - committedBytes_);
        if (VirtualAlloc(reinterpret_cast<char*>(base_) + committedBytes_, step, MEM_COMMIT, PAGE_READWRITE) == NULL) {
            return NULL;
        }
        committedBytes_ += step;
    }
    return &base_[size_++];
}

int fillProcessTable(const PROCESSENTRY32W* entries, uint32_t count, const TableOptions& options,
                     const ProcessProbe& probe, ProcessTable* table)
{
    if (table == NULL || (entries == NULL && count != 0)) {
        return -1;
    }
    *table = ProcessTable();
    for (uint32_t i = 0; i < count; ++i) {
        ProcessRecord* record = table->records.append();
        if (record == NULL) {
            *table = ProcessTable();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        record->entry = entries[i];
    }
    return indexRecords(options, probe, table);
}

int fillProcessTable(const SnapshotEntries& snapshot, const TableOptions& options, const ProcessProbe& probe,
                     ProcessTable* table)
{
    if (table == NULL) {
        return -1;
    }
    *table = ProcessTable();
    for (uint32_t i = 0; i < snapshot.count; ++i) {
        ProcessRecord* record = table->records.append();
        if (record == NULL) {
            *table = ProcessTable();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        record->entry = entryAt(snapshot, i);
    }
    return indexRecords(options, probe, table);
}

int buildProcessTable(const TableOptions& options, ProcessTable* table)
{
    return buildProcessTable(systemToolhelp(), options, table);
}

int buildProcessTable(const ToolhelpCalls& toolhelp, const TableOptions& options, ProcessTable* table)
{
    if (table == NULL) {
        return -1;
    }
    *table = ProcessTable();
    EntrySlots slots = {recordSlotAt, &table->records};
    uint32_t count = 0;
    bool complete = false;
    int result = walkProcessSnapshot(toolhelp, slots, &count, &complete);
    // A walk broken off by an error counts as an empty system.
    if (result != 0 || !complete || count == 0) {
        *table = ProcessTable();
        return result;
    }
    // The walk asked for a slot for the entry that was not there.
    table->records.truncate(count);
    std::unique_ptr<DriveMap> drives(new (std::nothrow) DriveMap());
    ProcessProbe probe = {readSystemProcess, drives.get()};
    result = indexRecords(options, probe, table);
    table->drives = std::move(drives);
    return result;
}

const ProcessRecord* findRecordByPid(const ProcessTable& table, uint32_t pid)
{
    bool found = false;
    uint32_t index = firstIndexOf(table, pid, &found);
    return found ? &table.records[index] : NULL;
}

uint64_t liveCreationTime(ProcessTable& table, uint32_t pid)
{
    if (pid == 0) {
        return 0;
    }
    bool found = false;
    uint32_t index = firstIndexOf(table, pid, &found);
    if (found) {
        openRecord(table, index);
        return table.state[index].liveTime;
    }
    auto known = table.outsideTimes.find(pid);
    if (known != table.outsideTimes.end()) {
        return known->second;
    }
    ProcessFacts facts;
    memset(&facts, 0, sizeof(facts));
    uint64_t time = 0;
    if (table.probe.read != NULL && table.probe.read(table.probe.context, pid, 0, &facts, NULL)) {
        time = facts.creationTime;
    }
    table.outsideTimes.emplace(pid, time);
    return time;
}

uint32_t validatedParentPid(ProcessTable& table, const ProcessRecord& record)
{
    uint32_t parentPid = record.entry.th32ParentProcessID;
    if (!inTable(table, record)) {
        return parentPid;
    }
    RecordState& state = table.state[indexOf(table, record)];
    if (state.linkChecked) {
        return state.parentCut ? 0 : parentPid;
    }
    if (parentPid == 0 || record.entry.th32ProcessID == 0) {
        return parentPid;
    }
    state.linkChecked = true;
    // A parent that cannot be opened, or times that cannot be read, keep the link.
    uint64_t parentTime = liveCreationTime(table, parentPid);
    if (parentTime == 0) {
        return parentPid;
    }
    state.parentCut = isCreatedLater(parentTime, liveCreationTime(table, record.entry.th32ProcessID));
    return state.parentCut ? 0 : parentPid;
}

uint32_t childCandidates(const ProcessTable& table, uint32_t pid)
{
    const PidSlot* slot = findSlot(table, pid);
    return slot != NULL ? slot->childCount : 0;
}

uint32_t collectChildren(ProcessTable& table, uint32_t pid, const ProcessRecord** children, uint32_t room)
{
    const PidSlot* slot = findSlot(table, pid);
    if (slot == NULL) {
        return 0;
    }
    uint32_t stored = 0;
    const uint32_t* candidates = table.childIndexes.get() + slot->childStart;
    for (uint32_t i = 0; i < slot->childCount && stored < room; ++i) {
        const ProcessRecord& candidate = table.records[candidates[i]];
        if (validatedParentPid(table, candidate) == pid) {
            children[stored++] = &candidate;
        }
    }
    return stored;
}

const ProcessDetails* recordDetails(ProcessTable& table, const ProcessRecord& record)
{
    if (!inTable(table, record)) {
        return &ENDED_PROCESS_DETAILS;
    }
    if (!table.facts) {
        return &NO_DETAILS;
    }
    uint32_t index = indexOf(table, record);
    // One opening reads the details and the path; a shown line asks here first.
    openRecord(table, index);
    return &table.facts[index].details;
}

const wchar_t* recordImagePath(ProcessTable& table, const ProcessRecord& record)
{
    if (!table.options.collectImagePaths || !inTable(table, record)) {
        return NULL;
    }
    uint32_t index = indexOf(table, record);
    openRecord(table, index);
    return table.facts ? table.facts[index].imagePath.get() : NULL;
}
