#pragma once
// The current time as a file time (100-ns units since 1601, UTC), taken from
// the local wall clock (so with millisecond steps).

#include <cstdint>

namespace zk {

uint64_t CurrentFileTime();

} // namespace zk
