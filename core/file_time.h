#pragma once
// File times: 100-ns units since 1601, UTC.

#include <cstdint>

namespace zk {

// The current time, taken from the local wall clock (so with millisecond
// steps).
uint64_t CurrentFileTime();

// Seconds since 1970 (the C runtime's time()): the clock of elapsed times
// and progress, which only ever subtracts two of its readings.
int64_t WallClockSeconds();

// The time stamp a new archive carries: SOURCE_DATE_EPOCH when it holds a
// time (so that the same sources and settings give the same archive bytes,
// whichever build or machine wrote them), otherwise the current time.
uint64_t ArchiveTimeStamp();

// SOURCE_DATE_EPOCH's text, decimal seconds since 1970-01-01 UTC, as a file
// time. False for an empty text, anything but digits, or a time a file time
// cannot hold.
bool EpochTextToFileTime(const char* text, uint64_t* fileTime);

} // namespace zk
