#include "console/arguments.h"

#include "console/diagnostics.h"

#include <string.h>
#include <wctype.h>

namespace {

bool isSpace(wchar_t ch)
{
    return ch != L'\0' && iswspace(ch);
}

bool isLetter(wchar_t ch)
{
    return iswalpha(ch) != 0;
}

void resetTable(ArgumentTable* table)
{
    table->argCount = 0;
    memset(table->argText, 0, sizeof(table->argText));
    memset(table->argLengths, 0, sizeof(table->argLengths));
    table->argBuffer[0] = L'\0';
}

struct SplitState {
    int index;     // current argument
    int length;    // characters in it
    int position;  // next write slot in argBuffer
    bool quoted;
    bool url;      // inside "scheme://", where "/" does not start an option
};

// The last slot stays free for a terminator.
bool fits(int position)
{
    return position <= MAX_ARG_LEN - 2;
}

void reportOverflow(ArgumentTable* table, int used)
{
    reportError(L"Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n", used, MAX_ARG_LEN);
    resetTable(table);
}

// Closes the current argument; false when the next one could not start
// inside the buffer. The next argument starts one slot past this one's
// terminator (an empty argument's terminator takes the slot it started in).
bool endArgument(SplitState& state)
{
    int next = state.position + state.length + 1;
    if (state.index < MAX_ARGS) {
        state.index++;
    }
    state.length = 0;
    state.url = false;
    if (!fits(next)) {
        state.position = next;
        return false;
    }
    state.position = next;
    return true;
}

}  // namespace

const wchar_t* argumentText(const ArgumentTable& table, int index)
{
    if (index < 0 || index >= table.argCount || table.argText[index] == NULL) {
        return L"";
    }
    return table.argText[index];
}

int splitArguments(ArgumentTable* table, unsigned mode, const wchar_t* text)
{
    if (table == NULL || text == NULL) {
        return -1;
    }
    resetTable(table);
    if ((mode & (SPLIT_AT_WHITESPACE | SPLIT_AT_COMMA)) == 0) {
        mode |= SPLIT_AT_WHITESPACE;
    }
    SplitState state = {0, 0, 0, false, false};
    for (const wchar_t* p = text;; ++p) {
        wchar_t ch = *p;
        if (ch == L'"') {
            state.quoted = !state.quoted;
            continue;
        }
        if (isSpace(ch) && state.length == 0 && !state.quoted) {
            continue;
        }
        bool separator = !state.quoted && ((isSpace(ch) && (mode & SPLIT_AT_WHITESPACE)) ||
                                           (ch == L',' && (mode & SPLIT_AT_COMMA)));
        if (separator) {
            if (!endArgument(state)) {
                reportOverflow(table, state.position);
                return -1;
            }
            continue;
        }
        if (mode & SPLIT_SLASH_OPTIONS) {
            if (ch == L':' && state.length > 0 && p > text && isLetter(p[-1]) && p[1] == L'/' &&
                p[2] == L'/') {
                state.url = true;
            }
            if (ch == L'/' && !state.quoted && !state.url && state.length >= 2 &&
                table->argText[state.index][0] == L'/') {
                if (!endArgument(state)) {
                    reportOverflow(table, state.position);
                    return -1;
                }
            }
        }
        if (ch == L'\0') {
            break;
        }
        if (state.index >= MAX_ARGS) {
            continue;
        }
        int at = state.position + state.length;
        if (!fits(at)) {
            reportOverflow(table, at);
            return -1;
        }
        if ((mode & SPLIT_UPPERCASE) && ch >= L'a' && ch <= L'z') {
            ch = static_cast<wchar_t>(ch - L'a' + L'A');
        }
        table->argBuffer[at] = ch;
        table->argBuffer[at + 1] = L'\0';
        if (state.length == 0) {
            table->argText[state.index] = &table->argBuffer[at];
        }
        state.length++;
        table->argLengths[state.index] = state.length;
    }
    int count = state.index + (state.length > 0 && state.index < MAX_ARGS ? 1 : 0);
    for (int i = 0; i < count; ++i) {
        wchar_t* arg = table->argText[i];
        while (arg != NULL && table->argLengths[i] > 0 && isSpace(arg[table->argLengths[i] - 1])) {
            arg[--table->argLengths[i]] = L'\0';
        }
    }
    table->argCount = count;
    return count;
}
