#include "procinfo/process_table.h"

#include "base/file_time.h"
#include "procinfo/command_line.h"
#include "procinfo/image_path.h"
#include "procinfo/process_access.h"
#include "procinfo/snapshot.h"

#include <string.h>
#include <wchar.h>

#include <new>

static_assert(READ_TEXT_COUNT >= static_cast<uint32_t>(IMAGE_PATH_COUNT) && READ_TEXT_COUNT >= COMMAND_LINE_COUNT,
              "one buffer takes either text");

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
    // The one text a line may show beside its name: the image path (/F) or
    // the command line (/CMD), never both.
    unsigned textWant = table.options.collectCommandLines ? WANT_COMMAND_LINE
                        : table.options.collectImagePaths ? WANT_IMAGE_PATH : 0;
    unsigned want = (table.options.collectDetails ? WANT_DETAILS : 0) | textWant |
                    (table.options.holdProcesses ? WANT_HOLD : 0);
    std::unique_ptr<wchar_t[]> text;
    if (textWant != 0) {
        text.reset(new (std::nothrow) wchar_t[READ_TEXT_COUNT]);
        if (!text) {
            want &= ~textWant;
        } else {
            text[0] = L'\0';
        }
    }
    ProcessFacts facts;
    memset(&facts, 0, sizeof(facts));
    facts.memory.cb = sizeof(facts.memory);
    if (want & WANT_COMMAND_LINE) {
        facts.commandLine = text.get();
        facts.commandLineCount = READ_TEXT_COUNT;
    }
    wchar_t* path = (want & WANT_IMAGE_PATH) != 0 ? text.get() : NULL;
    bool read = table.probe.read != NULL &&
                table.probe.read(table.probe.context, table.records[index].entry.th32ProcessID, want, &facts, path);
    state.openError = facts.openError;
    if (facts.held != NULL) {
        table.held.keep(index, facts.held);
    }
    if (!read) {
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
    if (text && text[0] != L'\0') {
        // Kept at its own length: a buffer of the longest would cost 64 KB a line.
        size_t length = wcsnlen(text.get(), READ_TEXT_COUNT - 1);
        kept.text.reset(new (std::nothrow) wchar_t[length + 1]);
        if (kept.text) {
            memcpy(kept.text.get(), text.get(), length * sizeof(wchar_t));
            kept.text[length] = L'\0';
        }
    }
}

// The text read for a shown record: its image path or its command line.
const wchar_t* readText(ProcessTable& table, const ProcessRecord& record)
{
    uint32_t index = recordIndex(table, &record);
    if (index == NO_RECORD) {
        return NULL;
    }
    openRecord(table, index);
    return table.facts ? table.facts[index].text.get() : NULL;
}

}  // namespace

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
    // One opening reads the details and the path; a shown line asks here
    // first, and a table that holds keeps every shown process from here on.
    if (!table.facts) {
        if (table.options.holdProcesses) {
            openRecord(table, index);
        }
        return &NO_DETAILS;
    }
    openRecord(table, index);
    return &table.facts[index].details;
}

const wchar_t* recordImagePath(ProcessTable& table, const ProcessRecord& record)
{
    return table.options.collectImagePaths && !table.options.collectCommandLines ? readText(table, record) : NULL;
}

const wchar_t* recordCommandLine(ProcessTable& table, const ProcessRecord& record)
{
    return table.options.collectCommandLines ? readText(table, record) : NULL;
}

HANDLE heldProcess(ProcessTable& table, const ProcessRecord& record)
{
    uint32_t index = recordIndex(table, &record);
    if (index == NO_RECORD) {
        return NULL;
    }
    openRecord(table, index);
    return table.held.get(index);
}

uint32_t heldOpenError(const ProcessTable& table, const ProcessRecord& record)
{
    uint32_t index = recordIndex(table, &record);
    return index != NO_RECORD ? table.state[index].openError : 0;
}
