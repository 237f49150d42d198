// Everything one invocation of a command works with: its arguments, where
// its output goes and what its options asked for. Made when the host calls,
// gone when the command returns.
#pragma once
#include "commands/display_options.h"
#include "console/arguments.h"
#include "console/console_output.h"

#include <memory>

struct CommandContext {
    ArgumentTable arguments;
    ConsoleOutput output;
    DisplaySettings settings;
};

// A fresh context writing through port; null when memory runs out. Too big
// for the host's stack, so it lives on the heap.
std::unique_ptr<CommandContext> newCommandContext(const ConsolePort* port);
