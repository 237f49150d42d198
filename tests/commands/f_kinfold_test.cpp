#include "commands/ancestry.h"
#include "commands/commands.h"
#include "commands/kinfold_function.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Process {
    uint32_t pid;
    uint32_t parent;
    const wchar_t* name;
};

// Creation times by PID; a PID without one cannot be opened, so its links hold.
struct FakeTimes {
    std::map<uint32_t, uint64_t> times;
    std::map<uint32_t, int> opened;

    static bool read(void* context, uint32_t pid, unsigned, ProcessFacts* facts, wchar_t*)
    {
        FakeTimes* self = static_cast<FakeTimes*>(context);
        self->opened[pid]++;
        auto time = self->times.find(pid);
        if (time == self->times.end()) {
            return false;
        }
        facts->creationTime = time->second;
        return true;
    }
};

class KinfoldFunction : public ::testing::Test {
protected:
    FakeTimes system;
    ProcessTable table;

    void fill(const std::vector<Process>& processes)
    {
        std::vector<PROCESSENTRY32W> entries(processes.size());
        for (size_t i = 0; i < processes.size(); ++i) {
            entries[i] = PROCESSENTRY32W();
            entries[i].dwSize = sizeof(PROCESSENTRY32W);
            entries[i].th32ProcessID = processes[i].pid;
            entries[i].th32ParentProcessID = processes[i].parent;
            wcscpy(entries[i].szExeFile, processes[i].name != nullptr ? processes[i].name : L"x.exe");
        }
        TableOptions options = {false, false, false, false};
        ASSERT_EQ(0, fillProcessTable(entries.data(), static_cast<uint32_t>(entries.size()), options,
                                      ProcessProbe{FakeTimes::read, &system}, &table));
    }

    // The result in a buffer of count units, with one more unit past it that
    // must never be written.
    std::wstring result(uint32_t pid, uint32_t flags, size_t count = FUNCTION_RESULT_COUNT)
    {
        const wchar_t SENTINEL = L'~';
        std::vector<wchar_t> buffer(count + 1, L'#');
        buffer[count] = SENTINEL;
        EXPECT_EQ(0, writeKinfoldResult(&table, pid, flags, buffer.data(), count));
        EXPECT_EQ(SENTINEL, buffer[count]) << "written past a result of " << count << " units";
        return buffer.data();
    }
};

std::vector<std::wstring> words(const std::wstring& text)
{
    std::wistringstream in(text);
    return {std::istream_iterator<std::wstring, wchar_t>(in), std::istream_iterator<std::wstring, wchar_t>()};
}

std::wstring callFunction(int(WINAPI* function)(wchar_t*), const std::wstring& arguments, int* result)
{
    std::vector<wchar_t> buffer(FUNCTION_RESULT_COUNT, L'\0');
    std::copy(arguments.begin(), arguments.end(), buffer.begin());
    *result = function(buffer.data());
    return buffer.data();
}

// 10 has three children; 20 has two, 30 a chain below it. Table order is
// neither PID nor tree order.
const std::vector<Process> FAMILY = {
    {40, 10, L"d.exe"}, {31, 30, L"f.exe"}, {25, 20, L"b.exe"}, {10, 1, L"root.exe"}, {30, 10, L"c.exe"},
    {21, 20, L"a.exe"}, {32, 31, L"g.exe"}, {20, 10, L"Setup.EXE"}, {1, 0, L"My Shell.exe"}, {99, 1, L"other.exe"},
};

}  // namespace

// Fails when leaves first is the tree order turned round without also
// turning round the siblings, or puts a parent after its first child only.
TEST_F(KinfoldFunction, LeavesFirstPutsEveryProcessAfterAllItsDescendantsWithSeveralChildren)
{
    fill(FAMILY);
    EXPECT_EQ(L"10 20 21 25 30 31 32 40", result(10, 2));
    const std::wstring leavesFirst = result(10, 2 | 64);
    EXPECT_EQ(L"21 25 20 32 31 30 40 10", leavesFirst);

    std::vector<std::wstring> order = words(leavesFirst);
    auto position = [&](uint32_t pid) {
        return std::find(order.begin(), order.end(), std::to_wstring(pid)) - order.begin();
    };
    for (const Process& process : FAMILY) {
        if (position(process.pid) < static_cast<long>(order.size()) &&
            position(process.parent) < static_cast<long>(order.size())) {
            EXPECT_LT(position(process.pid), position(process.parent)) << process.pid << " under " << process.parent;
        }
    }
    EXPECT_EQ(L"21 25 20 32 31 30 40", result(10, 2 | 64 | 256));
    EXPECT_EQ(L"20 21 25 30 31 32 40", result(10, 2 | 256));
}

