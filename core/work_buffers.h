#pragma once
// The work buffers of the codecs and the cipher, allocated once per build
// or extraction: two buffers of equal size, four further codec buffers, and
// (in the cipher) the stored key text. Process-wide: one build or one
// extraction worker uses them at a time.

#include <cstddef>
#include <cstdint>

namespace zk {

constexpr int CODEC_BUFFER_COUNT = 4;

// The size of each of the two work buffers for a requested size (0 is not
// special here): with M the size in whole MiB, M > 8 gives 8 MiB, M > 4
// gives 4 MiB, M > 2 gives 2 MiB, 1 <= M <= 2 keeps the requested size, M = 0
// gives 1 MiB; then rounded up to a multiple of 16.
uint32_t WorkBufferSizeFor(uint64_t requested);

// Allocates the two work buffers (after freeing earlier ones) with
// WorkBufferSizeFor(size), size 0 meaning half the physical memory. Returns
// the size of each buffer, or 0 (everything freed) when an allocation fails.
uint32_t AllocWorkBuffers(uint64_t size);

// Forgets the stored key text (so the next SetArchiveKey builds its
// schedule again) and frees the two work buffers and the four codec buffers.
void FreeWorkBuffers();

// Work buffer 0 or 1 (null when not allocated) and their common size.
uint8_t* WorkBuffer(int index);
uint32_t WorkBufferSize();

// Codec buffer slot 0..3: (re)allocates it with size bytes (the old one is
// freed) and returns it, null on failure. FreeWorkBuffers frees it.
void* AllocCodecBuffer(int index, size_t size);
void* CodecBuffer(int index);

} // namespace zk
