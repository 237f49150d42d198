#include "procinfo/command_line.h"

#include "base/text.h"
#include "procinfo/process_access.h"

#include <string.h>

#include <memory>
#include <new>

namespace {

const ULONG PROCESS_BASIC_INFORMATION_CLASS = 0;
const ULONG PROCESS_COMMAND_LINE_CLASS = 60;

const LONG NT_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);
const LONG NT_BUFFER_TOO_SMALL = static_cast<LONG>(0xC0000023);

static_assert(sizeof(CountedText) == 2 * sizeof(void*), "UNICODE_STRING");

// A UNICODE_STRING's Length is a USHORT count of bytes.
const uint32_t MAX_TEXT_BYTES = 0xFFFE;

// ProcessBasicInformation in the caller's bitness, and its 64-bit form that
// the 32-bit DLL gets through WOW64.
struct BasicInformation {
    LONG exitStatus;
    ULONG_PTR pebAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR processId;
    ULONG_PTR parentProcessId;
};
static_assert(sizeof(BasicInformation) == 6 * sizeof(void*), "PROCESS_BASIC_INFORMATION");
struct BasicInformation64 {
    LONG exitStatus;
    uint32_t padding1;
    uint64_t pebAddress;
    uint64_t affinityMask;
    LONG basePriority;
    uint32_t padding2;
    uint64_t processId;
    uint64_t parentProcessId;
};
static_assert(sizeof(BasicInformation64) == 48, "PROCESS_BASIC_INFORMATION64");

// Where ProcessParameters sits in the PEB, and CommandLine in the
// parameters, for each bitness of the target.
struct PebOffsets {
    uint32_t pointerBytes;
    uint32_t processParameters;  // PEB.ProcessParameters
    uint32_t commandLine;        // RTL_USER_PROCESS_PARAMETERS.CommandLine
};
const PebOffsets PEB32_OFFSETS = {4, 0x10, 0x40};
const PebOffsets PEB64_OFFSETS = {8, 0x20, 0x70};

// The first answer fits most command lines; a longer one is asked again
// with room for the longest a UNICODE_STRING can hold.
const ULONG FIRST_QUERY_BYTES = 1024;
const ULONG FULL_QUERY_BYTES = sizeof(CountedText) + MAX_TEXT_BYTES + sizeof(wchar_t);

// Moves a believed text of length units from source (any alignment; it may
// be text itself) into text, cut to count - 1 units but never after the first
// half of a surrogate pair; then blanks and terminates it.
int finishText(const void* source, uint32_t length, wchar_t* text, uint32_t count)
{
    uint32_t kept = length < count - 1 ? length : count - 1;
    memmove(text, source, kept * sizeof(wchar_t));
    if (kept < length && kept > 0 && isHighSurrogate(text[kept - 1])) {
        --kept;
    }
    text[kept] = L'\0';
    blankControlCharacters(text, kept);
    return kept < length ? COMMAND_LINE_CUT : COMMAND_LINE_WHOLE;
}

// Reads bytes at address of the other process; false unless all of them came.
bool readTarget(const CommandLineCalls& calls, HANDLE process, PebLayout layout, uint64_t address, void* buffer,
                uint32_t bytes)
{
    if (layout == PEB_WOW64_64) {
        uint64_t read = 0;
        return calls.readMemory64 != NULL && calls.readMemory64(process, address, buffer, bytes, &read) >= 0 &&
               read == bytes;
    }
    // A 64-bit address read by the 32-bit DLL would be cut: never read there.
    if (address > static_cast<uint64_t>(static_cast<uintptr_t>(-1))) {
        return false;
    }
    SIZE_T read = 0;
    return calls.readMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), buffer, bytes,
                            &read) &&
           read == bytes;
}

uint64_t pebAddressOf(const CommandLineCalls& calls, HANDLE process, PebLayout layout)
{
    ULONG returned = 0;
    if (layout == PEB_WOW64_64) {
        BasicInformation64 basic;
        memset(&basic, 0, sizeof(basic));
        if (calls.queryProcess64 == NULL || calls.readMemory64 == NULL ||
            calls.queryProcess64(process, PROCESS_BASIC_INFORMATION_CLASS, &basic, sizeof(basic), &returned) < 0) {
            return 0;
        }
        return basic.pebAddress;
    }
    BasicInformation basic;
    memset(&basic, 0, sizeof(basic));
    if (calls.queryProcess == NULL ||
        calls.queryProcess(process, PROCESS_BASIC_INFORMATION_CLASS, &basic, sizeof(basic), &returned) < 0) {
        return 0;
    }
    return basic.pebAddress;
}

}  // namespace

CommandLineCalls systemCommandLineCalls()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    CommandLineCalls calls = {NULL, ReadProcessMemory, IsWow64Process, NULL, NULL};
    if (ntdll != NULL) {
        calls.queryProcess = reinterpret_cast<QueryProcessFn>(GetProcAddress(ntdll, "NtQueryInformationProcess"));
        calls.queryProcess64 =
            reinterpret_cast<QueryProcessFn>(GetProcAddress(ntdll, "NtWow64QueryInformationProcess64"));
        calls.readMemory64 = reinterpret_cast<ReadMemory64Fn>(GetProcAddress(ntdll, "NtWow64ReadVirtualMemory64"));
    }
    return calls;
}

