// The renderer's view of a command's process table: children with checked
// parent links, and each record's facts read when it is about to be shown.
#pragma once
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

// What the table must collect for these options.
TableOptions tableOptionsFor(DisplayFlags flags);

// Builds the command's table for these options. True when it holds records;
// otherwise *result is the driver's result: 0 after "No processes found!",
// or the failure of the build.
[[nodiscard]] bool buildCommandTable(DisplayFlags flags, ConsoleOutput* output, ProcessTable* table, int* result);
// The same from a snapshot read with these toolhelp calls.
[[nodiscard]] bool buildCommandTable(const ToolhelpCalls& toolhelp, DisplayFlags flags, ConsoleOutput* output,
                                     ProcessTable* table, int* result);
