#include "render/columns.h"

#include "base/text.h"

namespace {

const wchar_t* const PRIORITY_LABELS[PRIORITY_INDEX_COUNT] = {L"-", L"I", L"BN", L"N", L"AN", L"HI", L"RT"};

// The priority column costs this much beyond its own text, written or not.
const int32_t PRIORITY_EXTRA_COST = 4;

const uint64_t ONE_MEGABYTE = 1ull << 20;
const uint64_t ONE_GIGABYTE = 1ull << 30;

// Nominal widths of the start-time parts.
const int DATE_WIDTH = 13;
const int SEPARATOR_WIDTH = 2;
const int HOURS_MINUTES_WIDTH = 5;
const int MILLIS_WIDTH = 7;
const int SECONDS_WIDTH = 3;

bool sameDay(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

void writeIfFits(LineText* line, const wchar_t* text, int32_t length, int32_t* remaining)
{
    if (length <= *remaining) {
        appendToLine(line, text);
        *remaining -= length;
    }
}

}  // namespace

uint64_t workingSetBytes(const ProcessDetails& details)
{
    return details.workingSetSize;
}

int formatMemoryColumn(uint64_t bytes, DisplayFlags flags, wchar_t* text, size_t count)
{
    int length;
    if ((flags & OPT_MEMORY_BYTES) != 0) {
        length = formatText(text, count, L"%12I64u  ", bytes);
    } else if (bytes < ONE_MEGABYTE) {
        length = (flags & OPT_MEMORY_FRACTION) != 0
                     ? formatText(text, count, L"%7.2fK  ", static_cast<double>(bytes) / 1024.0)
                     : formatText(text, count, L"%4I64uK  ", (bytes >> 10) + ((bytes >> 9) & 1));
    } else if (bytes < ONE_GIGABYTE) {
        length = (flags & OPT_MEMORY_FRACTION) != 0
                     ? formatText(text, count, L"%7.2fM  ", static_cast<double>(bytes) / 1048576.0)
                     : formatText(text, count, L"%4I64uM  ", (bytes >> 20) + ((bytes >> 19) & 1));
    } else {
        length = (flags & OPT_MEMORY_FRACTION) != 0
                     ? formatText(text, count, L"%7.2fG  ", static_cast<double>(bytes) / 1073741824.0)
                     : formatText(text, count, L"%4I64uG  ", (bytes >> 30) + ((bytes >> 29) & 1));
    }
    return length < 0 ? 0 : length;
}

const wchar_t* extraInfoMarker(const ProcessDetails& details, DisplayFlags flags)
{
    bool ascii = (flags & OPT_ASCII) != 0;
    if (details.elevated) {
        return ascii ? L"^ " : L"\x2191 ";
    }
    if (details.is32Bit) {
        return ascii ? L"* " : L"\x00BB ";
    }
    return L"  ";
}

const wchar_t* priorityLabel(int32_t priorityIndex)
{
    uint32_t index = static_cast<uint32_t>(priorityIndex);
    return index < static_cast<uint32_t>(PRIORITY_INDEX_COUNT) ? PRIORITY_LABELS[index] : nullptr;
}

int formatStartTime(const SYSTEMTIME& local, const SYSTEMTIME* today, DisplayFlags flags, wchar_t* text,
                    size_t count)
{
    if (count == 0) {
        return 0;
    }
    text[0] = L'\0';
    if (local.wYear == 0) {
        return 0;
    }

    int width;
    if ((flags & OPT_TIME_DATE) != 0 || today == nullptr || !sameDay(local, *today)) {
        (void)formatText(text, count, L"  %04u-%02u-%02u ", local.wYear, local.wMonth, local.wDay);
        width = DATE_WIDTH;
    } else {
        copyText(text, count, L"  ");
        width = SEPARATOR_WIDTH;
    }
    wchar_t part[16];
    (void)formatText(part, 16, L"%02u:%02u", local.wHour, local.wMinute);
    appendText(text, count, part);
    width += HOURS_MINUTES_WIDTH;
    if ((flags & OPT_TIME_MILLIS) != 0) {
        (void)formatText(part, 16, L":%02u.%03u", local.wSecond, local.wMilliseconds);
        appendText(text, count, part);
        width += MILLIS_WIDTH;
    } else if ((flags & OPT_TIME_SECONDS) != 0) {
        (void)formatText(part, 16, L":%02u", local.wSecond);
        appendText(text, count, part);
        width += SECONDS_WIDTH;
    }
    return width;
}

const wchar_t* lineDisplayText(const ProcessRecord& record, const ViewSettings& view)
{
    // In place of every other display text; a process whose command line
    // cannot be read shows none.
    if ((view.flags & OPT_COMMAND_LINE) != 0) {
        return shownCommandLine(view.source, &record);
    }
    if ((view.flags & OPT_FULL_PATH) != 0 && view.source.imagePath != nullptr) {
        const wchar_t* path = view.source.imagePath(view.source.context, &record);
        if (path != nullptr && path[0] != L'\0') {
            return path;
        }
    }
    return record.displayName;
}

void writeLeadingColumns(const ProcessDetails& details, const SubtreeTotals* totals, const ViewSettings& view,
                         LineText* line, wchar_t* text, int32_t* remaining)
{
    // Both are written whatever the width: they keep the names aligned.
    if ((view.flags & OPT_MEMORY) != 0) {
        uint64_t bytes = totals != nullptr ? totals->workingSet : workingSetBytes(details);
        int length = formatMemoryColumn(bytes, view.flags, text, COLUMN_TEXT_COUNT);
        appendToLine(line, text);
        *remaining -= length;
    }
    if ((view.flags & OPT_EXTRA_INFO) != 0) {
        appendToLine(line, extraInfoMarker(details, view.flags));
        *remaining -= 2;
    }
}

void writeTrailingColumns(const ProcessRecord& record, const ProcessDetails& details, const SubtreeTotals* totals,
                          const ViewSettings& view, LineText* line, wchar_t* text, int32_t* remaining)
{
    // A leaf has nothing below it to count.
    if (totals != nullptr && totals->below != 0) {
        writeIfFits(line, text, formatText(text, COLUMN_TEXT_COUNT, L" [+%u]", totals->below), remaining);
    }
    if ((view.flags & OPT_PRIORITY) != 0) {
        const wchar_t* label = priorityLabel(details.priorityIndex);
        if (label != nullptr) {
            writeIfFits(line, text, formatText(text, COLUMN_TEXT_COUNT, L"  %s", label), remaining);
            *remaining -= PRIORITY_EXTRA_COST;
        }
    }
    if ((view.flags & OPT_THREADS) != 0) {
        uint64_t threads = totals != nullptr ? totals->threads : record.entry.cntThreads;
        writeIfFits(line, text, formatText(text, COLUMN_TEXT_COUNT, L" (%I64u)", threads), remaining);
    }
    if ((view.flags & OPT_START_TIME) != 0) {
        int width = formatStartTime(details.localStartTime, view.today, view.flags, text, COLUMN_TEXT_COUNT);
        if (width > 0) {
            writeIfFits(line, text, width, remaining);
        }
    }
}

const wchar_t* shownCommandLine(const RecordSource& source, const ProcessRecord* record)
{
    return source.commandLine != nullptr ? source.commandLine(source.context, record) : nullptr;
}
