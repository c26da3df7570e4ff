#include "core/pipeline.h"

#include <cstring>
#include <new>

#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/byte_io.h"

namespace zk {

const char16_t* const TEXT_SOURCE_SIZE_CHANGED = u"読み込み中にファイルサイズが変化しました";
const char16_t* const TEXT_VERIFY_MISMATCH = u"ベリファイでデータの不一致が見つかりました";
const char16_t* const TEXT_STORED_DATA_BROKEN = u"書庫に書き込んだデータが壊れています";

// ---------------------------------------------------------------------------
// Buffers

std::unique_ptr<PipelineBuffers> PipelineBuffers::Allocate(uint32_t blockSize)
{
    if (blockSize < 16 || blockSize % 16 != 0 || blockSize > 0x3F000000u) return nullptr;
    const uint32_t outputSize = Lz4OutputBound(blockSize);
    const uint32_t stageSize = DecodeInputSize(blockSize);
    if (outputSize == 0 || stageSize == 0) return nullptr;

    std::unique_ptr<PipelineBuffers> b(new (std::nothrow) PipelineBuffers);
    if (!b) return nullptr;
    b->m_nBlockSize = blockSize;
    b->m_nOutputSize = outputSize;
    b->m_nStageSize = stageSize;
    b->m_pRing.reset(new (std::nothrow) uint8_t[2ull * blockSize]);
    b->m_pOutput.reset(new (std::nothrow) uint8_t[outputSize]);
    b->m_pCompare.reset(new (std::nothrow) uint8_t[blockSize]);
    b->m_pStage.reset(new (std::nothrow) uint8_t[stageSize]);
    b->m_pLz4Write.reset(new (std::nothrow) uint8_t[16 + 4 + static_cast<size_t>(outputSize) + 16]);
    LZ4_stream_t* lz4 = new (std::nothrow) LZ4_stream_t;
    LZ4_streamHC_t* hc = new (std::nothrow) LZ4_streamHC_t;
    b->m_pLz4State = lz4 ? LZ4_initStream(lz4, sizeof(*lz4)) : nullptr;
    b->m_pLz4HcState = hc ? LZ4_initStreamHC(hc, sizeof(*hc)) : nullptr;
    if (!b->m_pLz4State) delete lz4;
    if (!b->m_pLz4HcState) delete hc;
    if (!b->m_pRing || !b->m_pOutput || !b->m_pCompare || !b->m_pStage || !b->m_pLz4Write || !b->m_pLz4State ||
        !b->m_pLz4HcState)
        return nullptr;
    return b;
}

PipelineBuffers::~PipelineBuffers()
{
    delete static_cast<LZ4_stream_t*>(m_pLz4State);
    delete static_cast<LZ4_streamHC_t*>(m_pLz4HcState);
    if (auto* zs = static_cast<z_stream*>(m_pDeflate)) {
        deflateEnd(zs);
        delete zs;
    }
}

void* PipelineBuffers::DeflateStream(int level)
{
    auto* zs = static_cast<z_stream*>(m_pDeflate);
    if (zs && m_nDeflateLevel == level) return deflateReset(zs) == Z_OK ? zs : nullptr;
    if (zs) {
        deflateEnd(zs);
    } else {
        zs = new (std::nothrow) z_stream;
        if (!zs) return nullptr;
        m_pDeflate = zs;
    }
    std::memset(zs, 0, sizeof(*zs));
    m_nDeflateLevel = level;
    if (deflateInit2(zs, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK) return zs;
    delete zs;
    m_pDeflate = nullptr;
    return nullptr;
}

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

int64_t ReadSourcePiece(IByteFile& file, uint8_t* dst, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        const int64_t n = file.Read(dst + done, count - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

namespace {

// How far back an LZ4 match can reach.
constexpr uint32_t LZ4_WINDOW = 65536;

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

// One piece of the source into dst: read, checked against the expected size,
// hashed, counted. A piece of the read-ahead is copied to where the encoder
// would have read it itself: LZ4's history depends on where its input lies,
// and the stored bytes must not depend on the thread count. Returns the bytes
// read, or -1 after recording the failure.
int64_t TakePiece(PipelineContext& ctx, const PipelineEntry& entry, uint64_t& total, uint8_t* dst,
                  const ReadAheadScope& ahead)
{
    const uint32_t bsize = ctx.m_pBuffers->BlockSize();
    int64_t n = 0;
    if (ahead.Get()) {
        std::u16string failure;
        const uint8_t* piece = nullptr;
        n = ahead.Get()->Next(&piece, &failure);
        if (n < 0) {
            if (!Cancelled(ctx.m_pCancel)) Fail(ctx, failure);
            return -1;
        }
        if (n > 0) std::memcpy(dst, piece, static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
    } else {
        n = ReadSourcePiece(*ctx.m_pSource, dst, bsize);
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

int Emit(PipelineContext& ctx, PipelineEntry& entry, const uint8_t* bytes, uint32_t count)
{
    if (count == 0) return 0;
    if (WriteStream(*ctx.m_pWriter, bytes, count) != 0) return 1; // the writer recorded the volume
    entry.m_nStoredSize += count;
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// LZ4

int Lz4EncodeEntry(PipelineContext& ctx, PipelineEntry& entry)
{
    if (!ContextUsable(ctx)) return 1;
    PipelineBuffers& buf = *ctx.m_pBuffers;
    const uint32_t bsize = buf.BlockSize();
    const uint32_t bound = buf.OutputSize();
    const bool high = ctx.m_nLevel == CompressLevel::HIGH;

    // The write buffer holds the encrypted stream's carried-over bytes (fewer
    // than 16) followed by the next record, which is compressed straight into
    // place; room for 16 pad bytes after the terminating record.
    uint8_t* const write = buf.Lz4Write();

    LZ4_stream_t* fast = static_cast<LZ4_stream_t*>(buf.Lz4State());
    LZ4_streamHC_t* hc = static_cast<LZ4_streamHC_t*>(buf.Lz4HcState());
    if (high)
        LZ4_resetStreamHC_fast(hc, LZ4_HIGH_LEVEL);
    else
        LZ4_resetStream_fast(fast);

    // The decoder holds only the previous block as dictionary. LZ4's stream
    // keeps whatever still lies in the ring, up to its 64 KiB window: with
    // smaller blocks a short last block could refer into the block before
    // the previous one, so there the history is cut to the previous block.
    const bool cutHistory = bsize < LZ4_WINDOW;
    const char* previous = nullptr;
    int previousSize = 0;

    const ReadAheadScope ahead(ctx, entry);
    uint32_t pending = 0;
    uint32_t half = 0;
    uint64_t total = 0;
    for (;;) {
        if (Cancelled(ctx.m_pCancel)) return 1;
        uint8_t* piece = buf.Ring() + static_cast<size_t>(half) * bsize;
        const char* src = reinterpret_cast<const char*>(piece);
        const int64_t n = TakePiece(ctx, entry, total, piece, ahead);
        if (n < 0) return 1;
        if (Cancelled(ctx.m_pCancel)) return 1;

        uint8_t* record = write + pending;
        int c = 0;
        if (n > 0) {
            if (cutHistory && previous) {
                if (high)
                    LZ4_loadDictHC(hc, previous, previousSize);
                else
                    LZ4_loadDict(fast, previous, previousSize);
            }
            char* dst = reinterpret_cast<char*>(record + 4);
            c = high ? LZ4_compress_HC_continue(hc, src, dst, static_cast<int>(n), static_cast<int>(bound))
                     : LZ4_compress_fast_continue(fast, src, dst, static_cast<int>(n),
                                                  static_cast<int>(bound), 1);
            if (c <= 0) return Fail(ctx, u"");
            if (Cancelled(ctx.m_pCancel)) return 1;
            previous = src;
            previousSize = static_cast<int>(n);
        }
        StoreU32(record, static_cast<uint32_t>(c));

        const uint32_t length = pending + 4 + static_cast<uint32_t>(c);
        uint32_t out = length;
        if (ctx.m_pCipher) {
            if (n > 0) {
                out = length & ~15u;
            } else {
                out = RoundUp16(length);
                std::memset(write + length, 0, out - length);
            }
            if (out > 0) ctx.m_pCipher->m_pEncrypt(write, static_cast<int32_t>(out));
        }
        if (Emit(ctx, entry, write, out) != 0) return 1;
        if (Cancelled(ctx.m_pCancel)) return 1;
        pending = length > out ? length - out : 0;
        if (pending > 0) std::memmove(write, write + out, pending);

        half ^= 1;
        if (n == 0) return 0;
    }
}

// ---------------------------------------------------------------------------
// Deflate

int DeflateEncodeEntry(PipelineContext& ctx, PipelineEntry& entry)
{
    if (!ContextUsable(ctx)) return 1;
    PipelineBuffers& buf = *ctx.m_pBuffers;
    const uint32_t bsize = buf.BlockSize();
    const int level = ctx.m_nLevel == CompressLevel::HIGH ? 9 : Z_DEFAULT_COMPRESSION;

    z_stream* const stream = static_cast<z_stream*>(buf.DeflateStream(level));
    if (!stream) return Fail(ctx, u"");
    z_stream& zs = *stream;
    // A reset keeps the buffer pointers: an entry that failed half-way must
    // not hand its unread input to this one.
    zs.next_in = nullptr;
    zs.avail_in = 0;

    uint8_t* out = buf.Output();
    zs.next_out = out;
    zs.avail_out = bsize;
    const ReadAheadScope ahead(ctx, entry);
    int flush = Z_NO_FLUSH;
    uint64_t total = 0;
    for (;;) {
        if (zs.avail_in == 0 && flush != Z_FINISH) {
            if (Cancelled(ctx.m_pCancel)) return 1;
            const int64_t n = TakePiece(ctx, entry, total, buf.Ring(), ahead);
            if (n < 0) return 1;
            if (Cancelled(ctx.m_pCancel)) return 1;
            if (n < bsize) flush = Z_FINISH;
            zs.next_in = buf.Ring();
            zs.avail_in = static_cast<uInt>(n);
        }

        const int r = deflate(&zs, flush);
        if (r != Z_OK && r != Z_STREAM_END) return Fail(ctx, u"");
        if (Cancelled(ctx.m_pCancel)) return 1;
        if (zs.avail_out != 0 && r != Z_STREAM_END) continue;

        // Only the chunk that ends the stream can be shorter than B, so only
        // it can need pad bytes. The output buffer has room beyond B for them.
        const uint32_t chunk = bsize - zs.avail_out;
        uint32_t stored = chunk;
        if (ctx.m_pCipher && chunk > 0) {
            stored = RoundUp16(chunk);
            std::memset(out + chunk, 0, stored - chunk);
            ctx.m_pCipher->m_pEncrypt(out, static_cast<int32_t>(stored));
        }
        if (Emit(ctx, entry, out, stored) != 0) return 1;
        if (Cancelled(ctx.m_pCancel)) return 1;
        zs.next_out = out;
        zs.avail_out = bsize;
        if (r == Z_STREAM_END) return 0;
    }
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
    if (!ContextUsable(ctx)) return 1;
    if (!ctx.m_pSource->SeekTo(0)) return Fail(ctx, ctx.m_pSource->LastErrorText());

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

    SpannedReader reader(ctx.m_pWriter->m_set, entry.m_nStartVolume, entry.m_nDataOffset, entry.m_nStoredSize,
                         &ctx.m_failure);
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