// Fails when the mode comes from other bits, names are not quoted by the
// host, or lower case misses names or hex digits.
TEST_F(KinfoldFunction, FormatsAsAncestryDoes)
{
    fill(FAMILY);
    const struct {
        uint32_t flags;
        const wchar_t* expected;
    } cases[] = {
        {0, L"0x0001 0x000A 0x0014 0x0015 0x0019 0x001E 0x001F 0x0020 0x0028 0x0063"},
        {1, L"1 A 14 15 19 1E 1F 20 28 63"},
        {3, L"\"My Shell.exe\" root.exe Setup.EXE a.exe b.exe c.exe f.exe g.exe d.exe other.exe"},
        {4 | 8 | 16 | 32 | 1024, L"0x0001 0x000A 0x0014 0x0015 0x0019 0x001E 0x001F 0x0020 0x0028 0x0063"},
        {129, L"1 a 14 15 19 1e 1f 20 28 63"},
        {131, L"\"my shell.exe\" root.exe setup.exe a.exe b.exe c.exe f.exe g.exe d.exe other.exe"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, result(1, c.flags)) << c.flags;
    }
}

// Fails when the walk trusts the snapshot's parent PID: 12 names 16 as its
// parent, but 16 is younger than 12, so the PID was reused and neither 12 nor
// 20 below it belongs to 4's tree.
TEST_F(KinfoldFunction, DescendantReachedOnlyThroughAReusedPidIsNotListed)
{
    fill({{4, 0, nullptr}, {8, 4, nullptr}, {16, 4, nullptr}, {12, 16, nullptr}, {20, 12, nullptr}});
    system.times = {{4, 100}, {8, 200}, {16, 400}, {12, 300}, {20, 500}};
    EXPECT_EQ(L"4 8 16", result(4, 2));
    EXPECT_EQ(L"3", result(4, 2 | 512));
    // Its own tree is still whole, and each process was opened once.
    EXPECT_EQ(L"12 20", result(12, 2));
    for (const auto& open : system.opened) {
        EXPECT_EQ(1, open.second) << "PID " << open.first << " opened more than once";
    }
}

// Fails when the ended PID, which has no record, is counted or listed, or
// when 256 takes away a living child in its place.
TEST_F(KinfoldFunction, CountOfAnEndedRootCountsItsLivingDescendantsOnly)
{
    fill({{60, 50, nullptr}, {80, 60, nullptr}, {70, 50, nullptr}, {4, 0, nullptr}});
    EXPECT_EQ(L"60 80 70", result(50, 2));
    EXPECT_EQ(L"80 60 70", result(50, 2 | 64));
    EXPECT_EQ(L"60 80 70", result(50, 2 | 256));
    EXPECT_EQ(L"3", result(50, 2 | 512));
    EXPECT_EQ(L"3", result(50, 3 | 256 | 512));
    // A living root counts itself unless 256 leaves it out.
    EXPECT_EQ(L"2", result(60, 512));
    EXPECT_EQ(L"1", result(60, 256 | 512));
    EXPECT_EQ(L"0", result(80, 256 | 512));
    EXPECT_EQ(L"", result(80, 2 | 256));
    // Nobody has 51.
    EXPECT_EQ(L"", result(51, 2));
    EXPECT_EQ(L"0", result(51, 2 | 512));
}

// Fails when a cycle of parent links sends the walk round for ever or lists
// a process twice, or when two records of one PID list its tree twice.
TEST_F(KinfoldFunction, CyclesEndAndNobodyIsListedTwice)
{
    fill({{4, 12, nullptr}, {8, 4, nullptr}, {12, 8, nullptr}, {16, 8, nullptr}, {16, 8, nullptr}, {20, 16, nullptr}});
    EXPECT_EQ(L"4 8 12 16 20", result(4, 2));
    EXPECT_EQ(L"4 12 20 16 8", result(8, 2 | 64));
    EXPECT_EQ(L"5", result(12, 2 | 512));
}

