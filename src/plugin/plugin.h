// The plugin frame: the record the host reads to learn our names, and the
// little state that initialisation stores for the commands.
#pragma once
#include <windows.h>

#include "base/product.h"

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
    int reserved[2];  // room the host expects; never read or written here
};


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
