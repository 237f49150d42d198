#include "commands/ancestry.h"
#include "commands/commands.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Formats a chain as the walk returns it (the process first, the oldest
// ancestor last), with names in a table of fixed-width rows when given.
std::wstring formatChain(const std::vector<uint32_t>& pids, const std::vector<std::wstring>& names, uint32_t flags,
                         size_t resultCount = ANCESTRY_RESULT_COUNT, int* written = nullptr)
{
    uint32_t nameWidth = 0;
    for (const std::wstring& name : names) {
        nameWidth = std::max<uint32_t>(nameWidth, static_cast<uint32_t>(name.size() + 1));
    }
    std::vector<wchar_t> table(nameWidth * names.size(), L'\0');
    for (size_t row = 0; row < names.size(); ++row) {
        std::copy(names[row].begin(), names[row].end(), table.begin() + row * nameWidth);
    }
    // One unit more than the function is told of, which it must never write.
    const wchar_t SENTINEL = L'~';
    std::vector<wchar_t> result(resultCount + 1, L'#');
    result[resultCount] = SENTINEL;
    int members = formatAncestorChain(static_cast<uint32_t>(pids.size()), pids.data(),
                                      names.empty() ? nullptr : table.data(), nameWidth, flags, result.data(),
                                      resultCount);
    EXPECT_EQ(SENTINEL, result[resultCount]) << "written past a result of " << resultCount << " units";
    if (written != nullptr) {
        *written = members;
    }
    return result.data();
}

std::vector<std::wstring> words(const std::wstring& text)
{
    std::wistringstream in(text);
    return {std::istream_iterator<std::wstring, wchar_t>(in), std::istream_iterator<std::wstring, wchar_t>()};
}

std::wstring callFunction(const std::wstring& arguments, int* result)
{
    std::vector<wchar_t> buffer(ANCESTRY_RESULT_COUNT, L'\0');
    std::copy(arguments.begin(), arguments.end(), buffer.begin());
    *result = f_ancestry(buffer.data());
    return buffer.data();
}

}  // namespace

TEST(FormatAncestorChainTest, ModesAndFlagsOldestFirstWithSingleBlanks)
{
    const struct {
        uint32_t flags;
        const wchar_t* expected;
    } cases[] = {
        {0, L"0x12345 0x00AB 0x0024 0x0030"},
        {1, L"12345 AB 24 30"},
        {2, L"74565 171 36 48"},
        // Names go through the host's quoting: the one with a blank is quoted.
        {3, L"root.exe Setup.EXE \"My Shell.exe\" child.exe"},
        // Only the two low bits choose the mode; unknown bits are ignored.
        {4, L"0x12345 0x00AB 0x0024 0x0030"},
        {0x106, L"74565 171 36 48"},
        {64, L"0x0030 0x0024 0x00AB 0x12345"},
        {128, L"0x12345 0x00ab 0x0024 0x0030"},
        {129, L"12345 ab 24 30"},
        {131, L"root.exe setup.exe \"my shell.exe\" child.exe"},
        {64 | 131, L"child.exe \"my shell.exe\" setup.exe root.exe"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, formatChain({0x30, 0x24, 0xAB, 0x12345},
                                          {L"child.exe", L"My Shell.exe", L"Setup.EXE", L"root.exe"}, c.flags))
            << c.flags;
    }
}

