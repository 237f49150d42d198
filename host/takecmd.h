// Entries of our stand-in TakeCmd.dll beyond the eleven the plugin imports:
// kfshell.exe uses them to tell the host library the shell's state.
#pragma once
#include <windows.h>

extern "C" {
// A variable function: handed the argument text in a buffer of
// HOST_BUFFER_COUNT units (base/host_api.h), it leaves the result there and
// its return code in *result. Returns false when it does not know the name.
typedef bool(WINAPI* KfFunctionHandler)(const wchar_t* name, wchar_t* buffer, int* result);

void WINAPI KfSetShellVariable(const wchar_t* name, const wchar_t* value);
void WINAPI KfSetFunctionHandler(KfFunctionHandler handler);
int WINAPI KfLastColors(void);
// Expands variables and functions without the plugins' 1024-unit limit.
int WINAPI KfExpand(const wchar_t* text, wchar_t* out, int capacity);
// Around one plugin command: redirected output is gathered and written at the end.
void WINAPI KfBeginCommand(void);
void WINAPI KfEndCommand(void);
}
