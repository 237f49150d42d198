// One process line, laid out to the width, and the depth-first walk into its
// children.
#pragma once
#include <stdint.h>

#include "render/view.h"
#include "procinfo/process_record.h"

// Under OPT_CSV each line is a CSV row, its depth counted from
// view->firstDepth. 0 printed; -1 null record or view; 8 out of memory; -3
// stopped at the prompt.
[[nodiscard]] int renderProcess(const ProcessRecord* record, const wchar_t* prefix, bool isLast, bool recurse,
                                ViewSettings* view);
