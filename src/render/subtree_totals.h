// What each line of a tree weighs in the output it is part of: the processes
// shown below it, and the working set and threads of it and all of them.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "render/view.h"
#include "render/walk.h"

struct SubtreeTotals {
    uint32_t below;       // processes shown below the line
    uint64_t workingSet;  // bytes, the line's own process included; 64-bit also in the 32-bit DLL
    uint64_t threads;
};

// The totals of count steps in walk order (each before its descendants, as
// the walk gives them), in one pass from the end: every line sums exactly
// the lines shown below it. A process whose memory could not be read counts
// 0 bytes and still counts as a process. totals holds count elements.
void sumSubtrees(const WalkStep* steps, size_t count, const RecordSource& source, SubtreeTotals* totals);
