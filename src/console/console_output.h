// Where one command's output goes: the console it may write to directly,
// the colours it uses, and the paging state of its pause prompt. Each
// command owns one; nothing of it outlives the command.
#pragma once
#include <stdint.h>

#include <atomic>

#include "console/console_port.h"

// Computed once per command; normalAttribute 0 means colour output is off.
struct ConsoleAttributes {
    uint8_t normalAttribute;
    uint8_t highlightAttribute;
    uint8_t alternateAttribute;
    uint8_t inverseNormalAttribute;
    uint8_t inverseHighlightAttribute;
    uint8_t inverseAlternateAttribute;
};

struct PagingState {
    uint32_t pageLength;    // lines per page; 0: no paging
    uint32_t linesLeft;     // line ends before the next pause; 0: no paging
    uint32_t pauseTimeout;  // ms after which the prompt goes on by itself; 0: wait
    int32_t stopState;      // 0, or STOPPED
};

struct ConsoleOutput {
    const ConsolePort* port;
    ConsoleAttributes attributes;
    PagingState paging;
};

// No colours, no paging, not stopped, writing through port.
void resetConsoleOutput(ConsoleOutput* output, const ConsolePort* port);

// Ctrl-C and Ctrl-Break caught while the pause prompt waits. The console's
// control handler runs on a thread of its own and can reach nothing else.
extern std::atomic<uint32_t> gBreakCount;
