#include "base/text.h"

#include <windows.h>
#include <stdio.h>
#include <wchar.h>
#include <wctype.h>

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

wchar_t upperAscii(wchar_t ch)
{
    return (ch >= L'a' && ch <= L'z') ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
}

wchar_t lowerAscii(wchar_t ch)
{
    return (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
}

void upperCaseText(wchar_t* text)
{
    for (; text != NULL && *text != L'\0'; ++text) {
        *text = static_cast<wchar_t>(towupper(*text));
    }
}

namespace {

wchar_t upperChar(wchar_t c)
{
    // CharUpperW converts one character when the high word of its argument is 0.
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

}  // namespace

bool startsWithNoCase(const wchar_t* text, const wchar_t* prefix)
{
    if (text == NULL || prefix == NULL) {
        return false;
    }
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (*text == L'\0' || upperChar(*text) != upperChar(*prefix)) {
            return false;
        }
    }
    return true;
}

bool isValueSeparator(wchar_t ch)
{
    return ch == L':' || ch == L'=';
}

int parseNumber(const wchar_t* text, const wchar_t** rest, uint32_t* value)
{
    if (text == NULL || value == NULL) {
        return -1;
    }
    unsigned base = 10;
    const wchar_t* p = text;
    if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') && iswxdigit(p[2])) {
        base = 16;
        p += 2;
    } else if (!(*p >= L'0' && *p <= L'9')) {
        return -1;
    }
    uint64_t number = 0;
    for (;; ++p) {
        unsigned digit;
        if (*p >= L'0' && *p <= L'9') {
            digit = *p - L'0';
        } else if (base == 16 && *p >= L'a' && *p <= L'f') {
            digit = *p - L'a' + 10;
        } else if (base == 16 && *p >= L'A' && *p <= L'F') {
            digit = *p - L'A' + 10;
        } else {
            break;
        }
        number = number * base + digit;
        if (number > 0xFFFFFFFFull) {
            return -1;
        }
    }
    if (rest == NULL && *p != L'\0') {
        return -1;
    }
    if (rest != NULL) {
        *rest = p;
    }
    *value = static_cast<uint32_t>(number);
    return 0;
}
