// The plugin frame: the record the host reads to learn our names, and the
// little state that initialisation stores for the commands.
#pragma once
#include <windows.h>

#include "base/product.h"

typedef BOOL(WINAPI* QueryFullProcessImageNameFn)(HANDLE, DWORD, LPWSTR, PDWORD);

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

// Written only by InitializePlugin, read by the commands.
struct PluginState {
    OSVERSIONINFOEXW osVersion;
    QueryFullProcessImageNameFn queryFullProcessImageName;  // null where the system lacks it
};
extern PluginState gPluginState;


// The access right for opening another process: the limited right exists from
// Windows 6 on and is the one that works for processes of other users.
DWORD processQueryAccess();

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
