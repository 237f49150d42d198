// The plugin frame: the record the host reads to learn our names (its layout
// is the shell's, in base/host_api.h), and the little state that
// initialisation stores for the commands.
#pragma once
#include <windows.h>

#include "base/host_api.h"
#include "base/product.h"

// Fills the version record the way initialisation does (RtlGetVersion, else
// GetVersionExW).
void readWindowsVersion(OSVERSIONINFOEXW* version);

extern "C" {
PluginInfo* WINAPI GetPluginInfo(void);
int WINAPI InitializePlugin(void);
int WINAPI ShutdownPlugin(int endProcess);
// Exported under the decorated name of int __stdcall _clver$(wchar_t*).
int WINAPI kfClverEntry(wchar_t* buffer);
}
