#include "core/block_decoder.h"

#include <cstring>

#include <lz4.h>
#include <zlib.h>

#include "core/adler32.h"
#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/byte_io.h"

namespace zk {

uint32_t DecodeInputSize(uint32_t blockSize)
{
    const uint32_t bound = Lz4OutputBound(blockSize);
    if (bound == 0) return 0;
    return 4 + bound + blockSize + 16;
}

namespace {

void SetError(DecodeError* out, DecodeError e)
{
    if (out) *out = e;
}

bool ParamsUsable(const DecodeParams& p, const DecodeBuffers& b)
{
    const uint32_t need = DecodeInputSize(p.m_nBlockSize);
    return p.m_nBlockSize >= 16 && p.m_nBlockSize % 16 == 0 && need != 0 && b.m_pOut != nullptr &&
           b.m_pIn != nullptr && b.m_nInSize >= need;
}

// A queue over the stored bytes of an LZ4 entry. Plain streams are read
// exactly as far as a record needs, unless all the entry has left fits behind
// what is held: then that is read at once (a small file's records and their
// end in one read, not one per record); encrypted streams are read in chunks
// of up to B bytes (whole blocks) and decrypted behind what is left of the
// last one.
class StoredQueue {
public:
    StoredQueue(const DecodeParams& p, const DecodeBuffers& b, IStoredBytes& stored, uint64_t storedSize)
        : m_p(p), m_buf(b.m_pIn), m_cap(b.m_nInSize & ~15u), m_stored(stored), m_remaining(storedSize)
    {
    }

    // Pointer to the next n bytes, or null when the stream cannot give them.
    const uint8_t* Need(uint32_t n, DecodeError* error)
    {
        if (m_tail - m_head >= n) return m_buf + m_head;
        if (n > m_cap) {
            SetError(error, DecodeError::CORRUPT);
            return nullptr;
        }
        // Encrypted chunks need whole blocks of room behind the leftover, so
        // the leftover always moves to the front before a read.
        if (m_head + n > m_cap || (m_p.m_pCipher && m_head != 0)) {
            std::memmove(m_buf, m_buf + m_head, m_tail - m_head);
            m_tail -= m_head;
            m_head = 0;
        }
        while (m_tail - m_head < n) {
            const uint32_t missing = n - (m_tail - m_head);
            if (m_remaining < missing) { // the record runs past the entry's stored bytes
                SetError(error, DecodeError::CORRUPT);
                return nullptr;
            }
            uint32_t chunk = missing;
            if (m_p.m_pCipher) {
                uint64_t want = m_remaining < m_p.m_nBlockSize ? m_remaining : m_p.m_nBlockSize;
                const uint32_t room = (m_cap - m_tail) & ~15u;
                chunk = static_cast<uint32_t>(want < room ? want : room);
            } else if (m_remaining <= m_cap - m_tail) {
                chunk = static_cast<uint32_t>(m_remaining);
            }
            if (m_stored.Read(m_buf + m_tail, chunk) != 0) {
                SetError(error, DecodeError::READ);
                return nullptr;
            }
            if (m_p.m_pCipher) m_p.m_pCipher->m_pDecrypt(m_buf + m_tail, static_cast<int32_t>(chunk));
            m_tail += chunk;
            m_remaining -= chunk;
        }
        return m_buf + m_head;
    }

