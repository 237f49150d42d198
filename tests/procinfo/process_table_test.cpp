#include "procinfo/process_table.h"

#include "procinfo/names.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

std::vector<ProcessRecord> makeRecords(const std::vector<std::pair<uint32_t, uint32_t>>& links)
{
    std::vector<ProcessRecord> records(links.size());
    initProcessRecords(records.data(), static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < links.size(); ++i) {
        records[i].entry.th32ProcessID = links[i].first;
        records[i].entry.th32ParentProcessID = links[i].second;
    }
    return records;
}

// Synthetic creation times by PID (0: cannot be opened), and the questions asked.
struct TimeBook {
    std::map<uint32_t, uint64_t> times;
    std::vector<std::pair<uint32_t, uint32_t>> asked;
};

bool parentNewerFromBook(uint32_t parentPid, uint32_t pid, void* context)
{
    TimeBook* book = static_cast<TimeBook*>(context);
    book->asked.push_back({parentPid, pid});
    auto parent = book->times.find(parentPid);
    auto child = book->times.find(pid);
    return isCreatedLater(parent == book->times.end() ? 0 : parent->second,
                          child == book->times.end() ? 0 : child->second);
}

TEST(ProcessTableLogic, PriorityIndexRisesWithSchedulingPriority)
{
    EXPECT_EQ(0, priorityIndexFromClass(0));
    EXPECT_EQ(0, priorityIndexFromClass(0x12345));
    EXPECT_EQ(1, priorityIndexFromClass(IDLE_PRIORITY_CLASS));
    EXPECT_EQ(2, priorityIndexFromClass(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(3, priorityIndexFromClass(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(4, priorityIndexFromClass(ABOVE_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(5, priorityIndexFromClass(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(6, priorityIndexFromClass(REALTIME_PRIORITY_CLASS));
}

TEST(ProcessTableLogic, FreshRecordsAreZeroButForTheSizes)
{
    ProcessRecord records[3];
    memset(records, 0xAB, sizeof(records));
    initProcessRecords(records, 3);
    for (const ProcessRecord& record : records) {
        EXPECT_EQ(sizeof(PROCESSENTRY32W), record.entry.dwSize);
        EXPECT_EQ(sizeof(PROCESS_MEMORY_COUNTERS), record.memory.cb);
        EXPECT_EQ(0u, record.entry.th32ProcessID);
        EXPECT_EQ(0u, record.memory.WorkingSetSize);
        EXPECT_EQ(0u, fileTimeValue(record.creationTime));
        EXPECT_EQ(nullptr, record.displayName);
        EXPECT_EQ(0u, record.elevated);
        EXPECT_EQ(0u, record.is32Bit);
        EXPECT_EQ(0, record.priorityIndex);
    }
}

TEST(ProcessTableLogic, CreationTimeDecision)
{
    FILETIME high = {0, 1};
    FILETIME lowMax = {0xFFFFFFFFu, 0};
    // High halves count first.
    EXPECT_GT(fileTimeValue(high), fileTimeValue(lowMax));
    EXPECT_TRUE(isCreatedLater(fileTimeValue(high), fileTimeValue(lowMax)));
    EXPECT_FALSE(isCreatedLater(fileTimeValue(lowMax), fileTimeValue(high)));
    EXPECT_FALSE(isCreatedLater(100, 100));  // equal: the link stays
    EXPECT_FALSE(isCreatedLater(0, 100));    // parent time unknown
    EXPECT_FALSE(isCreatedLater(100, 0));    // child time unknown
}

TEST(ProcessTableLogic, ValidationDropsReusedParentsOnly)
{
    // 8: parent 4 is older, stays. 12: PID 16 was reused by a younger
    // process. 20: parent 24 cannot be opened. 28: parent 32 is gone.
    // 36: equal times. 0 and 40 (parent 0) are never asked about.
    std::vector<ProcessRecord> records =
        makeRecords({{0, 0}, {4, 0}, {8, 4}, {12, 16}, {16, 4}, {20, 24}, {28, 32}, {36, 8}, {40, 0}});
    TimeBook book;
    book.times = {{4, 100}, {8, 200}, {12, 300}, {16, 400}, {20, 500}, {28, 600}, {36, 200}};
    validateParentLinks(records.data(), static_cast<uint32_t>(records.size()), parentNewerFromBook,
                        &book);

    std::map<uint32_t, uint32_t> parentOf;
    for (const ProcessRecord& record : records) {
        parentOf[record.entry.th32ProcessID] = record.entry.th32ParentProcessID;
    }
    EXPECT_EQ(4u, parentOf[8]);
    EXPECT_EQ(0u, parentOf[12]);
    EXPECT_EQ(4u, parentOf[16]);
    EXPECT_EQ(24u, parentOf[20]);
    EXPECT_EQ(32u, parentOf[28]);
    EXPECT_EQ(8u, parentOf[36]);
    std::vector<std::pair<uint32_t, uint32_t>> expectedQuestions = {
        {4, 8}, {16, 12}, {4, 16}, {24, 20}, {32, 28}, {8, 36}};
    EXPECT_EQ(expectedQuestions, book.asked);
}

TEST(ProcessTableLogic, ServiceNamesWinOverTitlesAndPidZeroGetsNothing)
{
    std::vector<ProcessRecord> records = makeRecords({{0, 0}, {4, 0}, {8, 4}, {12, 4}, {16, 4}});
    ProcessTable table = {};
    table.records = records.data();
    table.count = static_cast<uint32_t>(records.size());
    ASSERT_EQ(0, addServiceName(&table.serviceNames, 8, L"Event Log"));
    ASSERT_TRUE(considerWindowTitle(&table.windowTitles, 8, L"Event window", L"C", 0, true));
    ASSERT_TRUE(considerWindowTitle(&table.windowTitles, 12, L"Editor", L"C", 0, true));

    attachDisplayNames(&table);
    EXPECT_EQ(nullptr, records[0].displayName);
    EXPECT_EQ(nullptr, records[1].displayName);
    EXPECT_STREQ(L"Event Log", records[2].displayName);
    EXPECT_STREQ(L"Editor", records[3].displayName);
    EXPECT_EQ(nullptr, records[4].displayName);

    // Without services the title shows; without both, nothing does.
    ServiceNameNode* services = table.serviceNames;
    table.serviceNames = NULL;
    attachDisplayNames(&table);
    EXPECT_STREQ(L"Event window", records[2].displayName);
    WindowTitleNode* titles = table.windowTitles;
    table.windowTitles = NULL;
    attachDisplayNames(&table);
    EXPECT_EQ(nullptr, records[2].displayName);
    EXPECT_EQ(nullptr, records[3].displayName);

    freeServiceNames(&services);
    freeWindowTitles(&titles);
}

TEST(ProcessTableLogic, FindRecordTakesTheFirstMatch)
{
    std::vector<ProcessRecord> records = makeRecords({{4, 0}, {8, 4}, {8, 0}});
    EXPECT_EQ(&records[1], findRecordByPid(records.data(), 3, 8));
    EXPECT_EQ(nullptr, findRecordByPid(records.data(), 3, 12));
    EXPECT_EQ(nullptr, findRecordByPid(NULL, 3, 8));
}

// Release must cope with whatever a build can leave behind.
TEST(ProcessTableLogic, ReleaseAcceptsEveryState)
{
    releaseProcessTable(NULL);
    ProcessTable empty = {};
    releaseProcessTable(&empty);
    releaseProcessTable(&empty);

    ProcessTable partial = {};
    partial.records = new ProcessRecord[2];
    partial.count = 2;
    partial.snapshot = INVALID_HANDLE_VALUE;
    ASSERT_EQ(0, addServiceName(&partial.serviceNames, 4, L"Service"));
    ASSERT_TRUE(considerWindowTitle(&partial.windowTitles, 4, L"Title", L"C", 0, true));
    releaseProcessTable(&partial);
    EXPECT_EQ(nullptr, partial.records);
    EXPECT_EQ(0u, partial.count);
    EXPECT_EQ(nullptr, partial.serviceNames);
    EXPECT_EQ(nullptr, partial.windowTitles);
    EXPECT_EQ(NULL, partial.snapshot);
}

}  // namespace
