#include "render/sibling_order.h"

#include "base/file_time.h"
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

int compareByKey(wchar_t key, const ProcessRecord& a, const ProcessRecord& b)
{
    switch (upperAscii(key)) {
    case L'C':
        return compareValues(static_cast<uint32_t>(a.priorityIndex), static_cast<uint32_t>(b.priorityIndex));
    case L'D':
        if (a.displayName == nullptr || b.displayName == nullptr) {
            return compareValues(a.displayName != nullptr, b.displayName != nullptr);
        }
        return compareFolded(a.displayName, b.displayName);
    case L'E':
        return compareValues(b.elevated != 0, a.elevated != 0);
    case L'K':
        return compareValues(a.entry.cntThreads, b.entry.cntThreads);
    case L'M':
        return compareValues(workingSetBytes(a), workingSetBytes(b));
    case L'N':
        return compareFolded(a.entry.szExeFile, b.entry.szExeFile);
    case L'P':
        return compareValues(a.entry.th32ProcessID, b.entry.th32ProcessID);
    case L'T':
        return compareValues(fileTimeValue(a.creationTime), fileTimeValue(b.creationTime));
    case L'W':
        return compareValues(b.is32Bit != 0, a.is32Bit != 0);
    default:
        return 0;
    }
}

}  // namespace

int compareSiblings(const wchar_t* keys, const void* a, const void* b)
{
    const ProcessRecord& first = **static_cast<const ProcessRecord* const*>(a);
    const ProcessRecord& second = **static_cast<const ProcessRecord* const*>(b);
    for (const wchar_t* key = keys; key != nullptr && *key != L'\0'; ++key) {
        int result = compareByKey(*key, first, second);
        if (result != 0) {
            return (*key >= L'A' && *key <= L'Z') ? -result : result;
        }
    }
    // The tie-break is never reversed: equal siblings always list by PID.
    return compareValues(first.entry.th32ProcessID, second.entry.th32ProcessID);
}
