#include "procinfo/ancestor_chain.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct FakeProcess {
    uint32_t pid;
    uint32_t parentPid;
    uint64_t creationTime;  // 0: cannot be opened
    const wchar_t* name = L"x.exe";
};

// A synthetic snapshot with creation times, counting the time queries.
struct Snapshot {
    std::vector<PROCESSENTRY32W> entries;
    std::map<uint32_t, uint64_t> times;
    std::vector<uint32_t> timeQueries;

    explicit Snapshot(const std::vector<FakeProcess>& processes)
    {
        for (const FakeProcess& process : processes) {
            add(process.pid, process.parentPid, process.creationTime, process.name);
        }
    }
    void add(uint32_t pid, uint32_t parentPid, uint64_t time, const wchar_t* name = L"x.exe")
    {
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        entry.th32ProcessID = pid;
        entry.th32ParentProcessID = parentPid;
        wcsncpy(entry.szExeFile, name, MAX_PATH - 1);
        entries.push_back(entry);
        times[pid] = time;
    }
    uint32_t count() const { return static_cast<uint32_t>(entries.size()); }

    static uint64_t timeOf(uint32_t pid, void* context)
    {
        Snapshot* self = static_cast<Snapshot*>(context);
        self->timeQueries.push_back(pid);
        auto found = self->times.find(pid);
        return found == self->times.end() ? 0 : found->second;
    }

    std::vector<uint32_t> walk(uint32_t pid)
    {
        std::vector<uint32_t> work(entries.size() + 1, 0xDEADBEEF);
        uint32_t n = walkAncestorChain(entries.data(), count(), pid, timeOf, this, work.data());
        EXPECT_EQ(0xDEADBEEF, work[entries.size()]) << "walk wrote past its work array";
        work.resize(n);
        return work;
    }
};

typedef std::vector<uint32_t> Chain;

TEST(AncestorWalk, FollowsParentsUpToTheOldestLivingAncestor)
{
    Snapshot snapshot({{4, 0, 10, L"init.exe"},
                       {8, 4, 20, L"shell.exe"},
                       {12, 8, 30, L"tool.exe"},
                       {16, 99, 40, L"orphan.exe"}});
    EXPECT_EQ((Chain{12, 8, 4}), snapshot.walk(12));
    EXPECT_EQ((Chain{4}), snapshot.walk(4));     // recorded parent 0
    EXPECT_EQ((Chain{16}), snapshot.walk(16));   // parent 99 has ended
    EXPECT_EQ(Chain{}, snapshot.walk(20));       // not in the snapshot
    EXPECT_EQ(Chain{}, snapshot.walk(0));        // PID 0 is never a process
}

TEST(AncestorWalk, ReusedParentPidEndsTheChain)
{
    // 8's parent 4 has ended and its PID went to a younger process.
    Snapshot snapshot({{4, 0, 500}, {8, 4, 100}, {12, 8, 200}});
    EXPECT_EQ((Chain{12, 8}), snapshot.walk(12));
}

TEST(AncestorWalk, EqualTimesAreAccepted)
{
    Snapshot snapshot({{4, 0, 100}, {8, 4, 100}, {12, 8, 100}});
    EXPECT_EQ((Chain{12, 8, 4}), snapshot.walk(12));
}

TEST(AncestorWalk, AParentWithoutTimeIsTakenAndEndsTimeChecks)
{
    // 8 cannot be opened: taken; above it, 4 would be "newer" than 12 but is
    // no longer compared, and its time is never asked for.
    Snapshot snapshot({{4, 0, 900}, {8, 4, 0}, {12, 8, 200}});
    EXPECT_EQ((Chain{12, 8, 4}), snapshot.walk(12));
    EXPECT_EQ((Chain{12, 8}), snapshot.timeQueries);
}

TEST(AncestorWalk, StartWithoutTimeNeverAsksAgain)
{
    Snapshot snapshot({{4, 0, 900}, {8, 4, 800}, {12, 8, 0}});
    EXPECT_EQ((Chain{12, 8, 4}), snapshot.walk(12));
    EXPECT_EQ((Chain{12}), snapshot.timeQueries);
}

// Parent links in a ring, times unavailable (or equal): the walk must end
// with every PID once and never more than N of them.
TEST(AncestorWalk, CyclesEnd)
{
    Snapshot ring({{4, 12, 0}, {8, 4, 0}, {12, 8, 0}, {16, 16, 0}});
    EXPECT_EQ((Chain{8, 4, 12}), ring.walk(8));
    EXPECT_EQ((Chain{16}), ring.walk(16));  // its own parent

    Snapshot equal({{4, 8, 50}, {8, 4, 50}});
    EXPECT_EQ((Chain{4, 8}), equal.walk(4));

    // A cycle above a plain chain: the tail stops at the repeat.
    Snapshot tail({{4, 8, 0}, {8, 4, 0}, {20, 4, 0}, {24, 20, 0}});
    EXPECT_EQ((Chain{24, 20, 4, 8}), tail.walk(24));
}

TEST(AncestorWalk, DuplicatePidsUseTheFirstEntry)
{
    Snapshot snapshot({{4, 0, 10}, {8, 4, 20}, {8, 99, 20}, {12, 8, 30}});
    EXPECT_EQ((Chain{12, 8, 4}), snapshot.walk(12));
}

