// Turning an NT device path (\Device\HarddiskVolume2\...) into the drive-letter
// or UNC path a user knows.
#pragma once

const int IMAGE_PATH_COUNT = 32768;

// path: the caller's buffer of IMAGE_PATH_COUNT units, rewritten in place.
// Returns -1 for a null path, else 0 (also when no rule applied).
int resolveImagePath(wchar_t* path);
