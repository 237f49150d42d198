#include "procinfo/process_table.h"

#include "procinfo/names.h"

#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <map>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<uint32_t, uint32_t>> Links;  // {pid, parent}

// Synthetic processes: creation times by PID (absent: cannot be opened),
// and every opening the table asks for.
struct FakeSystem {
    std::map<uint32_t, uint64_t> times;
    std::vector<uint32_t> opened;

    static bool read(void* context, uint32_t pid, unsigned want, ProcessFacts* facts, wchar_t* path)
    {
        FakeSystem* self = static_cast<FakeSystem*>(context);
        self->opened.push_back(pid);
        auto time = self->times.find(pid);
        if (time == self->times.end()) {
            return false;
        }
        facts->creationTime = time->second;
        if (want & WANT_DETAILS) {
            facts->priorityIndex = 3;
            facts->memory.WorkingSetSize = pid * 1024;
        }
        if ((want & WANT_IMAGE_PATH) && path != NULL) {
            wcscpy(path, L"C:\\x.exe");
        }
        if ((want & WANT_COMMAND_LINE) && facts->commandLine != NULL) {
            wcscpy(facts->commandLine, L"x.exe --flag");
        }
        return true;
    }
    ProcessProbe probe() { return ProcessProbe{read, this}; }
};

std::vector<PROCESSENTRY32W> entriesOf(const Links& links)
{
    std::vector<PROCESSENTRY32W> entries(links.size());
    for (size_t i = 0; i < links.size(); ++i) {
        entries[i] = PROCESSENTRY32W();
        entries[i].dwSize = sizeof(PROCESSENTRY32W);
        entries[i].th32ProcessID = links[i].first;
        entries[i].th32ParentProcessID = links[i].second;
    }
    return entries;
}

const TableOptions LINKS_ONLY = {false, false, false, false};

TEST(ProcessTableLogic, ValidationDropsReusedParentsOnlyAndOpensEachProcessOnce)
{
    // 8: parent 4 is older, stays. 12: PID 16 was reused by a younger
    // process. 20: parent 24 cannot be opened. 28: parent 32 is gone.
    // 36: equal times. 44: PID 48, which has no record, was reused too.
    // 0 and 40 (parent 0) are never looked at.
    Links links = {{0, 0}, {4, 0}, {8, 4}, {12, 16}, {16, 4}, {20, 24}, {28, 32}, {36, 8}, {40, 0}, {44, 48}};
    std::vector<PROCESSENTRY32W> entries = entriesOf(links);
    FakeSystem system;
    system.times = {{4, 100}, {8, 200}, {12, 300}, {16, 400}, {20, 500}, {28, 600}, {36, 200}, {44, 700}, {48, 900}};
    ProcessTable table;
    ASSERT_EQ(0, fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), LINKS_ONLY,
                                  system.probe(), &table));
    EXPECT_TRUE(system.opened.empty()) << "nothing is opened before something needs it";

    Links after;
    for (uint32_t i = 0; i < table.count; ++i) {
        after.push_back({table.records[i].entry.th32ProcessID, validatedParentPid(table, table.records[i])});
    }
    EXPECT_EQ((Links{{0, 0}, {4, 0}, {8, 4}, {12, 0}, {16, 4}, {20, 24}, {28, 32}, {36, 8}, {40, 0}, {44, 0}}), after);
    // Asked a second time, nothing is opened again.
    for (uint32_t i = 0; i < table.count; ++i) {
        (void)validatedParentPid(table, table.records[i]);
    }
    std::map<uint32_t, int> opens;
    for (uint32_t pid : system.opened) opens[pid]++;
    for (const auto& open : opens) {
        EXPECT_EQ(1, open.second) << "PID " << open.first << " opened more than once";
    }
    EXPECT_EQ(0u, opens.count(0));
    EXPECT_EQ(0u, opens.count(40));
}

