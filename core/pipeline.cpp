#include "core/pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <zlib.h>

#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/byte_io.h"

namespace zk {

const char16_t* const TEXT_SOURCE_SIZE_CHANGED = u"読み込み中にファイルサイズが変化しました";
const char16_t* const TEXT_VERIFY_MISMATCH = u"ベリファイでデータの不一致が見つかりました";
const char16_t* const TEXT_STORED_DATA_BROKEN = u"書庫に書き込んだデータが壊れています";
const char16_t* const TEXT_INTERNAL_FAILURE = u"内部エラーが発生しました";

// ---------------------------------------------------------------------------
// Buffers

std::unique_ptr<PipelineBuffers> PipelineBuffers::AllocateForVerify(uint32_t blockSize)
{
    if (blockSize < 16 || blockSize % 16 != 0 || blockSize > 0x3F000000u) return nullptr;
    const uint32_t stageSize = DecodeInputSize(blockSize);
    if (Lz4OutputBound(blockSize) == 0 || stageSize == 0) return nullptr;

    std::unique_ptr<PipelineBuffers> b(new (std::nothrow) PipelineBuffers);
    if (!b) return nullptr;
    b->m_nBlockSize = blockSize;
    b->m_nStageSize = stageSize;
    b->m_pRing.reset(new (std::nothrow) uint8_t[2ull * blockSize]);
    b->m_pCompare.reset(new (std::nothrow) uint8_t[blockSize]);
    b->m_pStage.reset(new (std::nothrow) uint8_t[stageSize]);
    if (!b->m_pRing || !b->m_pCompare || !b->m_pStage) return nullptr;
    return b;
}

std::unique_ptr<PipelineBuffers> PipelineBuffers::Allocate(uint32_t blockSize, unsigned encodeThreads)
{
    std::unique_ptr<PipelineBuffers> b = AllocateForVerify(blockSize);
    if (!b) return nullptr;
    b->m_pEncoders = BlockEncoders::Create(blockSize, encodeThreads);
    if (!b->m_pEncoders) return nullptr;
    return b;
}

PipelineBuffers::~PipelineBuffers() = default;

DecodeBuffers PipelineBuffers::ForDecode()
{
    DecodeBuffers d;
    d.m_pOut = m_pRing.get();
    d.m_pIn = m_pStage.get();
    d.m_nInSize = m_nStageSize;
    return d;
}

// ---------------------------------------------------------------------------
// Hash

int HashBegin(PipelineContext& ctx)
{
    return ctx.m_pHash ? ctx.m_pHash->Begin() : 0;
}

int HashUpdate(PipelineContext& ctx, const uint8_t* bytes, uint32_t count)
{
    return ctx.m_pHash ? ctx.m_pHash->Update(bytes, count) : 0;
}

int HashEnd(PipelineContext& ctx, uint8_t digest[32])
{
    return ctx.m_pHash ? ctx.m_pHash->End(digest) : 0;
}

int64_t ReadSourcePiece(IByteFile& file, uint8_t* dst, uint32_t count, uint32_t expectedEnd)
{
    uint32_t done = 0;
    while (done < count) {
        const int64_t n = file.Read(dst + done, count - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
        if (done == expectedEnd) break;
    }
    return done;
}

namespace {

// ---------------------------------------------------------------------------
// Shared steps

bool ContextUsable(const PipelineContext& ctx)
{
    return ctx.m_pBuffers != nullptr && ctx.m_pWriter != nullptr && ctx.m_pSource != nullptr;
}

int Fail(PipelineContext& ctx, const std::u16string& message)
{
    ctx.m_failure.Set(ctx.m_strSourcePath, message);
    return 1;
}

// The read-ahead serving the current entry, when there is one: only an entry
// of more than one block has pieces to read ahead. Finished on every way out
// of the encoder, before the source is closed.
class ReadAheadScope {
public:
    // The verify pass reads the source again without hashing it.
    ReadAheadScope(PipelineContext& ctx, const PipelineEntry& entry, bool hash = true)
    {
        ISourceReadAhead* ahead = ctx.m_pReadAhead;
        if (!ahead || ahead->BlockSize() != ctx.m_pBuffers->BlockSize() ||
            entry.m_nUncompressedSize <= ahead->BlockSize())
            return;
        m_pAhead = ahead;
        m_pAhead->Start(ctx.m_pSource, hash ? ctx.m_pHash : nullptr, entry.m_nUncompressedSize,
                        ctx.m_pCancel);
    }
    ~ReadAheadScope()
    {
        if (m_pAhead) m_pAhead->Finish();
    }
    ReadAheadScope(const ReadAheadScope&) = delete;
    ReadAheadScope& operator=(const ReadAheadScope&) = delete;
    ISourceReadAhead* Get() const { return m_pAhead; }

private:
    ISourceReadAhead* m_pAhead = nullptr;
};

// One piece of the source: read into dst, checked against the expected
// size, hashed, counted; or the read-ahead's next piece, which was all that
// already. *bytes points at the piece, valid until the next one is taken.
// Returns the bytes read, or -1 after recording the failure.
int64_t TakePiece(PipelineContext& ctx, const PipelineEntry& entry, uint64_t& total, uint8_t* dst,
                  const ReadAheadScope& ahead, const uint8_t** bytes)
{
    *bytes = dst;
    const uint32_t bsize = ctx.m_pBuffers->BlockSize();
    int64_t n = 0;
    if (ahead.Get()) {
        std::u16string failure;
        n = ahead.Get()->Next(bytes, &failure);
        if (n < 0) {
            if (!Cancelled(ctx.m_pCancel)) Fail(ctx, failure);
            return -1;
        }
        total += static_cast<uint64_t>(n);
    } else {
        const uint64_t left = entry.m_nUncompressedSize - total; // total never passes the size
        n = ReadSourcePiece(*ctx.m_pSource, dst, bsize, left < bsize ? static_cast<uint32_t>(left) : bsize);
        if (n < 0) {
            Fail(ctx, ctx.m_pSource->LastErrorText());
            return -1;
        }
        total += static_cast<uint64_t>(n);
        if (total > entry.m_nUncompressedSize || (n < bsize && total != entry.m_nUncompressedSize)) {
            Fail(ctx, TEXT_SOURCE_SIZE_CHANGED);
            return -1;
        }
        if (n > 0 && HashUpdate(ctx, dst, static_cast<uint32_t>(n)) != 0) {
            Fail(ctx, ctx.m_pHash->LastErrorText());
            return -1;
        }
    }
    ctx.m_nReadCounter += static_cast<uint64_t>(n);
    if (ctx.m_pProgress) ctx.m_pProgress->OnRead(ctx.m_nReadCounter);
    return n;
}

// The whole source of an entry whose one job went ahead, as TakePiece would
// have read it: hashed and counted.
int TakeJobAhead(PipelineContext& ctx, const BlockJob& job)
{
    const uint32_t n = job.m_nInputSize;
    if (HashUpdate(ctx, job.Input(), n) != 0) return Fail(ctx, ctx.m_pHash->LastErrorText());
    ctx.m_nReadCounter += n;
    if (ctx.m_pProgress) ctx.m_pProgress->OnRead(ctx.m_nReadCounter);
    return 0;
}

int Emit(PipelineContext& ctx, PipelineEntry& entry, const uint8_t* bytes, uint32_t count)
{
    if (count == 0) return 0;
    if (WriteStream(*ctx.m_pWriter, bytes, count) != 0) return 1; // the writer recorded the volume
    entry.m_nStoredSize += count;
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Encoding

namespace {

// An entry's stored bytes on their way to the stream. With a password they
// are encrypted as one byte string from the entry's start, 16 bytes at a
// time: whole cipher blocks go out as they fill, the rest waits for the next
// bytes, and only the end is padded.
class StoredStream {
public:
    StoredStream(PipelineContext& ctx, PipelineEntry& entry) : m_ctx(ctx), m_entry(entry) {}

    // bytes must have BlockJob::OUTPUT_HEAD writable bytes before them: the
    // carried-over bytes are joined there, and the bytes are encrypted in place.
    int Put(uint8_t* bytes, uint32_t count)
    {
        if (!m_ctx.m_pCipher) return Emit(m_ctx, m_entry, bytes, count);
        uint8_t* start = bytes - m_nCarry;
        std::memcpy(start, m_carry, m_nCarry);
        const uint32_t total = m_nCarry + count;
        const uint32_t whole = total & ~15u;
        if (whole > 0) {
            m_ctx.m_pCipher->m_pEncrypt(start, static_cast<int32_t>(whole));
            if (Emit(m_ctx, m_entry, start, whole) != 0) return 1;
        }
        m_nCarry = total - whole;
        std::memcpy(m_carry, start + whole, m_nCarry);
        return 0;
    }

    // A few bytes of the stream's own (header, trailer, end record).
    int PutSmall(const uint8_t* bytes, uint32_t count)
    {
        uint8_t room[BlockJob::OUTPUT_HEAD + 16];
        std::memcpy(room + BlockJob::OUTPUT_HEAD, bytes, count);
        return Put(room + BlockJob::OUTPUT_HEAD, count);
    }

    int End()
    {
        if (m_nCarry == 0) return 0;
        uint8_t last[16] = {};
        std::memcpy(last, m_carry, m_nCarry);
        m_ctx.m_pCipher->m_pEncrypt(last, 16);
        return Emit(m_ctx, m_entry, last, 16);
    }

private:
    PipelineContext& m_ctx;
    PipelineEntry& m_entry;
    uint8_t m_carry[16] = {};
    uint32_t m_nCarry = 0;
};

// The parts a Deflate piece is compressed in.
constexpr uint32_t DEFLATE_PARTS = 4;

// The four bytes that end an entry's stream: LZ4's empty record, or the
// Adler-32 of Deflate's data, most significant byte first.
void StreamTail(bool lz4, uint32_t adler, uint8_t* tail)
{
    if (lz4) {
        StoreU32(tail, 0);
        return;
    }
    tail[0] = static_cast<uint8_t>(adler >> 24);
    tail[1] = static_cast<uint8_t>(adler >> 16);
    tail[2] = static_cast<uint8_t>(adler >> 8);
    tail[3] = static_cast<uint8_t>(adler);
}

// Jobs still in flight when the encoder leaves early are waited for and
// dropped, the next entries' submitted ahead with them: nothing after a
// failure or a cancel reaches the stream, and the slots are free.
struct AbandonScope {
    BlockEncoders& encoders;
    bool bDone = false;
    ~AbandonScope()
    {
        if (!bDone) encoders.Abandon();
    }
};

// Reads the source block by block, hands every block to the encoders with
// the end of the block before it as dictionary, and writes their results in
// order. Both end at a short block, whose read met the file's end; a file of
// whole blocks ends at the empty read after them, where LZ4 writes nothing
// and Deflate finishes its stream. Deflate's header and the stream's tail go
// out in one write with the first and the last block's output (when the job
// has room for the tail): a small file then costs one write.
int EncodeBlocks(PipelineContext& ctx, PipelineEntry& entry, uint8_t method)
{
    if (!ContextUsable(ctx)) return 1;
    BlockEncoders& encoders = ctx.m_pBuffers->Encoders();
    const uint32_t bsize = ctx.m_pBuffers->BlockSize();
    const bool lz4 = method == METHOD_LZ4;
    const bool high = ctx.m_nLevel == CompressLevel::HIGH;
    StoredStream out(ctx, entry);
    uint32_t adler = 1;
    // Deflate's zlib header goes out with the first block: an entry that
    // stops before it has written nothing.
    bool headerDue = !lz4;
    uint8_t tail[4];
    bool tailDue = true;
    // This entry's jobs in flight, the oldest ones.
    uint32_t own = 0;

    const auto writeOldest = [&]() -> int {
        BlockJob* job = encoders.WaitOldest(ctx.m_pCancel);
        if (!job) return 1; // cancelled
        if (job->m_nResult != 0) return Fail(ctx, TEXT_INTERNAL_FAILURE); // the codec refused the block
        uint8_t* bytes = job->Output();
        uint32_t count = job->m_nOutputSize;
        if (headerDue) {
            // The entry's first bytes: nothing is carried over yet, so the
            // header may take two of the bytes kept for that in front.
            bytes -= 2;
            count += 2;
            ZlibHeader(high, bytes);
            headerDue = false;
        }
        adler = static_cast<uint32_t>(adler32_combine(adler, job->m_nAdler, job->m_nInputSize));
        if (job->m_bLast && job->m_nOutputSize + sizeof tail <= job->OutputCapacity()) {
            StreamTail(lz4, adler, job->Output() + job->m_nOutputSize);
            count += sizeof tail;
            tailDue = false;
        }
        if (out.Put(bytes, count) != 0) return 1;
        encoders.Release();
        --own;
        return Cancelled(ctx.m_pCancel) ? 1 : 0;
    };

    // Jobs in flight that are not this entry's would be taken for its own.
    if (!ctx.m_bJobAhead && encoders.InFlight() > 0) encoders.Abandon();
    AbandonScope abandon{encoders};
    const ReadAheadScope ahead(ctx, entry);
    // Deflate compresses every piece in parts, so that a file of a single
    // block still keeps several threads busy. The parts depend on the block
    // size alone, never on the thread count.
    const uint32_t part = lz4 ? bsize : bsize / DEFLATE_PARTS;
    BlockJob* previous = nullptr;
    uint64_t total = 0;
    if (ctx.m_bJobAhead) {
        // Its one job holds the source's bytes already: the hash and the
        // counters take them from there (the encoders only read a job's
        // input), and the size check is the job's size. The caller
        // submitted that job from the very bytes it hands over as the
        // source, so one of another size, or none, does not happen; should
        // it, the entry fails with a text that says so, not with whatever
        // the system said last.
        const BlockJob* job = encoders.Oldest();
        if (!job || job->m_nInputSize != entry.m_nUncompressedSize || job->m_nInputSize >= bsize)
            return Fail(ctx, TEXT_INTERNAL_FAILURE);
        if (TakeJobAhead(ctx, *job) != 0 || Cancelled(ctx.m_pCancel)) return 1;
        own = 1;
    }
    // Any other entry is read here block by block, every block submitted.
    while (!ctx.m_bJobAhead) {
        if (Cancelled(ctx.m_pCancel)) return 1;
        const uint8_t* piece = nullptr;
        const int64_t n = TakePiece(ctx, entry, total, ctx.m_pBuffers->Ring(), ahead, &piece);
        if (n < 0) return 1;
        if (Cancelled(ctx.m_pCancel)) return 1;
        if (lz4 && n == 0) break;

        const uint32_t size = static_cast<uint32_t>(n);
        uint32_t at = 0;
        do {
            BlockJob* job = encoders.NextFree();
            while (!job) {
                if (writeOldest() != 0) return 1;
                job = encoders.NextFree();
            }
            const uint32_t count = size - at < part ? size - at : part;
            FillEncodeJob(*job, method, high, piece + at, count, size < bsize && at + count == size,
                          previous);
            at += count;
            // A job that is both the last and the only one in flight has
            // nothing to overlap with.
            encoders.Submit(job, job->m_bLast && encoders.InFlight() == 0);
            ++own;
            previous = job;
        } while (at < size);
        if (size < bsize) break;
    }
    while (own > 0)
        if (writeOldest() != 0) return 1;

    if (tailDue) {
        StreamTail(lz4, adler, tail);
        if (out.PutSmall(tail, sizeof tail) != 0) return 1;
    }
    if (out.End() != 0) return 1;
    if (Cancelled(ctx.m_pCancel)) return 1;
    abandon.bDone = true;
    return 0;
}

} // namespace

uint32_t LargestOneJobSource(uint8_t method, uint32_t blockSize)
{
    // A whole block is followed by the read that finds the end.
    return method == METHOD_LZ4 ? blockSize - 1 : std::min(blockSize - 1, blockSize / DEFLATE_PARTS);
}

void FillEncodeJob(BlockJob& job, uint8_t method, bool high, const uint8_t* bytes, uint32_t count, bool last,
                   const BlockJob* previous, uint64_t tag)
{
    if (count > 0) std::memcpy(job.Input(), bytes, count);
    job.m_nMethod = method;
    job.m_bHigh = high;
    job.m_bLast = last;
    job.m_nInputSize = count;
    job.m_nDictSize = 0;
    job.m_nTag = tag;
    if (previous) {
        const uint32_t d =
            previous->m_nInputSize < BlockJob::DICT_ROOM ? previous->m_nInputSize : BlockJob::DICT_ROOM;
        std::memcpy(job.Input() - d, previous->Input() + previous->m_nInputSize - d, d);
        job.m_nDictSize = d;
    }
}

int Lz4EncodeEntry(PipelineContext& ctx, PipelineEntry& entry)
{
    return EncodeBlocks(ctx, entry, METHOD_LZ4);
}

int DeflateEncodeEntry(PipelineContext& ctx, PipelineEntry& entry)
{
    return EncodeBlocks(ctx, entry, METHOD_DEFLATE);
}

// ---------------------------------------------------------------------------
// Verify

namespace {

// Compares every decoded run with the bytes read next from the source: read
// here, or taken from the read-ahead's pieces, which need not line up with
// the decoded runs.
class CompareSink : public IDecodeSink {
public:
    CompareSink(PipelineContext& ctx, const ReadAheadScope& ahead) : m_ctx(ctx), m_ahead(ahead) {}

    int Put(const uint8_t* bytes, uint32_t count) override
    {
        if (count > m_ctx.m_pBuffers->BlockSize()) return Fail(m_ctx, TEXT_VERIFY_MISMATCH);
        if (Cancelled(m_ctx.m_pCancel)) return 1;
        if (m_ahead.Get()) {
            if (CompareAhead(bytes, count) != 0) return 1;
        } else {
            uint8_t* cmp = m_ctx.m_pBuffers->Compare();
            const int64_t n = ReadSourcePiece(*m_ctx.m_pSource, cmp, count);
            if (n < 0) return Fail(m_ctx, m_ctx.m_pSource->LastErrorText());
            if (Cancelled(m_ctx.m_pCancel)) return 1;
            if (n != count || std::memcmp(cmp, bytes, count) != 0) return Fail(m_ctx, TEXT_VERIFY_MISMATCH);
        }
        m_ctx.m_nVerifyCounter += count;
        if (m_ctx.m_pProgress) m_ctx.m_pProgress->OnVerify(m_ctx.m_nVerifyCounter);
        return 0;
    }

    // After the last run: the source must end where the entry does.
    int CheckSourceEnd()
    {
        if (!m_ahead.Get()) {
            uint8_t extra = 0;
            const int64_t n = ReadSourcePiece(*m_ctx.m_pSource, &extra, 1);
            if (n < 0) return Fail(m_ctx, m_ctx.m_pSource->LastErrorText());
            return n != 0 ? Fail(m_ctx, TEXT_VERIFY_MISMATCH) : 0;
        }
        if (m_nLeft != 0) return Fail(m_ctx, TEXT_VERIFY_MISMATCH);
        const int64_t n = NextPiece();
        if (n < 0) return 1;
        return n != 0 ? Fail(m_ctx, TEXT_VERIFY_MISMATCH) : 0;
    }

private:
    // The read-ahead's next piece; -1 after recording why there is none. A
    // source of another size is a difference here, not a change seen while
    // reading.
    int64_t NextPiece()
    {
        std::u16string failure;
        const int64_t n = m_ahead.Get()->Next(&m_pPiece, &failure);
        if (n >= 0) return n;
        if (!Cancelled(m_ctx.m_pCancel))
            Fail(m_ctx, failure == TEXT_SOURCE_SIZE_CHANGED ? std::u16string(TEXT_VERIFY_MISMATCH) : failure);
        return -1;
    }

    int CompareAhead(const uint8_t* bytes, uint32_t count)
    {
        while (count > 0) {
            if (m_nLeft == 0) {
                const int64_t n = NextPiece();
                if (n < 0) return 1;
                if (n == 0) return Fail(m_ctx, TEXT_VERIFY_MISMATCH);
                m_nLeft = static_cast<uint32_t>(n);
            }
            const uint32_t take = count < m_nLeft ? count : m_nLeft;
            if (std::memcmp(m_pPiece, bytes, take) != 0) return Fail(m_ctx, TEXT_VERIFY_MISMATCH);
            m_pPiece += take;
            m_nLeft -= take;
            bytes += take;
            count -= take;
        }
        return 0;
    }

    PipelineContext& m_ctx;
    const ReadAheadScope& m_ahead;
    const uint8_t* m_pPiece = nullptr;
    uint32_t m_nLeft = 0; // bytes of the current piece not compared yet
};

int VerifyEntry(PipelineContext& ctx, const PipelineEntry& entry, uint8_t method)
{
    if (!ctx.m_pBuffers || !ctx.m_pSource || (!ctx.m_pWriter && !ctx.m_pVerifySet)) return 1;
    if (!ctx.m_pSource->SeekTo(0)) return Fail(ctx, ctx.m_pSource->LastErrorText());
    // Read back on the writer's own thread: its buffer goes to the file first.
    if (!ctx.m_pVerifySet && FlushStream(*ctx.m_pWriter) != 0) return 1;

    DecodeParams params;
    params.m_nBlockSize = ctx.m_pBuffers->BlockSize();
    params.m_pCipher = ctx.m_pCipher;
    params.m_pCancel = ctx.m_pCancel;
    // The encoder failed the entry unless it read exactly this many bytes.
    params.m_bExactSize = true;
    DecodeEntryInfo info;
    info.m_nMethod = method;
    info.m_nUncompressedSize = entry.m_nUncompressedSize;
    info.m_nStoredSize = entry.m_nStoredSize;

    const VolumeSet& set = ctx.m_pVerifySet ? *ctx.m_pVerifySet : ctx.m_pWriter->m_set;
    SpannedReader reader(set, entry.m_nStartVolume, entry.m_nDataOffset, entry.m_nStoredSize, &ctx.m_failure);
    if (ctx.m_pWritten) reader.FollowWriter(ctx.m_pWritten, ctx.m_pCancel);
    const ReadAheadScope ahead(ctx, entry, false);
    CompareSink sink(ctx, ahead);
    DecodeError error = DecodeError::NONE;
    if (DecodeEntry(params, ctx.m_pBuffers->ForDecode(), info, reader, sink, &error) != 0) {
        // Read failures were recorded with the volume's name, sink failures
        // with the source's; a cancel records nothing.
        if (error == DecodeError::CORRUPT || error == DecodeError::BUFFERS)
            Fail(ctx, TEXT_STORED_DATA_BROKEN);
        return 1;
    }

    return sink.CheckSourceEnd();
}

} // namespace

int Lz4VerifyEntry(PipelineContext& ctx, const PipelineEntry& entry)
{
    return VerifyEntry(ctx, entry, METHOD_LZ4);
}

int DeflateVerifyEntry(PipelineContext& ctx, const PipelineEntry& entry)
{
    return VerifyEntry(ctx, entry, METHOD_DEFLATE);
}

} // namespace zk
