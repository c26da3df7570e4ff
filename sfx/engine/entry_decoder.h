#pragma once
// From an entry's stored bytes to the file being written: the volume files
// on disk, the spanning reader bound to an entry, and the three decoders
// (shared with the builder's verify pass) feeding a sink that writes,
// hashes and counts.

#include <cstdio>
#include <memory>
#include <string>

#include "core/block_decoder.h"
#include "core/pipeline.h"
#include "core/volume_io.h"
#include "sfx/engine/extract_session.h"

namespace zk {

// Why an entry's data could not be written out.
enum class EntryDataResult {
    OK,
    READ_FAILED, // a volume could not be opened or read (already shown)
    DAMAGED,     // the stored bytes end early or do not form a stream
    WRITE_FAILED,
    HASH_FAILED, // the hash service failed (already shown)
    ABORTED,
};

// Decodes the entry's data into out, hashing it when hash is given (the
// caller begins and ends the hash) and adding every written byte to the
// progress counters. A sound stream is written whole even when it holds
// more or fewer bytes than the entry's size; *written (when given) tells how
// many it held.
EntryDataResult DecodeStored(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                             uint64_t* written = nullptr);
EntryDataResult DecodeLz4(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                          uint64_t* written = nullptr);
EntryDataResult DecodeDeflate(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                              uint64_t* written = nullptr);

// After a failed write or close of an output stream: keeps the system's
// reason for the error log. A write the disk takes only part of leaves no
// system error behind the C runtime; that is a full disk. Clear the system
// error before the stream call.
void RecordStreamFailure();

// By the entry's method: 1 LZ4, 2 Deflate, anything else stored.
EntryDataResult DecodeEntryData(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                                uint64_t* written = nullptr);

} // namespace zk