// Children come in table order, only through links that hold, and a child
// whose PID is 0 is nobody's child.
TEST(ProcessTableLogic, ChildrenInTableOrderThroughCheckedLinks)
{
    std::vector<PROCESSENTRY32W> entries = entriesOf({{12, 4}, {0, 4}, {4, 0}, {8, 4}, {16, 4}, {20, 8}});
    FakeSystem system;
    system.times = {{4, 100}, {8, 200}, {12, 300}, {16, 50}, {20, 400}};  // 16 is older than 4: a reused PID
    ProcessTable table;
    ASSERT_EQ(0, fillProcessTable(entries.data(), 6, LINKS_ONLY, system.probe(), &table));
    EXPECT_EQ(3u, childCandidates(table, 4));
    const ProcessRecord* children[8];
    ASSERT_EQ(2u, collectChildren(table, 4, children, 8));
    EXPECT_EQ(12u, children[0]->entry.th32ProcessID);
    EXPECT_EQ(8u, children[1]->entry.th32ProcessID);
    ASSERT_EQ(1u, collectChildren(table, 4, children, 1));  // room is respected
    EXPECT_EQ(0u, collectChildren(table, 99, children, 8));
}

// Details and paths only for records that are shown, each read with the
// same opening as the creation time.
TEST(ProcessTableLogic, DetailsAndPathsComeWithTheOneOpening)
{
    std::vector<PROCESSENTRY32W> entries = entriesOf({{4, 0}, {8, 4}, {12, 4}});
    FakeSystem system;
    system.times = {{4, 100}, {8, 200}};  // 12 cannot be opened
    TableOptions options = {true, true, false, false};
    ProcessTable table;
    ASSERT_EQ(0, fillProcessTable(entries.data(), 3, options, system.probe(), &table));
    const ProcessRecord& child = table.records[1];
    EXPECT_EQ(4u, validatedParentPid(table, child));
    const ProcessDetails* details = recordDetails(table, child);
    EXPECT_EQ(3, details->priorityIndex);
    EXPECT_EQ(8u * 1024, details->workingSetSize);
    EXPECT_EQ(200u, details->creationTime);
    EXPECT_STREQ(L"C:\\x.exe", recordImagePath(table, child));
    EXPECT_EQ((std::vector<uint32_t>{4, 8}), system.opened);

    const ProcessRecord& closed = table.records[2];
    details = recordDetails(table, closed);
    EXPECT_EQ(0, details->priorityIndex);
    EXPECT_EQ(0u, details->workingSetSize);
    EXPECT_EQ(nullptr, recordImagePath(table, closed));

    // /CMD reads the command line in place of the path, with the same one
    // opening; faults: a path answered under /CMD, a second opening.
    ProcessTable commands;
    system.opened.clear();
    options.collectCommandLines = true;
    ASSERT_EQ(0, fillProcessTable(entries.data(), 3, options, system.probe(), &commands));
    EXPECT_STREQ(L"x.exe --flag", recordCommandLine(commands, commands.records[1]));
    EXPECT_EQ(nullptr, recordImagePath(commands, commands.records[1]));
    EXPECT_EQ(3, recordDetails(commands, commands.records[1])->priorityIndex);
    EXPECT_EQ(nullptr, recordCommandLine(commands, commands.records[2]));
    EXPECT_EQ((std::vector<uint32_t>{8, 12}), system.opened);
    EXPECT_EQ(nullptr, recordCommandLine(table, child)) << "a table that does not collect them";
}

TEST(ProcessTableLogic, ServiceNamesWinOverTitles)
{
    std::vector<PROCESSENTRY32W> entries = entriesOf({{0, 0}, {8, 4}, {12, 4}, {16, 4}});
    FakeSystem system;
    ProcessTable table;
    ASSERT_EQ(0, fillProcessTable(entries.data(), 4, LINKS_ONLY, system.probe(), &table));
    ASSERT_EQ(0, addServiceName(&table.serviceNames, 8, L"Event Log"));
    considerWindowTitle(&table.windowTitles, 8, L"Event window", L"C", 0, true);
    considerWindowTitle(&table.windowTitles, 12, L"Editor", L"C", 0, true);

    attachDisplayNames(&table);
    EXPECT_EQ(nullptr, table.records[0].displayName);
    EXPECT_STREQ(L"Event Log", table.records[1].displayName);
    EXPECT_STREQ(L"Editor", table.records[2].displayName);
    EXPECT_EQ(nullptr, table.records[3].displayName);
}

