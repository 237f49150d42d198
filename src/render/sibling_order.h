// The order of siblings in the tree: the comparison by the parsed /O keys.
#pragma once
#include <stdint.h>

#include "procinfo/process_record.h"
#include "render/view.h"

// The details the source answers for a record; all zero when it has no answer.
const ProcessDetails& detailsFrom(const RecordSource& source, const ProcessRecord* record);

// keys: lower case ascending, upper case descending; ties go to the PID. The
// details of a and b are asked of source only when a key compares them.
int compareSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord* a,
                    const ProcessRecord* b);

// Puts count records in sibling order: by keys, or with keys null in table
// order (the source's indexes; records outside it last).
void sortSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord** records, uint32_t count);
