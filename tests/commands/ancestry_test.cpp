#include "commands/ancestry.h"
#include "commands/commands.h"
#include "commands/help_texts.h"
#include "console/format.h"
#include "console/highlight.h"
#include "console/paging.h"
#include "fake_host.h"
#include "procinfo/process_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ProcessRecord makeRecord(uint32_t pid, uint32_t parent, const wchar_t* exe)
{
    ProcessRecord record = {};
    record.entry.dwSize = sizeof(record.entry);
    record.entry.th32ProcessID = pid;
    record.entry.th32ParentProcessID = parent;
    record.entry.cntThreads = 1;
    copyText(record.entry.szExeFile, MAX_PATH, exe);
    return record;
}

// A table of four processes; 0x0BAD is in no chain used here.
class AncestorLinesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetPaging();
        resetAttributes();  // colour off: every name goes through the host
        records_ = {makeRecord(0x0BAD, 0x20, L"other.exe"), makeRecord(0x30, 0x24, L"child.exe"),
                    makeRecord(0x20, 0, L"oldest.exe"), makeRecord(0x24, 0x20, L"middle.exe")};
        GetLocalTime(&today_);
    }

    // The lines the renderer writes for this chain, without their line ends.
    std::vector<std::wstring> render(std::vector<uint32_t> chain, DisplayFlags flags, int* result = nullptr)
    {
        ViewSettings view = {};
        view.table = records_.data();
        view.count = static_cast<uint32_t>(records_.size());
        view.width = 100;
        view.flags = flags;
        view.totalCount = static_cast<uint32_t>(chain.size());
        view.today = &today_;
        int rc = renderAncestorLines(chain.data(), static_cast<uint32_t>(chain.size()), &view);
        if (result != nullptr) {
            *result = rc;
        }
        std::vector<std::wstring> lines;
        const std::wstring& out = gFakeHost.out;
        size_t start = 0;
        while (start < out.size()) {
            size_t end = out.find(L"\r\n", start);
            lines.push_back(out.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
            if (end == std::wstring::npos) {
                break;
            }
            start = end + 2;
        }
        return lines;
    }

    std::vector<ProcessRecord> records_;
    SYSTEMTIME today_ = {};
};

// Leading field of a line: "%04X" PID, after an optional line number.
std::wstring pidOf(const std::wstring& line)
{
    size_t start = line.find(L":  ");
    start = start == std::wstring::npos ? 0 : start + 3;
    return line.substr(start, 4);
}

int runCommand(const std::wstring& arguments)
{
    std::vector<wchar_t> buffer(arguments.begin(), arguments.end());
    buffer.push_back(L'\0');
    return ancestry(buffer.data());
}

}  // namespace

TEST_F(AncestorLinesTest, OldestFirstOrProcessFirstWithR)
{
    const std::vector<uint32_t> chain = {0x30, 0x24, 0x20};
    std::vector<std::wstring> lines = render(chain, 0);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"0020", pidOf(lines[0]));
    EXPECT_EQ(L"0024", pidOf(lines[1]));
    EXPECT_EQ(L"0030", pidOf(lines[2]));
    EXPECT_NE(std::wstring::npos, lines[0].find(L"oldest"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"other"));

    gFakeHost.out.clear();
    lines = render(chain, OPT_REVERSE);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"0030", pidOf(lines[0]));
    EXPECT_EQ(L"0020", pidOf(lines[2]));
}

TEST_F(AncestorLinesTest, NumbersCountFromTheProcessWhateverTheOrder)
{
    const std::vector<uint32_t> chain = {0x30, 0x24, 0x20};
    std::vector<std::wstring> lines = render(chain, OPT_NO_TREE);
    ASSERT_EQ(3u, lines.size());
    // No empty line comes first, numbered or not.
    EXPECT_EQ(L"  3:  0020", lines[0].substr(0, 10));
    EXPECT_EQ(L"  2:  0024", lines[1].substr(0, 10));
    EXPECT_EQ(L"  1:  0030", lines[2].substr(0, 10));

    gFakeHost.out.clear();
    lines = render(chain, OPT_NO_TREE | OPT_REVERSE);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"  1:  0030", lines[0].substr(0, 10));
    EXPECT_EQ(L"  2:  0024", lines[1].substr(0, 10));
    EXPECT_EQ(L"  3:  0020", lines[2].substr(0, 10));
}

TEST_F(AncestorLinesTest, MembersWithoutARecordAreSkipped)
{
    // 0x44 started after the table was taken.
    std::vector<std::wstring> lines = render({0x44, 0x30, 0x24}, OPT_COUNT);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(L"0024", pidOf(lines[0]));
    EXPECT_EQ(L"0030", pidOf(lines[1]));
    EXPECT_NE(std::wstring::npos, gFakeHost.out.find(L"\r\nFound 2 processes.\r\n"));
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"0044"));
}

