// The order of siblings in the tree: the /O keys and the comparison by them.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "procinfo/process_record.h"
#include "render/view.h"

// One /O key: the letter the option takes, how it orders two siblings
// (lower case, ascending), and its line in the /O? help. Parsing, sorting
// and the help all read this table, so a key cannot exist in one of them only.
struct SortKey {
    wchar_t letter;  // upper case
    int (*compare)(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b);
    const wchar_t* help;
};

const size_t SORT_KEY_ROW_COUNT = 9;
// In the order the help lists them.
extern const SortKey SORT_KEY_ROWS[SORT_KEY_ROW_COUNT];

// The row of a key letter in either case; null when the letter is no key.
const SortKey* findSortKey(wchar_t letter);

// The details the source answers for a record; all zero when it has no answer.
const ProcessDetails& detailsFrom(const RecordSource& source, const ProcessRecord* record);

// keys: lower case ascending, upper case descending; ties go to the PID. The
// details of a and b are asked of source only when a key compares them.
int compareSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord* a,
                    const ProcessRecord* b);

// Puts count records in sibling order: by keys, or with keys null in table
// order (the source's indexes; records outside it last).
void sortSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord** records, uint32_t count);
