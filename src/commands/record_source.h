// The renderer's view of a command's process table: children with checked
// parent links, and each record's facts read when it is about to be shown.
#pragma once
#include "procinfo/ancestor_chain.h"
#include "procinfo/process_table.h"
#include "render/view.h"

RecordSource recordSourceFor(ProcessTable* table);

const wchar_t* const ENDED_PROCESS_NAME = L"* PROCESS HAS ENDED *";

// The first record of a tree from pid: its record, or, for a process that
// has ended while children it started still run, placeholder filled in to
// stand for it (it is no record of the table). Null when pid roots nothing.
const ProcessRecord* treeRootFor(ProcessTable* table, uint32_t pid, ProcessRecord* placeholder);

// A creation-time query for the ancestor walk that shares the table's reads,
// so a process is opened once per command. context: the ProcessTable.
uint64_t tableCreationTime(uint32_t pid, void* context);
// The table's records as the ancestor walk reads them, with
// tableCreationTime: the chains ANCESTRY would list, from the command's table.
AncestorLinks tableAncestorLinks(const ProcessTable* table);

// What the table must collect for these options; hold: keep each process
// opened, able to end it (KINFOLD /END).
TableOptions tableOptionsFor(DisplayFlags flags, bool hold);

// Builds the command's table for these options. True when it holds records;
// otherwise *result is the driver's result: 0 after "No processes found!",
// or the failure of the build.
[[nodiscard]] bool buildCommandTable(DisplayFlags flags, bool hold, ConsoleOutput* output, ProcessTable* table,
                                     int* result);
// The same from a snapshot read with these toolhelp calls.
[[nodiscard]] bool buildCommandTable(const ToolhelpCalls& toolhelp, DisplayFlags flags, bool hold,
                                     ConsoleOutput* output, ProcessTable* table, int* result);
