// Synthetic process tables and a view over them, for the renderer's tests.
#pragma once
#include "commands/view_settings.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "plugin/plugin.h"
#include "procinfo/process_table.h"
#include "render/tree.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

inline ProcessRecord makeRecord(uint32_t pid, uint32_t parent, const wchar_t* exe)
{
    ProcessRecord record;
    memset(&record, 0, sizeof(record));
    record.entry.dwSize = sizeof(record.entry);
    record.entry.th32ProcessID = pid;
    record.entry.th32ParentProcessID = parent;
    record.entry.cntThreads = 1;
    wcsncpy(record.entry.szExeFile, exe, MAX_PATH - 1);
    record.memory.cb = sizeof(record.memory);
    return record;
}

inline FILETIME makeFileTime(uint64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// 2021-03-04 05:06:07.089 UTC, years before the fixture's today.
const uint64_t kStartTicks = 132593079670890000ull;

// Colour off, no paging, and a view with room for everything.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gAttributes = ConsoleAttributes();
        gPaging.pageLength = gPaging.linesLeft = 0;
        gPaging.pauseTimeout = gPaging.stopState = 0;
        gPaging.breakCount = 0;
        savedQuery_ = gPluginState.queryFullProcessImageName;
        memset(&today_, 0, sizeof(today_));
        today_.wYear = 2024;
        today_.wMonth = 6;
        today_.wDay = 15;
    }
    void TearDown() override
    {
        gPluginState.queryFullProcessImageName = savedQuery_;
        gPaging.stopState = 0;
    }

    ViewSettings viewOf(const std::vector<ProcessRecord>& table, DisplayFlags flags, uint32_t width = 79,
                        const wchar_t* sortKeys = L"")
    {
        ViewSettings view;
        memset(&view, 0, sizeof(view));
        view.table = table.data();
        view.count = static_cast<uint32_t>(table.size());
        view.sortKeys = sortKeys;
        view.width = width;
        view.flags = flags;
        view.today = &today_;
        return view;
    }

    // Renders the whole tree from the record with this PID and returns the output.
    std::wstring renderTree(const std::vector<ProcessRecord>& table, uint32_t rootPid, DisplayFlags flags,
                            uint32_t width = 79, const wchar_t* sortKeys = L"")
    {
        ViewSettings view = viewOf(table, flags, width, sortKeys);
        const ProcessRecord* root = nullptr;
        for (const ProcessRecord& record : table) {
            root = record.entry.th32ProcessID == rootPid ? &record : root;
        }
        gFakeHost.out.clear();
        EXPECT_EQ(0, renderProcess(root, nullptr, true, true, &view));
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
    QueryFullProcessImageNameFn savedQuery_ = nullptr;
};
