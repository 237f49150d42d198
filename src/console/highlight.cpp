#include "console/highlight.h"

#include "console/console_port.h"
#include "base/text.h"
#include "base/host_api.h"
#include "base/product.h"
#include "base/unique_handle.h"

#include <wchar.h>

#include <memory>
#include <new>

const uint8_t contrastTable[3][16] = {
    {0x0F, 0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F, 0x70, 0x8F, 0x9F, 0xA0, 0xB0, 0xCF, 0xD0, 0xE0, 0xF2},
    {0x0E, 0x1B, 0x2B, 0x3E, 0x4B, 0x5B, 0x6B, 0x79, 0x8B, 0x9B, 0xA9, 0xB9, 0xC0, 0xDE, 0xEC, 0xF0},
    {0x0B, 0x16, 0x20, 0x30, 0x40, 0x50, 0x60, 0x74, 0x80, 0x90, 0xAF, 0xBF, 0xCD, 0xD6, 0xE4, 0xF4},
};

namespace {

const wchar_t* const SHARED_KEY = L"SOFTWARE\\Vessmark";
const int KEY_PATH_COUNT = 256;
const int PATTERN_TERM_COUNT = 8192;
const int NO_COLOUR = -1;
const int HOST_NO_BACKGROUND = 64;  // what some hosts report for "no background named"

uint8_t swapped(unsigned attribute)
{
    return static_cast<uint8_t>(((attribute << 4) | (attribute >> 4)) & 0xFF);
}

// The whole text as hexadecimal digits; only values that fit an attribute
// byte count, since a larger one would slip past the visibility checks.
bool parseHexAttribute(const wchar_t* text, unsigned* value)
{
    unsigned number = 0;
    if (*text == L'\0') {
        return false;
    }
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        unsigned digit;
        if (*p >= L'0' && *p <= L'9') {
            digit = *p - L'0';
        } else if (*p >= L'a' && *p <= L'f') {
            digit = *p - L'a' + 10;
        } else if (*p >= L'A' && *p <= L'F') {
            digit = *p - L'A' + 10;
        } else {
            return false;
        }
        number = number * 16 + digit;
        if (number > 0xFF) {
            return false;
        }
    }
    *value = number;
    return true;
}

// The Highlight setting: the environment first, then the plugin's own key
// before the shared one, the current user before the machine at each level.
bool findHighlightSetting(wchar_t* setting)
{
    DWORD length = GetEnvironmentVariableW(L"Highlight", setting, HIGHLIGHT_VALUE_COUNT);
    if (length > 0 && length < static_cast<DWORD>(HIGHLIGHT_VALUE_COUNT)) {
        return true;
    }
    setting[0] = L'\0';
    wchar_t pluginKey[KEY_PATH_COUNT];
    (void)formatText(pluginKey, KEY_PATH_COUNT, L"%s\\%s", SHARED_KEY, PLUGIN_NAME);
    const HKEY hives[2] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    const wchar_t* const keys[2] = {pluginKey, SHARED_KEY};
    for (const wchar_t* key : keys) {
        for (HKEY hive : hives) {
            if (readHighlightValue(hive, key, setting) == 0) {
                return true;
            }
        }
    }
    return false;
}

// Foreground and background the setting asks for; false when it cannot be used.
bool highlightFromSetting(wchar_t* setting, unsigned current, unsigned* highlight)
{
    int fg = static_cast<int>(current & 15);
    int bg = static_cast<int>((current >> 4) & 15);
    int foreground = NO_COLOUR;
    int background = NO_COLOUR;
    if (startsWithNoCase(setting, L"inv")) {
        foreground = bg;
        background = fg & 7;
    } else if (startsWithNoCase(setting, L"0x")) {
        unsigned value = 0;
        if (!parseHexAttribute(setting + 2, &value)) {
            return false;
        }
        foreground = static_cast<int>(value & 15);
        background = static_cast<int>(value >> 4);
    } else {
        ParseColors(setting, &foreground, &background);
    }

    if (background == HOST_NO_BACKGROUND) {
        if (foreground < 0) {
            return false;
        }
        background = NO_COLOUR;
    }
    if (foreground < 0 || foreground > 15 || background > 15) {
        return false;
    }
    if (background >= 0) {
        if (foreground == background || (foreground == fg && background == bg)) {
            return false;
        }
        *highlight = static_cast<unsigned>((background << 4 | foreground) & 0xFF);
        return true;
    }
    if (background != NO_COLOUR || foreground == fg || foreground == bg) {
        return false;
    }
    *highlight = static_cast<unsigned>(bg << 4 | foreground);
    return true;
}

unsigned derivedHighlight(unsigned current)
{
    unsigned fg = current & 15;
    unsigned bg = (current >> 4) & 15;
    if ((bg & 8) != 0 || (fg & 8) != 0 || fg == 0) {
        return contrastTable[0][bg] == current ? contrastTable[1][bg] : contrastTable[0][bg];
    }
    return current | 8;
}

}  // namespace

