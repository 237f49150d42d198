// Turning an NT device path (\Device\HarddiskVolume2\...) into the drive-letter
// or UNC path a user knows.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

const int IMAGE_PATH_COUNT = 32768;
const int DRIVE_ROOTS_COUNT = 1024;   // GetLogicalDriveStringsW is told 1023
const int DEVICE_NAME_COUNT = 8192;   // one QueryDosDeviceW answer

// The device name behind each drive letter ("C:" -> "\Device\HarddiskVolume1"),
// read once per invocation at the first path that needs it.
struct DriveMap {
    bool loaded = false;
    std::vector<std::pair<std::wstring, std::wstring>> drives;  // (drive, device)
};
void loadDriveMap(DriveMap* map);

// path: the caller's buffer of IMAGE_PATH_COUNT units, rewritten in place.
// Returns -1 for a null path, else 0 (also when no rule applied).
[[nodiscard]] int resolveImagePath(wchar_t* path, DriveMap* map);

// The full image path of an opened process into path (IMAGE_PATH_COUNT
// units); empty when the query fails. map may be null: then a device path is
// translated with a map read for this one path.
void readImagePath(HANDLE process, DriveMap* map, wchar_t* path);

// The rules without system calls, apart for testing. Each returns true when it
// rewrote the path (never longer than before, so never past the buffer).

// "\Device\LanmanRedirector\S\H\F" and "\Device\Mup\S\H\F", any case, become "\\S\H\F".
bool rewriteRedirectorPath(wchar_t* path);
// A root of the form "X:\" with X a letter or digit.
bool isDriveRoot(const wchar_t* root);
// Replaces a leading deviceName (any case) by driveName. The device name must
// end at a backslash or at the end of the path: \Device\HarddiskVolume1 is no
// match for \Device\HarddiskVolume10\x.
bool replaceDevicePrefix(wchar_t* path, const wchar_t* deviceName, const wchar_t* driveName);
