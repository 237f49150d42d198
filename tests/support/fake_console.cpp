#include "fake_console.h"

#include "console/console_port.h"
#include "fake_host.h"

FakeConsole gFakeConsole;
ConsoleOutput gTestOutput;
ArgumentTable gTestArguments;

namespace {

HANDLE const FAKE_STDOUT = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5100));
HANDLE const FAKE_CONOUT = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5200));
HANDLE const FAKE_STDIN = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5300));

const ConsolePort* gActivePort = &gWin32Console;

bool isFakeConsoleHandle(HANDLE h)
{
    return (h == FAKE_STDOUT && gFakeConsole.isConsole) || h == FAKE_CONOUT ||
           (h == FAKE_STDIN && gFakeConsole.inputIsConsole);
}

HANDLE fakeStandardOutput()
{
    return FAKE_STDOUT;
}

HANDLE fakeStandardInput()
{
    return FAKE_STDIN;
}

BOOL fakeGetMode(HANDLE console, DWORD* mode)
{
    if (!isFakeConsoleHandle(console)) {
        return FALSE;
    }
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}

BOOL fakeGetScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info)
{
    if (!isFakeConsoleHandle(console) || !gFakeConsole.bufferInfoWorks) {
        return FALSE;
    }
    *info = CONSOLE_SCREEN_BUFFER_INFO();
    info->dwSize = gFakeConsole.bufferSize;
    info->wAttributes = gFakeConsole.attribute;
    info->srWindow = gFakeConsole.window;
    info->dwMaximumWindowSize = gFakeConsole.bufferSize;
    return TRUE;
}

BOOL fakeSetTextAttribute(HANDLE console, WORD attribute)
{
    if (!isFakeConsoleHandle(console)) {
        return FALSE;
    }
    gFakeConsole.attribute = attribute;
    gFakeConsole.attributeLog.push_back(attribute);
    return TRUE;
}

BOOL fakeWriteConsole(HANDLE console, const wchar_t* text, DWORD count, DWORD* written)
{
    if (!isFakeConsoleHandle(console)) {
        return FALSE;
    }
    std::wstring piece(text, count);
    gFakeHost.out += piece;
    gFakeHost.pieces.push_back(OutputPiece{true, gFakeConsole.attribute, piece});
    gFakeConsole.writeCounts.push_back(count);
    auto& runs = gFakeConsole.runs;
    if (!runs.empty() && runs.back().first == gFakeConsole.attribute) {
        runs.back().second += piece;
    } else {
        runs.emplace_back(gFakeConsole.attribute, piece);
    }
    *written = count;
    return TRUE;
}

HANDLE fakeOpenConout()
{
    if (!gFakeConsole.conoutOpens) {
        return INVALID_HANDLE_VALUE;
    }
    gFakeConsole.openHandles++;
    return FAKE_CONOUT;
}

void fakeCloseHandle(HANDLE handle)
{
    if (handle == FAKE_CONOUT) {
        gFakeConsole.openHandles--;
    }
}

void fakePrepareInput()
{
    gFakeConsole.prepareCalls++;
}

bool fakeKeyWaiting()
{
    if (gFakeConsole.keys.empty() && gFakeConsole.sleeps >= gFakeConsole.sleepLimit) {
        gFakeConsole.starved = true;
        gFakeConsole.keys.push_back(0x1B);
    }
    return !gFakeConsole.keys.empty() && gFakeConsole.sleeps >= gFakeConsole.keysAfterSleeps;
}

int fakeReadKey()
{
    if (gFakeConsole.keys.empty()) {
        gFakeConsole.starved = true;
        return 0x1B;
    }
    int key = gFakeConsole.keys.front();
    gFakeConsole.keys.pop_front();
    return key;
}

DWORD fakeTickCount()
{
    return gFakeConsole.tick;
}

void fakeSleep(DWORD milliseconds)
{
    gFakeConsole.tick += milliseconds;
    gFakeConsole.sleeps++;
    if (gFakeConsole.breakAfterSleeps >= 0 && gFakeConsole.sleeps == static_cast<unsigned>(gFakeConsole.breakAfterSleeps) &&
        gFakeConsole.handler != nullptr) {
        gFakeConsole.handler(gFakeConsole.breakEvent);
    }
}

BOOL fakeSetCtrlHandler(PHANDLER_ROUTINE handler, BOOL add)
{
    if (add) {
        gFakeConsole.handler = handler;
        gFakeConsole.handlerAdds++;
    } else {
        if (gFakeConsole.handler == handler) {
            gFakeConsole.handler = nullptr;
        }
        gFakeConsole.handlerRemoves++;
    }
    return TRUE;
}

const ConsolePort FAKE_PORT = {
    fakeStandardOutput, fakeStandardInput, fakeGetMode, fakeGetScreenBufferInfo, fakeSetTextAttribute, fakeWriteConsole,
    fakeOpenConout,     fakeCloseHandle, fakePrepareInput,        fakeKeyWaiting,       fakeReadKey,
    fakeTickCount,      fakeSleep,       fakeSetCtrlHandler,
};

}  // namespace

FakeConsoleScope::FakeConsoleScope()
{
    gFakeConsole = FakeConsole();
    gActivePort = &FAKE_PORT;
    resetTestOutput();
}

FakeConsoleScope::~FakeConsoleScope()
{
    gActivePort = &gWin32Console;
    resetTestOutput();
}

const ConsolePort* testConsolePort()
{
    return gActivePort;
}

void resetTestOutput()
{
    resetConsoleOutput(&gTestOutput, gActivePort);
}

void typeKeys(const std::wstring& text)
{
    for (wchar_t ch : text) {
        gFakeConsole.keys.push_back(ch);
    }
}
