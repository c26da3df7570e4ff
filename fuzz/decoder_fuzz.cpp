// libFuzzer target for the decoders of stored entry data, through streams
// the pipeline itself encoded and then damaged.
// Input: [mode][u32 size][payload]. Mode bits 0-1 pick the method (LZ4,
// Deflate, stored), bit 2 encryption. Without bit 7 the payload is the
// stored data itself; with it, the first half of the payload is encoded by
// the pipeline and the second half damages the result (u16 position, u8
// mask), so that damaged but well-framed streams are reached quickly.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/byte_io.h"
#include "core/memory_files.h"
#include "core/pipeline.h"

namespace {

constexpr uint32_t B = 1024;

class CountingSink : public zk::IDecodeSink {
public:
    int Put(const uint8_t*, uint32_t count) override
    {
        m_nBytes += count;
        return 0;
    }
    uint64_t m_nBytes = 0;
};

class Bytes : public zk::IStoredBytes {
public:
    explicit Bytes(const std::vector<uint8_t>& b) : m_b(b) {}
    int Read(uint8_t* dst, uint32_t count) override
    {
        if (count > m_b.size() - m_pos) return 1;
        for (uint32_t i = 0; i < count; ++i)
            dst[i] = m_b[m_pos + i];
        m_pos += count;
        return 0;
    }

private:
    const std::vector<uint8_t>& m_b;
    size_t m_pos = 0;
};

bool Encode(uint8_t method, const zk::BlockCipher* cipher, const uint8_t* data, size_t size,
            std::vector<uint8_t>* stored)
{
    zk::MemoryVolumeFiles files;
    auto volume = files.File(u"f.zka");
    zk::MemoryFile volume0(volume);
    zk::MemoryFile source(std::make_shared<std::vector<uint8_t>>(data, data + size));
    static auto buffers = zk::PipelineBuffers::Allocate(B);
    zk::PipelineContext ctx;
    zk::VolumeWriter writer;
    writer.Start(zk::VolumeSet{&files, u"f.zka", 0, 0}, &volume0, &ctx.m_failure);
    ctx.m_pBuffers = buffers.get();
    ctx.m_pWriter = &writer;
    ctx.m_pSource = &source;
    ctx.m_pCipher = cipher;
    zk::PipelineEntry e;
    e.m_nUncompressedSize = size;
    const int r = method == zk::METHOD_LZ4 ? zk::Lz4EncodeEntry(ctx, e) : zk::DeflateEncodeEntry(ctx, e);
    *stored = *volume;
    return r == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t n)
{
    if (n < 5) return 0;
    const uint8_t mode = in[0];
    uint8_t method = static_cast<uint8_t>(mode & 3);
    if (method == 3) method = zk::METHOD_STORED;
    uint64_t size = zk::LoadU32(in + 1) % (64 * B);
    const uint8_t* payload = in + 5;
    const size_t payloadSize = n - 5;

    static const bool keySet = (zk::SetArchiveKeyBytes("fuzz"), true);
    (void)keySet;
    const zk::BlockCipher* cipher = (mode & 4) ? &zk::ArchiveKeyCipher() : nullptr;

    std::vector<uint8_t> stored;
    if ((mode & 0x80) && method != zk::METHOD_STORED) {
        const size_t half = payloadSize / 2;
        if (!Encode(method, cipher, payload, half, &stored)) return 0;
        size = half;
        for (size_t i = half; i + 3 <= payloadSize && !stored.empty(); i += 3)
            stored[zk::LoadU16(payload + i) % stored.size()] ^= payload[i + 2];
    } else {
        stored.assign(payload, payload + payloadSize);
    }

    std::vector<uint8_t> out(2 * B);
    std::vector<uint8_t> inBuf(zk::DecodeInputSize(B));
    zk::DecodeBuffers buffers{out.data(), inBuf.data(), static_cast<uint32_t>(inBuf.size())};
    zk::DecodeParams params;
    params.m_nBlockSize = B;
    params.m_pCipher = cipher;
    // The verify pass's rule: exactly the size or a failure.
    params.m_bExactSize = true;
    zk::DecodeEntryInfo info{method, size, stored.size()};
    Bytes src(stored);
    CountingSink sink;
    const int r = zk::DecodeEntry(params, buffers, info, src, sink, nullptr);
    if (sink.m_nBytes > size) __builtin_trap(); // never more than the entry's size
    if (r == 0 && sink.m_nBytes != size) __builtin_trap();
    return 0;
}
