#include "hostcore.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include <vector>

std::wstring hostLowered(std::wstring text)
{
    for (wchar_t& ch : text) {
        ch = static_cast<wchar_t>(towlower(ch));
    }
    return text;
}

std::wstring hostTrimmed(const std::wstring& text)
{
    size_t start = 0;
    while (start < text.size() && iswspace(text[start])) {
        ++start;
    }
    size_t end = text.size();
    while (end > start && iswspace(text[end - 1])) {
        --end;
    }
    return text.substr(start, end - start);
}

std::wstring hostFormat(const wchar_t* format, va_list args)
{
    if (format == nullptr) {
        return std::wstring();
    }
    va_list measure;
    va_copy(measure, args);
    int length = _vscwprintf(format, measure);  // Microsoft rules, like the real host
    va_end(measure);
    if (length <= 0) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    _vsnwprintf(buffer.data(), buffer.size(), format, args);
    buffer[length] = L'\0';
    return std::wstring(buffer.data(), static_cast<size_t>(length));
}

namespace {

wchar_t fold(wchar_t ch)
{
    return static_cast<wchar_t>(towlower(ch));
}

// Matches a "[...]" set at pattern; advances pattern past it. A set that never
// closes is taken as a literal "[".
bool matchSet(const wchar_t*& pattern, wchar_t ch, bool* wellFormed)
{
    const wchar_t* p = pattern + 1;
    bool negate = false;
    if (*p == L'!' || *p == L'^') {
        negate = true;
        ++p;
    }
    bool found = false;
    bool first = true;
    while (*p != L'\0' && (*p != L']' || first)) {
        wchar_t low = fold(*p);
        wchar_t high = low;
        if (p[1] == L'-' && p[2] != L'\0' && p[2] != L']') {
            high = fold(p[2]);
            p += 2;
        }
        if (fold(ch) >= low && fold(ch) <= high) {
            found = true;
        }
        ++p;
        first = false;
    }
    if (*p != L']') {
        *wellFormed = false;
        return false;
    }
    *wellFormed = true;
    pattern = p + 1;
    return found != negate;
}

bool matchFrom(const wchar_t* pattern, const wchar_t* text)
{
    while (*pattern != L'\0') {
        if (*pattern == L'*') {
            while (*pattern == L'*') {
                ++pattern;
            }
            if (*pattern == L'\0') {
                return true;
            }
            for (const wchar_t* t = text; *t != L'\0'; ++t) {
                if (matchFrom(pattern, t)) {
                    return true;
                }
            }
            return matchFrom(pattern, text + wcslen(text));
        }
        if (*text == L'\0') {
            return false;
        }
        if (*pattern == L'?') {
            ++pattern;
            ++text;
            continue;
        }
        if (*pattern == L'[') {
            bool wellFormed = false;
            const wchar_t* p = pattern;
            bool inSet = matchSet(p, *text, &wellFormed);
            if (wellFormed) {
                if (!inSet) {
                    return false;
                }
                pattern = p;
                ++text;
                continue;
            }
        }
        if (fold(*pattern) != fold(*text)) {
            return false;
        }
        ++pattern;
        ++text;
    }
    return *text == L'\0';
}

struct ColourName {
    const wchar_t* name;
    int value;
};

const ColourName COLOUR_NAMES[] = {
    {L"black", 0}, {L"blue", 1},    {L"green", 2},  {L"cyan", 3},   {L"red", 4},
    {L"magenta", 5}, {L"yellow", 6}, {L"white", 7},  {L"grey", 7},   {L"gray", 7},
};

const wchar_t* skipBlanks(const wchar_t* p)
{
    while (*p == L' ' || *p == L'\t') {
        ++p;
    }
    return p;
}

bool takeWord(const wchar_t*& p, const wchar_t* word)
{
    size_t length = wcslen(word);
    if (_wcsnicmp(p, word, length) == 0 && !iswalpha(p[length])) {
        p += length;
        return true;
    }
    return false;
}

// "[bright] name"; -1 when there is none at p.
int takeColour(const wchar_t*& p)
{
    const wchar_t* start = p;
    int bright = 0;
    p = skipBlanks(p);
    if (takeWord(p, L"bright")) {
        bright = 8;
        p = skipBlanks(p);
    }
    for (const ColourName& colour : COLOUR_NAMES) {
        if (takeWord(p, colour.name)) {
            return colour.value | bright;
        }
    }
    p = start;
    return -1;
}

bool isNameChar(wchar_t ch)
{
    return iswalnum(ch) || ch == L'_' || ch == L'$';
}

}  // namespace

