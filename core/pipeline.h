#pragma once
// The data block pipeline: one source file in, one entry's stored bytes out
// (and back again for verify). Per piece of at most B bytes the encoders read
// the source, hash the piece, compress it, encrypt it when the archive has a
// password and append it to the data stream through WriteStream.
//
// LZ4 stream of an entry: records [i32 length][length bytes], one per source
// piece, each block compressed with the previous piece as dictionary, ended by
// a record of length 0 after the read that found the end of the file. With a
// password the records are encrypted as one continuous byte string: whole
// blocks are written as they fill, and only the last block carries pad bytes.
//
// Deflate stream of an entry: one zlib stream (window bits 15, memory level 8,
// default strategy): the zlib header, then every quarter of a piece as raw
// deflate with the last 32 KiB of the part before as dictionary, ended by a
// sync flush (the last part by the final block), then the Adler-32 of the
// whole entry. With a password the stream is encrypted as one continuous
// byte string like LZ4's, padded only at its end.
//
// Blocks are compressed on the encoders' threads when there are any, and
// written in order on the calling thread; the bytes are the same for any
// number of threads.

#include <cstdint>
#include <memory>
#include <string>

#include "core/block_decoder.h"
#include "core/block_encoders.h"
#include "core/volume_io.h"

namespace zk {

enum class CompressLevel : uint8_t {
    STANDARD = 0, // LZ4 fast streaming; Deflate at zlib's default level
    HIGH = 1,     // LZ4 HC streaming at level 8; Deflate at level 9
};

// SHA-256 (or any digest) of the source bytes as they are read. The build
// engine calls Begin before and End after the entry; the encoders call Update
// on every piece right after reading it.
class IFileHash {
public:
    virtual ~IFileHash() = default;
    virtual int Begin() = 0;                                      // 0 / 1
    virtual int Update(const uint8_t* bytes, uint32_t count) = 0; // 0 / 1
    virtual int End(uint8_t digest[32]) = 0;                      // 0 / 1; releases the hash either way
    // System text of the last failure.
    virtual std::u16string LastErrorText() const = 0;
};

// Told after every piece; the counters themselves live in the context.
class IPipelineProgress {
public:
    virtual ~IPipelineProgress() = default;
    virtual void OnRead(uint64_t readCounter) = 0;
    virtual void OnVerify(uint64_t verifyCounter) = 0;
};

// Reads one entry's source ahead of its encoder on another thread
// (core/read_ahead.h): the same pieces, in order, each checked against the
// expected size and hashed there.
class ISourceReadAhead {
public:
    virtual ~ISourceReadAhead() = default;
    virtual uint32_t BlockSize() const = 0;
    // Starts on an entry's source; hash (begun) may be null.
    virtual void Start(IByteFile* source, IFileHash* hash, uint64_t expectedSize,
                       const CancelFlag* cancel) = 0;
    // The next piece, valid until the one after it is taken: its byte
    // count, or -1 with the failure's text (empty after a cancel).
    virtual int64_t Next(const uint8_t** bytes, std::u16string* failure) = 0;
    // Stops work on the entry; source and hash are untouched afterwards.
    virtual void Finish() = 0;
};

// The buffers of one build, allocated once: the ring (2B) the encoders read
// pieces into and the verify pass decodes into, the compare buffer (B) and
// the staging buffer the verify pass reads stored bytes into, and the block
// encoders with their slots and threads.
class PipelineBuffers {
public:
    // Null when B is not a positive multiple of 16, too large for LZ4, or the
    // memory or a thread is not there. With encodeThreads 0 every block is
    // compressed on the calling thread.
    static std::unique_ptr<PipelineBuffers> Allocate(uint32_t blockSize, unsigned encodeThreads = 0);
    // Only what the verify pass uses (no encoders): for a verify pass on a
    // thread of its own.
    static std::unique_ptr<PipelineBuffers> AllocateForVerify(uint32_t blockSize);
    ~PipelineBuffers();