// Fails on an off-by-one at the buffer's end (a partial member, or a unit
// written past it), on a blank left after the last member, or on a shorter
// member squeezed in after one that did not fit.
TEST_F(KinfoldFunction, CutKeepsWholeMembersWithoutATrailingBlankAndNeverWritesPastTheBuffer)
{
    fill({{1000, 0, L"r.exe"}, {1001, 1000, L"t.exe"}, {5, 1000, L"s.exe"}, {2, 1000, L"longname.exe"}});
    // In tree order: 1000 2 5 1001.
    const struct {
        size_t count;
        const wchar_t* expected;
    } cases[] = {
        {14, L"1000 2 5 1001"}, {13, L"1000 2 5"}, {9, L"1000 2 5"}, {8, L"1000 2"}, {7, L"1000 2"},
        {6, L"1000"},           {5, L"1000"},      {4, L""},         {1, L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, result(1000, 2, c.count)) << c.count;
    }
    EXPECT_EQ(L"2 5 1001", result(1000, 2 | 64, 9));
    // longname.exe does not fit, and s.exe after it would: the list still ends at the cut.
    EXPECT_EQ(L"r.exe", result(1000, 3, 12));
    EXPECT_EQ(L"r.exe", result(1000, 3, 18));
    EXPECT_EQ(L"r.exe longname.exe", result(1000, 3, 19));
    EXPECT_EQ(-1, writeKinfoldResult(&table, 1000, 2, nullptr, 10));
}

// Fails when the host's buffer size is taken wrongly, or the count follows
// the cut list rather than the whole one.
TEST_F(KinfoldFunction, LongListsFillTheHostsBufferAndTheCountStillCountsThemAll)
{
    std::vector<Process> star = {{100000, 0, nullptr}};
    for (uint32_t pid = 100004; pid < 100004 + 4 * 3000; pid += 4) {
        star.push_back({pid, 100000, nullptr});
    }
    fill(star);
    std::wstring text = result(100000, 2);
    ASSERT_LE(text.size(), FUNCTION_RESULT_COUNT - 1);
    EXPECT_GT(text.size(), FUNCTION_RESULT_COUNT - 8) << "a 6-digit member and a blank would still fit";
    EXPECT_NE(L' ', text.back());
    std::vector<std::wstring> members = words(text);
    EXPECT_EQ(static_cast<size_t>(FUNCTION_RESULT_COUNT / 7), members.size());
    EXPECT_EQ(L"100000", members.front());
    EXPECT_EQ(std::to_wstring(100000 + 4 * (members.size() - 1)), members.back());
    EXPECT_EQ(L"3001", result(100000, 2 | 512));
}

// The arguments are @ANCESTRY's: the same messages for the same text, and
// the buffer keeps the argument text after an error. Fails on a reader of
// its own that drifts from @ANCESTRY's.
TEST(KinfoldFunctionArguments, BadArgumentsAreReportedAsAncestryReportsThem)
{
    for (const wchar_t* arguments : {L"abc", L"0x0,3", L",3f", L" 12ab ,2", L"0x", L"0", L".,x", L"zz,yy"}) {
        resetFakeHost();
        int ancestryResult = 0;
        EXPECT_EQ(arguments, callFunction(f_ancestry, arguments, &ancestryResult));
        std::wstring ancestryErrors = gFakeHost.err;
        resetFakeHost();
        int result = 0;
        EXPECT_EQ(arguments, callFunction(f_kinfold, arguments, &result));
        EXPECT_EQ(-1, result) << arguments;
        EXPECT_EQ(ancestryResult, result) << arguments;
        EXPECT_FALSE(gFakeHost.err.empty()) << arguments;
        EXPECT_EQ(ancestryErrors, gFakeHost.err) << arguments;
    }
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(1, f_kinfold(nullptr));
}

// Fails when "." or an empty PID is not the shell, or a PID nobody has
// gives anything but nothing (and a count of 0).
TEST(KinfoldFunctionArguments, OwnTreeByDefaultAndNobodysTreeEmpty)
{
    resetFakeHost();
    int result = -5;
    EXPECT_EQ(L"", callFunction(f_kinfold, L"0xFFFFFFF0", &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(L"0", callFunction(f_kinfold, L"0xFFFFFFF0,512", &result));
    EXPECT_EQ(0, result);

    const std::wstring self = std::to_wstring(GetCurrentProcessId());
    for (const wchar_t* same : {L",2", L".,2", L" . , 2 ", L".,0x202,junk"}) {
        std::vector<std::wstring> members = words(callFunction(f_kinfold, same, &result));
        EXPECT_EQ(0, result);
        ASSERT_FALSE(members.empty()) << same;
        if (std::wstring(same).find(L"202") != std::wstring::npos) {
            EXPECT_EQ(1u, members.size());
            EXPECT_LE(1ul, std::stoul(members[0])) << "the count of the shell's tree includes the shell";
        } else {
            EXPECT_EQ(self, members.front()) << same;
        }
    }
    std::wstring hex = callFunction(f_kinfold, L".", &result);
    EXPECT_EQ(L"0x", hex.substr(0, 2));
    EXPECT_EQ(L"", gFakeHost.err + gFakeHost.out);
}
