// Turning an NT device path (\Device\HarddiskVolume2\...) into the drive-letter
// or UNC path a user knows.
#pragma once

const int IMAGE_PATH_COUNT = 32768;
const int DRIVE_ROOTS_COUNT = 1024;   // GetLogicalDriveStringsW is told 1023
const int DEVICE_NAME_COUNT = 8192;   // one QueryDosDeviceW answer

// path: the caller's buffer of IMAGE_PATH_COUNT units, rewritten in place.
// Returns -1 for a null path, else 0 (also when no rule applied).
int resolveImagePath(wchar_t* path);

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
