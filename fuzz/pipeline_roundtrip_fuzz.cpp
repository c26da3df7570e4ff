// One entry through the whole data path of a build and an extraction: the
// pipeline encodes a source into a data stream cut into small volumes, the
// verify pass reads it back against the source, and the decoder, reading
// across the volumes as the extractor does, must give the source back byte
// for byte. A build must never store what cannot be extracted.
//
// Input: mode byte (bit 0 LZ4 else Deflate, bit 1 high compression, bit 2
// password, bits 3-4 block size, bits 5-6 volume size), shape byte (bits 0-5
// how much of volume 0 the head takes, bit 6 a source that returns short
// reads of 1 to 64 bytes), then the source's bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/memory_files.h"
#include "core/pipeline.h"
#include "core/volume_io.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

namespace {

// Small blocks cross block, record and volume limits within short inputs;
// 64 KiB is LZ4's window, where a block's history stops being cut.
constexpr uint32_t BLOCK_SIZES[4] = {16, 48, 4096, 65536};
constexpr uint64_t VOLUME_SIZES[4] = {0, 160, 1000, 70000};
constexpr const char16_t* ARCHIVE = u"pack.exe";

class CollectSink : public IDecodeSink {
public:
    int Put(const uint8_t* bytes, uint32_t count) override
    {
        m_data.insert(m_data.end(), bytes, bytes + count);
        return 0;
    }
    std::vector<uint8_t> m_data;
};

class SpannedBytes : public IStoredBytes {
public:
    explicit SpannedBytes(SpannedReader& reader) : m_reader(reader) {}
    int Read(uint8_t* dst, uint32_t count) override { return ReadSpanned(m_reader, dst, count); }

private:
    SpannedReader& m_reader;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    const uint8_t shape = data[1];
    const bool lz4 = (mode & 1) != 0;
    const uint32_t blockSize = BLOCK_SIZES[(mode >> 3) & 3];
    const uint64_t volumeSize = VOLUME_SIZES[(mode >> 5) & 3];
    // The head fills part of volume 0, or all of it.
    const uint64_t dataOffset = volumeSize == 0 ? 100 : volumeSize - (shape & 0x3F) % (volumeSize / 2);
    std::vector<uint8_t> source(data + 2, data + size);
    // Below LZ4's window every block reloads its history; long inputs in
    // tiny blocks only repeat what short ones reach, at great cost.
    if (blockSize < 65536 && source.size() > 16384) source.resize(16384);

    MemoryVolumeFiles files;
    auto volume0Data = files.File(ARCHIVE);
    volume0Data->assign(static_cast<size_t>(dataOffset), 0xEE);
    MemoryFile volume0(volume0Data);
    ZK_FUZZ_CHECK(volume0.SeekTo(dataOffset));
    MemoryFile sourceFile(std::make_shared<std::vector<uint8_t>>(source));
    if (shape & 0x40) sourceFile.LimitReadChunk(1 + (shape & 0x3F));

    std::unique_ptr<PipelineBuffers> buffers = PipelineBuffers::Allocate(blockSize);
    ZK_FUZZ_CHECK(buffers != nullptr);
    PipelineContext ctx;
    VolumeWriter writer;
    writer.Start(VolumeSet{&files, ARCHIVE, volumeSize, dataOffset}, &volume0, &ctx.m_failure);
    ctx.m_pBuffers = buffers.get();
    ctx.m_pWriter = &writer;
    ctx.m_pSource = &sourceFile;
    ctx.m_nLevel = (mode & 2) ? CompressLevel::HIGH : CompressLevel::STANDARD;
    if (mode & 4) {
        SetArchiveKeyBytes("roundtrip-password");
        ctx.m_pCipher = &ArchiveKeyCipher();
    }

    PipelineEntry entry;
    entry.m_nUncompressedSize = source.size();
    uint8_t start = 0;
    ZK_FUZZ_CHECK(StartVolume(dataOffset, 0, volumeSize, &start));
    entry.m_nStartVolume = start;
    ZK_FUZZ_CHECK((lz4 ? Lz4EncodeEntry(ctx, entry) : DeflateEncodeEntry(ctx, entry)) == 0);
    ZK_FUZZ_CHECK(writer.m_nStreamBytes == entry.m_nStoredSize);
    if (ctx.m_pCipher) ZK_FUZZ_CHECK(entry.m_nStoredSize % 16 == 0);
    // Every volume but the last holds exactly the volume size.
    if (volumeSize != 0) {
        uint32_t last = 0;
        while (files.Exists(VolumeName(ARCHIVE, last + 1)))
            ++last;
        for (uint32_t k = 0; k < last; ++k)
            ZK_FUZZ_CHECK(files.File(VolumeName(ARCHIVE, k))->size() == volumeSize);
    }
    writer.CloseExtraVolume();

    ZK_FUZZ_CHECK((lz4 ? Lz4VerifyEntry(ctx, entry) : DeflateVerifyEntry(ctx, entry)) == 0);

    SpannedReader reader(writer.m_set, entry.m_nStartVolume, entry.m_nDataOffset, entry.m_nStoredSize,
                         nullptr);
    SpannedBytes stored(reader);
    DecodeParams params;
    params.m_nBlockSize = blockSize;
    params.m_pCipher = ctx.m_pCipher;
    DecodeEntryInfo info;
    info.m_nMethod = lz4 ? METHOD_LZ4 : METHOD_DEFLATE;
    info.m_nUncompressedSize = entry.m_nUncompressedSize;
    info.m_nStoredSize = entry.m_nStoredSize;
    CollectSink sink;
    ZK_FUZZ_CHECK(DecodeEntry(params, buffers->ForDecode(), info, stored, sink) == 0);
    ZK_FUZZ_CHECK(sink.m_data == source);
    return 0;
}
