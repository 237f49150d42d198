// Our stand-in for the shell's host library TakeCmd.dll: the eleven operations
// the plugin imports, under the same plain names, plus a few entries of our
// own through which kfshell.exe tells it the shell's state. The eleven are
// defined against the plugin's own declarations, so the compiler holds both
// sides to one signature and calling convention.
#include "../src/base/host_api.h"
#include "takecmd.h"

#include "hostcore.h"

#include <windows.h>
#include <stdio.h>
#include <wchar.h>

#include <map>
#include <string>

namespace {

std::map<std::wstring, std::wstring> gShellVariables;  // names lower-cased
KfFunctionHandler gFunctionHandler = nullptr;
int gLastColors = -1;

bool lookupVariable(const std::wstring& name, std::wstring* value)
{
    auto it = gShellVariables.find(hostLowered(name));
    if (it != gShellVariables.end()) {
        *value = it->second;
        return true;
    }
    DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (needed == 0) {
        return false;
    }
    std::wstring buffer(needed, L'\0');
    DWORD got = GetEnvironmentVariableW(name.c_str(), &buffer[0], needed);
    buffer.resize(got);
    *value = buffer;
    return true;
}

bool callFunction(const std::wstring& name, const std::wstring& args, std::wstring* result)
{
    if (gFunctionHandler == nullptr) {
        return false;
    }
    std::wstring buffer(args);
    buffer.resize(HOST_BUFFER_COUNT, L'\0');
    int rc = 0;
    if (!gFunctionHandler(name.c_str(), &buffer[0], &rc)) {
        return false;
    }
    // Like the real shell, a failing function leaves its text unexpanded.
    if (rc != 0) {
        *result = L"%@" + name + L"[" + args + L"]";
        return true;
    }
    *result = buffer.c_str();
    return true;
}

// Redirected output of one command, written in large pieces: under Wine
// every write is a round trip to the server, which would otherwise cost
// more than the command itself. Gathered only between KfBeginCommand and
// KfEndCommand, and written before anything goes to another handle, so the
// order of standard output and standard error is kept.
struct PendingOutput {
    bool gathering = false;
    HANDLE handle = nullptr;
    std::string utf8;
};
PendingOutput gPending;
const size_t PENDING_LIMIT = 1 << 20;

void flushPending()
{
    if (!gPending.utf8.empty()) {
        DWORD written = 0;
        WriteFile(gPending.handle, gPending.utf8.data(), static_cast<DWORD>(gPending.utf8.size()), &written, nullptr);
        gPending.utf8.clear();
    }
    gPending.handle = nullptr;
}

// One pass: a UTF-16 unit never takes more than three bytes of UTF-8 (a
// surrogate pair, two units, takes four).
void appendUtf8(std::string* out, const wchar_t* text, size_t length)
{
    size_t start = out->size();
    out->resize(start + length * 3);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &(*out)[start],
                                    static_cast<int>(length * 3), nullptr, nullptr);
    out->resize(start + static_cast<size_t>(bytes > 0 ? bytes : 0));
}