TEST_F(AncestorLinesTest, CountLineAfterTheList)
{
    std::vector<std::wstring> lines = render({0x30, 0x24, 0x20}, OPT_COUNT);
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(L"", lines[3]);
    EXPECT_EQ(L"Found 3 processes.", lines[4]);

    gFakeHost.out.clear();
    lines = render({0x20}, OPT_COUNT);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(L"Found 1 process.", lines[2]);

    gFakeHost.out.clear();
    render({0x20}, 0);
    EXPECT_EQ(std::wstring::npos, gFakeHost.out.find(L"Found"));
}

TEST(AncestryCommandTest, ArgumentErrorsEndWithOneMessageAndResultOne)
{
    struct Case {
        const wchar_t* arguments;
        const wchar_t* message;
    } cases[] = {
        {L"/N:T", L"Unknown suboptions: /N:T  (/N? for help)\r\n"},
        {L"/n=cq", L"Unknown suboptions: /N:Q  (/N? for help)\r\n"},
        // /TC is the /T option here, failing on its letter C.
        {L"/TC", L"Unknown suboption: /T:C  (/T? for help)\r\n"},
        {L"/tcmd", L"Unknown suboption: /T:C  (/T? for help)\r\n"},
        {L"/T:dx", L"Unknown suboption: /T:X  (/T? for help)\r\n"},
        {L"/W:abc", L"Bad width: \"ABC\"\r\n"},
        {L"/W:39", L"Width must be between 40 and 1020: 39\r\n"},
        {L"/a", L"Unknown option: \"/A\"\r\n"},
        {L"/Z", L"Unknown option: \"/Z\"\r\n"},
        {L"/SV", L"Unknown option: \"/SV\"\r\n"},
        {L"/q /?", L"Unknown option: \"/Q\"\r\n"},
        {L"4 note*", L"Syntax error: \"NOTE*\"\r\n"},
    };
    for (const Case& c : cases) {
        resetFakeHost();
        EXPECT_EQ(1, runCommand(c.arguments)) << c.arguments;
        EXPECT_EQ(std::wstring(L"Kinfold plugin: ") + c.message, gFakeHost.err) << c.arguments;
        EXPECT_EQ(L"", gFakeHost.out) << c.arguments;
    }
    EXPECT_EQ(1, ancestry(nullptr));
}

TEST(AncestryCommandTest, HelpTextsEndTheCommandWithZero)
{
    EXPECT_EQ(0, runCommand(L"/? /Q"));
    EXPECT_EQ(ANCESTRY_HELP, gFakeHost.out);
    gFakeHost.out.clear();
    EXPECT_EQ(0, runCommand(L"/n?"));
    EXPECT_EQ(ANCESTRY_HELP_N, gFakeHost.out);
    gFakeHost.out.clear();
    EXPECT_EQ(0, runCommand(L"/T:?"));
    EXPECT_EQ(ANCESTRY_HELP_T, gFakeHost.out);
    gFakeHost.out.clear();
    EXPECT_EQ(0, runCommand(L"/??"));
    EXPECT_EQ(std::wstring(ANCESTRY_HELP) + L"\r\n\t\t\t\tKinfold  1.1.1.0 (" KF_ARCH_TEXT L")\r\n", gFakeHost.out);
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(AncestryCommandTest, ProcessesThatCannotBeFoundFailWithResultTwo)
{
    // Wine has no process 4.
    EXPECT_EQ(2, runCommand(L"4"));
    EXPECT_EQ(L"Kinfold plugin: Process ID not found: 0x0004 (4)\r\n", gFakeHost.err);

    resetFakeHost();
    EXPECT_EQ(2, runCommand(L"0xFFFFFFF0"));
    EXPECT_EQ(L"Kinfold plugin: Process ID not found: 0xFFFFFFF0 (4294967280)\r\n", gFakeHost.err);

    resetFakeHost();
    EXPECT_EQ(2, runCommand(L"no-such-program-*"));
    EXPECT_EQ(L"Kinfold plugin: No process matching the given wildcards was found.\r\n", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
}

TEST(AncestryCommandTest, ListsItsOwnChainEndingWithItself)
{
    wchar_t self[16];
    formatText(self, 16, L"%04X  ", GetCurrentProcessId());
    for (const wchar_t* arguments : {L"", L"0", L"/U test_comm*"}) {
        resetFakeHost();
        EXPECT_EQ(0, runCommand(arguments)) << arguments;
        EXPECT_EQ(L"", gFakeHost.err);
        const std::wstring& out = gFakeHost.out;
        ASSERT_FALSE(out.empty());
        EXPECT_NE(L'\r', out[0]);
        size_t last = out.rfind(self);
        ASSERT_NE(std::wstring::npos, last) << arguments;
        EXPECT_NE(std::wstring::npos, out.find(L"test_commands", last));
    }
    EXPECT_NE(std::wstring::npos, gFakeHost.out.find(L"\r\nFound "));

    resetFakeHost();
    EXPECT_EQ(0, runCommand(L"/R /L /D"));
    wchar_t first[32];
    formatText(first, 32, L"  1:  %u  ", GetCurrentProcessId());
    EXPECT_EQ(0u, gFakeHost.out.find(first));
}
