// A stand-in console for unit tests: window size, colours, keys and the tick
// counter are set by the test; text written straight to the console lands in
// gFakeHost.out (so a line reads whole), in gFakeHost.pieces between the
// host's calls, and, with its colour, in runs.
#pragma once
#include <windows.h>

#include "fake_console.h"
#include "console/arguments.h"
#include "console/console_output.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

struct FakeConsole {
    bool isConsole = true;            // GetConsoleMode on standard output succeeds
    bool inputIsConsole = true;       // ... and on standard input
    bool conoutOpens = true;          // CreateFileW("conout$") succeeds
    bool bufferInfoWorks = true;      // GetConsoleScreenBufferInfo succeeds
    WORD attribute = 0x07;            // the attribute in force
    SMALL_RECT window = {0, 0, 79, 24};
    COORD bufferSize = {80, 300};

    std::vector<std::pair<WORD, std::wstring>> runs;  // (attribute, text) of each write
    std::vector<WORD> attributeLog;                     // every attribute set, in order
    std::vector<DWORD> writeCounts;                     // units per WriteConsoleW call

    std::deque<int> keys;             // what readKey returns, in order
    unsigned keysAfterSleeps = 0;     // keys become visible after this many sleeps
    int breakAfterSleeps = -1;        // the ctrl handler gets CTRL_C_EVENT after this many sleeps
    DWORD breakEvent = CTRL_C_EVENT;
    DWORD tick = 1000;                // the tick counter; each sleep advances it
    unsigned sleeps = 0;
    unsigned prepareCalls = 0;
    unsigned sleepLimit = 1000000;    // a wait nobody answers gets Esc here instead of hanging
    bool starved = false;             // ... and that is noted

    PHANDLER_ROUTINE handler = nullptr;  // installed ctrl handler
    int handlerAdds = 0;
    int handlerRemoves = 0;
    int openHandles = 0;              // conout$ handles not yet closed
};
extern FakeConsole gFakeConsole;

// Installs the fake console for one test and puts the real one back after.
class FakeConsoleScope {
public:
    FakeConsoleScope();
    ~FakeConsoleScope();
    FakeConsoleScope(const FakeConsoleScope&) = delete;
    FakeConsoleScope& operator=(const FakeConsoleScope&) = delete;
};

// The console the code under test writes to: the fake one inside a
// FakeConsoleScope, else the real one.
const ConsolePort* testConsolePort();

// One output and one argument table for the tests that call the layers
// directly; resetTestOutput starts the output afresh on testConsolePort().
extern ConsoleOutput gTestOutput;
extern ArgumentTable gTestArguments;
void resetTestOutput();

// Characters typed ahead, as readKey returns them.
void typeKeys(const std::wstring& text);
