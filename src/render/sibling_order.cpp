#include "render/sibling_order.h"

#include "base/text.h"
#include "render/columns.h"

#include <algorithm>

namespace {

// Only A to Z fold; everything else compares by code unit, so the order does
// not depend on the user's locale.
int compareFolded(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        unsigned ca = lowerAscii(*a);
        unsigned cb = lowerAscii(*b);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        if (ca == 0) {
            return 0;
        }
    }
}

template <typename T>
int compareValues(T a, T b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

int compareByKey(wchar_t key, const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    const PROCESSENTRY32W& entryA = a->entry;
    const PROCESSENTRY32W& entryB = b->entry;
    switch (upperAscii(key)) {
    case L'C':
        return compareValues(static_cast<uint32_t>(detailsFrom(source, a).priorityIndex),
                             static_cast<uint32_t>(detailsFrom(source, b).priorityIndex));
    case L'D':
        if (a->displayName == nullptr || b->displayName == nullptr) {
            return compareValues(a->displayName != nullptr, b->displayName != nullptr);
        }
        return compareFolded(a->displayName, b->displayName);
    case L'E':
        return compareValues(detailsFrom(source, b).elevated, detailsFrom(source, a).elevated);
    case L'K':
        return compareValues(entryA.cntThreads, entryB.cntThreads);
    case L'M':
        return compareValues(workingSetBytes(detailsFrom(source, a)), workingSetBytes(detailsFrom(source, b)));
    case L'N':
        return compareFolded(entryA.szExeFile, entryB.szExeFile);
    case L'P':
        return compareValues(entryA.th32ProcessID, entryB.th32ProcessID);
    case L'T':
        return compareValues(detailsFrom(source, a).creationTime, detailsFrom(source, b).creationTime);
    case L'W':
        return compareValues(detailsFrom(source, b).is32Bit, detailsFrom(source, a).is32Bit);
    default:
        return 0;
    }
}

// What a record shows when its source has read nothing about it.
const ProcessDetails NOTHING_READ = {};

}  // namespace

const ProcessDetails& detailsFrom(const RecordSource& source, const ProcessRecord* record)
{
    return source.details != nullptr ? *source.details(source.context, record) : NOTHING_READ;
}

int compareSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    for (const wchar_t* key = keys; key != nullptr && *key != L'\0'; ++key) {
        int result = compareByKey(*key, source, a, b);
        if (result != 0) {
            return (*key >= L'A' && *key <= L'Z') ? -result : result;
        }
    }
    // The tie-break is never reversed: equal siblings always list by PID.
    return compareValues(a->entry.th32ProcessID, b->entry.th32ProcessID);
}

void sortSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord** records, uint32_t count)
{
    if (count < 2) {
        return;
    }
    if (keys == nullptr) {
        std::sort(records, records + count, [&source](const ProcessRecord* a, const ProcessRecord* b) {
            return source.slotOf(source.context, a) < source.slotOf(source.context, b);
        });
        return;
    }
    // Keys that compare details read them for exactly these siblings.
    std::sort(records, records + count, [keys, &source](const ProcessRecord* a, const ProcessRecord* b) {
        return compareSiblings(keys, source, a, b) < 0;
    });
}
