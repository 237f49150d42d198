#include "render/sibling_order.h"

#include "base/text.h"
#include "console/diagnostics.h"
#include "render/columns.h"

namespace {

bool isKeyLetter(wchar_t ch)
{
    switch (upperAscii(ch)) {
    case L'C': case L'D': case L'E': case L'K': case L'M':
    case L'N': case L'P': case L'T': case L'W':
        return true;
    default:
        return false;
    }
}

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

uint64_t creationTicks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
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
        return compareValues(creationTicks(a.creationTime), creationTicks(b.creationTime));
    case L'W':
        return compareValues(b.is32Bit != 0, a.is32Bit != 0);
    default:
        return 0;
    }
}

}  // namespace

int parseSortKeys(const wchar_t* text, wchar_t* keys, bool* unsorted)
{
    if (text == nullptr || keys == nullptr) {
        return -1;
    }
    keys[0] = L'\0';
    if (unsorted != nullptr) {
        *unsorted = false;
    }
    if (*text == L':' || *text == L'=') {
        ++text;
    }
    if (*text == L'U' || *text == L'u') {
        if (unsorted != nullptr) {
            *unsorted = true;
        }
        return 0;
    }

    int count = 0;
    bool reverseNext = false;
    bool reverseAll = false;
    for (; *text != L'\0'; ++text) {
        wchar_t ch = *text;
        if (ch == L'-') {
            reverseNext = !reverseNext;
        } else if (isKeyLetter(ch)) {
            if (count < MAX_SORT_KEYS) {
                keys[count++] = reverseNext ? upperAscii(ch) : lowerAscii(ch);
                keys[count] = L'\0';
            }
            reverseNext = false;
        } else if (ch == L'R' || ch == L'r') {
            reverseAll = true;
            reverseNext = false;
        } else {
            reportError(L"Unknown sort flag: /O:%c  (/O? for help)\r\n", upperAscii(ch));
            return 1;
        }
    }
    if (reverseAll) {
        swapKeyCase(keys);
    }
    return 0;
}

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

int swapKeyCase(wchar_t* keys)
{
    if (keys == nullptr) {
        return 0;
    }
    int changed = 0;
    for (; *keys != L'\0'; ++keys) {
        if (*keys >= L'a' && *keys <= L'z') {
            *keys = upperAscii(*keys);
            ++changed;
        } else if (*keys >= L'A' && *keys <= L'Z') {
            *keys = lowerAscii(*keys);
            ++changed;
        }
    }
    return changed;
}
