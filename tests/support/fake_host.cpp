#include "fake_host.h"

#include "fake_console.h"
#include "hostcore.h"
#include "base/host_api.h"

#include <wchar.h>
#include <wctype.h>

FakeHost gFakeHost;

void resetFakeHost()
{
    gFakeHost = FakeHost();
    gFakeHost.variables[L"_batch"] = L"0";
    gFakeHost.variables[L"_batchname"] = L"";
    gFakeHost.variables[L"_batchline"] = L"-1";
    gFakeHost.variables[L"_transient"] = L"0";
    gFakeHost.variables[L"_pipe"] = L"0";
}

std::vector<std::wstring> outputTranscript()
{
    std::vector<std::wstring> calls;
    for (const OutputPiece& piece : gFakeHost.pieces) {
        wchar_t head[8];
        swprintf(head, 8, L"%lc%02X ", piece.console ? L'C' : L'H', piece.attribute);
        calls.push_back(head + piece.text);
    }
    return calls;
}

namespace {

bool lookup(const std::wstring& name, std::wstring* value)
{
    std::wstring key(name);
    for (wchar_t& ch : key) {
        ch = static_cast<wchar_t>(towlower(ch));
    }
    auto it = gFakeHost.variables.find(key);
    if (it == gFakeHost.variables.end()) {
        return false;
    }
    *value = it->second;
    return true;
}

void hostWrites(const std::wstring& text)
{
    if (!gFakeHost.keepOutput) {
        if (text == L"\r\n") {
            ++gFakeHost.lineEnds;
            gFakeHost.lastLine.swap(gFakeHost.currentLine);
            gFakeHost.currentLine.clear();
        } else {
            gFakeHost.currentLine += text;
        }
        return;
    }
    gFakeHost.out += text;
    gFakeHost.pieces.push_back(OutputPiece{false, gFakeConsole.attribute, text});
}

}  // namespace

extern "C" {

int __cdecl Printf(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = hostFormat(format, args);
    va_end(args);
    hostWrites(text);
    return static_cast<int>(text.size());
}

int __cdecl Qprintf(HANDLE handle, const wchar_t* format, ...)
{
    (void)handle;
    va_list args;
    va_start(args, format);
    std::wstring text = hostFormat(format, args);
    va_end(args);
    gFakeHost.err += text;
    return static_cast<int>(text.size());
}

int WINAPI QPuts(const wchar_t* text)
{
    hostWrites(text ? text : L"");
    return 0;
}

void WINAPI CrLf(void)
{
    hostWrites(L"\r\n");
}

int WINAPI ExpandVariables(wchar_t* buffer, int flag)
{
    (void)flag;
    std::wstring expanded = hostExpand(buffer, lookup, nullptr);
    wcscpy(buffer, expanded.c_str());
    return 0;
}

void WINAPI GetAttribute(unsigned* normal, unsigned* inverse)
{
    *normal = gFakeHost.attribute;
    if (inverse != nullptr) {
        *inverse = ((gFakeHost.attribute << 4) | (gFakeHost.attribute >> 4)) & 0xFF;
    }
}

wchar_t* WINAPI ParseColors(wchar_t* text, int* foreground, int* background)
{
    const wchar_t* rest = hostParseColors(text, foreground, background);
    if (rest != nullptr && gFakeHost.parseColorsGivesBackground64 && *background == -1) {
        *background = 64;
    }
    return const_cast<wchar_t*>(rest);
}

void WINAPI SetColors(int attribute)
{
    gFakeHost.lastColors = attribute;
    gFakeHost.setColorsCalls++;
}

int WINAPI WildcardComparison(const wchar_t* pattern, const wchar_t* text, int fileNames, int ignoreCase)
{
    (void)fileNames;
    (void)ignoreCase;
    return hostWildcardMatch(pattern, text) ? 0 : 1;
}

int WINAPI AddQuotes(wchar_t* fileName)
{
    return hostAddQuotes(fileName, 1024) ? 1 : 0;
}

int __cdecl TakeCommandIPC(wchar_t* request, wchar_t* answer)
{
    (void)request;
    wcscpy(answer, gFakeHost.ipcAnswer.c_str());
    return 0;
}

}  // extern "C"
