// The table reads processes only when output depends on them. These tests
// hold that against the plain order of doing everything first: test every
// parent link in table order, read the details of every process, then print.
// Over many random tables (reused PIDs, equal and missing creation times,
// processes that cannot be opened, parent cycles) both must print the same
// bytes for KINFOLD, ANCESTRY and @ANCESTRY.
#include "commands/ancestry.h"
#include "commands/kinfold_driver.h"
#include "commands/record_source.h"
#include "command_fixtures.h"
#include "console/paging.h"
#include "fake_console.h"
#include "fake_host.h"
#include "procinfo/ancestor_chain.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const int TABLES = 600;

struct RandomSystem {
    std::vector<PROCESSENTRY32W> entries;
    std::map<uint32_t, uint64_t> times;  // absent: the process cannot be opened
    std::map<uint32_t, int> opens;
    bool uniquePids = true;

    static bool read(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path)
    {
        RandomSystem* self = static_cast<RandomSystem*>(context);
        self->opens[pid]++;
        auto time = self->times.find(pid);
        if (time == self->times.end()) {
            return false;
        }
        facts->creationTime = time->second;
        if (want & WANT_DETAILS) {
            facts->priorityIndex = static_cast<int32_t>(pid % 7);
            facts->memory.WorkingSetSize = (pid * 7919u) % 5000u * 1024u;
            facts->elevated = pid % 3 == 0;
            facts->is32Bit = pid % 5 == 0;
        }
        if ((want & WANT_IMAGE_PATH) && path != nullptr) {
            wsprintfW(path, L"C:\\p\\%u.exe", pid);
        }
        return true;
    }
    ProcessProbe probe() { return ProcessProbe{read, this}; }

    static uint64_t timeOf(uint32_t pid, void* context)
    {
        RandomSystem* self = static_cast<RandomSystem*>(context);
        auto time = self->times.find(pid);
        return time == self->times.end() ? 0 : time->second;
    }
};

RandomSystem randomSystem(std::mt19937* random)
{
    std::mt19937& rng = *random;
    RandomSystem system;
    uint32_t count = 1 + rng() % 40;
    uint32_t pool = count + 6;  // PIDs without records, as parents that ended or came later
    const wchar_t* names[] = {L"svchost.exe", L"svchost.exe", L"a.exe", L"B.exe", L"c.exe"};
    std::set<uint32_t> seen;
    for (uint32_t i = 0; i < count; ++i) {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        entry.th32ProcessID = rng() % 20 == 0 ? 0 : 4 * (1 + rng() % pool);
        entry.th32ParentProcessID = rng() % 6 == 0 ? 0 : 4 * (1 + rng() % pool);
        entry.cntThreads = rng() % 9;
        wcscpy(entry.szExeFile, names[rng() % 5]);
        system.uniquePids = system.uniquePids && seen.insert(entry.th32ProcessID).second;
        system.entries.push_back(entry);
    }
    for (uint32_t pid = 4; pid <= 4 * pool; pid += 4) {
        if (rng() % 5 != 0) {
            system.times[pid] = 100 + rng() % 12;  // a narrow range: equal times happen
        }
    }
    return system;
}

// Every link tested in table order, every record's details read: what the
// output would be if the table were built eagerly.
void readEverything(ProcessTable* table)
{
    for (uint32_t i = 0; i < table->count; ++i) {
        (void)validatedParentPid(*table, table->records[i]);
    }
    for (uint32_t i = 0; i < table->count; ++i) {
        (void)recordDetails(*table, table->records[i]);
    }
}

struct Printed {
    int result;
    std::wstring out;
    bool operator==(const Printed& other) const { return result == other.result && out == other.out; }
};

std::ostream& operator<<(std::ostream& stream, const Printed& printed)
{
    return stream << printed.result << "\n" << std::string(printed.out.begin(), printed.out.end());
}

