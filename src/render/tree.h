// Process lines laid out to the width: a tree walked from its root, or one
// line on its own.
#pragma once
#include <stdint.h>

#include "procinfo/process_record.h"
#include "render/view.h"
#include "render/walk.h"

// Prints root and its descendants, each process once, siblings in the order
// of view->sortKeys; under OPT_CSV one row per process, its depth counted
// from the root. listed: the records already listed by the command's earlier
// trees; null for a tree on its own. 0 printed; -1 null record or view; 8 out
// of memory; -3 stopped at the prompt.
[[nodiscard]] int renderTree(const ProcessRecord* root, ListedMarks* listed, ViewSettings* view);

// Prints one line laid out as a tree's first line; under OPT_CSV a row at
// csvDepth whose parent is parentPid (0: the parent whose link holds).
// Results as renderTree's.
[[nodiscard]] int renderSingleLine(const ProcessRecord* record, uint32_t csvDepth, uint32_t parentPid,
                                   ViewSettings* view);
