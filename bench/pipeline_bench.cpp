// Throughput of the data block pipeline against the bare compression library
// on the same bytes in memory: 64 MiB, half text-like and half random, the
// system's block size. The pipeline side reads from a file in memory and
// writes into an in-memory volume, so the ratio shows what framing, ring
// copies, record assembly and the decoder's checks cost. Encryption and
// hashing are then added one at a time.
//
// Usage: pipeline_bench [MiB]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/byte_io.h"
#include "core/memory_files.h"
#include "core/pipeline.h"
#include "core/pipeline_platform.h"

using namespace zk;

namespace {

double Seconds(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Fast runs are repeated and the best time kept, so that a busy machine
// disturbs them less; slow ones (seconds) run once.
double BestSeconds(const std::function<void()>& f)
{
    double best = Seconds(f);
    for (int i = 0; i < 4 && best < 1.0; ++i)
        best = std::min(best, Seconds(f));
    return best;
}

std::vector<uint8_t> MixedData(size_t size)
{
    static const char* const words[] = {"archive ", "volume ", "block ",    "the ", "of ",
                                        "stream ",  "and ",    "pipeline ", "to ",  "data ",
                                        "\r\n",     "file ",   "key ",      "in ",  "record "};
    std::vector<uint8_t> v(size);
    std::mt19937 rng(12345);
    size_t pos = 0;
    while (pos < size / 2) {
        const char* w = words[rng() % (sizeof(words) / sizeof(words[0]))];
        for (; *w && pos < size / 2; ++w)
            v[pos++] = static_cast<uint8_t>(*w);
    }
    for (; pos < size; ++pos)
        v[pos] = static_cast<uint8_t>(rng());
    return v;
}

struct Codec {
    const char* name;
    uint8_t method;
    CompressLevel level;
};

// The library alone: the same block size, the same streaming calls, input
// straight from the data, output into one buffer per block.
double BareEncode(const Codec& c, const std::vector<uint8_t>& data, uint32_t b, uint64_t* outSize)
{
    std::vector<uint8_t> out(Lz4OutputBound(b));
    uint64_t total = 0;
    const double t = BestSeconds([&] {
        total = 0;
        if (c.method == 1) {
            LZ4_stream_t fast;
            LZ4_streamHC_t hc;
            LZ4_initStream(&fast, sizeof(fast));
            LZ4_initStreamHC(&hc, sizeof(hc));
            LZ4_resetStreamHC_fast(&hc, LZ4_HIGH_LEVEL);
            for (size_t pos = 0; pos < data.size(); pos += b) {
                const int n = static_cast<int>(std::min<size_t>(b, data.size() - pos));
                const char* src = reinterpret_cast<const char*>(data.data() + pos);
                char* dst = reinterpret_cast<char*>(out.data());
                const int r =
                    c.level == CompressLevel::HIGH
                        ? LZ4_compress_HC_continue(&hc, src, dst, n, static_cast<int>(out.size()))
                        : LZ4_compress_fast_continue(&fast, src, dst, n, static_cast<int>(out.size()), 1);
                total += 4 + static_cast<uint64_t>(r);
            }
        } else {
            z_stream zs{};
            deflateInit2(&zs, c.level == CompressLevel::HIGH ? 9 : Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8,
                         Z_DEFAULT_STRATEGY);
            zs.next_in = const_cast<uint8_t*>(data.data());
            zs.avail_in = static_cast<uInt>(data.size());
            int r = Z_OK;
            while (r != Z_STREAM_END) {
                zs.next_out = out.data();
                zs.avail_out = b;
                r = deflate(&zs, Z_FINISH);
                total += b - zs.avail_out;
            }
            deflateEnd(&zs);
        }
    });
    *outSize = total;
    return t;
}

double BareDecode(const Codec& c, const std::vector<uint8_t>& plainStream, uint32_t b)
{
    std::vector<uint8_t> out(2ull * b);
    return BestSeconds([&] {
        if (c.method == 1) {
            LZ4_streamDecode_t sd;
            LZ4_setStreamDecode(&sd, nullptr, 0);
            size_t pos = 0;
            uint32_t half = 0;
            for (;;) {
                const int32_t len = LoadI32(plainStream.data() + pos);
                pos += 4;
                if (len <= 0) break;
                char* dst = reinterpret_cast<char*>(out.data()) + static_cast<size_t>(half) * b;
                LZ4_decompress_safe_continue(&sd, reinterpret_cast<const char*>(plainStream.data() + pos),
                                             dst, len, static_cast<int>(b));
                pos += static_cast<size_t>(len);
                half ^= 1;
            }
        } else {
            z_stream zs{};
            inflateInit(&zs);
            zs.next_in = const_cast<uint8_t*>(plainStream.data());
            zs.avail_in = static_cast<uInt>(plainStream.size());
            int r = Z_OK;
            while (r == Z_OK) {
                zs.next_out = out.data();
                zs.avail_out = b;
                r = inflate(&zs, Z_NO_FLUSH);
            }
            inflateEnd(&zs);
        }
    });
}

class DiscardSink : public IDecodeSink {
public:
    int Put(const uint8_t*, uint32_t count) override
    {
        m_nBytes += count;
        return 0;
    }
    uint64_t m_nBytes = 0;
};

struct PipelineRun {
    double encode = 0;
    double decode = 0;
    uint64_t stored = 0;
    std::vector<uint8_t> stream;
    bool ok = false;
};

PipelineRun RunPipeline(const Codec& c, const std::vector<uint8_t>& data, uint32_t b,
                        const BlockCipher* cipher, IFileHash* hash, unsigned threads = 0)
{
    PipelineRun run;
    MemoryVolumeFiles files;
    auto volumeData = files.File(u"bench.zka");
    // The volume's memory is touched once before the clock runs: a real disk
    // file does not fault pages in on the writer's time either.
    volumeData->resize(data.size() + data.size() / 8 + 1024);
    volumeData->clear();
    auto sourceData = std::make_shared<std::vector<uint8_t>>(data);
    auto buffers = PipelineBuffers::Allocate(b, threads);
    if (!buffers) return run;

    PipelineContext ctx;
    VolumeWriter writer;
    PipelineEntry e;
    int r = 0;
    run.encode = BestSeconds([&] {
        volumeData->clear();
        MemoryFile volume0(volumeData);
        MemoryFile source(sourceData);
        writer.Start(VolumeSet{&files, u"bench.zka", 0, 0}, &volume0, &ctx.m_failure);
        ctx.m_pBuffers = buffers.get();
        ctx.m_pWriter = &writer;
        ctx.m_pSource = &source;
        ctx.m_pCipher = cipher;
        ctx.m_pHash = hash;
        ctx.m_nLevel = c.level;
        e = PipelineEntry{};
        e.m_nUncompressedSize = data.size();
        if (hash) hash->Begin();
        r = c.method == 1 ? Lz4EncodeEntry(ctx, e) : DeflateEncodeEntry(ctx, e);
        if (hash) {
            uint8_t digest[32];
            hash->End(digest);
        }
    });
    run.stored = e.m_nStoredSize;

    DiscardSink sink;
    DecodeParams params;
    params.m_nBlockSize = b;
    params.m_pCipher = cipher;
    DecodeEntryInfo info{c.method, e.m_nUncompressedSize, e.m_nStoredSize};
    int d = 1;
    run.decode = BestSeconds([&] {
        sink.m_nBytes = 0;
        SpannedReader reader(writer.m_set, 0, 0, e.m_nStoredSize, nullptr);
        d = DecodeEntry(params, buffers->ForDecode(), info, reader, sink, nullptr);
    });
    run.ok = r == 0 && d == 0 && sink.m_nBytes == data.size();
    if (!cipher) run.stream = *volumeData;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 64;
    const size_t size = mib * 1048576;
    const uint32_t b = SystemBlockSize();
    const auto data = MixedData(size);
    SetArchiveKeyBytes("bench-password");
    auto sha = MakeSystemSha256();

    std::printf("pipeline_bench: %zu MiB (half text-like, half random), B = %u bytes\n", mib, b);
    std::printf("MB/s = 10^6 bytes of source per second; ratio = pipeline / bare throughput\n\n");
    std::printf("pipe enc 2t = the pipeline's encoding with its blocks compressed on two threads\n\n");
    std::printf("%-12s %9s | %9s %9s %6s | %9s %9s %6s | %9s %9s | %9s | %11s | %s\n", "codec", "stored",
                "bare enc", "pipe enc", "ratio", "bare dec", "pipe dec", "ratio", "enc+ciph", "dec+ciph",
                "enc+sha", "pipe enc 2t", "check");

    const Codec codecs[] = {{"LZ4 std", 1, CompressLevel::STANDARD},
                            {"LZ4 high", 1, CompressLevel::HIGH},
                            {"Deflate std", 2, CompressLevel::STANDARD},
                            {"Deflate high", 2, CompressLevel::HIGH}};
    const double mb = static_cast<double>(size) / 1e6;
    for (const Codec& c : codecs) {
        uint64_t bareSize = 0;
        const double bareEnc = BareEncode(c, data, b, &bareSize);
        PipelineRun plain = RunPipeline(c, data, b, nullptr, nullptr);
        const double bareDec = BareDecode(c, plain.stream, b);
        PipelineRun ciphered = RunPipeline(c, data, b, &ArchiveKeyCipher(), nullptr);
        PipelineRun hashed = RunPipeline(c, data, b, nullptr, sha.get());
        PipelineRun twoThreads = RunPipeline(c, data, b, nullptr, nullptr, 2);
        // The same bytes whatever the thread count, or the figure is void.
        const bool ok =
            plain.ok && ciphered.ok && hashed.ok && twoThreads.ok && twoThreads.stream == plain.stream;
        std::printf(
            "%-12s %8.1fM | %9.1f %9.1f %6.2f | %9.1f %9.1f %6.2f | %9.1f %9.1f | %9.1f | %11.1f | %s\n",
            c.name, static_cast<double>(plain.stored) / 1048576.0, mb / bareEnc, mb / plain.encode,
            bareEnc / plain.encode, mb / bareDec, mb / plain.decode, bareDec / plain.decode,
            mb / ciphered.encode, mb / ciphered.decode, mb / hashed.encode, mb / twoThreads.encode,
            ok ? "ok" : "FAILED");
    }
    return 0;
}
