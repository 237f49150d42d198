// The binary interface between the shell and the plugin, in both directions:
// the record the shell reads from GetPluginInfo, and the operations the plugin
// imports from the shell's host library TakeCmd.dll. The real library exports
// them under plain names, stdcall on x86 except the variadic ones. Their names
// and argument bytes are listed once, in KF_HOST_OPERATIONS (CMakeLists.txt),
// for the import library and the stand-in's exports.
// No dllimport here: unit tests link a capturing fake host in their place.
#pragma once
#include <windows.h>
#include <stddef.h>

// Laid out as the shell reads it. The shell may store its handle of the
// plugin's module and a module name in the last two fields; the plugin leaves
// them null and never reads them.
struct PluginInfo {
    const wchar_t* name;
    const wchar_t* author;
    const wchar_t* email;
    const wchar_t* webPage;
    const wchar_t* description;
    const wchar_t* implementedNames;
    int majorVersion;
    int minorVersion;
    int build;
    HMODULE module;
    wchar_t* moduleName;
};

// The last two fields are pointer-sized: a record sized for 32-bit fields
// there would let the 64-bit shell write past it.
#if defined(_WIN64)
static_assert(sizeof(PluginInfo) == 80, "the 64-bit shell reads an 80-byte record");
static_assert(offsetof(PluginInfo, module) == 64, "the 64-bit shell's module handle is at 64");
static_assert(offsetof(PluginInfo, moduleName) == 72, "the 64-bit shell's module name is at 72");
#else
static_assert(sizeof(PluginInfo) == 44, "the 32-bit shell reads a 44-byte record");
static_assert(offsetof(PluginInfo, module) == 36, "the 32-bit shell's module handle is at 36");
static_assert(offsetof(PluginInfo, moduleName) == 40, "the 32-bit shell's module name is at 40");
#endif

// The buffer the shell hands to a variable function, its arguments in and its
// result out, in UTF-16 units with the terminator; a longer result is cut.
// Our hosts hand a command its argument text in a buffer of the same size.
const size_t HOST_BUFFER_COUNT = 8192;

// The plugin's export; the x86 entry takes no argument and pops nothing.
typedef PluginInfo*(WINAPI* GetPluginInfoFn)(void);

extern "C" {
int __cdecl Printf(const wchar_t* format, ...);
int __cdecl Qprintf(HANDLE handle, const wchar_t* format, ...);
int WINAPI QPuts(const wchar_t* text);
void WINAPI CrLf(void);
int WINAPI ExpandVariables(wchar_t* buffer, int flag);
void WINAPI GetAttribute(unsigned* normal, unsigned* inverse);
wchar_t* WINAPI ParseColors(wchar_t* text, int* foreground, int* background);
void WINAPI SetColors(int attribute);
int WINAPI WildcardComparison(const wchar_t* pattern, const wchar_t* text, int fileNames, int ignoreCase);
int WINAPI AddQuotes(wchar_t* fileName);
int __cdecl TakeCommandIPC(wchar_t* request, wchar_t* answer);
}
