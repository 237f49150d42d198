// The operations the plugin imports from the shell's host library TakeCmd.dll.
// The real library exports them under plain names, stdcall on x86 except the
// variadic ones; the import library is generated from takecmd.def.in.
// No dllimport here: unit tests link a capturing fake host in their place.
#pragma once
#include <windows.h>

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
