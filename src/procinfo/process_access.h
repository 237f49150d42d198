// Opening another process and reading its facts: the access right and the
// image-name query are learnt once when the plugin loads; everything else is
// read from one handle per process.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "base/file_time.h"
#include "base/unique_handle.h"

typedef BOOL(WINAPI* QueryFullProcessImageNameFn)(HANDLE, DWORD, LPWSTR, PDWORD);

// Load-time facts, written once by the plugin's initialisation.
struct ProcessAccess {
    DWORD windowsMajorVersion;
    QueryFullProcessImageNameFn queryFullImageName;  // null where the system lacks it
};
extern ProcessAccess gProcessAccess;

// The access right for opening another process: the limited right exists from
// Windows 6 on and is the one that works for processes of other users.
DWORD processQueryAccess();

// Not inheritable; empty when the process cannot be opened.
UniqueProcessHandle openProcessForQuery(uint32_t pid);
typedef HANDLE(WINAPI* OpenProcessFn)(DWORD access, BOOL inherit, DWORD pid);

// Opens pid with open (OpenProcess, or a test's) for the query right and
// extraRights together; where those are refused (a protected process,
// another user's), once more with the query right alone, *refused then
// telling why. Any other failure is the process's own (gone): no second try.
// Empty when not opened, *refused the error. At most two opens.
UniqueProcessHandle openProcessWith(OpenProcessFn open, uint32_t pid, DWORD extraRights, DWORD* refused);

// 0 when the times cannot be read.
uint64_t readCreationTime(HANDLE process);
// Opens, reads, closes; 0 when the process cannot be opened or read.
uint64_t creationTimeOf(uint32_t pid);
// The one creation-time test of a parent link: true only when both times are
// known and the parent's is strictly later, i.e. the parent PID was reused.
bool isCreatedLater(uint64_t parentTime, uint64_t childTime);
