#pragma once
// A hash that digests on a thread of its own: Update copies the bytes into
// one of a few blocks and returns, so that whoever produces the bytes
// (the extractor decoding and writing a file) goes on while the previous
// blocks are hashed. The digest is the same as the inner hash's over the
// same bytes in the same order. Memory: a fixed number of blocks.
//
// Begin and End run the inner hash's on the calling thread; End first waits
// for every queued byte. A failure of the inner Update is returned by the
// next Update or by End.

#include <cstdint>
#include <memory>

#include "core/pipeline.h"

namespace zk {

// Takes inner over; null when the memory or the thread is not there, and
// inner is then left to the caller.
std::unique_ptr<IFileHash> HashBehind(std::unique_ptr<IFileHash>& inner, uint32_t blockSize,
                                      uint32_t blocks = 4);

} // namespace zk
