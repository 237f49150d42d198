// Every console call the plugin makes goes through one record of function
// pointers, so tests can stand in a console with chosen facts (size, colours,
// keys, ticks) and capture what reaches it.
#pragma once
#include <windows.h>
#include <stddef.h>


struct ConsolePort {
    HANDLE (*standardOutput)();  // GetStdHandle(STD_OUTPUT_HANDLE)
    HANDLE (*standardInput)();   // GetStdHandle(STD_INPUT_HANDLE)
    BOOL (*getMode)(HANDLE console, DWORD* mode);
    BOOL (*getScreenBufferInfo)(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
    BOOL (*setTextAttribute)(HANDLE console, WORD attribute);
    BOOL (*writeConsole)(HANDLE console, const wchar_t* text, DWORD count, DWORD* written);
    HANDLE (*openConout)();  // "conout$", read/write; INVALID_HANDLE_VALUE on failure
    void (*closeHandle)(HANDLE handle);
    void (*prepareInput)();  // lets the console start delivering keys
    bool (*keyWaiting)();
    int (*readKey)();  // one code without echo; 0 or 0xE0 lead in an extended key
    DWORD (*tickCount)();
    void (*sleep)(DWORD milliseconds);
    BOOL (*setCtrlHandler)(PHANDLER_ROUTINE handler, BOOL add);
};

// The Win32 console, which commands use unless a test hands in another.
extern const ConsolePort gWin32Console;

// A "conout$" handle, closed through the port that opened it.
class UniqueConsoleHandle {
public:
    explicit UniqueConsoleHandle(const ConsolePort* port) : port_(port), handle_(port->openConout()) {}
    ~UniqueConsoleHandle()
    {
        if (valid()) port_->closeHandle(handle_);
    }
    UniqueConsoleHandle(const UniqueConsoleHandle&) = delete;
    UniqueConsoleHandle& operator=(const UniqueConsoleHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != NULL && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }

private:
    const ConsolePort* port_;
    HANDLE handle_;
};

// True when standard output is a console (GetConsoleMode succeeds).
bool stdoutIsConsole(const ConsolePort* port);
// True when both ends are the console: there is someone to ask and a key
// typed there answers.
bool consoleCanAsk(const ConsolePort* port);

// GetConsoleScreenBufferInfo of standard output; false when there is none.
bool stdoutScreenBufferInfo(const ConsolePort* port, CONSOLE_SCREEN_BUFFER_INFO* info);

// SetConsoleTextAttribute on standard output.
void setStdoutAttribute(const ConsolePort* port, unsigned attribute);

// Writes straight to the console, past the host and any redirection of the
// shell's output; long texts go in several calls.
void writeToConsole(const ConsolePort* port, const wchar_t* text, size_t length);
void writeToConsole(const ConsolePort* port, const wchar_t* text);
