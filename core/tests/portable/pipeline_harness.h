#pragma once
// An archive's data stream in memory: volume files, one source and the
// pipeline context, for the pipeline and decoder tests.

#include <cstring>
#include <random>
#include <vector>

#include "core/archive_key.h"
#include "core/memory_files.h"
#include "core/pipeline.h"
#include "core/read_ahead.h"

namespace zk::test {

// The archive cipher under a password's key (the key is process-wide, so
// every test that encrypts sets it again).
inline const BlockCipher* PasswordCipher()
{
    SetArchiveKeyBytes("tiger-lily-42");
    return &ArchiveKeyCipher();
}

enum class Fill { TEXT, RANDOM, ZERO };

inline std::vector<uint8_t> MakeData(size_t size, Fill fill, uint32_t seed = 1)
{
    std::vector<uint8_t> v(size);
    std::mt19937 rng(seed);
    static const char words[] = "the quick archive packs folders into volumes and reads them back ";
    for (size_t i = 0; i < size; ++i) {
        switch (fill) {
        case Fill::TEXT:
            v[i] = static_cast<uint8_t>(words[(i * 7 + i / 61) % (sizeof(words) - 1)]);
            break;
        case Fill::RANDOM:
            v[i] = static_cast<uint8_t>(rng());
            break;
        case Fill::ZERO:
            v[i] = 0;
            break;
        }
    }
    return v;
}

// Collects decoded bytes.
class CollectSink : public IDecodeSink {
public:
    int Put(const uint8_t* bytes, uint32_t count) override
    {
        m_data.insert(m_data.end(), bytes, bytes + count);
        ++m_nCalls;
        return 0;
    }
    std::vector<uint8_t> m_data;
    int m_nCalls = 0;
};

// Stored bytes straight from memory, for decoders under test.
class MemoryStoredBytes : public IStoredBytes {
public:
    explicit MemoryStoredBytes(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    int Read(uint8_t* dst, uint32_t count) override
    {
        ++m_nReads;
        if (count > m_bytes.size() - m_nPos) return 1;
        std::memcpy(dst, m_bytes.data() + m_nPos, count);
        m_nPos += count;
        return 0;
    }
    const std::vector<uint8_t>& m_bytes;
    size_t m_nPos = 0;
    uint32_t m_nReads = 0;
};

class RecordingHash : public IFileHash {
public:
    int Begin() override
    {
        m_data.clear();
        return 0;
    }
    int Update(const uint8_t* bytes, uint32_t count) override
    {
        m_data.insert(m_data.end(), bytes, bytes + count);
        return 0;
    }
    int End(uint8_t digest[32]) override
    {
        std::memset(digest, 0, 32);
        return 0;
    }
    std::u16string LastErrorText() const override { return u""; }
    std::vector<uint8_t> m_data;
};

// One build's data stream: archive "pack.exe" whose head takes D bytes of
// volume 0, volumes of S bytes, block size B.
struct StreamHarness {
    MemoryVolumeFiles files;
    std::shared_ptr<std::vector<uint8_t>> volume0Data;
    std::unique_ptr<MemoryFile> volume0;
    VolumeWriter writer;
    std::unique_ptr<PipelineBuffers> buffers;
    PipelineContext ctx;
    std::shared_ptr<std::vector<uint8_t>> sourceData;
    std::unique_ptr<MemoryFile> source;
    // Last, so that its thread stops before anything it reads goes away.
    std::unique_ptr<SourceReadAhead> readAhead;

    StreamHarness(uint32_t blockSize, uint64_t volumeSize = 0, uint64_t dataOffset = 100)
    {
        volume0Data = files.File(u"pack.exe");
        volume0Data->assign(static_cast<size_t>(dataOffset), 0xEE); // the head
        volume0 = std::make_unique<MemoryFile>(volume0Data);
        volume0->SeekTo(dataOffset);
        VolumeSet set;
        set.m_pFiles = &files;
        set.m_strArchivePath = u"pack.exe";
        set.m_nVolumeSize = volumeSize;
        set.m_nDataOffset = dataOffset;
        writer.Start(set, volume0.get(), &ctx.m_failure);
        buffers = PipelineBuffers::Allocate(blockSize);
        ctx.m_pBuffers = buffers.get();
        ctx.m_pWriter = &writer;
        ctx.m_strSourcePath = u"C:\\src\\file.bin";
    }

    // Sources of more than one block are then read and hashed on a second
    // thread and their blocks compressed on encodeThreads more, as a build
    // with more than one thread does.
    void UseReadAhead(unsigned encodeThreads = 2)
    {
        buffers = PipelineBuffers::Allocate(buffers->BlockSize(), encodeThreads);
        ctx.m_pBuffers = buffers.get();
        readAhead = SourceReadAhead::Create(buffers->BlockSize());
        ctx.m_pReadAhead = readAhead.get();
    }

    void SetSource(const std::vector<uint8_t>& bytes)
    {
        sourceData = std::make_shared<std::vector<uint8_t>>(bytes);
        source = std::make_unique<MemoryFile>(sourceData);
        ctx.m_pSource = source.get();
    }

    // Starts an entry at the current end of the stream.
    PipelineEntry NewEntry(uint64_t size) const
    {
        PipelineEntry e;
        e.m_nUncompressedSize = size;
        e.m_nDataOffset = writer.m_nStreamBytes;
        uint8_t start = 0;
        StartVolume(writer.m_set.m_nDataOffset, e.m_nDataOffset, writer.m_set.m_nVolumeSize, &start);
        e.m_nStartVolume = start;
        return e;
    }

    // The entry's stored bytes, gathered across the volume files.
    std::vector<uint8_t> StoredBytes(const PipelineEntry& e)
    {
        std::vector<uint8_t> out(static_cast<size_t>(e.m_nStoredSize));
        SpannedReader r(writer.m_set, e.m_nStartVolume, e.m_nDataOffset, e.m_nStoredSize, nullptr);
        if (!out.empty() && ReadSpanned(r, out.data(), static_cast<uint32_t>(out.size())) != 0) out.clear();
        return out;
    }

    int Encode(uint8_t method, PipelineEntry& e)
    {
        return method == 1 ? Lz4EncodeEntry(ctx, e) : DeflateEncodeEntry(ctx, e);
    }
    int Verify(uint8_t method, const PipelineEntry& e)
    {
        return method == 1 ? Lz4VerifyEntry(ctx, e) : DeflateVerifyEntry(ctx, e);
    }

    // Decodes the entry as the extractor would.
    int Decode(uint8_t method, const PipelineEntry& e, std::vector<uint8_t>& out,
               DecodeError* error = nullptr)
    {
        SpannedReader r(writer.m_set, e.m_nStartVolume, e.m_nDataOffset, e.m_nStoredSize, nullptr);
        DecodeParams p;
        p.m_nBlockSize = buffers->BlockSize();
        p.m_pCipher = ctx.m_pCipher;
        DecodeEntryInfo info;
        info.m_nMethod = method;
        info.m_nUncompressedSize = e.m_nUncompressedSize;
        info.m_nStoredSize = e.m_nStoredSize;
        CollectSink sink;
        const int r2 = DecodeEntry(p, buffers->ForDecode(), info, r, sink, error);
        out = std::move(sink.m_data);
        return r2;
    }
};

} // namespace zk::test