TEST(FormatAncestorChainTest, KeepsWholeMembersThatFitOrNothing)
{
    const struct {
        uint32_t flags;
        size_t count;
        const wchar_t* expected;
    } cases[] = {
        {3, 20, L"DDDD CCCC BBBB AAAA"},
        // Exactly the two members and the terminator: no room for a blank after the second.
        {3, 10, L"DDDD CCCC"},
        {3, 9, L"DDDD"},
        {3, 4, L""},
        {64 | 3, 10, L"AAAA BBBB"},  // reversed, the oldest ones are cut
    };
    for (const auto& c : cases) {
        int written = -2;
        std::wstring text = formatChain({4, 3, 2, 1}, {L"AAAA", L"BBBB", L"CCCC", L"DDDD"}, c.flags, c.count, &written);
        EXPECT_EQ(c.expected, text) << c.count;
        EXPECT_EQ(static_cast<int>(words(text).size()), written) << c.count;
    }

    // No chain, or name mode without a name table: nothing rather than PIDs posing as names.
    EXPECT_EQ(L"", formatChain({}, {}, 0));
    int written = -2;
    EXPECT_EQ(L"", formatChain({0x30, 0x24}, {}, 3, ANCESTRY_RESULT_COUNT, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(L"0x0024 0x0030", formatChain({0x30, 0x24}, {}, 0));
    const uint32_t pid = 4;
    EXPECT_EQ(-1, formatAncestorChain(1, &pid, nullptr, 0, 0, nullptr, 10));
}

// Each message is written out once; other rows give the upper-cased argument.
TEST(AncestryFunctionTest, BadArgumentsAreReportedAndLeaveTheBufferAlone)
{
    const struct {
        const wchar_t* arguments;
        const wchar_t* text;
        bool whole;
    } cases[] = {
        {L"abc", L"Kinfold plugin: Bad PID value: \"ABC\"\r\n", true},
        {L"0x0,3", L"Kinfold plugin: PID must be nonzero: \"0X0\"\r\n", true},
        {L",3f", L"Kinfold plugin: Bad flags value: \"3F\"\r\n", true},
        {L" 12ab ,2", L"\"12AB\"", false},
        {L"0x", L"\"0X\"", false},
        {L"0", L"\"0\"", false},
        {L".,x", L"\"X\"", false},
        {L"zz,yy", L"\"ZZ\"", false},  // the PID is checked before the flags
    };
    for (const auto& c : cases) {
        gFakeHost.err.clear();
        int result = 0;
        EXPECT_EQ(c.arguments, callFunction(c.arguments, &result));
        EXPECT_EQ(-1, result) << c.arguments;
        if (c.whole) {
            EXPECT_EQ(c.text, gFakeHost.err);
        } else {
            EXPECT_NE(std::wstring::npos, gFakeHost.err.find(c.text)) << c.arguments << ": " << gFakeHost.err;
        }
    }
    EXPECT_EQ(L"", gFakeHost.out);
    EXPECT_EQ(1, f_ancestry(nullptr));
}

TEST(AncestryFunctionTest, OwnChainByArgumentsAndNobodysChainEmpty)
{
    int result = -5;
    EXPECT_EQ(L"", callFunction(L"0xFFFFFFF0", &result));
    EXPECT_EQ(0, result);

    const std::wstring self = std::to_wstring(GetCurrentProcessId());
    const std::wstring plain = callFunction(L"", &result);
    EXPECT_EQ(0, result);
    const std::vector<std::wstring> hex = words(plain);
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(self, std::to_wstring(std::stoul(hex.back(), nullptr, 16)));
    EXPECT_EQ(L"0x", hex.back().substr(0, 2));

    // The shell by ".", by an empty first argument or its PID, flags 0 and 4
    // alike; a third argument does not count.
    for (const std::wstring& same : {std::wstring(L"."), std::wstring(L",0"), std::wstring(L" . , 4 "),
                                     std::wstring(L".,0,junk"), std::wstring(L".,,"), self}) {
        EXPECT_EQ(plain, callFunction(same, &result)) << same;
        EXPECT_EQ(0, result);
    }
    EXPECT_EQ(std::vector<std::wstring>(hex.rbegin(), hex.rend()), words(callFunction(L".,0x40", &result)));
    EXPECT_EQ(self, words(callFunction(L".,2", &result)).back());
    EXPECT_EQ(std::wstring::npos, callFunction(L".,128", &result).find_first_of(L"ABCDEFX"));
    EXPECT_EQ(L"", gFakeHost.err + gFakeHost.out);
}