// The system's own service and window names would only slow these tables down.
const DisplayFlags NO_NAMES = OPT_NO_SERVICES | OPT_NO_TITLES;

Printed printTree(RandomSystem* system, const CommandRequest& request, bool eager)
{
    TableOptions options = tableOptionsFor(request.flags | NO_NAMES, false);
    ProcessTable table;
    EXPECT_EQ(0, fillProcessTable(system->entries.data(), static_cast<uint32_t>(system->entries.size()), options,
                                  system->probe(), &table));
    if (eager) {
        readEverything(&table);
    }
    resetTestOutput();
    gFakeHost.out.clear();
    Printed printed;
    printed.result = printKinfoldTree(&table, request, &gTestOutput);
    printed.out = gFakeHost.out;
    return printed;
}

Printed printAncestry(RandomSystem* system, uint32_t pid, DisplayFlags flags, bool eager)
{
    ProcessTable table;
    EXPECT_EQ(0, fillProcessTable(system->entries.data(), static_cast<uint32_t>(system->entries.size()),
                                  tableOptionsFor(flags | NO_NAMES, false), system->probe(), &table));
    if (eager) {
        readEverything(&table);
    }
    AncestorChain chain;
    Printed printed = {0, L""};
    int count = eager ? chainFromEntries(system->entries.data(), static_cast<uint32_t>(system->entries.size()),
                                                 pid, false, RandomSystem::timeOf, system, &chain)
                      : chainFromEntries(system->entries.data(), static_cast<uint32_t>(system->entries.size()),
                                                 pid, false, tableCreationTime, &table, &chain);
    if (count <= 0) {
        printed.result = ROOT_PID_NOT_FOUND;
        return printed;
    }
    resetTestOutput();
    gFakeHost.out.clear();
    ViewSettings view = {};
    view.source = recordSourceFor(&table);
    view.output = &gTestOutput;
    view.width = 100;
    view.flags = flags;
    view.totalCount = chain.count;
    printed.result = renderAncestorLines(chain.pids.get(), chain.count, table, &view);
    printed.out = gFakeHost.out;
    return printed;
}

// The walk as first written: linear lookups, a PID already in the chain ends it.
std::vector<uint32_t> linearWalk(const std::vector<PROCESSENTRY32W>& entries, uint32_t pid, RandomSystem* system)
{
    auto find = [&entries](uint32_t wanted) -> const PROCESSENTRY32W* {
        for (const PROCESSENTRY32W& entry : entries) {
            if (wanted != 0 && entry.th32ProcessID == wanted) return &entry;
        }
        return nullptr;
    };
    std::vector<uint32_t> chain;
    const PROCESSENTRY32W* entry = find(pid);
    if (entry == nullptr) return chain;
    uint64_t childTime = RandomSystem::timeOf(pid, system);
    chain.push_back(pid);
    uint32_t parentPid = entry->th32ParentProcessID;
    while (parentPid != 0 && chain.size() < entries.size()) {
        bool again = false;
        for (uint32_t held : chain) again = again || held == parentPid;
        const PROCESSENTRY32W* parent = find(parentPid);
        if (again || parent == nullptr) break;
        uint64_t parentTime = 0;
        if (childTime != 0) {
            parentTime = RandomSystem::timeOf(parentPid, system);
            if (parentTime != 0 && parentTime > childTime) break;
        }
        chain.push_back(parentPid);
        childTime = parentTime;
        parentPid = parent->th32ParentProcessID;
    }
    return chain;
}

}  // namespace

