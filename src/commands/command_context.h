// Everything one invocation of a command works with: its arguments, where
// its output goes and what its options asked for. Made when the host calls,
// gone when the command returns. Both commands run through one skeleton
// (runCommandSteps) and differ only in the steps they hand it.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "commands/display_options.h"
#include "console/arguments.h"
#include "console/console_output.h"

#include <memory>

struct ProcessTable;

struct CommandContext {
    ArgumentTable arguments;
    ConsoleOutput output;
    DisplaySettings settings;
};

// A fresh context writing through port; null when memory runs out. Too big
// for the host's stack, so it lives on the heap.
std::unique_ptr<CommandContext> newCommandContext(const ConsolePort* port);

// What the options asked of a command's driver, read the same way for both.
struct CommandRequest {
    const wchar_t* pattern;     // wildcard root; null for a PID
    const wchar_t* sortKeys;    // null: siblings keep table order
    uint32_t rootPid;
    const wchar_t* highlight;   // null when empty or off
    uint32_t width;
    DisplayFlags flags;
    const SYSTEMTIME* today;    // local time when the command started
    uint32_t shellPid;          // the process running the command
    bool endTree;               // KINFOLD /END
    bool endConfirmed;          // KINFOLD /Y
};

// What sets one command apart from the other.
struct CommandSteps {
    CommandKind kind;
    unsigned splitMode;
    // Picks settings->rootPid when no root argument was given; false after
    // a message, which ends the command with 2.
    bool (*chooseDefaultRoot)(DisplaySettings* settings);
    // Prints from the table built for the request. *reportedPid starts as
    // the request's root PID; a driver that looked for another process (a
    // wildcard match) sets it, so a not-found message names that one.
    int (*drive)(ProcessTable* table, const CommandRequest& request, ConsoleOutput* output, uint32_t* reportedPid);
};

// The renderer's settings for a request over this table: its records,
// output, colours, width, flags and today; no sort keys, no /Z, no length.
ViewSettings viewForRequest(const CommandRequest& request, ProcessTable* table, ConsoleOutput* output);

// The /U line that ends a command's output; 0 or STOPPED.
[[nodiscard]] int printCountLine(ConsoleOutput* output, uint32_t count);

// One invocation from the host's argument text to the command's result:
// split, options, default root, colours and width, the table, the driver,
// and the one mapping from the driver's result to a message.
int runCommandSteps(const CommandSteps& steps, wchar_t* arguments, const ConsolePort* console);