// Every line of a command passes here: no copy of the text is made on the way.
void writeTo(HANDLE handle, const wchar_t* text, size_t length)
{
    if (length == 0 || handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    if (gPending.gathering && handle == gPending.handle) {
        appendUtf8(&gPending.utf8, text, length);
        if (gPending.utf8.size() >= PENDING_LIMIT) {
            flushPending();
            gPending.handle = handle;
        }
        return;
    }
    flushPending();
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    // Redirected output is UTF-8, so files and pipes read naturally on Linux.
    std::string utf8;
    appendUtf8(&utf8, text, length);
    if (gPending.gathering) {
        gPending.handle = handle;
        gPending.utf8 = utf8;
        return;
    }
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

extern "C" {

// Our shell's brackets around one plugin call (not part of the real host).
void WINAPI KfBeginCommand(void)
{
    gPending.gathering = true;
}

void WINAPI KfEndCommand(void)
{
    flushPending();
    gPending.gathering = false;
}

int __cdecl Printf(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = hostFormat(format, args);
    va_end(args);
    writeTo(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), text.size());
    return static_cast<int>(text.size());
}

int __cdecl Qprintf(HANDLE handle, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = hostFormat(format, args);
    va_end(args);
    writeTo(handle, text.data(), text.size());
    return static_cast<int>(text.size());
}

int WINAPI QPuts(const wchar_t* text)
{
    if (text == nullptr) {
        return 0;
    }
    writeTo(GetStdHandle(STD_OUTPUT_HANDLE), text, wcslen(text));
    return 0;
}

void WINAPI CrLf(void)
{
    writeTo(GetStdHandle(STD_OUTPUT_HANDLE), L"\r\n", 2);
}

int WINAPI ExpandVariables(wchar_t* buffer, int flag)
{
    (void)flag;
    if (buffer == nullptr) {
        return -1;
    }
    // The plugin's buffers hold at least this much.
    const size_t EXPAND_CAPACITY = 1024;
    std::wstring expanded = hostExpand(buffer, lookupVariable, callFunction);
    if (expanded.size() >= EXPAND_CAPACITY) {
        expanded.resize(EXPAND_CAPACITY - 1);
    }
    wcscpy(buffer, expanded.c_str());
    return 0;
}

void WINAPI GetAttribute(unsigned* normal, unsigned* inverse)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    unsigned attribute = 0x07;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        attribute = info.wAttributes & 0xFF;
    }
    if (normal != nullptr) {
        *normal = attribute;
    }
    if (inverse != nullptr) {
        *inverse = ((attribute << 4) | (attribute >> 4)) & 0xFF;
    }
}

wchar_t* WINAPI ParseColors(wchar_t* text, int* foreground, int* background)
{
    if (foreground == nullptr || background == nullptr) {
        return nullptr;
    }
    return const_cast<wchar_t*>(hostParseColors(text, foreground, background));
}

void WINAPI SetColors(int attribute)
{
    gLastColors = attribute;
}

int WINAPI WildcardComparison(const wchar_t* pattern, const wchar_t* text, int fileNames, int ignoreCase)
{
    (void)fileNames;
    (void)ignoreCase;
    return hostWildcardMatch(pattern, text) ? 0 : 1;
}

int WINAPI AddQuotes(wchar_t* fileName)
{
    const size_t QUOTE_CAPACITY = 1024;
    return hostAddQuotes(fileName, QUOTE_CAPACITY) ? 1 : 0;
}

int __cdecl TakeCommandIPC(wchar_t* request, wchar_t* answer)
{
    if (request == nullptr || answer == nullptr) {
        return -1;
    }
    answer[0] = L'\0';
    if (_wcsicmp(request, L"HWND") != 0) {
        return -1;
    }
    HWND window = GetConsoleWindow();
    if (window != nullptr) {
        std::wstring number = std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
        wcscpy(answer, number.c_str());
    }
    return 0;
}

void WINAPI KfSetShellVariable(const wchar_t* name, const wchar_t* value)
{
    if (name == nullptr) {
        return;
    }
    if (value == nullptr) {
        gShellVariables.erase(hostLowered(name));
    } else {
        gShellVariables[hostLowered(name)] = value;
    }
}

void WINAPI KfSetFunctionHandler(KfFunctionHandler handler)
{
    gFunctionHandler = handler;
}

int WINAPI KfLastColors(void)
{
    return gLastColors;
}

int WINAPI KfExpand(const wchar_t* text, wchar_t* out, int capacity)
{
    if (text == nullptr || out == nullptr || capacity <= 0) {
        return -1;
    }
    std::wstring expanded = hostExpand(text, lookupVariable, callFunction);
    if (expanded.size() >= static_cast<size_t>(capacity)) {
        expanded.resize(static_cast<size_t>(capacity) - 1);
    }
    wcscpy(out, expanded.c_str());
    return 0;
}

}  // extern "C"