TEST(AncestorWalk, LongChains)
{
    for (uint32_t depth : {30u, 5000u}) {
        Snapshot snapshot({});
        // Entries in reverse so every lookup has to scan.
        for (uint32_t i = depth; i >= 1; --i) {
            snapshot.add(i * 4, (i - 1) * 4, 1000 + i);
        }
        Chain chain = snapshot.walk(depth * 4);
        ASSERT_EQ(depth, chain.size());
        EXPECT_EQ(depth * 4, chain.front());
        EXPECT_EQ(4u, chain.back());
    }
}

struct Outputs {
    uint32_t count = 77;
    uint32_t* chain = reinterpret_cast<uint32_t*>(0x1);
    wchar_t* names = reinterpret_cast<wchar_t*>(0x1);
    uint32_t width = 77;
    ~Outputs()
    {
        if (chain != reinterpret_cast<uint32_t*>(0x1)) delete[] chain;
        if (names != reinterpret_cast<wchar_t*>(0x1)) delete[] names;
    }
};

TEST(AncestorChainOutputs, NameTableRowsAreTheWidestNamePlusOne)
{
    Snapshot snapshot({{4, 0, 10, L"services.exe"},
                       {8, 4, 20, L"svchost.exe"},
                       {12, 8, 30, L"a.exe"},
                       {16, 0, 5, L"an-unrelated-long-name.exe"}});
    Outputs out;
    EXPECT_EQ(3, ancestorChainFromEntries(snapshot.entries.data(), snapshot.count(), 12,
                                          Snapshot::timeOf, &snapshot, &out.count, &out.chain,
                                          &out.names, &out.width));
    ASSERT_EQ(3u, out.count);
    EXPECT_EQ((Chain{12, 8, 4}), Chain(out.chain, out.chain + 3));
    ASSERT_EQ(13u, out.width);  // "services.exe" + 1
    EXPECT_STREQ(L"a.exe", out.names);
    EXPECT_STREQ(L"svchost.exe", out.names + 13);
    EXPECT_STREQ(L"services.exe", out.names + 26);
    // Rows are zero after the name.
    for (uint32_t i = 5; i < 13; ++i) {
        EXPECT_EQ(L'\0', out.names[i]);
    }
}

TEST(AncestorChainOutputs, NoChainClearsEveryOutput)
{
    Snapshot snapshot({{4, 0, 10}});
    Outputs out;
    EXPECT_EQ(0, ancestorChainFromEntries(snapshot.entries.data(), snapshot.count(), 40,
                                          Snapshot::timeOf, &snapshot, &out.count, &out.chain,
                                          &out.names, &out.width));
    EXPECT_EQ(0u, out.count);
    EXPECT_EQ(nullptr, out.chain);
    EXPECT_EQ(nullptr, out.names);
    EXPECT_EQ(0u, out.width);
}

TEST(AncestorChainOutputs, MissingSlotsAreRefusedAndNothingIsWritten)
{
    Outputs out;
    EXPECT_EQ(-1, getAncestorChain(4, NULL, &out.chain, NULL, NULL));
    EXPECT_EQ(-1, getAncestorChain(4, &out.count, NULL, NULL, NULL));
    EXPECT_EQ(-1, getAncestorChain(4, &out.count, &out.chain, &out.names, NULL));
    EXPECT_EQ(77u, out.count);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(0x1), out.chain);
    EXPECT_EQ(reinterpret_cast<wchar_t*>(0x1), out.names);
}

TEST(AncestorChainOutputs, WidthSlotAloneIsSetToZero)
{
    Outputs out;
    int n = getAncestorChain(0, &out.count, &out.chain, NULL, &out.width);
    ASSERT_GE(n, 1);
    EXPECT_EQ(static_cast<uint32_t>(n), out.count);
    EXPECT_EQ(GetCurrentProcessId(), out.chain[0]);
    EXPECT_EQ(0u, out.width);
    for (uint32_t i = 0; i < out.count; ++i) {
        EXPECT_NE(0u, out.chain[i]);
    }
}

TEST(CreationTime, ArgumentsAndUnknownProcesses)
{
    FILETIME time = {1, 1};
    EXPECT_EQ(-1, getCreationTime(0, &time));
    EXPECT_EQ(1u, time.dwLowDateTime);  // untouched after a refusal
    EXPECT_EQ(-1, getCreationTime(4, NULL));
    // PIDs are multiples of 4; this one belongs to nobody.
    EXPECT_EQ(0, getCreationTime(0xFFFFFFF0u, &time));
    EXPECT_EQ(0u, time.dwLowDateTime);
    EXPECT_EQ(0u, time.dwHighDateTime);
    EXPECT_EQ(1, getCreationTime(GetCurrentProcessId(), &time));
    EXPECT_NE(0u, time.dwHighDateTime);
}

TEST(FindEntry, FirstMatchAndRefusals)
{
    Snapshot snapshot({{4, 0, 1}, {8, 4, 1}, {8, 0, 1}});
    EXPECT_EQ(&snapshot.entries[1], findEntryByPid(snapshot.entries.data(), 3, 8));
    EXPECT_EQ(nullptr, findEntryByPid(snapshot.entries.data(), 3, 0));
    EXPECT_EQ(nullptr, findEntryByPid(snapshot.entries.data(), 0, 8));
    EXPECT_EQ(nullptr, findEntryByPid(NULL, 3, 8));
}

}  // namespace
