// One process line, laid out to the width, and the depth-first walk into its
// children.
#pragma once
#include <stdint.h>

#include "commands/view_settings.h"
#include "procinfo/process_table.h"

// 0 printed; -1 null record or view; 8 out of memory; -3 stopped at the prompt.
int renderProcess(const ProcessRecord* record, const wchar_t* prefix, bool isLast, bool recurse,
                  ViewSettings* view);

// Records with a nonzero PID whose parent is pid.
uint32_t countChildren(const ProcessRecord* records, uint32_t count, uint32_t pid);
