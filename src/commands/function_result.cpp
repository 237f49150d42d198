#include "commands/function_result.h"

#include "base/host_api.h"
#include "base/text.h"
#include "console/arguments.h"
#include "console/diagnostics.h"

#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include <memory>
#include <new>

namespace {

const wchar_t* const PID_FORMATS[] = {L"0x%04X", L"%X", L"%u"};

}  // namespace

bool readFunctionArguments(wchar_t* buffer, FunctionArguments* arguments, int* result)
{
    if (buffer == NULL || arguments == NULL) {
        *result = 1;
        return false;
    }
    // The splitter works on its own copy: the buffer keeps the argument text
    // until every argument has passed. The table is too big for the host's stack.
    std::unique_ptr<ArgumentTable> table(new (std::nothrow) ArgumentTable);
    if (!table) {
        buffer[0] = L'\0';
        *result = 0;
        return false;
    }
    (void)splitArguments(table.get(), SPLIT_MODE_FUNCTION, buffer);
    uint32_t pid = 0;
    const wchar_t* pidText = argumentText(*table, 0);
    if (pidText[0] != L'\0') {
        if (wcscmp(pidText, L".") == 0) {
            pid = GetCurrentProcessId();
        } else if (parseNumber(pidText, NULL, &pid) != 0) {
            reportError(L"Bad PID value: \"%s\"\r\n", pidText);
            *result = -1;
            return false;
        } else if (pid == 0) {
            reportError(L"PID must be nonzero: \"%s\"\r\n", pidText);
            *result = -1;
            return false;
        }
    }
    uint32_t flags = 0;
    const wchar_t* flagsText = argumentText(*table, 1);
    if (flagsText[0] != L'\0' && parseNumber(flagsText, NULL, &flags) != 0) {
        reportError(L"Bad flags value: \"%s\"\r\n", flagsText);
        *result = -1;
        return false;
    }
    arguments->pid = pid != 0 ? pid : GetCurrentProcessId();
    arguments->flags = flags;
    *result = 0;
    return true;
}

bool formatMember(uint32_t mode, uint32_t pid, const wchar_t* name, size_t nameWidth, wchar_t* work)
{
    if (mode != FUNCTION_MODE_NAMES) {
        return formatText(work, FUNCTION_MEMBER_WORK_COUNT, PID_FORMATS[mode & FUNCTION_MODE_MASK], pid) >= 0;
    }
    if (name == NULL) {
        return false;
    }
    // A name is terminated within its width; the bound guards one that is not.
    size_t length = 0;
    while (length < nameWidth && length + 1 < FUNCTION_MEMBER_WORK_COUNT && name[length] != L'\0') {
        work[length] = name[length];
        ++length;
    }
    work[length] = L'\0';
    AddQuotes(work);
    return true;
}

bool startMemberLine(MemberLine* line, wchar_t* text, size_t count)
{
    if (line == NULL || text == NULL || count == 0) {
        return false;
    }
    line->text = text;
    line->count = count;
    line->length = 0;
    line->members = 0;
    line->cut = false;
    text[0] = L'\0';
    return true;
}

bool appendMember(MemberLine* line, const wchar_t* member)
{
    // After a refusal a shorter member would still fit, but the list would have a gap.
    if (line->cut) {
        return false;
    }
    size_t memberLength = wcslen(member);
    if (line->length + memberLength >= line->count) {
        line->cut = true;
        return false;
    }
    memcpy(line->text + line->length, member, memberLength * sizeof(wchar_t));
    line->length += memberLength;
    ++line->members;
    if (line->length + 1 < line->count) {
        line->text[line->length++] = L' ';
    }
    line->text[line->length] = L'\0';
    return true;
}

void finishMemberLine(MemberLine* line, bool lower)
{
    while (line->length > 0 && iswspace(line->text[line->length - 1])) {
        line->text[--line->length] = L'\0';
    }
    if (lower) {
        CharLowerW(line->text);
    }
}