    void Consume(uint32_t n) { m_head += n; }

private:
    const DecodeParams& m_p;
    uint8_t* m_buf;
    uint32_t m_cap;
    IStoredBytes& m_stored;
    uint64_t m_remaining;
    uint32_t m_head = 0;
    uint32_t m_tail = 0;
};

bool EncryptedSizeValid(const DecodeParams& p, const DecodeEntryInfo& e)
{
    return p.m_pCipher == nullptr || e.m_nStoredSize % 16 == 0;
}

} // namespace

struct InflateState::Impl {
    z_stream m_stream{};
    bool m_bReady = false; // inflateInit succeeded: reset it, end it at last
};

InflateState::InflateState() : m_pImpl(std::make_unique<Impl>()) {}

InflateState::~InflateState()
{
    if (m_pImpl->m_bReady) inflateEnd(&m_pImpl->m_stream);
}

namespace {

// The stream one entry decodes with, fresh: the buffers' own, reset, or one
// of its own that ends with it. Null when zlib cannot set one up. zlib still
// reads the stream's header and its check, but leaves computing and
// comparing the check to DecodeDeflate, which does it faster.
class EntryInflater {
public:
    explicit EntryInflater(InflateState* kept)
    {
        if (kept) {
            InflateState::Impl& k = kept->Get();
            if (k.m_bReady) {
                if (inflateReset(&k.m_stream) == Z_OK) Use(&k.m_stream);
                return;
            }
            k.m_stream = z_stream{};
            k.m_bReady = inflateInit(&k.m_stream) == Z_OK;
            if (k.m_bReady) Use(&k.m_stream);
            return;
        }
        if (inflateInit(&m_own) == Z_OK) Use(&m_own);
    }
    ~EntryInflater()
    {
        if (m_bOwn) inflateEnd(&m_own);
    }
    EntryInflater(const EntryInflater&) = delete;
    EntryInflater& operator=(const EntryInflater&) = delete;

    z_stream* Stream() const { return m_pStream; }

private:
    void Use(z_stream* stream)
    {
        m_bOwn = stream == &m_own;
        if (inflateValidate(stream, 0) == Z_OK) m_pStream = stream;
    }

