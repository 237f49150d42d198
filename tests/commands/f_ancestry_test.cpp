#include "commands/ancestry.h"
#include "commands/commands.h"
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
        EXPECT_EQ(c.expected, kChain.format(c.flags)) << c.flags;
    }
}

TEST(FormatAncestorChainTest, KeepsWholeMembersThatFitOrNothing)
{
    SyntheticChain four({4, 3, 2, 1}, {L"AAAA", L"BBBB", L"CCCC", L"DDDD"});
    const struct {
        uint32_t flags;
        size_t count;
        const wchar_t* expected;
    } cases[] = {
        {3, 20, L"DDDD CCCC BBBB AAAA"},
        {3, 10, L"DDDD CCCC"},  // exactly the two members and the terminator
        {3, 9, L"DDDD"},
        {3, 4, L""},
        {64 | 3, 10, L"AAAA BBBB"},  // reversed, the oldest ones are cut
    };
    for (const auto& c : cases) {
        int written = -2;
        std::wstring text = four.format(c.flags, c.count, &written);
        EXPECT_EQ(c.expected, text) << c.count;
        EXPECT_EQ(static_cast<int>(words(text).size()), written) << c.count;
    }

    // No chain, or name mode without a name table: nothing rather than PIDs posing as names.
    SyntheticChain noNames({0x30, 0x24}, {});
    EXPECT_EQ(L"", SyntheticChain({}, {}).format(0));
    int written = -2;
    EXPECT_EQ(L"", noNames.format(3, ANCESTRY_RESULT_COUNT, &written));
    EXPECT_EQ(0, written);
    EXPECT_EQ(L"0x0024 0x0030", noNames.format(0));
    EXPECT_EQ(-1, formatAncestorChain(1, kChain.pids.data(), nullptr, 0, 0, nullptr, 10));
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

TEST(AncestryFunctionTest, OwnChainInEveryFormAndNobodysChainEmpty)
{
    int result = -5;
    EXPECT_EQ(L"", callFunction(L"0xFFFFFFF0", &result));
    EXPECT_EQ(0, result);

    const uint32_t self = GetCurrentProcessId();
    std::wstring plain = callFunction(L"", &result);
    EXPECT_EQ(0, result);
    std::vector<std::wstring> hex = words(plain);
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(L"0x", hex.back().substr(0, 2));
    EXPECT_EQ(self, std::stoul(hex.back(), nullptr, 16));

    // The shell by ".", by an empty first argument or its PID, flags 0 and 4
    // alike; a third argument does not count.
    for (const std::wstring& same : {std::wstring(L"."), std::wstring(L",0"), std::wstring(L" . , 4 "),
                                     std::wstring(L".,0,junk"), std::wstring(L".,,"), std::to_wstring(self)}) {
        EXPECT_EQ(plain, callFunction(same, &result)) << same;
        EXPECT_EQ(0, result);
    }
    std::vector<std::wstring> reversed = words(callFunction(L".,64", &result));
    EXPECT_EQ(std::vector<std::wstring>(hex.rbegin(), hex.rend()), reversed);
    EXPECT_EQ(reversed, words(callFunction(L".,0x40", &result)));

    std::vector<std::wstring> decimal = words(callFunction(L".,2", &result));
    ASSERT_EQ(hex.size(), decimal.size());
    EXPECT_EQ(std::to_wstring(self), decimal.back());
    std::wstring bare = callFunction(L".,1", &result);
    EXPECT_EQ(self, std::stoul(words(bare).back(), nullptr, 16));
    EXPECT_EQ(std::wstring::npos, bare.find(L"0x"));

    std::wstring names = callFunction(L".,3", &result);
    EXPECT_EQ(L"test_commands.exe", names.substr(names.rfind(L' ') + 1));
    EXPECT_EQ(L"test_commands.exe", words(callFunction(L".,131", &result)).back());
    std::wstring lower = callFunction(L".,128", &result);
    EXPECT_EQ(plain.size(), lower.size());
    EXPECT_EQ(std::wstring::npos, lower.find_first_of(L"ABCDEFX"));
    EXPECT_EQ(L"", gFakeHost.err);
    EXPECT_EQ(L"", gFakeHost.out);
}
