// The order of siblings in the tree: the comparison by the parsed /O keys.
#pragma once
#include <stdint.h>

#include "procinfo/process_record.h"

// a and b point to elements of an array of const ProcessRecord pointers.
// keys: lower case ascending, upper case descending; ties go to the PID.
int compareSiblings(const wchar_t* keys, const void* a, const void* b);
