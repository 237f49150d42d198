#include "procinfo/ancestor_chain.h"
#include "procinfo/process_access.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint32_t> Chain;

struct FakeProcess {
    uint32_t pid, parentPid;
    uint64_t creationTime;  // 0: cannot be opened
    const wchar_t* name = L"x.exe";
};

// A synthetic snapshot with creation times, recording the time queries.
struct Snapshot {
    std::vector<PROCESSENTRY32W> entries;
    std::map<uint32_t, uint64_t> times;
    Chain timeQueries;

    explicit Snapshot(const std::vector<FakeProcess>& processes)
    {
        for (const FakeProcess& process : processes) {
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof(entry);
            entry.th32ProcessID = process.pid;
            entry.th32ParentProcessID = process.parentPid;
            wcsncpy(entry.szExeFile, process.name, MAX_PATH - 1);
            entries.push_back(entry);
            times[process.pid] = process.creationTime;
        }
    }
    uint32_t count() const { return static_cast<uint32_t>(entries.size()); }

    static uint64_t timeOf(uint32_t pid, void* context)
    {
        Snapshot* self = static_cast<Snapshot*>(context);
        self->timeQueries.push_back(pid);
        return self->times.count(pid) ? self->times[pid] : 0;
    }

    // The chain of pid through the snapshot walk, as @ANCESTRY takes it.
    int chainOf(uint32_t pid, bool withNames, AncestorChain* chain)
    {
        SnapshotEntries snapshot;
        EXPECT_EQ(0, snapshotFromEntries(entries.data(), count(), &snapshot));
        return ancestorChainFromSnapshot(snapshot, pid, withNames, timeOf, this, chain);
    }
    Chain walk(uint32_t pid)
    {
        AncestorChain chain;
        int n = chainOf(pid, false, &chain);
        EXPECT_EQ(static_cast<int>(chain.count), n);
        return Chain(chain.pids.get(), chain.pids.get() + chain.count);
    }
};

TEST(AncestorWalk, AcceptsParentsByCreationTime)
{
    struct Case { const char* what; std::vector<FakeProcess> processes; uint32_t start; Chain expected; };
    const Case cases[] = {
        {"plain", {{4, 0, 10}, {8, 4, 20}, {12, 8, 30}}, 12, {12, 8, 4}},
        {"parent gone", {{16, 99, 40}}, 16, {16}},
        {"not in snapshot", {{4, 0, 10}}, 20, {}},
        {"PID 0", {{0, 0, 0}, {4, 0, 10}}, 0, {}},
        {"reused parent PID", {{4, 0, 500}, {8, 4, 100}, {12, 8, 200}}, 12, {12, 8}},
        {"equal times", {{4, 0, 100}, {8, 4, 100}, {12, 8, 100}}, 12, {12, 8, 4}},
        {"duplicate PID", {{4, 0, 10}, {8, 4, 20}, {8, 99, 20}, {12, 8, 30}}, 12, {12, 8, 4}},
        // Parent links in a ring, times unavailable or equal: every PID once.
        {"ring", {{4, 12, 0}, {8, 4, 0}, {12, 8, 0}}, 8, {8, 4, 12}},
        {"equal-time ring", {{4, 8, 50}, {8, 4, 50}}, 4, {4, 8}},
        {"ring above a chain", {{4, 8, 0}, {8, 4, 0}, {20, 4, 0}, {24, 20, 0}}, 24, {24, 20, 4, 8}},
        // A ring with fewer members than the snapshot: only the recurrence
        // check ends it, not the bound of one PID per entry.
        {"ring shorter than the snapshot", {{4, 8, 0}, {8, 4, 0}, {100, 0, 0}}, 4, {4, 8}},
    };
    for (const Case& c : cases) {
        Snapshot snapshot(c.processes);
        EXPECT_EQ(c.expected, snapshot.walk(c.start)) << c.what;
    }
}

// Once a time is missing, no later parent is compared or even asked about.
TEST(AncestorWalk, AMissingTimeEndsTimeChecks)
{
    Snapshot parentUnopenable({{4, 0, 900}, {8, 4, 0}, {12, 8, 200}});
    EXPECT_EQ((Chain{12, 8, 4}), parentUnopenable.walk(12));
    EXPECT_EQ((Chain{12, 8}), parentUnopenable.timeQueries);

    Snapshot startUnopenable({{4, 0, 900}, {8, 4, 800}, {12, 8, 0}});
    EXPECT_EQ((Chain{12, 8, 4}), startUnopenable.walk(12));
    EXPECT_EQ((Chain{12}), startUnopenable.timeQueries);
}

// 5000 entries span several snapshot chunks.
TEST(AncestorWalk, LongChains)
{
    for (uint32_t depth : {30u, 5000u}) {
        std::vector<FakeProcess> processes;
        for (uint32_t i = depth; i >= 1; --i) {  // reversed, so every lookup scans
            processes.push_back({i * 4, (i - 1) * 4, 1000 + i});
        }
        Chain chain = Snapshot(processes).walk(depth * 4);
        ASSERT_EQ(depth, chain.size());
        EXPECT_EQ(4u, chain.back());
    }
}

TEST(AncestorChainOutputs, NameTableRowsAreTheWidestNamePlusOne)
{
    Snapshot snapshot({{4, 0, 10, L"services.exe"}, {8, 4, 20, L"svchost.exe"}, {12, 8, 30, L"a.exe"},
                       {16, 0, 5, L"an-unrelated-long-name.exe"}});
    AncestorChain chain;
    EXPECT_EQ(3, snapshot.chainOf(12, true, &chain));
    EXPECT_EQ((Chain{12, 8, 4}), Chain(chain.pids.get(), chain.pids.get() + chain.count));
    ASSERT_EQ(13u, chain.nameWidth);  // "services.exe" + 1
    EXPECT_EQ(std::wstring(L"a.exe\0\0\0\0\0\0\0\0svchost.exe\0\0services.exe", 38),
              std::wstring(chain.nameTable.get(), 38));

    // Without names no table is made.
    AncestorChain bare;
    EXPECT_EQ(3, snapshot.chainOf(12, false, &bare));
    EXPECT_TRUE(bare.nameTable == nullptr && bare.nameWidth == 0);

    // No chain: every output cleared, also what an earlier call left.
    EXPECT_EQ(0, snapshot.chainOf(40, true, &chain));
    EXPECT_TRUE(chain.count == 0 && chain.pids == nullptr && chain.nameTable == nullptr && chain.nameWidth == 0);
}

TEST(AncestorChainOutputs, LiveLookupsStartAtTheCallingProcess)
{
    EXPECT_EQ(-1, getAncestorChain(4, false, NULL, NULL, NULL));

    AncestorChain chain;
    int n = getAncestorChain(0, false, NULL, NULL, &chain);
    ASSERT_GE(n, 1);
    EXPECT_EQ(static_cast<uint32_t>(n), chain.count);
    EXPECT_EQ(GetCurrentProcessId(), chain.pids[0]);
    EXPECT_EQ(nullptr, chain.nameTable);

    EXPECT_EQ(0u, creationTimeOf(0));
    EXPECT_EQ(0u, creationTimeOf(0xFFFFFFF0u));  // nobody's PID
    EXPECT_NE(0u, creationTimeOf(GetCurrentProcessId()) >> 32);
}

}  // namespace
