#include "console/console_port.h"

#include "base/text.h"

#include <conio.h>
#include <wchar.h>

namespace {

// WriteConsoleW refuses longer writes on some systems.
const size_t MAX_CONSOLE_WRITE = 32767;

HANDLE win32StandardOutput()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

HANDLE win32StandardInput()
{
    return GetStdHandle(STD_INPUT_HANDLE);
}

BOOL win32GetMode(HANDLE console, DWORD* mode)
{
    return GetConsoleMode(console, mode);
}

BOOL win32GetScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info)
{
    return GetConsoleScreenBufferInfo(console, info);
}

BOOL win32SetTextAttribute(HANDLE console, WORD attribute)
{
    return SetConsoleTextAttribute(console, attribute);
}

BOOL win32WriteConsole(HANDLE console, const wchar_t* text, DWORD count, DWORD* written)
{
    return WriteConsoleW(console, text, count, written, NULL);
}

HANDLE win32OpenConout()
{
    return CreateFileW(L"conout$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

void win32CloseHandle(HANDLE handle)
{
    CloseHandle(handle);
}

// Wine's console in a terminal reads the terminal only once the program
// peeks, reads or waits on its input; _kbhit alone never sees a key there.
void win32PrepareInput()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    INPUT_RECORD record;
    DWORD count = 0;
    if (input != NULL && input != INVALID_HANDLE_VALUE) {
        PeekConsoleInputW(input, &record, 1, &count);
    }
}

bool win32KeyWaiting()
{
    return _kbhit() != 0;
}

int win32ReadKey()
{
    return static_cast<int>(_getwch());
}

DWORD win32TickCount()
{
    return GetTickCount();
}

void win32Sleep(DWORD milliseconds)
{
    Sleep(milliseconds);
}

BOOL win32SetCtrlHandler(PHANDLER_ROUTINE handler, BOOL add)
{
    return SetConsoleCtrlHandler(handler, add);
}

void writeChunks(const ConsolePort* port, HANDLE console, const wchar_t* text, size_t length)
{
    while (length > 0) {
        size_t chunk = length < MAX_CONSOLE_WRITE ? length : MAX_CONSOLE_WRITE;
        // Keep a surrogate pair in one write, so no half character is drawn.
        if (chunk < length && isHighSurrogate(text[chunk - 1])) {
            --chunk;
        }
        DWORD written = 0;
        if (!port->writeConsole(console, text, static_cast<DWORD>(chunk), &written)) {
            return;
        }
        text += chunk;
        length -= chunk;
    }
}

}  // namespace

const ConsolePort gWin32Console = {
    win32StandardOutput, win32StandardInput, win32GetMode,    win32GetScreenBufferInfo, win32SetTextAttribute, win32WriteConsole,
    win32OpenConout,     win32CloseHandle, win32PrepareInput,        win32KeyWaiting,       win32ReadKey,
    win32TickCount,      win32Sleep,       win32SetCtrlHandler,
};

bool stdoutIsConsole(const ConsolePort* port)
{
    DWORD mode = 0;
    return port->getMode(port->standardOutput(), &mode) != FALSE;
}

bool consoleCanAsk(const ConsolePort* port)
{
    DWORD mode = 0;
    return stdoutIsConsole(port) && port->getMode(port->standardInput(), &mode) != FALSE;
}

bool stdoutScreenBufferInfo(const ConsolePort* port, CONSOLE_SCREEN_BUFFER_INFO* info)
{
    return info != NULL && port->getScreenBufferInfo(port->standardOutput(), info) != FALSE;
}

void setStdoutAttribute(const ConsolePort* port, unsigned attribute)
{
    port->setTextAttribute(port->standardOutput(), static_cast<WORD>(attribute));
}

void writeToConsole(const ConsolePort* port, const wchar_t* text, size_t length)
{
    if (text == NULL || length == 0) {
        return;
    }
    HANDLE console = port->standardOutput();
    DWORD mode = 0;
    if (!port->getMode(console, &mode)) {
        // Output is redirected: the console itself is still there.
        UniqueConsoleHandle device(port);
        if (device) {
            writeChunks(port, device.get(), text, length);
        }
        return;
    }
    writeChunks(port, console, text, length);
}

void writeToConsole(const ConsolePort* port, const wchar_t* text)
{
    if (text != NULL) {
        writeToConsole(port, text, wcslen(text));
    }
}