TEST(LazyReads, KinfoldPrintsWhatReadingEverythingFirstPrints)
{
    std::mt19937 rng(20261208);
    SYSTEMTIME today = {};
    today.wYear = 2024;
    today.wMonth = 6;
    today.wDay = 15;
    const struct {
        DisplayFlags flags;
        const wchar_t* keys;
    } modes[] = {
        {OPT_ASCII | OPT_COUNT, L""},
        {OPT_ASCII | OPT_PARENT_PID, nullptr},
        {OPT_ASCII | OPT_OPEN_PROCESSES | OPT_MEMORY | OPT_PRIORITY | OPT_EXTRA_INFO, L"Mn"},
        {OPT_ASCII | OPT_OPEN_PROCESSES | OPT_START_TIME, L"t"},
        {OPT_ASCII | OPT_OPEN_PROCESSES | OPT_SERVICES_ROOT | OPT_COUNT, L"-ew"},
        {OPT_ASCII | OPT_FULL_PATH | OPT_SERVICES_ROOT, L"c"},
    };
    int compared = 0;
    for (int round = 0; round < TABLES; ++round) {
        RandomSystem system = randomSystem(&rng);
        uint32_t rootPid = 4 * (1 + rng() % (system.entries.size() + 6));
        for (const auto& mode : modes) {
            CommandRequest request = {nullptr, mode.keys, rootPid, nullptr, 100, mode.flags, &today};
            Printed eager = printTree(&system, request, true);
            system.opens.clear();
            Printed lazy = printTree(&system, request, false);
            ASSERT_EQ(eager, lazy) << "table " << round << ", flags " << std::hex << mode.flags;
            if (system.uniquePids) {
                for (const auto& open : system.opens) {
                    ASSERT_EQ(1, open.second) << "table " << round << ": PID " << open.first << " opened again";
                }
            }
            ++compared;
        }
    }
    EXPECT_EQ(TABLES * 6, compared);
}

TEST(LazyReads, AncestryAndItsFunctionFollowTheLinearWalk)
{
    std::mt19937 rng(8122026);
    for (int round = 0; round < TABLES; ++round) {
        RandomSystem system = randomSystem(&rng);
        uint32_t pid = 4 * (1 + rng() % (system.entries.size() + 6));
        // The walk, and with it @ANCESTRY's line.
        std::vector<uint32_t> expected = linearWalk(system.entries, pid, &system);
        AncestorChain chain;
        int count = chainFromEntries(system.entries.data(), static_cast<uint32_t>(system.entries.size()), pid,
                                             true, RandomSystem::timeOf, &system, &chain);
        ASSERT_EQ(expected.size(), static_cast<size_t>(count)) << "table " << round;
        ASSERT_EQ(expected, std::vector<uint32_t>(chain.pids.get(), chain.pids.get() + chain.count));
        for (uint32_t i = 0; i < chain.count; ++i) {
            const wchar_t* row = chain.nameTable.get() + i * chain.nameWidth;
            for (const PROCESSENTRY32W& entry : system.entries) {
                if (entry.th32ProcessID == expected[i]) {
                    EXPECT_STREQ(entry.szExeFile, row);
                    break;
                }
            }
        }
        // ANCESTRY's lines, with times read live or through the table.
        for (DisplayFlags flags : {DisplayFlags(OPT_ASCII | OPT_COUNT),
                                   DisplayFlags(OPT_NO_TREE | OPT_OPEN_PROCESSES | OPT_MEMORY | OPT_REVERSE)}) {
            Printed eager = printAncestry(&system, pid, flags, true);
            system.opens.clear();
            Printed lazy = printAncestry(&system, pid, flags, false);
            ASSERT_EQ(eager, lazy) << "table " << round;
            if (system.uniquePids) {
                // The members, and the parent whose time ended the walk.
                std::set<uint32_t> members(expected.begin(), expected.end());
                for (const PROCESSENTRY32W& entry : system.entries) {
                    if (!expected.empty() && entry.th32ProcessID == expected.back()) {
                        members.insert(entry.th32ParentProcessID);
                    }
                }
                for (const auto& open : system.opens) {
                    ASSERT_EQ(1, open.second) << "PID " << open.first << " opened again";
                    EXPECT_EQ(1u, members.count(open.first)) << "PID " << open.first << " is no chain member";
                }
            }
        }
    }
}
