#include "console/format.h"

#include <stdio.h>
#include <wchar.h>

int formatTextV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args)
{
    if (buffer == NULL || count == 0 || format == NULL) {
        return -1;
    }
    // _vsnwprintf is the Microsoft runtime's: Microsoft rules, and it leaves the
    // text unterminated when it cuts, so the last unit is reserved here.
    int written = _vsnwprintf(buffer, count - 1, format, args);
    if (written < 0 || static_cast<size_t>(written) >= count - 1) {
        buffer[count - 1] = L'\0';
        if (written < 0 || static_cast<size_t>(written) > count - 1) {
            return -1;
        }
    }
    buffer[written] = L'\0';
    return written;
}

int formatText(wchar_t* buffer, size_t count, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = formatTextV(buffer, count, format, args);
    va_end(args);
    return result;
}

int measureText(const wchar_t* format, va_list args)
{
    if (format == NULL) {
        return -1;
    }
    return _vscwprintf(format, args);
}

bool copyText(wchar_t* buffer, size_t count, const wchar_t* text)
{
    if (buffer == NULL || count == 0) {
        return false;
    }
    buffer[0] = L'\0';
    return appendText(buffer, count, text);
}

bool appendText(wchar_t* buffer, size_t count, const wchar_t* text)
{
    if (buffer == NULL || count == 0) {
        return false;
    }
    size_t used = wcslen(buffer);
    if (text == NULL) {
        return true;
    }
    while (*text != L'\0') {
        if (used + 1 >= count) {
            buffer[used] = L'\0';
            return false;
        }
        buffer[used++] = *text++;
    }
    buffer[used] = L'\0';
    return true;
}