unsigned loadHighlightAttributes(ConsoleOutput* output)
{
    output->attributes = ConsoleAttributes();
    if (!stdoutIsConsole(output->port)) {
        return 0;
    }
    unsigned current = 0;
    unsigned inverse = 0;
    GetAttribute(&current, &inverse);
    current &= 0xFF;
    unsigned fg = current & 15;
    unsigned bg = (current >> 4) & 15;
    if (fg == bg) {
        return 0;
    }

    // 2 KB is a lot for the stack of a plugin called deep inside the host.
    std::unique_ptr<wchar_t[]> setting(new (std::nothrow) wchar_t[HIGHLIGHT_VALUE_COUNT]());
    if (!setting) {
        return 0;
    }
    unsigned highlight = 0;
    if (!findHighlightSetting(setting.get())) {
        highlight = derivedHighlight(current);
    } else if (!highlightFromSetting(setting.get(), current, &highlight)) {
        return 0;
    }

    unsigned alternate = contrastTable[0][bg];
    if (alternate == current || alternate == highlight) {
        alternate = contrastTable[1][bg];
        if (alternate == current || alternate == highlight) {
            alternate = contrastTable[2][bg];
        }
    }
    output->attributes.normalAttribute = static_cast<uint8_t>(current);
    output->attributes.highlightAttribute = static_cast<uint8_t>(highlight);
    output->attributes.alternateAttribute = static_cast<uint8_t>(alternate);
    output->attributes.inverseNormalAttribute = swapped(current);
    output->attributes.inverseHighlightAttribute = swapped(highlight);
    output->attributes.inverseAlternateAttribute = swapped(alternate);
    return highlight;
}

int readHighlightValue(HKEY hive, const wchar_t* subKey, wchar_t* buffer)
{
    if (subKey == NULL || subKey[0] == L'\0' || buffer == NULL) {
        return -1;
    }
    buffer[0] = L'\0';
    UniqueRegKey key;
    LONG status = RegOpenKeyExW(hive, subKey, 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) {
        return static_cast<int>(status);
    }
    DWORD type = 0;
    DWORD bytes = HIGHLIGHT_VALUE_COUNT * sizeof(wchar_t);
    status = RegQueryValueExW(key.get(), L"Highlight", NULL, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    int result = 0;
    if (status != ERROR_SUCCESS) {
        result = static_cast<int>(status);
    } else if (type != REG_SZ) {
        result = ERROR_INVALID_DATA;
    } else {
        // A value stored without its terminator may fill the buffer exactly.
        size_t units = bytes / sizeof(wchar_t);
        if (units >= static_cast<size_t>(HIGHLIGHT_VALUE_COUNT) && buffer[HIGHLIGHT_VALUE_COUNT - 1] != L'\0') {
            result = ERROR_MORE_DATA;
        } else {
            buffer[units < static_cast<size_t>(HIGHLIGHT_VALUE_COUNT) ? units : HIGHLIGHT_VALUE_COUNT - 1] = L'\0';
            if (buffer[0] == L'\0') {
                result = ERROR_NO_DATA;
            }
        }
    }
    if (result != 0) {
        buffer[0] = L'\0';
    }
    return result;
}

int emitRun(const ConsolePort* port, const wchar_t* text, unsigned attribute)
{
    if (text == NULL) {
        return -1;
    }
    setStdoutAttribute(port, attribute);
    writeToConsole(port, text);
    return 0;
}

bool matchesPatternList(const wchar_t* patterns, const wchar_t* name, bool addDotStar)
{
    if (patterns == NULL || name == NULL) {
        return false;
    }
    std::unique_ptr<wchar_t[]> term(new (std::nothrow) wchar_t[PATTERN_TERM_COUNT + 2]);
    if (!term) {
        return false;
    }
    const wchar_t* p = patterns;
    while (*p != L'\0') {
        size_t length = 0;
        for (; *p != L'\0' && *p != L'|'; ++p) {
            if (length < static_cast<size_t>(PATTERN_TERM_COUNT - 1)) {
                term[length++] = *p;
            }
        }
        if (*p == L'|') {
            ++p;
        }
        if (length == 0) {
            continue;
        }
        term[length] = L'\0';
        if (addDotStar && wcschr(term.get(), L'.') == NULL) {
            term[length++] = L'.';
            term[length++] = L'*';
            term[length] = L'\0';
        }
        bool matches;
        if (term[0] == L'!' && term[1] != L'\0') {
            matches = WildcardComparison(term.get() + 1, name, 0, 1) != 0;
        } else {
            matches = WildcardComparison(term.get(), name, 0, 1) == 0;
        }
        if (matches) {
            return true;
        }
    }
    return false;
}
