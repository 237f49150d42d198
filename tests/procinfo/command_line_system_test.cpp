// The reader against real processes under Wine: kfsleeper.exe started with
// spaces, quotes, a tab and a 2,000-character argument, of this build's
// bitness and of the other build's.
#include "procinfo/command_line.h"
#include "procinfo/process_probe.h"
#include "process_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Starts the sleeper from dir and reads its command line through the probe
// until it is the one given or waitMs have passed (under Wine the child sets
// its PEB up itself). Returns the text last read with the one expected, or
// nothing when the sleeper did not start.
bool startAndRead(const std::wstring& dir, DWORD waitMs, std::wstring* read, std::wstring* expected)
{
    std::wstring program = ProcessTree::programDirectory() + dir + L"kfsleeper.exe";
    std::wstring line = L"\"" + program + L"\" 30000 \"two words\" \"say \\\"hi\\\"\" tab\there ";
    line += std::wstring(2000, L'z');
    *expected = line;
    std::replace(expected->begin(), expected->end(), L'\t', L' ');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        return false;
    }
    UniqueProcessHandle process(child.hProcess), thread(child.hThread);
    std::vector<wchar_t> text(COMMAND_LINE_COUNT, L'#');
    for (DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(50)) {
        ProcessFacts facts = {};
        facts.commandLine = text.data();
        facts.commandLineCount = COMMAND_LINE_COUNT;
        if (!readSystemProcess(NULL, child.dwProcessId, WANT_COMMAND_LINE | WANT_DETAILS, &facts, NULL)) {
            wcscpy(text.data(), L"(not opened)");
        }
        if (*expected == text.data()) break;
    }
    *read = text.data();
    TerminateProcess(process.get(), 0);
    return true;
}

TEST(CommandLineSystem, ChildOfThisBitnessReadsBack)
{
    std::wstring read, expected;
    ASSERT_TRUE(startAndRead(L"", 20000, &read, &expected));
    EXPECT_EQ(expected, read);
}

// The x64 DLL reads a WOW64 process's 64-bit PEB. The x86 DLL reaches a
// 64-bit process only through class 60 or WOW64's 64-bit calls; Wine 8 has
// neither (its ProcessBasicInformation says PEB 0 there): no text, still opened.
TEST(CommandLineSystem, ChildOfTheOtherBitness)
{
    CommandLineCalls calls = systemCommandLineCalls();
    wchar_t own[2];
    bool reachable = sizeof(void*) == 8 || queryCommandLine(calls, GetCurrentProcess(), own, 2) != COMMAND_LINE_NONE ||
                     (calls.queryProcess64 != NULL && calls.readMemory64 != NULL);
    std::wstring read, expected;
    if (!startAndRead(sizeof(void*) == 8 ? L"..\\..\\x86\\e2e\\" : L"..\\..\\x64\\e2e\\", reachable ? 20000 : 2000,
                      &read, &expected)) {
        GTEST_SKIP() << "the other build's kfsleeper.exe is missing or does not run here: error " << GetLastError();
    }
    EXPECT_EQ(reachable ? expected : L"", read);
}

}  // namespace
