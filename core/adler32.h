#pragma once
// Adler-32, the check at the end of every zlib stream. The extractor checks
// it itself, over bytes it has in hand anyway: zlib's own byte-at-a-time
// loop was an eighth of the work of extracting a tree of small files.

#include <cstddef>
#include <cstdint>

namespace zk {

// The check of bytes following those whose check is adler (1 for none).
uint32_t Adler32(uint32_t adler, const uint8_t* bytes, size_t count);

} // namespace zk
