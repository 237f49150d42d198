// KINFOLD /END: ending the processes of the tree just printed, leaves first,
// through the handles the table has held since it checked each of them, so
// a PID that passed to another process meanwhile is never touched.
#pragma once
#include <stdint.h>

#include <vector>

#include "commands/commands.h"
#include "console/console_output.h"
#include "procinfo/process_end.h"
#include "procinfo/process_table.h"
#include "render/display_flags.h"

// How long the processes ended get, in all, to be gone.
const DWORD END_WAIT_MS = 5000;

struct EndRequest {
    uint32_t shellPid;  // the process running the command: it and its ancestors are never ended
    bool askFirst;      // false under /Y
    DisplayFlags flags;  // PIDs in the report as in the tree (/D)
};

// Ends members, the records of the printed tree in printed order (each
// before its descendants; no ancestor shown above a root, no placeholder).
// Refuses everything when the tree holds the shell or one of its ancestors;
// leaves alone, with a line each, a process that cannot be opened, has
// ended, is critical to the system, or whose creation time differs from the
// one the tree was built from. Asks first unless request.askFirst is false.
// 0 all ended, SOME_NOT_ENDED, SHELL_IN_TREE, STOPPED at a prompt (at the
// question or before it, nothing ended; in the report, after the ending),
// or 8 out of memory.
[[nodiscard]] int endPrintedTree(ProcessTable* table, const std::vector<const ProcessRecord*>& members,
                                 const EndRequest& request, const EndCalls& calls, ConsoleOutput* output);