    z_stream m_own{};
    z_stream* m_pStream = nullptr;
    bool m_bOwn = false; // m_own was set up: end it
};

// The last four bytes of the stream consumed so far: once the stream has
// ended, its check. They may lie in more than one chunk of input.
class LastFour {
public:
    void ShiftIn(const uint8_t* bytes, size_t n)
    {
        if (n >= 4) {
            std::memcpy(m_bytes, bytes + n - 4, 4);
            return;
        }
        std::memmove(m_bytes, m_bytes + n, 4 - n);
        std::memcpy(m_bytes + 4 - n, bytes, n);
    }
    uint32_t BigEndian() const
    {
        return static_cast<uint32_t>(m_bytes[0]) << 24 | static_cast<uint32_t>(m_bytes[1]) << 16 |
               static_cast<uint32_t>(m_bytes[2]) << 8 | m_bytes[3];
    }

private:
    uint8_t m_bytes[4] = {};
};

} // namespace

int DecodeLz4(const DecodeParams& p, const DecodeBuffers& b, const DecodeEntryInfo& e, IStoredBytes& stored,
              IDecodeSink& sink, DecodeError* error)
{
    SetError(error, DecodeError::NONE);
    if (!ParamsUsable(p, b)) {
        SetError(error, DecodeError::BUFFERS);
        return 1;
    }
    if (!EncryptedSizeValid(p, e)) {
        SetError(error, DecodeError::CORRUPT);
        return 1;
    }

    const uint32_t bsize = p.m_nBlockSize;
    const uint32_t maxBlock = Lz4OutputBound(bsize);
    StoredQueue queue(p, b, stored, e.m_nStoredSize);
    LZ4_streamDecode_t state;
    std::memset(&state, 0, sizeof(state));

    uint64_t produced = 0;
    uint32_t half = 0;
    const uint8_t* prev = nullptr;
    uint32_t prevSize = 0;
    for (;;) {
        if (Cancelled(p.m_pCancel)) {
            SetError(error, DecodeError::CANCELLED);
            return 1;
        }
        const uint8_t* lenBytes = queue.Need(4, error);
        if (!lenBytes) return 1;
        const int32_t len = LoadI32(lenBytes);
        queue.Consume(4);
        if (len <= 0) break;
        if (static_cast<uint32_t>(len) > maxBlock) {
            SetError(error, DecodeError::CORRUPT);
            return 1;
        }
        const uint8_t* block = queue.Need(static_cast<uint32_t>(len), error);
        if (!block) return 1;

        // The dictionary is exactly the previous block, which lies in the other
        // half, so the output never overlaps it.
        uint8_t* dst = b.m_pOut + static_cast<size_t>(half) * bsize;
        if (!prev) prev = dst;
        LZ4_setStreamDecode(&state, reinterpret_cast<const char*>(prev), static_cast<int>(prevSize));
        const int n =
            LZ4_decompress_safe_continue(&state, reinterpret_cast<const char*>(block),
                                         reinterpret_cast<char*>(dst), len, static_cast<int>(bsize));
        queue.Consume(static_cast<uint32_t>(len));
        if (n < 0 || (p.m_bExactSize && static_cast<uint64_t>(n) > e.m_nUncompressedSize - produced)) {
            SetError(error, DecodeError::CORRUPT);
            return 1;
        }
        if (Cancelled(p.m_pCancel)) {
            SetError(error, DecodeError::CANCELLED);
            return 1;
        }
        if (n > 0 && sink.Put(dst, static_cast<uint32_t>(n)) != 0) {
            SetError(error, DecodeError::SINK);
            return 1;
        }
        produced += static_cast<uint32_t>(n);
        prev = dst;
        prevSize = static_cast<uint32_t>(n);
        half ^= 1;
    }
    if (p.m_bExactSize && produced != e.m_nUncompressedSize) {
        SetError(error, DecodeError::CORRUPT);
        return 1;
    }
    return 0;
}

int DecodeDeflate(const DecodeParams& p, const DecodeBuffers& b, const DecodeEntryInfo& e,
                  IStoredBytes& stored, IDecodeSink& sink, DecodeError* error)
{
    SetError(error, DecodeError::NONE);
    if (!ParamsUsable(p, b)) {
        SetError(error, DecodeError::BUFFERS);
        return 1;
    }
    if (!EncryptedSizeValid(p, e)) {
        SetError(error, DecodeError::CORRUPT);
        return 1;
    }

    const uint32_t bsize = p.m_nBlockSize;
    EntryInflater inflater(b.m_pInflate);
    if (!inflater.Stream()) {
        SetError(error, DecodeError::BUFFERS);
        return 1;
    }
    z_stream& zs = *inflater.Stream();
    // A kept stream may still hold input its last entry left unread (the
    // pad after an encrypted stream, or the rest of a damaged one).
    zs.next_in = nullptr;
    zs.avail_in = 0;

    uint64_t remaining = e.m_nStoredSize;
    uint64_t produced = 0;
    uint32_t adler = 1;
    LastFour consumed; // of the chunks before the current one
    uint32_t chunk = 0;
    zs.next_out = b.m_pOut;
    zs.avail_out = bsize;
    for (;;) {
        if (Cancelled(p.m_pCancel)) {
            SetError(error, DecodeError::CANCELLED);
            return 1;
        }
        if (zs.avail_in == 0 && remaining > 0) {
            consumed.ShiftIn(b.m_pIn, chunk);
            chunk = static_cast<uint32_t>(remaining < bsize ? remaining : bsize);
            if (stored.Read(b.m_pIn, chunk) != 0) {
                SetError(error, DecodeError::READ);
                return 1;
            }
            if (p.m_pCipher) p.m_pCipher->m_pDecrypt(b.m_pIn, static_cast<int32_t>(chunk));
            remaining -= chunk;
            zs.next_in = b.m_pIn;
            zs.avail_in = chunk;
        }
        const int r = inflate(&zs, Z_NO_FLUSH);
        if (r == Z_BUF_ERROR && zs.avail_in == 0 && remaining > 0) continue;
        if (r != Z_OK && r != Z_STREAM_END) { // a damaged stream, or one cut short (Z_BUF_ERROR)
            SetError(error, DecodeError::CORRUPT);
            return 1;
        }
        if (zs.avail_out == 0 || r == Z_STREAM_END) {
            const uint32_t n = bsize - zs.avail_out;
            if (p.m_bExactSize && n > e.m_nUncompressedSize - produced) {
                SetError(error, DecodeError::CORRUPT);
                return 1;
            }
            if (Cancelled(p.m_pCancel)) {
                SetError(error, DecodeError::CANCELLED);
                return 1;
            }
            adler = Adler32(adler, b.m_pOut, n);
            if (r == Z_STREAM_END) {
                // The stream ends with the check of all it holds, the last
                // four bytes zlib consumed. A stream that fails it gives
                // none of its last output.
                consumed.ShiftIn(b.m_pIn, static_cast<size_t>(zs.next_in - b.m_pIn));
                if (consumed.BigEndian() != adler) {
                    SetError(error, DecodeError::CORRUPT);
                    return 1;
                }
            }
            if (n > 0 && sink.Put(b.m_pOut, n) != 0) {
                SetError(error, DecodeError::SINK);
                return 1;
            }
            produced += n;
            zs.next_out = b.m_pOut;
            zs.avail_out = bsize;
        }
        if (r == Z_STREAM_END) break;
    }
    if (p.m_bExactSize && produced != e.m_nUncompressedSize) {
        SetError(error, DecodeError::CORRUPT);
        return 1;
    }
    return 0;
}

int DecodeStored(const DecodeParams& p, const DecodeBuffers& b, const DecodeEntryInfo& e,
                 IStoredBytes& stored, IDecodeSink& sink, DecodeError* error)
{
    SetError(error, DecodeError::NONE);
    if (!ParamsUsable(p, b)) {
        SetError(error, DecodeError::BUFFERS);
        return 1;
    }
    const uint32_t bsize = p.m_nBlockSize;
    uint64_t remaining = e.m_nStoredSize;
    uint64_t left = e.m_nUncompressedSize;
    if (p.m_bExactSize && remaining < left) { // fewer stored bytes than the file had
        SetError(error, DecodeError::CORRUPT);
        return 1;
    }
    while (left > 0 && remaining > 0) {
        if (Cancelled(p.m_pCancel)) {
            SetError(error, DecodeError::CANCELLED);
            return 1;
        }
        const uint32_t chunk = static_cast<uint32_t>(remaining < bsize ? remaining : bsize);
        if (stored.Read(b.m_pIn, chunk) != 0) {
            SetError(error, DecodeError::READ);
            return 1;
        }
        remaining -= chunk;
        if (p.m_pCipher) {
            // A final chunk that is not whole blocks is padded in the buffer
            // (which has room beyond B) before it is decrypted.
            const uint32_t padded = RoundUp16(chunk);
            std::memset(b.m_pIn + chunk, 0, padded - chunk);
            p.m_pCipher->m_pDecrypt(b.m_pIn, static_cast<int32_t>(padded));
        }
        const uint32_t keep = static_cast<uint32_t>(left < chunk ? left : chunk);
        if (sink.Put(b.m_pIn, keep) != 0) {
            SetError(error, DecodeError::SINK);
            return 1;
        }
        left -= keep;
    }
    return 0;
}

int DecodeEntry(const DecodeParams& p, const DecodeBuffers& b, const DecodeEntryInfo& e, IStoredBytes& stored,
                IDecodeSink& sink, DecodeError* error)
{
    switch (e.m_nMethod) {
    case METHOD_LZ4:
        return DecodeLz4(p, b, e, stored, sink, error);
    case METHOD_DEFLATE:
        return DecodeDeflate(p, b, e, stored, sink, error);
    default:
        return DecodeStored(p, b, e, stored, sink, error);
    }
}

} // namespace zk
