// The entries the host calls for the plugin's commands and function.
#pragma once
#include <windows.h>
#include <stdint.h>

// Driver results besides 0, STOPPED and Windows error codes.
const int ROOT_PID_NOT_FOUND = 42;
const int NO_WILDCARD_MATCH = 43;
const int NO_SERVICES_ROOT = 44;

extern "C" {
int WINAPI kinfold(wchar_t* arguments);
int WINAPI ancestry(wchar_t* arguments);
int WINAPI f_ancestry(wchar_t* buffer);
int WINAPI Help(wchar_t* name);
int WINAPI Usage(wchar_t* name, wchar_t* buffer);
}

int runKinfold(const wchar_t* pattern, const wchar_t* sortKeys, uint32_t rootPid,
               const wchar_t* highlight, uint32_t width, uint32_t flags);
int runAncestry(const wchar_t* highlight, uint32_t pid, const wchar_t* pattern, uint32_t width,
                uint32_t flags);
