#pragma once
// From an entry's stored bytes to the file being written: the volume files
// on disk, the spanning reader bound to an entry, and the three decoders
// (shared with the builder's verify pass) feeding a sink that writes,
// hashes and counts. With more than one thread a run's files are decoded
// on a thread of their own, a few blocks ahead of their writing.

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

// With more than one thread, starts decoding the files below top in the
// order ExtractFolder writes them (at the top only the selected children
// when selectedOnly), ahead of their writing. The run's archive handle must
// be open: the information of the next files is read through it.
// Whether the archive's files are large enough on average for a second
// thread (decoding ahead, hashing beside the writing) to gain more than
// handing each file over costs.
bool HandingOverPays(const ArchiveState& st);
// Whether this run decodes ahead and hashes beside the writing: more than
// one thread, and files for which the hand-over pays (or a test asks).
bool SecondThreadPays(const ExtractSession& s);
void StartDecodingAhead(ExtractSession& s, const EntryNode& top, bool selectedOnly);
// Ends the decoding thread of the run (harmless when there is none); files
// are decoded as they are written from then on.
void StopDecodingAhead(ExtractSession& s);

// The data of one file entry as ExtractFile writes it: decoded ahead when
// the run decodes ahead, else on the spot. What was decoded ahead for the
// entry and not taken (a file kept, a failure before its data) is dropped
// when this goes away, so the next entry's data follows.
class FileEntryData {
public:
    FileEntryData(ExtractSession& s, const EntryNode& node);
    ~FileEntryData();
    FileEntryData(const FileEntryData&) = delete;
    FileEntryData& operator=(const FileEntryData&) = delete;

    // The node's information when it was read ahead (null otherwise).
    std::unique_ptr<EntryInfo> TakeInfo();
    // DecodeEntryData, once per entry. A failure found ahead (a volume
    // that could not be read is told only now) comes after the bytes before it.
    EntryDataResult Decode(const EntryInfo& info, FILE* out, IFileHash* hash, uint64_t* written);

private:
    ExtractSession& m_s;
    EntryAhead* m_pAhead = nullptr; // set while the entry waits in it
};

} // namespace zk
