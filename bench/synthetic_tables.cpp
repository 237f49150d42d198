#include "synthetic_tables.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>

namespace {

const wchar_t* const NAMES[] = {L"svchost.exe", L"conhost.exe", L"explorer.exe", L"chrome.exe",
                                L"RuntimeBroker.exe", L"tcc.exe", L"notepad.exe",
                                L"a-rather-long-program-name.exe"};
const DWORD PRIORITY_CLASSES[] = {NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                                  IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS,
                                  ABOVE_NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS};
// A machine booted some while ago (2024); a process starts every 5 ms or so.
const uint64_t BOOT_TIME = 133500000000000000ull;
const uint64_t START_SPACING = 50000;

struct Lcg {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t below(uint32_t bound) { return bound == 0 ? 0 : next() % bound; }
};

// parentIndex[i] < i for every i > 0 (creation order); index 0 is the root.
SyntheticTable buildTable(const std::string& label, const std::vector<uint32_t>& parentIndex, uint64_t seed)
{
    uint32_t count = static_cast<uint32_t>(parentIndex.size());
    Lcg random = {seed};
    // PIDs are multiples of 4 handed out in no particular order, as after
    // a long uptime with many processes come and gone.
    std::vector<uint32_t> pids(count);
    for (uint32_t i = 0; i < count; ++i) {
        pids[i] = 8 + 4 * i;
    }
    for (uint32_t i = count; i > 1; --i) {
        std::swap(pids[i - 1], pids[random.below(i)]);
    }

    SyntheticTable table;
    table.label = label;
    table.processes.resize(count);
    std::vector<uint32_t> depth(count, 0);
    uint64_t created = BOOT_TIME;
    for (uint32_t i = 0; i < count; ++i) {
        SyntheticProcess& process = table.processes[i];
        memset(&process.entry, 0, sizeof(process.entry));
        process.entry.dwSize = sizeof(process.entry);
        process.entry.th32ProcessID = pids[i];
        process.entry.th32ParentProcessID = i == 0 ? 0 : pids[parentIndex[i]];
        process.entry.cntThreads = 1 + random.below(64);
        process.entry.pcPriClassBase = 8;
        wcscpy(process.entry.szExeFile, NAMES[random.below(sizeof(NAMES) / sizeof(NAMES[0]))]);
        // Strictly later than every earlier process, so parents are older.
        created += 1 + random.below(2 * START_SPACING);
        process.creationTime = created;
        process.workingSet = static_cast<SIZE_T>(1 + random.below(1u << 20)) * 4096;
        process.priorityClass = PRIORITY_CLASSES[random.below(sizeof(PRIORITY_CLASSES) / sizeof(PRIORITY_CLASSES[0]))];
        process.elevated = random.below(2) == 0;
        process.wow64 = random.below(8) == 0;
        depth[i] = i == 0 ? 0 : depth[parentIndex[i]] + 1;
    }
    uint32_t deepest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (depth[i] > depth[deepest]) {
            deepest = i;
        }
    }
    table.rootPid = pids[0];
    table.deepestPid = pids[deepest];
    table.deepestDepth = depth[deepest];

    // The snapshot lists processes in no relation to their ages.
    for (uint32_t i = count; i > 1; --i) {
        std::swap(table.processes[i - 1], table.processes[random.below(i)]);
    }
    table.indexByPid.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        table.indexByPid[table.processes[i].entry.th32ProcessID] = i;
    }
    return table;
}

}  // namespace

std::string groupedNumber(uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

SyntheticTable randomTable(uint32_t count)
{
    Lcg random = {count * 7919ull + 1};
    std::vector<uint32_t> parents(count, 0);
    for (uint32_t i = 1; i < count; ++i) {
        parents[i] = random.below(i);
    }
    return buildTable("random " + groupedNumber(count), parents, count);
}

SyntheticTable starTable(uint32_t count)
{
    return buildTable("star " + groupedNumber(count), std::vector<uint32_t>(count, 0), count + 1);
}

SyntheticTable chainTable(uint32_t count)
{
    std::vector<uint32_t> parents(count, 0);
    for (uint32_t i = 1; i < count; ++i) {
        parents[i] = i - 1;
    }
    return buildTable("chain " + groupedNumber(count), parents, count + 2);
}
