#include "procinfo/image_path.h"

#include "base/text.h"
#include "procinfo/process_access.h"

#include <psapi.h>

#include <windows.h>
#include <string.h>
#include <wchar.h>

#include <memory>
#include <new>

namespace {

const wchar_t LANMAN_PREFIX[] = L"\\Device\\LanmanRedirector\\";
const wchar_t MUP_PREFIX[] = L"\\Device\\Mup\\";

// Keeps the prefix's last backslash and puts one more in front: "\\S\H\F".
bool rewriteAfterPrefix(wchar_t* path, const wchar_t* prefix)
{
    size_t prefixLength = wcslen(prefix);
    if (!startsWithNoCase(path, prefix)) {
        return false;
    }
    size_t tailStart = prefixLength - 1;
    size_t tailLength = wcslen(path + tailStart);
    memmove(path + 1, path + tailStart, (tailLength + 1) * sizeof(wchar_t));
    path[0] = L'\\';
    return true;
}

bool isLetterOrDigit(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9');
}

}  // namespace

bool rewriteRedirectorPath(wchar_t* path)
{
    if (path == NULL) {
        return false;
    }
    return rewriteAfterPrefix(path, LANMAN_PREFIX) || rewriteAfterPrefix(path, MUP_PREFIX);
}

bool isDriveRoot(const wchar_t* root)
{
    return root != NULL && isLetterOrDigit(root[0]) && root[1] == L':' && root[2] == L'\\' &&
           root[3] == L'\0';
}

bool replaceDevicePrefix(wchar_t* path, const wchar_t* deviceName, const wchar_t* driveName)
{
    if (path == NULL || deviceName == NULL || driveName == NULL || deviceName[0] == L'\0') {
        return false;
    }
    size_t deviceLength = wcslen(deviceName);
    if (!startsWithNoCase(path, deviceName)) {
        return false;
    }
    wchar_t next = path[deviceLength];
    if (next != L'\0' && next != L'\\' && deviceName[deviceLength - 1] != L'\\') {
        return false;
    }
    size_t driveLength = wcslen(driveName);
    size_t tailLength = wcslen(path + deviceLength);
    if (driveLength + tailLength >= static_cast<size_t>(IMAGE_PATH_COUNT)) {
        return false;
    }
    memmove(path + driveLength, path + deviceLength, (tailLength + 1) * sizeof(wchar_t));
    memcpy(path, driveName, driveLength * sizeof(wchar_t));
    return true;
}

void loadDriveMap(DriveMap* map)
{
    if (map == NULL || map->loaded) {
        return;
    }
    map->loaded = true;
    map->drives.clear();
    wchar_t roots[DRIVE_ROOTS_COUNT];
    DWORD rootsLength = GetLogicalDriveStringsW(DRIVE_ROOTS_COUNT - 1, roots);
    if (rootsLength == 0 || rootsLength > DRIVE_ROOTS_COUNT - 1) {
        return;
    }
    roots[rootsLength] = L'\0';
    // 16 KB of device name is too much for the stack of a plugin inside the host.
    std::unique_ptr<wchar_t[]> device(new (std::nothrow) wchar_t[DEVICE_NAME_COUNT]);
    if (!device) {
        return;
    }
    for (const wchar_t* root = roots; *root != L'\0'; root += wcslen(root) + 1) {
        if (!isDriveRoot(root)) {
            continue;
        }
        wchar_t drive[3] = {root[0], L':', L'\0'};
        device[0] = L'\0';
        if (QueryDosDeviceW(drive, device.get(), DEVICE_NAME_COUNT) == 0) {
            continue;
        }
        device[DEVICE_NAME_COUNT - 1] = L'\0';
        map->drives.push_back(std::make_pair(std::wstring(drive), std::wstring(device.get())));
    }
}

int resolveImagePath(wchar_t* path, DriveMap* map)
{
    if (path == NULL) {
        return -1;
    }
    if (path[0] == L'\0' || rewriteRedirectorPath(path)) {
        return 0;
    }
    DriveMap local;
    if (map == NULL) {
        map = &local;
    }
    loadDriveMap(map);
    for (const auto& drive : map->drives) {
        if (replaceDevicePrefix(path, drive.second.c_str(), drive.first.c_str())) {
            break;
        }
    }
    return 0;
}

void readImagePath(HANDLE process, DriveMap* map, wchar_t* path)
{
    path[0] = L'\0';
    if (gProcessAccess.queryFullImageName != NULL) {
        DWORD size = IMAGE_PATH_COUNT;
        if (!gProcessAccess.queryFullImageName(process, 0, path, &size)) {
            path[0] = L'\0';
        }
    } else if (GetProcessImageFileNameW(process, path, IMAGE_PATH_COUNT) == 0) {
        path[0] = L'\0';
    } else {
        path[IMAGE_PATH_COUNT - 1] = L'\0';
        (void)resolveImagePath(path, map);
    }
    path[IMAGE_PATH_COUNT - 1] = L'\0';
}
