#pragma once
// Decoding of an entry's stored bytes, shared by the builder's verify pass and
// the extractor. The stored bytes come from an archive that may be damaged or
// hostile: every length is checked against the buffers before anything is
// copied, and the output goes to the sink in pieces of at most B bytes, so
// however much a stream decodes to, no buffer grows with it.
//
// Stored forms (the plain form; with a password the whole stored string is
// encrypted block by block, and its length is a multiple of 16):
//  - METHOD_LZ4:     records [i32 length][length bytes of one LZ4 block], each
//                    block decoding to at most B bytes with the previous block
//                    as dictionary, ended by the first record whose length is
//                    0 or less. Up to 15 pad bytes may follow when encrypted.
//  - METHOD_DEFLATE: one zlib stream (two-byte header, Adler-32 trailer); pad
//                    bytes may follow it when encrypted.
//  - METHOD_STORED:  the bytes themselves; only the first uncompressed-size
//                    bytes count.

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/archive_format.h"
#include "core/volume_io.h"

namespace zk {

// Block encryption of the data streams. Null where a stream is not encrypted.
// Both functions work in place on whole 16-byte blocks and return the length
// rounded up to a multiple of 16.
struct BlockCipher {
    uint32_t (*m_pEncrypt)(void* buffer, int32_t length);
    uint32_t (*m_pDecrypt)(void* buffer, int32_t length);
};

// The archive key's cipher (the process-wide key set by the build or by the
// extractor when it opened the archive).
const BlockCipher& ArchiveKeyCipher();

// A set flag (any non-zero value) asks every loop to stop with failure.
using CancelFlag = std::atomic<uint8_t>;

inline bool Cancelled(const CancelFlag* flag)
{
    return flag != nullptr && flag->load(std::memory_order_relaxed) != 0;
}

// Receives the decoded bytes in order: verify compares them with the source,
// the extractor writes and hashes them.
class IDecodeSink {
public:
    virtual ~IDecodeSink() = default;
    // 0 to go on, 1 to fail the entry.
    virtual int Put(const uint8_t* bytes, uint32_t count) = 0;
};

// Why a decode failed, for the caller's error text.
enum class DecodeError : uint8_t {
    NONE = 0,
    READ,      // the stored bytes could not be read (the reader recorded why)
    CORRUPT,   // the stored bytes do not form a valid stream of this entry
    SINK,      // the sink refused the bytes
    CANCELLED, // the cancel flag was set
    BUFFERS,   // the buffers given are too small for the block size
};

// A Deflate decoder set up once and reset for each entry: setting one up
// allocates its state and, at the first output, a 32 KiB window, which a run
// of small files would otherwise pay per file. Nothing of one entry reaches
// the next (a reset empties the window). One thread at a time.
class InflateState {
public:
    InflateState();
    ~InflateState();
    InflateState(const InflateState&) = delete;
    InflateState& operator=(const InflateState&) = delete;

    struct Impl;
    Impl& Get() { return *m_pImpl; }

private:
    std::unique_ptr<Impl> m_pImpl;
};

// Buffers of one build or extraction, allocated once. out holds 2B bytes (two
// halves, so that the previous LZ4 block stays in place as dictionary); in
// holds at least DecodeInputSize(B) bytes. inflate, when given, is the
// Deflate decoder every entry reuses; without it each entry sets up its own.
struct DecodeBuffers {
    uint8_t* m_pOut = nullptr;
    uint8_t* m_pIn = nullptr;
    uint32_t m_nInSize = 0;
    InflateState* m_pInflate = nullptr;
};

// Room the input side needs: one whole LZ4 record (its length and its block
// of at most Lz4OutputBound(B) bytes) left over from the last chunk, plus the
// next chunk of B bytes read and decrypted behind it.
uint32_t DecodeInputSize(uint32_t blockSize);

struct DecodeParams {
    uint32_t m_nBlockSize = 0;              // B: a multiple of 16
    const BlockCipher* m_pCipher = nullptr; // null: the stored bytes are plain
    const CancelFlag* m_pCancel = nullptr;
    // A builder that could not read its source to the end, or whose source
    // grew, closes the stream with what it read: the recorded size is the
    // one listed before, so a sound stream may decode to more or fewer bytes.
    // A reader takes what the stream holds (the hash, where there is one,
    // tells whether that is the file). Set, a stream must decode to exactly
    // the uncompressed size: the builder's verify pass, which knows what it
    // wrote.
    bool m_bExactSize = false;
};

struct DecodeEntryInfo {
    uint8_t m_nMethod = METHOD_STORED; // any other value than LZ4 or Deflate is stored
    uint64_t m_nUncompressedSize = 0;
    uint64_t m_nStoredSize = 0;
};

// Decodes one entry's stored bytes into the sink. Returns 0 when the stream
// ended properly (and, with m_bExactSize, produced exactly the uncompressed
// size), 1 otherwise (the reason in *error when given). A stored entry gives
// its stored bytes up to the uncompressed size. Nothing is written outside
// the buffers, whatever the stored bytes hold.
int DecodeEntry(const DecodeParams& params, const DecodeBuffers& buffers, const DecodeEntryInfo& entry,
                IStoredBytes& stored, IDecodeSink& sink, DecodeError* error = nullptr);

int DecodeLz4(const DecodeParams& params, const DecodeBuffers& buffers, const DecodeEntryInfo& entry,
              IStoredBytes& stored, IDecodeSink& sink, DecodeError* error = nullptr);
int DecodeDeflate(const DecodeParams& params, const DecodeBuffers& buffers, const DecodeEntryInfo& entry,
                  IStoredBytes& stored, IDecodeSink& sink, DecodeError* error = nullptr);
int DecodeStored(const DecodeParams& params, const DecodeBuffers& buffers, const DecodeEntryInfo& entry,
                 IStoredBytes& stored, IDecodeSink& sink, DecodeError* error = nullptr);

} // namespace zk
