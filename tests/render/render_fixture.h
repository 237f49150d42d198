// Synthetic process tables and a view over them, for the renderer's tests.
#pragma once
#include "fake_console.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "procinfo/process_record.h"
#include "render/tree.h"
#include "render/view.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <string.h>
#include <wchar.h>

#include <map>
#include <string>
#include <vector>

// A record with the details its source answers for it, set by the test.
struct SyntheticRecord : ProcessRecord {
    ProcessDetails details;
};

inline SyntheticRecord makeRecord(uint32_t pid, uint32_t parent, const wchar_t* exe)
{
    SyntheticRecord record;
    memset(&record, 0, sizeof(record));
    record.entry.dwSize = sizeof(record.entry);
    record.entry.th32ProcessID = pid;
    record.entry.th32ParentProcessID = parent;
    record.entry.cntThreads = 1;
    wcsncpy(record.entry.szExeFile, exe, MAX_PATH - 1);
    return record;
}

// 2021-03-04 05:06:07.089 UTC, years before the fixture's today.
const uint64_t kStartTicks = 132593079670890000ull;

// A creation time in local time, converted as the process table converts
// it: with the daylight-saving rule of that date; wYear 0 when it cannot be.
inline SYSTEMTIME localTimeOf(uint64_t ticks)
{
    FILETIME created;
    created.dwLowDateTime = static_cast<DWORD>(ticks);
    created.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc;
    SYSTEMTIME local;
    if (ticks == 0 || !FileTimeToSystemTime(&created, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        memset(&local, 0, sizeof(local));
    }
    return local;
}

// A synthetic table as the renderer sees it: children by their recorded
// parent, in table order; each record's own details, its creation time in
// local time; paths from a map, counted.
struct SyntheticSource {
    const std::vector<SyntheticRecord>* table = nullptr;
    std::vector<std::pair<uint32_t, std::wstring>> paths;
    std::map<const ProcessRecord*, ProcessDetails> answered;
    int pathQueries = 0;

    static uint32_t slotOf(void* context, const ProcessRecord* record)
    {
        const std::vector<SyntheticRecord>& table = *static_cast<SyntheticSource*>(context)->table;
        bool inTable = false;
        for (const SyntheticRecord& entry : table) inTable = inTable || &entry == record;
        for (size_t i = 0; inTable && i < table.size(); ++i) {
            if (table[i].entry.th32ProcessID == record->entry.th32ProcessID) return static_cast<uint32_t>(i);
        }
        return NO_RECORD;
    }
    static uint32_t childCount(void* context, uint32_t pid)
    {
        uint32_t n = 0;
        for (const SyntheticRecord& record : *static_cast<SyntheticSource*>(context)->table) {
            n += record.entry.th32ProcessID != 0 && record.entry.th32ParentProcessID == pid;
        }
        return n;
    }
    static uint32_t children(void* context, uint32_t pid, const ProcessRecord** out, uint32_t room)
    {
        uint32_t n = 0;
        for (const SyntheticRecord& record : *static_cast<SyntheticSource*>(context)->table) {
            if (n < room && record.entry.th32ProcessID != 0 && record.entry.th32ParentProcessID == pid) {
                out[n++] = &record;
            }
        }
        return n;
    }
    static uint32_t parentPid(void*, const ProcessRecord* record) { return record->entry.th32ParentProcessID; }
    static const ProcessDetails* details(void* context, const ProcessRecord* record)
    {
        ProcessDetails& details = static_cast<SyntheticSource*>(context)->answered[record];
        details = static_cast<const SyntheticRecord*>(record)->details;
        details.localStartTime = localTimeOf(details.creationTime);
        return &details;
    }
    static const wchar_t* imagePath(void* context, const ProcessRecord* record)
    {
        SyntheticSource* self = static_cast<SyntheticSource*>(context);
        self->pathQueries++;
        for (const auto& path : self->paths) {
            if (path.first == record->entry.th32ProcessID) return path.second.c_str();
        }
        return nullptr;
    }
};

// Colour off, no paging, and a view with room for everything.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetTestOutput();
        memset(&today_, 0, sizeof(today_));
        today_.wYear = 2024;
        today_.wMonth = 6;
        today_.wDay = 15;
    }

    ViewSettings viewOf(const std::vector<SyntheticRecord>& table, DisplayFlags flags, uint32_t width = 79,
                        const wchar_t* sortKeys = L"")
    {
        source_.table = &table;
        ViewSettings view;
        memset(&view, 0, sizeof(view));
        view.source = RecordSource{&source_,
                                   static_cast<uint32_t>(table.size()),
                                   SyntheticSource::slotOf,
                                   SyntheticSource::childCount,
                                   SyntheticSource::children,
                                   SyntheticSource::parentPid,
                                   SyntheticSource::details,
                                   SyntheticSource::imagePath};
        view.output = &gTestOutput;
        view.sortKeys = sortKeys;
        view.width = width;
        view.flags = flags;
        view.parentPidOnFirstLine = (flags & OPT_PARENT_PID) != 0;
        view.today = &today_;
        return view;
    }

    // Renders the whole tree from the record with this PID and returns the output.
    std::wstring renderTree(const std::vector<SyntheticRecord>& table, uint32_t rootPid, DisplayFlags flags,
                            uint32_t width = 79, const wchar_t* sortKeys = L"")
    {
        ViewSettings view = viewOf(table, flags, width, sortKeys);
        const ProcessRecord* root = nullptr;
        for (const SyntheticRecord& record : table) {
            root = record.entry.th32ProcessID == rootPid ? &record : root;
        }
        gFakeHost.out.clear();
        EXPECT_EQ(0, ::renderTree(root, nullptr, &view));
        return gFakeHost.out;
    }

    // Splits the output at its line ends; it must end with one.
    static std::vector<std::wstring> linesOf(const std::wstring& text)
    {
        std::vector<std::wstring> lines;
        size_t start = 0;
        for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        EXPECT_EQ(start, text.size()) << "output does not end with a line end";
        return lines;
    }

    SYSTEMTIME today_;
    SyntheticSource source_;
};