// A snapshot walk writes each entry straight into the block, which moves to
// a larger reservation when its address space is full: every record, the
// one that straddles a commit step's end included, must stay whole and in
// order across the moves.
TEST(RecordBlock, RecordsStayWholeAcrossCommitStepsAndMoves)
{
    const uint32_t count = 3000;
    RecordBlock block(1);  // the first reservation: one commit step
    std::vector<const ProcessRecord*> bases;
    for (uint32_t i = 0; i < count; ++i) {
        ProcessRecord* record = block.append();
        ASSERT_NE(nullptr, record) << "record " << i;
        memset(record, 0xA5, sizeof(*record));
        record->entry.th32ProcessID = 4 * i + 4;
        swprintf(record->entry.szExeFile, MAX_PATH, L"p%u.exe", i);
        record->displayName = nullptr;
        if (bases.empty() || bases.back() != block.get()) {
            bases.push_back(block.get());
        }
    }
    ASSERT_EQ(count, block.size());
    EXPECT_GE(bases.size(), 3u) << "the block never moved: nothing was tested";
    for (uint32_t i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"p%u.exe", i);
        const ProcessRecord& record = block[i];
        if (record.entry.th32ProcessID != 4 * i + 4 || wcscmp(record.entry.szExeFile, name) != 0 ||
            record.entry.th32ParentProcessID != 0xA5A5A5A5u) {
            ADD_FAILURE() << "record " << i << " holds PID " << record.entry.th32ProcessID;
            break;
        }
    }

    block.truncate(10);
    EXPECT_EQ(10u, block.size());
    ProcessRecord* next = block.append();
    ASSERT_EQ(&block[10], next);
    RecordBlock moved(std::move(block));
    EXPECT_FALSE(block);
    EXPECT_EQ(0u, block.size());
    ASSERT_EQ(11u, moved.size());
    EXPECT_EQ(40u, moved[9].entry.th32ProcessID);
}

// The PID index answers exactly as a scan of the records in table order:
// the first record of a duplicated PID, the candidate children of a PID in
// table order (a PID known only as somebody's parent included, a child
// with PID 0 never), nothing for a PID nobody names. Small PID ranges make
// duplicates and crowded probes; one table holds PIDs whose hashes share
// their top bits.
TEST(ProcessTableLogic, PidIndexAnswersAsAScanOfTheRecords)
{
    uint64_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(seed >> 33) % bound;
    };
    for (int round = 0; round < 60; ++round) {
        uint32_t count = 1 + next(round < 50 ? 40 : 3000);
        uint32_t range = 1 + next(2 * count + 2);
        std::vector<PROCESSENTRY32W> entries(count);
        for (uint32_t i = 0; i < count; ++i) {
            entries[i] = PROCESSENTRY32W();
            // Multiples of 2^26 all hash to the same top bits of a small table.
            uint32_t step = round == 59 ? (1u << 26) : 4;
            entries[i].th32ProcessID = step * next(range);
            entries[i].th32ParentProcessID = step * next(range + 3);
        }
        ProcessTable table;
        ASSERT_EQ(0, fillProcessTable(entries.data(), count, LINKS_ONLY, ProcessProbe{nullptr, nullptr}, &table));
        std::vector<const ProcessRecord*> children(count);
        for (uint32_t k = 0; k <= range + 3; ++k) {
            uint32_t pid = (round == 59 ? (1u << 26) : 4) * k;
            const ProcessRecord* first = nullptr;
            std::vector<const ProcessRecord*> expected;
            for (uint32_t i = 0; i < count; ++i) {
                const ProcessRecord& record = table.records[i];
                if (first == nullptr && record.entry.th32ProcessID == pid) {
                    first = &record;
                }
                if (record.entry.th32ProcessID != 0 && record.entry.th32ParentProcessID == pid) {
                    expected.push_back(&record);
                }
            }
            ASSERT_EQ(first, findRecordByPid(table, pid)) << "round " << round << ", PID " << pid;
            ASSERT_EQ(expected.size(), childCandidates(table, pid)) << "round " << round << ", PID " << pid;
            uint32_t found = collectChildren(table, pid, children.data(), count);
            ASSERT_EQ(expected, std::vector<const ProcessRecord*>(children.begin(), children.begin() + found))
                << "round " << round << ", PID " << pid;
        }
    }
}

}  // namespace
