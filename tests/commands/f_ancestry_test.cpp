#include "commands/ancestry.h"
#include "commands/commands.h"
#include "console/format.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A chain as the walk returns it: the process first, the oldest ancestor last.
struct SyntheticChain {
    std::vector<uint32_t> pids;
    uint32_t nameWidth = 0;
    std::vector<wchar_t> names;

    SyntheticChain(std::initializer_list<uint32_t> chain, std::initializer_list<std::wstring> exeNames)
        : pids(chain)
    {
        for (const std::wstring& name : exeNames) {
            nameWidth = std::max<uint32_t>(nameWidth, static_cast<uint32_t>(name.size() + 1));
        }
        names.assign(static_cast<size_t>(nameWidth) * pids.size(), L'\0');
        size_t row = 0;
        for (const std::wstring& name : exeNames) {
            std::copy(name.begin(), name.end(), names.begin() + row * nameWidth);
            ++row;
        }
    }

    std::wstring format(uint32_t flags, size_t resultCount = ANCESTRY_RESULT_COUNT, int* written = nullptr) const
    {
        std::vector<wchar_t> result(resultCount, L'#');
        int members = formatAncestorChain(static_cast<uint32_t>(pids.size()), pids.data(),
                                          names.empty() ? nullptr : names.data(), nameWidth, flags,
                                          result.data(), resultCount);
        if (written != nullptr) {
            *written = members;
        }
        return result.data();
    }
};

const SyntheticChain kChain({0x30, 0x24, 0xAB, 0x12345}, {L"child.exe", L"My Shell.exe", L"Setup.EXE", L"root.exe"});

std::vector<std::wstring> words(const std::wstring& text)
{
    std::vector<std::wstring> list;
    size_t start = 0;
    while (start < text.size()) {
        size_t blank = text.find(L' ', start);
        list.push_back(text.substr(start, blank == std::wstring::npos ? std::wstring::npos : blank - start));
        if (blank == std::wstring::npos) {
            break;
        }
        start = blank + 1;
    }
    return list;
}

std::wstring callFunction(const std::wstring& arguments, int* result)
{
    std::vector<wchar_t> buffer(ANCESTRY_RESULT_COUNT, L'\0');
    std::copy(arguments.begin(), arguments.end(), buffer.begin());
    *result = f_ancestry(buffer.data());
    return buffer.data();
}

std::wstring hexPid(uint32_t pid)
{
    wchar_t text[16];
    formatText(text, 16, L"0x%04X", pid);
    return text;
}

}  // namespace

TEST(FormatAncestorChainTest, FourModesOldestFirstWithSingleBlanks)
{
    EXPECT_EQ(L"0x12345 0x00AB 0x0024 0x0030", kChain.format(0));
    EXPECT_EQ(L"12345 AB 24 30", kChain.format(1));
    EXPECT_EQ(L"74565 171 36 48", kChain.format(2));
    // Names go through the host's quoting: the one with a blank is quoted.
    EXPECT_EQ(L"root.exe Setup.EXE \"My Shell.exe\" child.exe", kChain.format(3));
    // Only the two low bits choose the mode; unknown bits are ignored.
    EXPECT_EQ(kChain.format(0), kChain.format(4));
    EXPECT_EQ(kChain.format(2), kChain.format(0x106));
}

TEST(FormatAncestorChainTest, ReverseAndLowerCaseFlags)
{
    EXPECT_EQ(L"0x0030 0x0024 0x00AB 0x12345", kChain.format(64));
    EXPECT_EQ(L"0x12345 0x00ab 0x0024 0x0030", kChain.format(128));
    EXPECT_EQ(L"12345 ab 24 30", kChain.format(129));
    EXPECT_EQ(L"root.exe setup.exe \"my shell.exe\" child.exe", kChain.format(131));
    EXPECT_EQ(L"child.exe \"my shell.exe\" setup.exe root.exe", kChain.format(64 | 131));
}