    uint32_t BlockSize() const { return m_nBlockSize; }
    uint8_t* Ring() { return m_pRing.get(); }
    uint8_t* Compare() { return m_pCompare.get(); }
    DecodeBuffers ForDecode();
    BlockEncoders& Encoders() { return *m_pEncoders; }

private:
    PipelineBuffers() = default;
    uint32_t m_nBlockSize = 0;
    uint32_t m_nStageSize = 0;
    std::unique_ptr<uint8_t[]> m_pRing;
    std::unique_ptr<uint8_t[]> m_pCompare;
    std::unique_ptr<uint8_t[]> m_pStage;
    std::unique_ptr<BlockEncoders> m_pEncoders;
};

// The part of an entry's record the pipeline reads and fills.
struct PipelineEntry {
    uint64_t m_nUncompressedSize = 0; // the size the source is expected to have
    uint64_t m_nStoredSize = 0;       // grows with every byte written to the stream
    uint64_t m_nDataOffset = 0;       // relative to the data stream's start
    uint32_t m_nStartVolume = 0;
};

// What the build engine hands the pipeline for one build.
struct PipelineContext {
    PipelineBuffers* m_pBuffers = nullptr;
    VolumeWriter* m_pWriter = nullptr;      // the data stream (also where verify reads back); started
                                            // with &m_failure so that volume failures land here too
    IByteFile* m_pSource = nullptr;         // the open source file of the current entry
    std::u16string m_strSourcePath;         // its path, for failures
    IFileHash* m_pHash = nullptr;           // null: no hashing
    const BlockCipher* m_pCipher = nullptr; // null: no password
    CompressLevel m_nLevel = CompressLevel::STANDARD;
    const CancelFlag* m_pCancel = nullptr;
    IPipelineProgress* m_pProgress = nullptr;
    // Null: the encoders and the verify pass read (and hash) on the calling
    // thread. Set: entries of more than one block are read there instead.
    ISourceReadAhead* m_pReadAhead = nullptr;
    // Set: the entry is one job, submitted to the encoders before its turn
    // from the very bytes the source holds, and the oldest in flight; the
    // jobs behind it are the next entries' and stay in flight. The encoder
    // then hashes and counts the job's input and leaves the source unread.
    bool m_bJobAhead = false;
    // Where the verify pass reads the stored bytes back; null: through the
    // writer's volume set. With m_pWritten set it reads only bytes the
    // writer has written through, waiting for the others (m_pCancel stops
    // the wait).
    const VolumeSet* m_pVerifySet = nullptr;
    const WrittenMark* m_pWritten = nullptr;
    uint64_t m_nReadCounter = 0;
    uint64_t m_nVerifyCounter = 0;
    FailureInfo m_failure;
};

// Failure texts that do not come from the system.
extern const char16_t* const TEXT_SOURCE_SIZE_CHANGED;
extern const char16_t* const TEXT_VERIFY_MISMATCH;
extern const char16_t* const TEXT_STORED_DATA_BROKEN;
// A fault of the program's own, not of the file or the system.
extern const char16_t* const TEXT_INTERNAL_FAILURE;

// Encode the open source into the data stream; entry.m_nStoredSize grows by the
// bytes written. A source that cannot be read to its end, or that yields more
// or fewer bytes than entry.m_nUncompressedSize, fails the entry (0 / 1).
int Lz4EncodeEntry(PipelineContext& ctx, PipelineEntry& entry);
int DeflateEncodeEntry(PipelineContext& ctx, PipelineEntry& entry);

// The largest source the encoder of this method compresses as a single job
// (the last one, without dictionary).
uint32_t LargestOneJobSource(uint8_t method, uint32_t blockSize);

// Fills a job of an entry's encoder with count bytes of its source (a block,
// or a part of one): compressed by method, at level 9 / LZ4 HC when high,
// with the end of the job before it as dictionary (none when previous is
// null), last when it ends the entry's stream, tagged for whoever takes it
// back. A whole small file compressed before its turn is filled here too, as
// the last job without dictionary, so that it gives the bytes its encoder
// would.
void FillEncodeJob(BlockJob& job, uint8_t method, bool high, const uint8_t* bytes, uint32_t count, bool last,
                   const BlockJob* previous = nullptr, uint64_t tag = 0);

// Rewind the source, read the entry's stored bytes back, decode them and
// compare them with the source (0 / 1).
int Lz4VerifyEntry(PipelineContext& ctx, const PipelineEntry& entry);
int DeflateVerifyEntry(PipelineContext& ctx, const PipelineEntry& entry);

// Reads up to count bytes of the source; fewer only at its end. -1 when a read
// fails: a file that cannot be read to its end must not pass for a shorter one.
// A read that stops short exactly at expectedEnd bytes, where the source's
// listing says the file ends, is taken as its end: asking again would only
// read nothing, once per small file. A file that grew fills the bytes asked
// for beyond it instead.
int64_t ReadSourcePiece(IByteFile& file, uint8_t* dst, uint32_t count, uint32_t expectedEnd = UINT32_MAX);

// The context's hash, when one is set (0 / 1; without a hash they succeed).
int HashBegin(PipelineContext& ctx);
int HashUpdate(PipelineContext& ctx, const uint8_t* bytes, uint32_t count);
int HashEnd(PipelineContext& ctx, uint8_t digest[32]);

} // namespace zk
