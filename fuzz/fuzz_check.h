#pragma once
// What the fuzz targets share: a check that stops the run the way a crash
// does (libFuzzer then keeps the input), and the key every reader of an
// archive without password uses.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/archive_key.h"

// Unlike assert, never compiled out: a broken promise of a parser is a
// finding just like an out-of-bounds read.
#define ZK_FUZZ_CHECK(cond)                                                                                  \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace zk::fuzz {

inline void UseTimeStampKey(uint64_t stamp)
{
    SetArchiveKeyBytes(TimeStampKeyText(stamp).c_str());
}

} // namespace zk::fuzz
