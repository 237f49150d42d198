// FILETIME as one unsigned 64-bit count of 100-ns units, the way creation
// times are compared and kept.
#pragma once
#include <windows.h>
#include <stdint.h>

inline uint64_t fileTimeValue(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME fileTimeFromValue(uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}
