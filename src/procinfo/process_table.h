// The per-invocation table of processes: one record per process of a fresh
// toolhelp snapshot, indexed by PID and by parent. The records stay as the
// build made them; what needs a process to be opened (a parent link's
// creation-time test, the details, the image path) is read only when
// something shown or compared depends on it, once per process, kept beside
// the record and answered by the table.
#pragma once
#include <windows.h>
#include <tlhelp32.h>
#include <stdint.h>

#include <memory>
#include <unordered_map>

#include "procinfo/held_processes.h"
#include "procinfo/image_path.h"
#include "procinfo/names.h"
#include "procinfo/pid_index.h"
#include "procinfo/process_probe.h"
#include "procinfo/process_record.h"
#include "procinfo/record_block.h"
#include "procinfo/snapshot.h"

// What one invocation wants collected.
struct TableOptions {
    bool collectDetails;       // elevation, creation time, priority, memory
    bool collectImagePaths;    // the full path of every line shown
    bool collectServiceNames;
    bool collectWindowTitles;
    bool localStartTimes;      // creation times also in local time, for display
    bool holdProcesses;        // keep each process opened, able to end it (KINFOLD /END)
    bool collectCommandLines;  // the command line of every line shown, in place of the path
};

// Per record, what every table reads and decides: the parent link.
struct RecordState {
    uint64_t liveTime;  // creation time read when opened; 0 unknown
    uint32_t openError;  // why it could not be opened (or held, for a table that holds)
    bool opened;
    bool linkChecked;
    bool parentCut;     // the parent PID now belongs to a process younger than this one
};

// Per record, what only a table that shows details or a text reads.
struct RecordFacts {
    std::unique_ptr<wchar_t[]> text;  // the image path or the command line; null when none
    ProcessDetails details;
};
// Room for either text while it is read.
const uint32_t READ_TEXT_COUNT = 32768;

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
    // Records by PID and by snapshot parent PID.
    PidIndex pids;
    // Under holdProcesses, each record's process once opened.
    HeldProcesses held;
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
[[nodiscard]] int fillProcessTable(const PROCESSENTRY32W* entries, uint32_t count, const TableOptions& options,
                                   const ProcessProbe& probe, ProcessTable* table);

// Sets every displayName from the table's name maps: service names win over
// a window title.
void attachDisplayNames(ProcessTable* table);

// The first record with this PID, in table order; null when none.
const ProcessRecord* findRecordByPid(const ProcessTable& table, uint32_t pid);
// The record's place in the table; NO_RECORD for one outside it, such as the
// ended-process placeholder.
uint32_t recordIndex(const ProcessTable& table, const ProcessRecord* record);
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
// The command line read for the record, control characters shown as spaces;
// null when unknown (unreadable, protected) or not collected.
const wchar_t* recordCommandLine(ProcessTable& table, const ProcessRecord& record);

// Under holdProcesses: the record's process, opened at its first reading and
// held since (opened now when it was never read); null when it could not be
// opened able to end it, heldOpenError then telling why.
HANDLE heldProcess(ProcessTable& table, const ProcessRecord& record);
uint32_t heldOpenError(const ProcessTable& table, const ProcessRecord& record);
