// The order of siblings in the tree: the /O keys and the comparison.
#pragma once
#include <stdint.h>

#include "procinfo/process_table.h"

const int MAX_SORT_KEYS = 15;
const int SORT_KEYS_COUNT = MAX_SORT_KEYS + 1;

// text: the /O argument after "/O". keys: SORT_KEYS_COUNT units. unsorted may
// be null. 0, 1 after reporting an unknown key, -1 for null arguments.
int parseSortKeys(const wchar_t* text, wchar_t* keys, bool* unsorted);

// a and b point to elements of an array of const ProcessRecord pointers.
int compareSiblings(const wchar_t* keys, const void* a, const void* b);

int swapKeyCase(wchar_t* keys);
