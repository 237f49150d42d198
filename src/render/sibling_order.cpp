#include "render/sibling_order.h"

#include "base/text.h"
#include "render/columns.h"

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

int compareByKey(wchar_t key, const SiblingKey& a, const SiblingKey& b)
{
    const PROCESSENTRY32W& entryA = a.record->entry;
    const PROCESSENTRY32W& entryB = b.record->entry;
    switch (upperAscii(key)) {
    case L'C':
        return compareValues(static_cast<uint32_t>(a.details->priorityIndex),
                             static_cast<uint32_t>(b.details->priorityIndex));
    case L'D': {
        const wchar_t* nameA = a.record->displayName;
        const wchar_t* nameB = b.record->displayName;
        if (nameA == nullptr || nameB == nullptr) {
            return compareValues(nameA != nullptr, nameB != nullptr);
        }
        return compareFolded(nameA, nameB);
    }
    case L'E':
        return compareValues(b.details->elevated, a.details->elevated);
    case L'K':
        return compareValues(entryA.cntThreads, entryB.cntThreads);
    case L'M':
        return compareValues(workingSetBytes(*a.details), workingSetBytes(*b.details));
    case L'N':
        return compareFolded(entryA.szExeFile, entryB.szExeFile);
    case L'P':
        return compareValues(entryA.th32ProcessID, entryB.th32ProcessID);
    case L'T':
        return compareValues(a.details->creationTime, b.details->creationTime);
    case L'W':
        return compareValues(b.details->is32Bit, a.details->is32Bit);
    default:
        return 0;
    }
}

}  // namespace

int compareSiblings(const wchar_t* keys, const SiblingKey& a, const SiblingKey& b)
{
    for (const wchar_t* key = keys; key != nullptr && *key != L'\0'; ++key) {
        int result = compareByKey(*key, a, b);
        if (result != 0) {
            return (*key >= L'A' && *key <= L'Z') ? -result : result;
        }
    }
    // The tie-break is never reversed: equal siblings always list by PID.
    return compareValues(a.record->entry.th32ProcessID, b.record->entry.th32ProcessID);
}
