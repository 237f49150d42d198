// What a command driver hands to the renderer for one invocation.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "commands/display_flags.h"

struct ProcessRecord;

struct ViewSettings {
    const ProcessRecord* table;        // all records, snapshot order; not owned
    const wchar_t* sortKeys;           // null: siblings keep snapshot order
    const wchar_t* highlightPattern;   // null when empty or switched off
    uint32_t count;                    // records in table
    uint32_t width;                    // line width in UTF-16 units
    DisplayFlags flags;
    uint32_t printedCount;             // lines finished for real records
    uint32_t totalCount;               // ANCESTRY: chain length; KINFOLD: 0
    const SYSTEMTIME* today;           // local time when the driver started
};