bool hostWildcardMatch(const wchar_t* pattern, const wchar_t* text)
{
    if (pattern == nullptr || text == nullptr) {
        return false;
    }
    return matchFrom(pattern, text);
}

const wchar_t* hostParseColors(const wchar_t* text, int* foreground, int* background)
{
    if (text == nullptr) {
        return nullptr;
    }
    const wchar_t* p = text;
    int fg = takeColour(p);
    if (fg < 0) {
        return nullptr;
    }
    *foreground = fg;
    const wchar_t* afterForeground = p;
    p = skipBlanks(p);
    if (takeWord(p, L"on")) {
        int bg = takeColour(p);
        if (bg >= 0) {
            *background = bg;
            return p;
        }
    }
    return afterForeground;
}

std::wstring hostExpand(const std::wstring& text, HostVariableLookup lookup, HostFunctionCall call)
{
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        wchar_t ch = text[i];
        if (ch != L'%' || i + 1 >= text.size()) {
            out += ch;
            ++i;
            continue;
        }
        wchar_t next = text[i + 1];
        if (next == L'%') {
            out += L'%';
            i += 2;
            continue;
        }
        std::wstring name;
        size_t end;
        if (next == L'@') {
            size_t open = text.find(L'[', i + 2);
            size_t close = open == std::wstring::npos ? std::wstring::npos : text.find(L']', open);
            std::wstring function = open == std::wstring::npos ? std::wstring() : text.substr(i + 2, open - i - 2);
            bool plainName = !function.empty();
            for (wchar_t c : function) {
                plainName = plainName && isNameChar(c);
            }
            std::wstring result;
            if (plainName && close != std::wstring::npos && call != nullptr &&
                call(function, hostExpand(text.substr(open + 1, close - open - 1), lookup, call), &result)) {
                out += result;
                i = close + 1;
                continue;
            }
            out += ch;
            ++i;
            continue;
        }
        if (next == L'[') {
            end = text.find(L']', i + 2);
            if (end == std::wstring::npos) {
                out += ch;
                ++i;
                continue;
            }
            name = text.substr(i + 2, end - i - 2);
            ++end;
        } else {
            end = i + 1;
            while (end < text.size() && isNameChar(text[end])) {
                ++end;
            }
            name = text.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += ch;
                ++i;
                continue;
            }
            if (end < text.size() && text[end] == L'%') {
                ++end;
            }
        }
        std::wstring value;
        if (lookup != nullptr && lookup(name, &value)) {
            out += value;
        }
        i = end;
    }
    return out;
}

bool hostAddQuotes(wchar_t* name, size_t capacity)
{
    if (name == nullptr) {
        return false;
    }
    size_t length = wcslen(name);
    if (length == 0 || name[0] == L'"') {
        return false;
    }
    bool needed = false;
    for (size_t i = 0; i < length; ++i) {
        if (iswspace(name[i]) || wcschr(L"&<>|^()[]{}=;!'+,`~%", name[i]) != nullptr) {
            needed = true;
        }
    }
    if (!needed || length + 3 > capacity) {
        return false;
    }
    memmove(name + 1, name, length * sizeof(wchar_t));
    name[0] = L'"';
    name[length + 1] = L'"';
    name[length + 2] = L'\0';
    return true;
}