TEST(FormatAncestorChainTest, NoChainOrNoNamesGivesEmptyResult)
{
    SyntheticChain empty({}, {});
    EXPECT_EQ(L"", empty.format(0));
    // Name mode without a name table: nothing rather than PIDs posing as names.
    SyntheticChain noNames({0x30, 0x24}, {});
    int written = -2;
    EXPECT_EQ(L"", noNames.format(3, ANCESTRY_RESULT_COUNT, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(L"0x0024 0x0030", noNames.format(0));
    EXPECT_EQ(-1, formatAncestorChain(1, kChain.pids.data(), nullptr, 0, 0, nullptr, 10));
}

TEST(FormatAncestorChainTest, KeepsWholeMembersWhenTheBufferIsShort)
{
    SyntheticChain four({4, 3, 2, 1}, {L"AAAA", L"BBBB", L"CCCC", L"DDDD"});
    int written = 0;
    // "DDDD CCCC" and its terminator need exactly 10 units.
    EXPECT_EQ(L"DDDD CCCC", four.format(3, 10, &written));
    EXPECT_EQ(2, written);
    EXPECT_EQ(L"DDDD", four.format(3, 9, &written));
    EXPECT_EQ(1, written);
    EXPECT_EQ(L"", four.format(3, 4, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(L"DDDD CCCC BBBB AAAA", four.format(3, 20, &written));
    EXPECT_EQ(4, written);
}

TEST(FormatAncestorChainTest, LongChainOfLongNamesIsCutAfterTheLastMemberThatFits)
{
    std::vector<uint32_t> pids;
    std::vector<std::wstring> names;
    for (uint32_t i = 0; i < 40; ++i) {
        pids.push_back(0x100 + 4 * i);
        names.push_back(std::wstring(246, static_cast<wchar_t>(L'A' + i % 26)) + L".exe");
    }
    SyntheticChain chain({}, {});
    chain.pids = pids;
    chain.nameWidth = 251;
    chain.names.assign(static_cast<size_t>(chain.nameWidth) * pids.size(), L'\0');
    for (size_t i = 0; i < names.size(); ++i) {
        std::copy(names[i].begin(), names[i].end(), chain.names.begin() + i * chain.nameWidth);
    }

    int written = 0;
    std::wstring text = chain.format(3, ANCESTRY_RESULT_COUNT, &written);
    // 32 names of 250 units and 31 blanks fill 8031 units; a 33rd does not fit.
    EXPECT_EQ(32, written);
    EXPECT_EQ(32u * 251 - 1, text.size());
    std::vector<std::wstring> members = words(text);
    ASSERT_EQ(32u, members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(names[39 - i], members[i]) << "member " << i;
    }

    // Reversed, the process itself comes first and the oldest ones are cut.
    members = words(chain.format(64 | 3));
    ASSERT_EQ(32u, members.size());
    EXPECT_EQ(names[0], members.front());
    EXPECT_EQ(names[31], members.back());
}

TEST(AncestryFunctionTest, NullBufferGivesOne)
{
    EXPECT_EQ(1, f_ancestry(nullptr));
}

TEST(AncestryFunctionTest, BadArgumentsAreReportedUpperCasedAndLeaveTheBufferAlone)
{
    struct Case {
        const wchar_t* arguments;
        const wchar_t* message;
    } cases[] = {
        {L"abc", L"Kinfold plugin: Bad PID value: \"ABC\"\r\n"},
        {L" 12ab ,2", L"Kinfold plugin: Bad PID value: \"12AB\"\r\n"},
        {L"0x", L"Kinfold plugin: Bad PID value: \"0X\"\r\n"},
        {L"0", L"Kinfold plugin: PID must be nonzero: \"0\"\r\n"},
        {L"0x0,3", L"Kinfold plugin: PID must be nonzero: \"0X0\"\r\n"},
        {L".,x", L"Kinfold plugin: Bad flags value: \"X\"\r\n"},
        {L",3f", L"Kinfold plugin: Bad flags value: \"3F\"\r\n"},
        // The PID is checked before the flags.
        {L"zz,yy", L"Kinfold plugin: Bad PID value: \"ZZ\"\r\n"},
    };
    for (const Case& c : cases) {
        gFakeHost.err.clear();
        int result = 0;
        EXPECT_EQ(c.arguments, callFunction(c.arguments, &result));
        EXPECT_EQ(-1, result) << c.arguments;
        EXPECT_EQ(c.message, gFakeHost.err);
    }
    EXPECT_EQ(L"", gFakeHost.out);
}

TEST(AncestryFunctionTest, PidNobodyHasGivesEmptyResult)
{
    int result = -5;
    EXPECT_EQ(L"", callFunction(L"0xFFFFFFF0", &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(L"", gFakeHost.err);
}

TEST(AncestryFunctionTest, OwnChainInEveryForm)
{
    int result = -5;
    std::wstring plain = callFunction(L"", &result);
    EXPECT_EQ(0, result);
    std::vector<std::wstring> hex = words(plain);
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(hexPid(GetCurrentProcessId()), hex.back());
    EXPECT_EQ(std::wstring::npos, plain.find(L"  "));

    // The shell by ".", by an empty first argument, flags 0 and 4 alike; a
    // third argument does not count.
    for (const wchar_t* same : {L".", L",0", L" . , 4 ", L".,0,junk", L".,,"}) {
        EXPECT_EQ(plain, callFunction(same, &result)) << same;
        EXPECT_EQ(0, result);
    }
    std::wstring selfDecimal = std::to_wstring(GetCurrentProcessId());
    EXPECT_EQ(plain, callFunction(selfDecimal, &result));

    std::vector<std::wstring> reversed = words(callFunction(L".,64", &result));
    EXPECT_EQ(std::vector<std::wstring>(hex.rbegin(), hex.rend()), reversed);
    EXPECT_EQ(reversed, words(callFunction(L".,0x40", &result)));

    std::vector<std::wstring> decimal = words(callFunction(L".,2", &result));
    ASSERT_EQ(hex.size(), decimal.size());
    for (size_t i = 0; i < hex.size(); ++i) {
        EXPECT_EQ(std::stoul(hex[i], nullptr, 16), std::stoul(decimal[i])) << i;
    }
    std::wstring bare = callFunction(L".,1", &result);
    EXPECT_EQ(std::stoul(bare.substr(bare.rfind(L' ') + 1), nullptr, 16), GetCurrentProcessId());
    EXPECT_EQ(std::wstring::npos, bare.find(L"0x"));

    std::wstring names = callFunction(L".,3", &result);
    EXPECT_EQ(L"test_commands.exe", names.substr(names.rfind(L' ') + 1));
    EXPECT_EQ(L"test_commands.exe", callFunction(L".,131", &result).substr(names.rfind(L' ') + 1));
    std::wstring lower = callFunction(L".,128", &result);
    EXPECT_EQ(words(lower).size(), hex.size());
    EXPECT_EQ(std::wstring::npos, lower.find_first_of(L"ABCDEFX"));
    EXPECT_EQ(L"", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
}
