#include "plugin/plugin.h"

#include "base/host_api.h"
#include "procinfo/process_access.h"

#include <string.h>
#include <wchar.h>


namespace {

// Filled at the host's request and read by the host from then on.
PluginInfo gPluginInfo;

const DWORD OS_VERSION_SIZE = sizeof(OSVERSIONINFOEXW);  // 284 bytes
const int LOAD_CHECK_COUNT = 1024;

typedef LONG(WINAPI* RtlGetVersionFn)(OSVERSIONINFOEXW*);

}  // namespace

void readWindowsVersion(OSVERSIONINFOEXW* version)
{
    // GetVersionExW lies to programs without a compatibility manifest from
    // Windows 8.1 on; RtlGetVersion does not.
    memset(version, 0, sizeof(*version));
    version->dwOSVersionInfoSize = OS_VERSION_SIZE;
    HMODULE ntdll = GetModuleHandleW(L"NtDll.dll");
    if (ntdll != NULL) {
        RtlGetVersionFn rtlGetVersion =
            reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion != NULL) {
            rtlGetVersion(version);
            if (version->dwMajorVersion >= 6) {
                return;
            }
        }
    }
    memset(version, 0, sizeof(*version));
    version->dwOSVersionInfoSize = OS_VERSION_SIZE;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(version));
}

extern "C" PluginInfo* WINAPI GetPluginInfo(void)
{
    gPluginInfo.name = PLUGIN_NAME;
    gPluginInfo.author = L"The Kinfold developers";
    gPluginInfo.email = L"kinfold@users.invalid";
    gPluginInfo.webPage = L"https://kinfold.invalid/";
    gPluginInfo.description = L"Display a process tree.";
    gPluginInfo.implementedNames = L"ancestry,kinfold,@ancestry,@kinfold";
    gPluginInfo.majorVersion = PLUGIN_MAJOR;
    gPluginInfo.minorVersion = PLUGIN_MINOR;
    gPluginInfo.build = PLUGIN_BUILD;
    return &gPluginInfo;
}

extern "C" int WINAPI InitializePlugin(void)
{
    OSVERSIONINFOEXW version;
    readWindowsVersion(&version);
    gProcessAccess.windowsMajorVersion = version.dwMajorVersion;
    gProcessAccess.queryFullImageName = NULL;
    HMODULE kernel = GetModuleHandleW(L"Kernel32.dll");
    if (kernel != NULL) {
        gProcessAccess.queryFullImageName = reinterpret_cast<QueryFullProcessImageNameFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "QueryFullProcessImageNameW")));
    }

    // Quiet in transient shells, in pipes, and when the user asked for it.
    wchar_t check[LOAD_CHECK_COUNT] = {0};
    wcscpy(check, L"%[_transient]%[_pipe]%[noloadmsg]");
    ExpandVariables(check, 1);
    if (wcscmp(check, L"00") == 0) {
        Printf(L"%s v%u.%u.%u loaded.\r\n", PLUGIN_NAME, PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD);
    }
    return 0;
}

extern "C" int WINAPI ShutdownPlugin(int endProcess)
{
    (void)endProcess;
    return 0;
}

extern "C" int WINAPI kfClverEntry(wchar_t* buffer)
{
    if (buffer == NULL) {
        return -1;
    }
    static const char CLVER_TEXT[] = "1.0.11.0";
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, CLVER_TEXT, -1, buffer, 1024);
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
