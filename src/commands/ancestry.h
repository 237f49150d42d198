// The parts of ANCESTRY and @ANCESTRY that work on a chain already taken, so
// that any chain, real or made up, can be laid out the same way.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "commands/function_result.h"
#include "procinfo/process_table.h"
#include "render/view.h"

// @ANCESTRY flags: the mode bits and lower case as every function has them.
const uint32_t ANCESTRY_MODE_MASK = FUNCTION_MODE_MASK;
const uint32_t ANCESTRY_MODE_HEX = FUNCTION_MODE_HEX;
const uint32_t ANCESTRY_MODE_BARE_HEX = FUNCTION_MODE_BARE_HEX;
const uint32_t ANCESTRY_MODE_DECIMAL = FUNCTION_MODE_DECIMAL;
const uint32_t ANCESTRY_MODE_NAMES = FUNCTION_MODE_NAMES;
const uint32_t ANCESTRY_FLAG_REVERSE = 0x40;  // the process first
const uint32_t ANCESTRY_FLAG_LOWER = FUNCTION_FLAG_LOWER;

const size_t ANCESTRY_RESULT_COUNT = FUNCTION_RESULT_COUNT;

// Writes the chain (index 0 the process, last the oldest ancestor) as one
// line into result, which holds resultCount units. Members that do not fit
// whole are left off the end; in name mode without a name table the result
// is empty. Returns the number of members written, -1 for a null result.
[[nodiscard]] int formatAncestorChain(uint32_t count, const uint32_t* chain, const wchar_t* nameTable,
                        uint32_t nameWidth, uint32_t flags, wchar_t* result, size_t resultCount);

// Renders one line per chain member that has a record in the table, oldest
// first or, with OPT_REVERSE, the process first; then the /U count line.
// Under OPT_CSV: a header, then one row per line, no count line.
// 0, STOPPED, or 8 when memory ran out.
[[nodiscard]] int renderAncestorLines(const uint32_t* chain, uint32_t count, const ProcessTable& table,
                                      ViewSettings* view);
