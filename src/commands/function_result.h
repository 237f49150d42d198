// What the variable functions share: reading "pid,flags" from the host's
// buffer, the text of one member, and a result line of whole members that
// never outgrows the host's buffer.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "base/host_api.h"

// Flags common to the functions: the low two bits choose what each member becomes.
const uint32_t FUNCTION_MODE_MASK = 0x3;
const uint32_t FUNCTION_MODE_HEX = 0;        // "0x%04X"
const uint32_t FUNCTION_MODE_BARE_HEX = 1;   // "%X"
const uint32_t FUNCTION_MODE_DECIMAL = 2;    // "%u"
const uint32_t FUNCTION_MODE_NAMES = 3;      // executable names
const uint32_t FUNCTION_FLAG_LOWER = 0x80;

// The host's buffer for a variable function, terminator included.
const size_t FUNCTION_RESULT_COUNT = HOST_BUFFER_COUNT;
const size_t FUNCTION_MEMBER_WORK_COUNT = 1024;

struct FunctionArguments {
    uint32_t pid;  // the shell's own when none was given
    uint32_t flags;
};

// Reads the PID and flags from the host's buffer. True when both were read;
// otherwise *result is what the function returns: -1 after a message (the
// buffer keeps the argument text), 0 with an empty buffer when memory ran
// out, 1 for a null buffer.
[[nodiscard]] bool readFunctionArguments(wchar_t* buffer, FunctionArguments* arguments, int* result);

// One member's text in work (FUNCTION_MEMBER_WORK_COUNT units): the PID in the
// mode's format, or in name mode the name, at most nameWidth units of it,
// quoted by the host where it needs quotes. False when there is none.
[[nodiscard]] bool formatMember(uint32_t mode, uint32_t pid, const wchar_t* name, size_t nameWidth, wchar_t* work);

// A result line being written into a buffer of count units: members
// separated by single blanks, always terminated.
struct MemberLine {
    wchar_t* text;
    size_t count;
    size_t length;
    uint32_t members;
    bool cut;  // a member was refused
};

// Starts an empty line; false (and nothing written) for no buffer.
[[nodiscard]] bool startMemberLine(MemberLine* line, wchar_t* text, size_t count);
// Appends a member when it fits whole with the terminator; false when it does
// not, and the line is cut there: no member is appended after a refusal.
bool appendMember(MemberLine* line, const wchar_t* member);
// Drops the blank after the last member and lower-cases the line when asked.
void finishMemberLine(MemberLine* line, bool lower);
