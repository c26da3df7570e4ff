#pragma once
// The system's FILETIME and our 64-bit file times (100-ns units since 1601,
// UTC), converted in one place.

#include <windows.h>

#include <cstdint>

namespace zk {

inline uint64_t FileTimeValue(const FILETIME& ft)
{
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline FILETIME ToFileTime(uint64_t value)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

} // namespace zk
