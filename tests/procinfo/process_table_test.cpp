#include "procinfo/process_table.h"

#include "procinfo/names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<uint32_t, uint32_t>> Links;  // {pid, parent}

std::vector<ProcessRecord> makeRecords(const Links& links)
{
    std::vector<ProcessRecord> records(links.size());
    initProcessRecords(records.data(), static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < links.size(); ++i) {
        records[i].entry.th32ProcessID = links[i].first;
        records[i].entry.th32ParentProcessID = links[i].second;
    }
    return records;
}

// Synthetic creation times by PID (absent: cannot be opened), and the questions asked.
struct TimeBook {
    std::map<uint32_t, uint64_t> times;
    Links asked;
    uint64_t timeOf(uint32_t pid) const { return times.count(pid) ? times.at(pid) : 0; }
    static bool parentNewer(uint32_t parentPid, uint32_t pid, void* context)
    {
        TimeBook* book = static_cast<TimeBook*>(context);
        book->asked.push_back({parentPid, pid});
        return isCreatedLater(book->timeOf(parentPid), book->timeOf(pid));
    }
};

TEST(ProcessTableLogic, ValidationDropsReusedParentsOnly)
{
    // 8: parent 4 is older, stays. 12: PID 16 was reused by a younger
    // process. 20: parent 24 cannot be opened. 28: parent 32 is gone.
    // 36: equal times. 0 and 40 (parent 0) are never asked about.
    std::vector<ProcessRecord> records =
        makeRecords({{0, 0}, {4, 0}, {8, 4}, {12, 16}, {16, 4}, {20, 24}, {28, 32}, {36, 8}, {40, 0}});
    TimeBook book;
    book.times = {{4, 100}, {8, 200}, {12, 300}, {16, 400}, {20, 500}, {28, 600}, {36, 200}};
    validateParentLinks(records.data(), static_cast<uint32_t>(records.size()), TimeBook::parentNewer, &book);

    Links after;
    for (const ProcessRecord& record : records) {
        after.push_back({record.entry.th32ProcessID, record.entry.th32ParentProcessID});
    }
    EXPECT_EQ((Links{{0, 0}, {4, 0}, {8, 4}, {12, 0}, {16, 4}, {20, 24}, {28, 32}, {36, 8}, {40, 0}}), after);
    EXPECT_EQ((Links{{4, 8}, {16, 12}, {4, 16}, {24, 20}, {32, 28}, {8, 36}}), book.asked);

    FILETIME high = {0, 1}, lowMax = {0xFFFFFFFFu, 0};  // high halves count first
    EXPECT_TRUE(isCreatedLater(fileTimeValue(high), fileTimeValue(lowMax)));
}

// Service names win over titles; release copes with whatever a build can
// leave behind, and with being called again.
TEST(ProcessTableLogic, DisplayNamesThenReleaseOfAHandBuiltTable)
{
    std::vector<ProcessRecord> records = makeRecords({{0, 0}, {8, 4}, {12, 4}, {16, 4}});
    ProcessTable table = {};
    table.count = static_cast<uint32_t>(records.size());
    table.records = new ProcessRecord[table.count];
    std::copy(records.begin(), records.end(), table.records);
    table.snapshot = INVALID_HANDLE_VALUE;
    ASSERT_EQ(0, addServiceName(&table.serviceNames, 8, L"Event Log"));
    ASSERT_TRUE(considerWindowTitle(&table.windowTitles, 8, L"Event window", L"C", 0, true));
    ASSERT_TRUE(considerWindowTitle(&table.windowTitles, 12, L"Editor", L"C", 0, true));

    attachDisplayNames(&table);
    EXPECT_EQ(nullptr, table.records[0].displayName);
    EXPECT_STREQ(L"Event Log", table.records[1].displayName);
    EXPECT_STREQ(L"Editor", table.records[2].displayName);
    EXPECT_EQ(nullptr, table.records[3].displayName);

    releaseProcessTable(&table);
    EXPECT_TRUE(table.records == NULL && table.count == 0 && table.snapshot == NULL);
    EXPECT_TRUE(table.serviceNames == NULL && table.windowTitles == NULL);
    releaseProcessTable(&table);
    releaseProcessTable(NULL);
}

}  // namespace
