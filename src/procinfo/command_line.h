// Reading the command line another process was started with, for display.
// Routes in order: the system's own query (Windows 8.1 on); else the PEB,
// read with ReadProcessMemory where the DLL's bitness reaches it; else, from
// the 32-bit DLL, a 64-bit process's PEB through the calls WOW64 offers.
// Everything read from the other process is checked before it is believed.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "base/unique_handle.h"

// A command line is a UNICODE_STRING: at most 32,767 units, plus our terminator.
const uint32_t COMMAND_LINE_COUNT = 32768;

typedef LONG(NTAPI* QueryProcessFn)(HANDLE process, ULONG infoClass, void* buffer, ULONG bytes,
                                    ULONG* returnedBytes);
typedef BOOL(WINAPI* ReadMemoryFn)(HANDLE process, const void* address, void* buffer, SIZE_T bytes,
                                   SIZE_T* readBytes);
typedef LONG(NTAPI* ReadMemory64Fn)(HANDLE process, uint64_t address, void* buffer, uint64_t bytes,
                                    uint64_t* readBytes);
typedef BOOL(WINAPI* IsWow64Fn)(HANDLE process, BOOL* wow64);

// A UNICODE_STRING: how class 60 answers (its text behind it) and how the
// PEB holds the command line (in the target's bitness there).
struct CountedText {
    uint16_t lengthBytes;   // without a terminator
    uint16_t maximumBytes;
    wchar_t* buffer;
};

// The system calls the reader makes: the system's, or a test's fake system.
struct CommandLineCalls {
    QueryProcessFn queryProcess;        // NtQueryInformationProcess
    ReadMemoryFn readMemory;            // ReadProcessMemory
    IsWow64Fn isWow64;                  // IsWow64Process; null: no WOW64 on this system
    QueryProcessFn queryProcess64;      // NtWow64QueryInformationProcess64; null where missing
    ReadMemory64Fn readMemory64;        // NtWow64ReadVirtualMemory64; null where missing
};
// Looked up at each call: the ntdll entries that a system may lack are
// found with GetProcAddress (null when absent), the rest are the imports.
CommandLineCalls systemCommandLineCalls();

// Results of the readers.
const int COMMAND_LINE_WHOLE = 0;  // the whole text (possibly empty)
const int COMMAND_LINE_CUT = 1;    // longer than the buffer: cut to count - 1 units
const int COMMAND_LINE_NONE = 2;   // no text: refused, unreadable, or not believable

// The command line of an opened process into text (count units, terminator
// included), control characters shown as spaces. Always terminated when
// count > 0; empty with COMMAND_LINE_NONE. Asks the process's bitness with
// calls.isWow64 only where the PEB route needs it.
[[nodiscard]] int readCommandLine(const CommandLineCalls& calls, HANDLE process, wchar_t* text, uint32_t count);

// The parts of readCommandLine, apart for testing.

// Route 1, NtQueryInformationProcess class 60. COMMAND_LINE_NONE when the
// class is refused (or its answer is not believable): then the PEB decides.
[[nodiscard]] int queryCommandLine(const CommandLineCalls& calls, HANDLE process, wchar_t* text, uint32_t count);

// Where a process's command line sits in its PEB, as this DLL can reach it.
enum PebLayout {
    PEB_NONE,      // the 32-bit DLL under WOW64, a process of unknown bitness
    PEB_NATIVE32,  // 32-bit PEB, ReadProcessMemory
    PEB_NATIVE64,  // 64-bit PEB, ReadProcessMemory
    PEB_WOW64_64,  // 64-bit PEB: NtWow64QueryInformationProcess64, NtWow64ReadVirtualMemory64
};
// The layout for a target: dll64 is this DLL's bitness, callerWow64 and
// targetWow64 what IsWow64Process said (targetKnown false: it failed). The
// 64-bit DLL reads the 64-bit PEB of every process, WOW64 ones included.
PebLayout pebLayoutFor(bool dll64, bool callerWow64, bool targetKnown, bool targetWow64);

// Routes 2 and 3: the PEB's ProcessParameters->CommandLine.
[[nodiscard]] int readPebCommandLine(const CommandLineCalls& calls, HANDLE process, PebLayout layout, wchar_t* text,
                                     uint32_t count);

// Every unit below 0x20 (tab, CR, LF, NUL...) becomes one space, so a
// command line always stays on its one display line.
void blankControlCharacters(wchar_t* text, uint32_t length);
