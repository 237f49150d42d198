// Building a process table: the snapshot's entries written straight into the
// record block, indexed by PID and parent, display names attached.
#include "procinfo/process_table.h"

#include "procinfo/snapshot.h"

#include <new>

namespace {

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
    bool keepsFacts = options.collectDetails || options.collectImagePaths || options.collectCommandLines;
    if (keepsFacts) {
        table->facts.reset(new (std::nothrow) RecordFacts[count]());
    }
    if (!table->state || (keepsFacts && !table->facts) ||
        (options.holdProcesses && !table->held.start(count, probe))) {
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
    ProcessProbe probe = {readSystemProcess, drives.get(), releaseSystemProcess};
    result = indexRecords(options, probe, table);
    table->drives = std::move(drives);
    return result;
}
