// The order of siblings in the tree: the comparison by the parsed /O keys.
#pragma once
#include <stdint.h>

#include "procinfo/process_record.h"

// One sibling as the sort sees it: its record and the details read for it.
struct SiblingKey {
    const ProcessRecord* record;
    const ProcessDetails* details;
};

// keys: lower case ascending, upper case descending; ties go to the PID.
int compareSiblings(const wchar_t* keys, const SiblingKey& a, const SiblingKey& b);
