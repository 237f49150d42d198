// No command may leave a handle open in the host: each entry the host calls
// runs many times against a started process tree, and the handle table of this
// process must look the same afterwards.
//
// GetProcessHandleCount succeeds under Wine but always answers 0, so the check
// reads the handle table through the values it hands out. Wine gives every new
// handle the lowest free slot; so the value of the last of PROBE_DEPTH handles
// created in a row moves up one step for each handle left open below it, and
// comes back to the same value when everything was closed. Probing deep rather
// than with a single handle also sees handles leaked while a lower one (the
// snapshot a command holds to the end) was still open.
#include "commands/ancestry.h"
#include "commands/commands.h"
#include "fake_console.h"
#include "fake_host.h"
#include "plugin/plugin.h"
#include "process_tree.h"

#include <gtest/gtest.h>

#include <stdint.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

const int PROBE_DEPTH = 64;
// The first calls of a process leave handles cached inside the system
// libraries (window station, desktop, service manager binding): not leaks.
const int WARM_UP_ROUNDS = 3;
// One handle left open per call shows as this many steps.
const int ROUNDS = 60;
// The /END paths hold every process of their tree, and the last starts and
// ends one each round: x86 under qemu pays for each round, and a handle left
// per round shows in a few as well as in many.
const int END_ROUNDS = 12;

// The value of the last of PROBE_DEPTH fresh handles; 0 when they cannot be made.
uintptr_t probeHandleValue()
{
    HANDLE handles[PROBE_DEPTH] = {};
    uintptr_t highest = 0;
    bool made = true;
    for (HANDLE& handle : handles) {
        handle = CreateEventW(NULL, TRUE, FALSE, NULL);
        if (handle == NULL) {
            made = false;
            break;
        }
        highest = std::max(highest, reinterpret_cast<uintptr_t>(handle));
    }
    for (HANDLE handle : handles) {
        if (handle != NULL) {
            CloseHandle(handle);
        }
    }
    return made ? highest : 0;
}

// The distance one handle left open moves the probe, measured with three
// handles kept open on purpose; 0 when the probe cannot see them, or does not
// come back once they are closed.
uintptr_t probeStep()
{
    uintptr_t base = probeHandleValue();
    if (base == 0 || probeHandleValue() != base) {
        return 0;
    }
    HANDLE kept[3];
    for (HANDLE& handle : kept) {
        handle = CreateEventW(NULL, TRUE, FALSE, NULL);
    }
    uintptr_t moved = probeHandleValue();
    for (HANDLE handle : kept) {
        CloseHandle(handle);
    }
    if (moved <= base || (moved - base) % 3 != 0 || probeHandleValue() != base) {
        return 0;
    }
    return (moved - base) / 3;
}

std::wstring hex(uint32_t pid)
{
    wchar_t text[16];
    _snwprintf(text, 16, L"0x%X", pid);
    text[15] = L'\0';
    return text;
}

bool contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

int runCommand(int(WINAPI* command)(wchar_t*), const std::wstring& arguments)
{
    std::wstring copy(arguments);
    return command(&copy[0]);
}

