// Figures for large synthetic process tables: how long the tree walk and the
// sibling comparison take. Prints timings only; nothing here can fail a build.
#include "commands/record_source.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "procinfo/process_table.h"
#include "render/sibling_order.h"
#include "render/tree.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

const wchar_t* const NAMES[] = {L"svchost.exe", L"conhost.exe", L"explorer.exe", L"chrome.exe",
                                L"RuntimeBroker.exe", L"tcc.exe", L"notepad.exe", L"a-rather-long-program-name.exe"};
const wchar_t* const DISPLAY[] = {nullptr, L"Event Log", L"Remote Procedure Call (RPC)", nullptr,
                                  L"Untitled - Notepad", nullptr};

struct Lcg {
    uint32_t state;
    uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

// Record 0 is the root (PID 4); every other record's parent is an earlier
// record, picked at random, or the root itself when flat is true.
std::vector<ProcessRecord> syntheticTable(uint32_t count, bool flat)
{
    std::vector<ProcessRecord> table(count);
    initProcessRecords(table.data(), count);
    Lcg random = {12345};
    for (uint32_t i = 0; i < count; ++i) {
        ProcessRecord& record = table[i];
        record.entry.th32ProcessID = 4 + 4 * i;
        record.entry.th32ParentProcessID = i == 0 ? 0 : (flat ? 4 : 4 + 4 * (random.next() % i));
        record.entry.cntThreads = 1 + random.next() % 64;
        wcscpy(record.entry.szExeFile, NAMES[random.next() % (sizeof(NAMES) / sizeof(NAMES[0]))]);
        record.displayName = DISPLAY[random.next() % (sizeof(DISPLAY) / sizeof(DISPLAY[0]))];
        record.memory.WorkingSetSize = static_cast<SIZE_T>(random.next()) * 16;
        uint64_t created = 133500000000000000ull + static_cast<uint64_t>(random.next()) * 1000;
        record.creationTime.dwLowDateTime = static_cast<DWORD>(created);
        record.creationTime.dwHighDateTime = static_cast<DWORD>(created >> 32);
        record.elevated = random.next() % 2;
        record.priorityIndex = static_cast<int32_t>(random.next() % PRIORITY_INDEX_COUNT);
    }
    // Snapshot order is not PID order.
    std::reverse(table.begin() + 1, table.end());
    return table;
}

double seconds(LARGE_INTEGER start, LARGE_INTEGER end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void timeRender(const char* label, const std::vector<ProcessRecord>& table, const wchar_t* keys, DisplayFlags flags)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    // The records go through a real process table, indexes and all; no
    // process is opened, so every parent link holds.
    std::vector<PROCESSENTRY32W> entries;
    for (const ProcessRecord& record : table) {
        entries.push_back(record.entry);
    }
    ProcessTable processes;
    TableOptions options = {false, false, false, false};
    if (fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), options, ProcessProbe{nullptr, nullptr},
                         &processes) != 0) {
        return;
    }
    for (size_t i = 0; i < table.size(); ++i) {
        processes.records[i] = table[i];
    }
    ViewSettings view;
    memset(&view, 0, sizeof(view));
    view.source = recordSourceFor(&processes);
    view.output = &gTestOutput;
    view.sortKeys = keys;
    view.width = 120;
    view.flags = flags;
    view.today = &today;
    resetFakeHost();
    gFakeHost.out.reserve(table.size() * 130);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    int result = renderProcess(&processes.records[0], nullptr, true, true, &view);
    QueryPerformanceCounter(&end);
    printf("  %-44s %6u lines  %8.3f s  (result %d, %zu units of output)\n", label, view.printedCount,
           seconds(start, end), result, gFakeHost.out.size());
}

void timeSort(const char* label, const std::vector<ProcessRecord>& table, const wchar_t* keys)
{
    std::vector<const ProcessRecord*> pointers;
    for (const ProcessRecord& record : table) {
        pointers.push_back(&record);
    }
    const int rounds = 20;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int round = 0; round < rounds; ++round) {
        std::vector<const ProcessRecord*> copy = pointers;
        std::sort(copy.begin(), copy.end(), [keys](const ProcessRecord* a, const ProcessRecord* b) {
            return compareSiblings(keys, &a, &b) < 0;
        });
    }
    QueryPerformanceCounter(&end);
    printf("  %-44s %6zu records %8.3f ms per sort\n", label, pointers.size(), seconds(start, end) * 1000.0 / rounds);
}

}  // namespace

TEST(Benchmark, TreeWalkAndSiblingOrder)
{
    resetTestOutput();
    const uint32_t count = 10000;
    std::vector<ProcessRecord> tree = syntheticTable(count, false);
    std::vector<ProcessRecord> flat = syntheticTable(count, true);

    printf("\nrenderProcess over %u synthetic processes (width 120, no colour, no paging):\n", count);
    timeRender("random tree, PID order", tree, L"", 0);
    timeRender("random tree, /O:U (snapshot order)", tree, nullptr, 0);
    timeRender("random tree, /O:-TN /K /M /C /T:F", tree, L"Tn",
               OPT_THREADS | OPT_MEMORY | OPT_PRIORITY | OPT_START_TIME | OPT_TIME_DATE | OPT_TIME_SECONDS |
                   OPT_TIME_MILLIS);
    timeRender("one parent, all siblings, PID order", flat, L"", 0);
    timeRender("one parent, all siblings, /O:DMK", flat, L"dmk", 0);

    printf("compareSiblings under std::sort:\n");
    timeSort("no keys (PID)", tree, L"");
    timeSort("N (name)", tree, L"n");
    timeSort("D (display name)", tree, L"d");
    timeSort("-T N (newest first, then name)", tree, L"Tn");
    timeSort("C E K M N P T W D (all keys)", tree, L"ceKmnptwd");
    resetFakeHost();
}
