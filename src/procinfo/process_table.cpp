#include "procinfo/process_table.h"

#include "base/file_time.h"
#include "procinfo/image_path.h"
#include "procinfo/process_access.h"
#include "procinfo/snapshot.h"

#include <string.h>
#include <wchar.h>

#include <new>

namespace {

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

const PROCESSENTRY32W& recordEntryAt(const void* context, uint32_t index)
{
    return (*static_cast<const RecordBlock*>(context))[index].entry;
}

PROCESSENTRY32W* recordSlotAt(void* context, uint32_t index)
{
    RecordBlock* records = static_cast<RecordBlock*>(context);
    ProcessRecord* record = index < records->size() ? records->writable(index) : records->append();
    return record != NULL ? &record->entry : NULL;
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
    IndexedEntries entries = {&table->records, count, recordEntryAt};
    if (!buildPidIndex(entries, &table->pids)) {
        *table = ProcessTable();
        return ERROR_NOT_ENOUGH_MEMORY;
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

}  // namespace

void attachDisplayNames(ProcessTable* table)
{
    if (table == NULL || !table->records) {
        return;
    }
    for (uint32_t i = 0; i < table->count; ++i) {
        ProcessRecord& record = *table->records.writable(i);
        uint32_t pid = record.entry.th32ProcessID;
        record.displayName = findName(table->serviceNames, pid);
        if (record.displayName == NULL) {
            record.displayName = findName(table->windowTitles, pid);
        }
    }
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
    uint32_t index = firstEntryOf(table.pids, pid);
    return index != NO_RECORD ? &table.records[index] : NULL;
}

uint32_t recordIndex(const ProcessTable& table, const ProcessRecord* record)
{
    const ProcessRecord* first = table.records.get();
    if (record == NULL || first == NULL || record < first || record >= first + table.count) {
        return NO_RECORD;
    }
    return static_cast<uint32_t>(record - first);
}

uint64_t liveCreationTime(ProcessTable& table, uint32_t pid)
{
    if (pid == 0) {
        return 0;
    }
    uint32_t index = firstEntryOf(table.pids, pid);
    if (index != NO_RECORD) {
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
    uint32_t index = recordIndex(table, &record);
    if (index == NO_RECORD) {
        return parentPid;
    }
    RecordState& state = table.state[index];
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
    return childGroupOf(table.pids, pid).count;
}

uint32_t collectChildren(ProcessTable& table, uint32_t pid, const ProcessRecord** children, uint32_t room)
{
    ChildGroup group = childGroupOf(table.pids, pid);
    uint32_t stored = 0;
    for (uint32_t i = 0; i < group.count && stored < room; ++i) {
        const ProcessRecord& candidate = table.records[group.indexes[i]];
        if (validatedParentPid(table, candidate) == pid) {
            children[stored++] = &candidate;
        }
    }
    return stored;
}

const ProcessDetails* recordDetails(ProcessTable& table, const ProcessRecord& record)
{
    uint32_t index = recordIndex(table, &record);
    if (index == NO_RECORD) {
        return &ENDED_PROCESS_DETAILS;
    }
    if (!table.facts) {
        return &NO_DETAILS;
    }
    // One opening reads the details and the path; a shown line asks here first.
    openRecord(table, index);
    return &table.facts[index].details;
}

const wchar_t* recordImagePath(ProcessTable& table, const ProcessRecord& record)
{
    uint32_t index = recordIndex(table, &record);
    if (!table.options.collectImagePaths || index == NO_RECORD) {
        return NULL;
    }
    openRecord(table, index);
    return table.facts ? table.facts[index].imagePath.get() : NULL;
}
