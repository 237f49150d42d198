// What a command hands to the renderer for one invocation: the options that
// shape a line, where records and their facts come from, and where lines go.
// The renderer itself never calls the system.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <vector>

#include "console/console_output.h"
#include "procinfo/process_record.h"
#include "render/display_flags.h"

// Access to the records while the walk goes on; the command wires it to its
// process table, tests to synthetic tables. Records are read as they are;
// what is read or decided about them later comes from here.
struct RecordSource {
    void* context;
    // How many records the source holds, and where a walk marks one of them
    // listed: the place of the first record with its PID, since records of
    // one PID have the same children and a PID is listed once. NO_RECORD for
    // a record outside the source (the ended-process placeholder).
    uint32_t recordCount;
    uint32_t (*slotOf)(void* context, const ProcessRecord* record);
    // An upper bound of the children of pid, for sizing.
    uint32_t (*childCount)(void* context, uint32_t pid);
    // The children of pid in table order, at most room of them; their count.
    uint32_t (*children)(void* context, uint32_t pid, const ProcessRecord** out, uint32_t room);
    // The record's parent PID if its link holds, else 0.
    uint32_t (*parentPid)(void* context, const ProcessRecord* record);
    // The details of a record about to be shown or compared; never null.
    const ProcessDetails* (*details)(void* context, const ProcessRecord* record);
    // The full image path of a record (/F); null when unknown.
    const wchar_t* (*imagePath)(void* context, const ProcessRecord* record);
    // The command line of a record (/CMD); null when unknown. The callback
    // itself is null when the command shows no command lines.
    const wchar_t* (*commandLine)(void* context, const ProcessRecord* record);
};

// Which records a command marked as matches of its pattern; their names are
// shown as /H matches are. matches null: none.
struct RecordMatch {
    const void* context;
    bool (*matches)(const void* context, const ProcessRecord* record);
};

// The parsed /O keys: letters, lower case ascending, upper case descending.
const int MAX_SORT_KEYS = 15;
const int SORT_KEYS_COUNT = MAX_SORT_KEYS + 1;

struct ViewSettings {
    RecordSource source;
    ConsoleOutput* output;             // colours, paging, the console
    const wchar_t* sortKeys;           // null: siblings keep table order
    const wchar_t* highlightPattern;   // null when empty or switched off
    uint32_t width;                    // line width in UTF-16 units
    DisplayFlags flags;
    bool parentPidOnFirstLine;         // /Z: the root's parent in brackets
    uint32_t printedCount;             // lines finished for real records
    uint32_t totalCount;               // ANCESTRY: chain length; KINFOLD: 0
    const SYSTEMTIME* today;           // local time when the command started
    RecordMatch nameMatch;             // KINFOLD /ALL, /ANC with a pattern
    // When not null, the record of every process line printed, in order
    // (KINFOLD /END ends what it printed); placeholders are no process.
    std::vector<const ProcessRecord*>* printed;
};