// A command body on the console of the tests, the fake one inside a FakeConsoleScope.
int runCommand(int (*command)(wchar_t*, const ConsolePort*), const std::wstring& arguments)
{
    std::wstring copy(arguments);
    return command(&copy[0], testConsolePort());
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// One entry of the host with its arguments; true when the call did its whole
// work, so that no round passes through an early error path instead.
struct EntryCall {
    const char* what;
    std::function<bool()> call;
    int rounds;
};

// A process of this round's own, ended by KINFOLD /END /Y: the table holds it
// from its first reading to the end, and waits on it. True when it was ended.
bool endOwnProcess(const std::wstring& sleeper)
{
    std::wstring line = L"\"" + sleeper + L"\" 60000";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(sleeper.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    bool ended = runCommand(kinfold, hex(info.dwProcessId) + L" /END /Y") == 0 &&
                 contains(gFakeHost.out, L"Ended 1 of 1 process.") &&
                 WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(info.hProcess, 1);
    }
    CloseHandle(info.hProcess);
    return ended;
}

TEST(HandleLeaks, EveryEntryLeavesTheHandleTableAsItFoundIt)
{
    uintptr_t step = probeStep();
    if (step == 0) {
        GTEST_SKIP() << "handle values here are not handed out lowest slot first, so the table "
                        "cannot be read through them";
    }
    ProcessTree tree;
    ASSERT_TRUE(tree.start()) << narrow(tree.error());
    ASSERT_EQ(0, InitializePlugin());  // as the host does: the /F path reader is chosen here
    const std::wstring root = hex(tree.pid(TREE_ROOT));
    const std::wstring leaf = hex(tree.pid(TREE_LEAF));
    const std::wstring sleeper = ProcessTree::programDirectory() + L"kfsleeper.exe";

    const EntryCall calls[] = {
        // Every collection of the table build: processes opened, services, window titles.
        {"KINFOLD /C /I /M /T:F", [&] {
             return runCommand(kinfold, root + L" /C /I /M /T:F /W:400") == 0 && contains(gFakeHost.out, L"kfleaf");
         },
         ROUNDS},
        // Each line opens its process for the image path.
        {"KINFOLD /F", [&] {
             return runCommand(kinfold, root + L" /F /W:400") == 0 && contains(gFakeHost.out, L"\\kfleaf.exe");
         },
         ROUNDS},
        {"ANCESTRY /F /C /I /M", [&] {
             return runCommand(ancestry, leaf + L" /F /C /I /M /W:400") == 0 &&
                    contains(gFakeHost.out, L"\\kfroot.exe");
         },
         ROUNDS},
        {"@ANCESTRY", [&] {
             std::wstring buffer = leaf + L",3";
             buffer.resize(ANCESTRY_RESULT_COUNT, L'\0');
             return f_ancestry(&buffer[0]) == 0 && contains(buffer, L"kfroot.exe kfbranch.exe kfleaf.exe");
         },
         ROUNDS},
        // Each descendant is opened for its parent link's creation-time test.
        {"@KINFOLD", [&] {
             std::wstring buffer = root + L",67";
             buffer.resize(FUNCTION_RESULT_COUNT, L'\0');
             return f_kinfold(&buffer[0]) == 0 && contains(buffer, L"kfleaf.exe kfbranch.exe");
         },
         ROUNDS},
        // Every process of the tree held until the question is answered No.
        {"KINFOLD /END answered N", [&] {
             FakeConsoleScope console;
             gFakeConsole.keys = {'n'};
             gFakeConsole.keysAfterSleeps = 1;  // pressed once the question is asked
             return runCommand(kinfoldCommand, root + L" /END") == 3 &&
                    contains(gFakeHost.out, L" processes? (Y/N) N\r\n");
         },
         END_ROUNDS},
        // The tree of this process holds the shell: refused after every
        // process of it was held.
        {"KINFOLD /END /Y refused", [&] {
             return runCommand(kinfold, hex(GetCurrentProcessId()) + L" /END /Y") == 2 &&
                    contains(gFakeHost.err, L"the tree holds this shell");
         },
         END_ROUNDS},
        {"KINFOLD /END /Y", [&] { return endOwnProcess(sleeper); }, END_ROUNDS},
    };
    for (const EntryCall& entry : calls) {
        for (int round = 0; round < WARM_UP_ROUNDS; ++round) {
            resetFakeHost();
            ASSERT_TRUE(entry.call()) << entry.what << " warming up: " << narrow(gFakeHost.err);
        }
        uintptr_t before = probeHandleValue();
        for (int round = 0; round < entry.rounds; ++round) {
            resetFakeHost();
            ASSERT_TRUE(entry.call()) << entry.what << " round " << round << ": " << narrow(gFakeHost.err);
        }
        uintptr_t after = probeHandleValue();
        EXPECT_EQ(before, after) << entry.what << " left about "
                                 << (static_cast<intptr_t>(after) - static_cast<intptr_t>(before)) /
                                        static_cast<intptr_t>(step)
                                 << " handles open over " << entry.rounds << " calls (probe 0x" << std::hex << before
                                 << " -> 0x" << after << ")";
    }
}

}  // namespace
