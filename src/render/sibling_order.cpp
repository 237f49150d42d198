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

int byPriority(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(static_cast<uint32_t>(detailsFrom(source, a).priorityIndex),
                         static_cast<uint32_t>(detailsFrom(source, b).priorityIndex));
}

// The display text the key compares: the command line where the lines show
// command lines, else the service names or window title.
const wchar_t* sortedText(const RecordSource& source, const ProcessRecord* record)
{
    return source.commandLine != nullptr ? shownCommandLine(source, record) : record->displayName;
}

// Processes without a display text come first.
int byDisplayName(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    const wchar_t* textA = sortedText(source, a);
    const wchar_t* textB = sortedText(source, b);
    if (textA == nullptr || textB == nullptr) {
        return compareValues(textA != nullptr, textB != nullptr);
    }
    return compareFolded(textA, textB);
}

int elevatedFirst(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(detailsFrom(source, b).elevated, detailsFrom(source, a).elevated);
}

int byThreadCount(const RecordSource&, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(a->entry.cntThreads, b->entry.cntThreads);
}

int byWorkingSet(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(workingSetBytes(detailsFrom(source, a)), workingSetBytes(detailsFrom(source, b)));
}

int byExeName(const RecordSource&, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareFolded(a->entry.szExeFile, b->entry.szExeFile);
}

int byPid(const RecordSource&, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(a->entry.th32ProcessID, b->entry.th32ProcessID);
}

int byCreationTime(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(detailsFrom(source, a).creationTime, detailsFrom(source, b).creationTime);
}

int is32BitFirst(const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    return compareValues(detailsFrom(source, b).is32Bit, detailsFrom(source, a).is32Bit);
}

// What a record shows when its source has read nothing about it.
const ProcessDetails NOTHING_READ = {};

// A parsed key with its row looked up once, not at every comparison.
struct KeyOrder {
    const SortKey* row;
    bool descending;
};

// Letters that name no key are passed over; their count: at most MAX_SORT_KEYS.
uint32_t resolveKeys(const wchar_t* keys, KeyOrder* order)
{
    uint32_t count = 0;
    for (const wchar_t* key = keys; key != nullptr && *key != L'\0' && count < MAX_SORT_KEYS; ++key) {
        const SortKey* row = findSortKey(*key);
        if (row != nullptr) {
            order[count].row = row;
            order[count].descending = *key >= L'A' && *key <= L'Z';
            ++count;
        }
    }
    return count;
}

int compareInOrder(const KeyOrder* order, uint32_t count, const RecordSource& source, const ProcessRecord* a,
                   const ProcessRecord* b)
{
    for (uint32_t i = 0; i < count; ++i) {
        int result = order[i].row->compare(source, a, b);
        if (result != 0) {
            return order[i].descending ? -result : result;
        }
    }
    // The tie-break is never reversed: equal siblings always list by PID.
    return compareValues(a->entry.th32ProcessID, b->entry.th32ProcessID);
}

}  // namespace

const SortKey SORT_KEY_ROWS[SORT_KEY_ROW_COUNT] = {
    {L'C', byPriority, L"by priority (ascending)"},
    {L'D', byDisplayName, L"by display name"},
    {L'E', elevatedFirst, L"elevated processes first"},
    {L'K', byThreadCount, L"by thread count (ascending)"},
    {L'M', byWorkingSet, L"by memory usage (ascending)"},
    {L'N', byExeName, L"by executable name"},
    {L'P', byPid, L"by process ID (ascending)"},
    {L'T', byCreationTime, L"by creation time (oldest first)"},
    {L'W', is32BitFirst, L"32-bit processes first"},
};

const SortKey* findSortKey(wchar_t letter)
{
    wchar_t upper = upperAscii(letter);
    for (const SortKey& row : SORT_KEY_ROWS) {
        if (row.letter == upper) {
            return &row;
        }
    }
    return nullptr;
}

const ProcessDetails& detailsFrom(const RecordSource& source, const ProcessRecord* record)
{
    return source.details != nullptr ? *source.details(source.context, record) : NOTHING_READ;
}

int compareSiblings(const wchar_t* keys, const RecordSource& source, const ProcessRecord* a, const ProcessRecord* b)
{
    KeyOrder order[MAX_SORT_KEYS];
    uint32_t count = resolveKeys(keys, order);
    return compareInOrder(order, count, source, a, b);
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
    KeyOrder order[MAX_SORT_KEYS];
    uint32_t keyCount = resolveKeys(keys, order);
    // Keys that compare details read them for exactly these siblings.
    std::sort(records, records + count, [&order, keyCount, &source](const ProcessRecord* a, const ProcessRecord* b) {
        return compareInOrder(order, keyCount, source, a, b) < 0;
    });
}