int queryCommandLine(const CommandLineCalls& calls, HANDLE process, wchar_t* text, uint32_t count)
{
    if (text == NULL || count == 0) {
        return COMMAND_LINE_NONE;
    }
    text[0] = L'\0';
    if (calls.queryProcess == NULL) {
        return COMMAND_LINE_NONE;
    }
    // The answer is a UNICODE_STRING whose Buffer points behind it, into ours.
    uint64_t first[FIRST_QUERY_BYTES / sizeof(uint64_t)];
    void* answer = first;
    ULONG bytes = FIRST_QUERY_BYTES;
    ULONG returned = 0;
    LONG status = calls.queryProcess(process, PROCESS_COMMAND_LINE_CLASS, answer, bytes, &returned);
    std::unique_ptr<uint64_t[]> full;
    if (status == NT_INFO_LENGTH_MISMATCH || status == NT_BUFFER_TOO_SMALL) {
        // The size told is not needed: no answer is longer than the full room.
        full.reset(new (std::nothrow) uint64_t[FULL_QUERY_BYTES / sizeof(uint64_t) + 1]);
        if (!full) {
            return COMMAND_LINE_NONE;
        }
        answer = full.get();
        bytes = FULL_QUERY_BYTES;
        status = calls.queryProcess(process, PROCESS_COMMAND_LINE_CLASS, answer, bytes, &returned);
    }
    if (status < 0) {
        return COMMAND_LINE_NONE;
    }
    CountedText line;
    memcpy(&line, answer, sizeof(line));
    if (line.lengthBytes == 0) {
        return finishText(L"", 0, text, count);
    }
    // The text must lie in our buffer behind the header, or it is not read.
    uintptr_t start = reinterpret_cast<uintptr_t>(answer);
    uintptr_t textStart = reinterpret_cast<uintptr_t>(line.buffer);
    if (line.lengthBytes % 2 != 0 || textStart < start + sizeof(CountedText) || textStart - start > bytes ||
        line.lengthBytes > bytes - (textStart - start)) {
        return COMMAND_LINE_NONE;
    }
    return finishText(line.buffer, line.lengthBytes / sizeof(wchar_t), text, count);
}

// One layout for the x64 DLL: a WOW64 process's 64-bit PEB holds the command
// line too (WOW64's 32-bit one is its copy). Wine 8 gives the x86 DLL no way to
// a 64-bit PEB: PEB 0 there, and no NtWow64QueryInformationProcess64.
PebLayout pebLayoutFor(bool dll64, bool callerWow64, bool targetKnown, bool targetWow64)
{
    if (dll64) {
        return PEB_NATIVE64;
    }
    if (!callerWow64) {
        return PEB_NATIVE32;  // 32-bit Windows: every process is 32-bit
    }
    if (!targetKnown) {
        return PEB_NONE;
    }
    return targetWow64 ? PEB_NATIVE32 : PEB_WOW64_64;
}

int readPebCommandLine(const CommandLineCalls& calls, HANDLE process, PebLayout layout, wchar_t* text,
                       uint32_t count)
{
    if (text == NULL || count == 0) {
        return COMMAND_LINE_NONE;
    }
    text[0] = L'\0';
    if (layout == PEB_NONE) {
        return COMMAND_LINE_NONE;
    }
    const PebOffsets& offsets = layout == PEB_NATIVE32 ? PEB32_OFFSETS : PEB64_OFFSETS;
    uint64_t peb = pebAddressOf(calls, process, layout);
    if (peb == 0) {
        return COMMAND_LINE_NONE;
    }
    uint64_t parameters = 0;  // little-endian: a 32-bit pointer fills the low half
    if (!readTarget(calls, process, layout, peb + offsets.processParameters, &parameters, offsets.pointerBytes) ||
        parameters == 0) {
        return COMMAND_LINE_NONE;
    }
    // One read of the whole UNICODE_STRING: its length and buffer belong together.
    unsigned char line[16] = {0};
    uint32_t lineBytes = 2 * offsets.pointerBytes;
    if (!readTarget(calls, process, layout, parameters + offsets.commandLine, line, lineBytes)) {
        return COMMAND_LINE_NONE;
    }
    uint16_t length = 0;
    uint16_t maximumLength = 0;
    uint64_t buffer = 0;
    memcpy(&length, line, sizeof(length));
    memcpy(&maximumLength, line + 2, sizeof(maximumLength));
    memcpy(&buffer, line + offsets.pointerBytes, offsets.pointerBytes);
    if (length % 2 != 0 || length > maximumLength) {
        return COMMAND_LINE_NONE;
    }
    if (length == 0) {
        return finishText(L"", 0, text, count);
    }
    if (buffer == 0) {
        return COMMAND_LINE_NONE;
    }
    // Read straight into the caller's buffer, never more than it holds.
    uint32_t units = length / sizeof(wchar_t);
    uint32_t wanted = units < count - 1 ? units : count - 1;
    if (wanted > 0 && !readTarget(calls, process, layout, buffer, text, wanted * sizeof(wchar_t))) {
        text[0] = L'\0';
        return COMMAND_LINE_NONE;
    }
    return finishText(text, units, text, count);
}

int readCommandLine(const CommandLineCalls& calls, HANDLE process, wchar_t* text, uint32_t count)
{
    int result = queryCommandLine(calls, process, text, count);
    if (result != COMMAND_LINE_NONE || text == NULL || count == 0) {
        return result;
    }
    bool dll64 = sizeof(void*) == 8;
    BOOL callerWow64 = FALSE;
    BOOL targetWow64 = FALSE;
    bool targetKnown = false;
    if (!dll64 && calls.isWow64 != NULL && calls.isWow64(GetCurrentProcess(), &callerWow64) && callerWow64) {
        targetKnown = calls.isWow64(process, &targetWow64) != FALSE;
    }
    PebLayout layout = pebLayoutFor(dll64, callerWow64 != FALSE, targetKnown, targetWow64 != FALSE);
    return readPebCommandLine(calls, process, layout, text, count);
}

void blankControlCharacters(wchar_t* text, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] < 0x20) {
            text[i] = L' ';
        }
    }
}
