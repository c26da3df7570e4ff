#pragma once
// The unit of every read, compression call and comparison: 16 allocation
// granules (1 MiB on usual systems). Fixed when a build or extraction starts.

#include <cstdint>

namespace zk {

constexpr uint32_t BLOCK_GRANULES = 16;

// Block size for a given allocation granularity.
constexpr uint32_t BlockSizeFor(uint32_t granularity) { return BLOCK_GRANULES * granularity; }

// LZ4's worst-case output for one block of b input bytes, as the pipeline
// sizes its output buffer; 0 when b is beyond what LZ4 accepts.
constexpr uint32_t Lz4OutputBound(uint32_t b) { return b > 0x7E000000u ? 0 : b + b / 255 + 16; }

// Block size of the running system.
uint32_t SystemBlockSize();

} // namespace zk
