// The parts of the KINFOLD command apart from its argument text, so that
// they can be run over synthetic tables.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "commands/command_context.h"
#include "console/console_output.h"
#include "procinfo/process_end.h"
#include "procinfo/process_table.h"
#include "render/display_flags.h"

// Finds the root (services root, wildcard, or PID, else the ended-process
// placeholder when some process still names it as parent), prints the tree
// and the count line, and under /END ends what it printed through ending
// (the system's when null). 0, STOPPED, ROOT_PID_NOT_FOUND,
// NO_WILDCARD_MATCH, NO_SERVICES_ROOT, SOME_NOT_ENDED, SHELL_IN_TREE, or a
// renderer error.
[[nodiscard]] int printKinfoldTree(ProcessTable* table, const CommandRequest& request, ConsoleOutput* output,
                                   const EndCalls* ending = nullptr);

// The root when no root argument was given: /E's or /TC's window owner, the
// whole system for /ALL, else the shell (none under /SVC, whose root the
// driver finds). False after a message: the command then ends with 2.
[[nodiscard]] bool chooseKinfoldDefaultRoot(DisplaySettings* settings);
