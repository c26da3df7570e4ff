// The decoders of an entry's stored bytes (LZ4 records, a zlib stream, or the
// bytes themselves), plain or encrypted with the archive key, with small
// block sizes so that short inputs already cross block and record limits.
// Decoded output must match what LZ4 and zlib themselves make of the same
// bytes, and a decode that succeeds in exact mode must deliver exactly the
// entry's size.
//
// Input: mode byte (bits 0-1 method, bit 2 encrypted, bits 3-5 block size,
// bit 6 a stored size beyond the bytes given, bit 7 a sink that refuses
// after a while), u32 uncompressed size (low 24 bits; bit 31 asks for the
// exact size), then the stored bytes (the plain form: encrypted streams are
// encrypted here first, so that the fuzzer's bytes are what the decoder sees
// after decryption).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <lz4.h>
#include <zlib.h>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/block_decoder.h"
#include "core/block_size.h"
#include "core/byte_io.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

namespace {

constexpr uint32_t BLOCK_SIZES[8] = {16, 32, 64, 256, 1024, 4096, 16384, 65536};

class Stored : public IStoredBytes {
public:
    Stored(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    int Read(uint8_t* dst, uint32_t count) override
    {
        if (count > m_n - m_pos) return 1;
        if (count) std::memcpy(dst, m_p + m_pos, count);
        m_pos += count;
        return 0;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

class Sink : public IDecodeSink {
public:
    explicit Sink(uint64_t refuseAfter) : m_nRefuseAfter(refuseAfter) {}
    int Put(const uint8_t* bytes, uint32_t count) override
    {
        ZK_FUZZ_CHECK(count > 0);
        if (m_out.size() + count > m_nRefuseAfter) return 1;
        m_out.insert(m_out.end(), bytes, bytes + count);
        return 0;
    }
    std::vector<uint8_t> m_out;

private:
    uint64_t m_nRefuseAfter;
};

// LZ4 records decoded by LZ4 alone: each block with the one before it as
// dictionary. False when the records do not decode.
bool ReferenceLz4(const uint8_t* p, size_t n, uint32_t blockSize, std::vector<uint8_t>* out)
{
    std::vector<uint8_t> prev, cur(blockSize);
    size_t pos = 0;
    for (;;) {
        if (n - pos < 4) return false;
        int32_t len = LoadI32(p + pos);
        pos += 4;
        if (len <= 0) return true;
        if (static_cast<size_t>(len) > n - pos) return false;
        int r = LZ4_decompress_safe_usingDict(
            reinterpret_cast<const char*>(p + pos), reinterpret_cast<char*>(cur.data()), len,
            static_cast<int>(blockSize), reinterpret_cast<const char*>(prev.data()),
            static_cast<int>(prev.size()));
        if (r < 0) return false;
        pos += static_cast<size_t>(len);
        prev.assign(cur.begin(), cur.begin() + r);
        out->insert(out->end(), prev.begin(), prev.end());
    }
}

bool ReferenceInflate(const uint8_t* p, size_t n, std::vector<uint8_t>* out)
{
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = const_cast<uint8_t*>(p);
    zs.avail_in = static_cast<uInt>(n);
    uint8_t chunk[4096];
    int r = Z_OK;
    while (r == Z_OK) {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        r = inflate(&zs, Z_NO_FLUSH);
        out->insert(out->end(), chunk, chunk + (sizeof chunk - zs.avail_out));
    }
    inflateEnd(&zs);
    return r == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    const uint8_t mode = data[0];
    const bool encrypted = (mode & 4) != 0;
    const uint32_t blockSize = BLOCK_SIZES[(mode >> 3) & 7];
    DecodeEntryInfo entry;
    entry.m_nMethod = mode & 3;
    // Sizes beyond what the input could produce only make the run long.
    entry.m_nUncompressedSize = LoadU32(data + 1) & 0xFFFFFF;
    const bool exact = (data[4] & 0x80) != 0;

    std::vector<uint8_t> stored(data + 5, data + size);
    if (encrypted) stored.resize(RoundUp16(static_cast<uint32_t>(stored.size())), 0);
    const std::vector<uint8_t> plain = stored;
    if (encrypted) {
        SetArchiveKeyBytes("0123456789abcdef");
        EncryptBlocks(stored.data(), static_cast<int32_t>(stored.size()));
    }
    entry.m_nStoredSize = stored.size() + ((mode & 0x40) ? 16 : 0);

    std::vector<uint8_t> out(2 * static_cast<size_t>(blockSize));
    std::vector<uint8_t> in(DecodeInputSize(blockSize));
    DecodeBuffers buffers{out.data(), in.data(), static_cast<uint32_t>(in.size())};
    DecodeParams params;
    params.m_nBlockSize = blockSize;
    params.m_pCipher = encrypted ? &ArchiveKeyCipher() : nullptr;
    params.m_bExactSize = exact;

    Stored src(stored.data(), stored.size());
    Sink sink((mode & 0x80) ? entry.m_nUncompressedSize / 2 : UINT64_MAX);
    DecodeError error = DecodeError::NONE;
    int result = DecodeEntry(params, buffers, entry, src, sink, &error);
    if (exact) ZK_FUZZ_CHECK(sink.m_out.size() <= entry.m_nUncompressedSize);
    if (result != 0) {
        ZK_FUZZ_CHECK(error != DecodeError::NONE && error != DecodeError::BUFFERS);
        return 0;
    }
    ZK_FUZZ_CHECK(error == DecodeError::NONE);
    if (exact) ZK_FUZZ_CHECK(sink.m_out.size() == entry.m_nUncompressedSize);

    // The decoder's view of the stored bytes is the plain form, pad included;
    // LZ4 and zlib must make the same of it.
    std::vector<uint8_t> expected;
    switch (entry.m_nMethod) {
    case METHOD_LZ4:
        ZK_FUZZ_CHECK(ReferenceLz4(plain.data(), plain.size(), blockSize, &expected));
        break;
    case METHOD_DEFLATE:
        ZK_FUZZ_CHECK(ReferenceInflate(plain.data(), plain.size(), &expected));
        break;
    default: {
        const uint64_t kept = std::min<uint64_t>(entry.m_nUncompressedSize, plain.size());
        expected.assign(plain.begin(), plain.begin() + static_cast<size_t>(kept));
        break;
    }
    }
    ZK_FUZZ_CHECK(sink.m_out == expected);
    return 0;
}
