#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <lz4.h>
#include <zlib.h>

#include "core/archive_format.h"
#include "core/block_encoders.h"
#include "core/byte_io.h"
#include "core/tests/portable/pipeline_harness.h"

namespace zk {
namespace {

using test::Fill;
using test::MakeData;

constexpr uint32_t B = 4096;

// Blocks of one entry through the encoders, oldest result first, as the
// pipeline drives them: each block gets the end of the one before as
// dictionary. Returns the results' bytes one vector per block, or nothing
// when a job failed.
std::vector<std::vector<uint8_t>> EncodeAll(BlockEncoders& enc, uint8_t method, bool high,
                                            const std::vector<uint8_t>& data,
                                            std::vector<uint32_t>* adlers = nullptr)
{
    std::vector<std::vector<uint8_t>> out;
    bool failed = false;
    const auto takeOldest = [&] {
        BlockJob* done = enc.WaitOldest(nullptr);
        if (done->m_nResult != 0) failed = true;
        out.emplace_back(done->Output(), done->Output() + done->m_nOutputSize);
        if (adlers) adlers->push_back(done->m_nAdler);
        enc.Release();
    };
    BlockJob* previous = nullptr;
    size_t at = 0;
    do {
        BlockJob* job = enc.NextFree();
        while (!job) {
            takeOldest();
            job = enc.NextFree();
        }
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(B, data.size() - at));
        if (n) std::memcpy(job->Input(), data.data() + at, n);
        at += n;
        job->m_nMethod = method;
        job->m_bHigh = high;
        job->m_bLast = n < B;
        job->m_nInputSize = n;
        job->m_nDictSize = previous ? std::min(previous->m_nInputSize, BlockJob::DICT_ROOM) : 0;
        if (previous)
            std::memcpy(job->Input() - job->m_nDictSize,
                        previous->Input() + previous->m_nInputSize - job->m_nDictSize, job->m_nDictSize);
        enc.Submit(job, false);
        previous = job;
    } while (!previous->m_bLast);
    while (enc.InFlight() > 0)
        takeOldest();
    if (failed) out.clear();
    return out;
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Blocks counts 0 (an empty entry), 1, 2 and many, with sizes at and around
// the block size; text repeats across blocks, so the dictionary matters.
const size_t SIZES[] = {0, 1, B - 1, B, B + 1, 2 * B, 9 * B + 77};

TEST(BlockEncoders, SameBytesForAnyThreadCount)
{
    const auto data = MakeData(9 * B + 77, Fill::TEXT);
    for (uint8_t method : {METHOD_LZ4, METHOD_DEFLATE})
        for (bool high : {false, true})
            for (size_t size : SIZES) {
                const std::vector<uint8_t> part(data.begin(), data.begin() + static_cast<ptrdiff_t>(size));
                auto here = BlockEncoders::Create(B, 0);
                ASSERT_TRUE(here);
                const auto expected = EncodeAll(*here, method, high, part);
                ASSERT_FALSE(expected.empty());
                for (unsigned threads : {1u, 3u}) {
                    auto enc = BlockEncoders::Create(B, threads);
                    ASSERT_TRUE(enc);
                    // Twice: a thread's codec left over from one entry must
                    // not change the next.
                    EXPECT_EQ(EncodeAll(*enc, method, high, part), expected) << int(method) << high << size;
                    EXPECT_EQ(EncodeAll(*enc, method, high, part), expected) << int(method) << high << size;
                }
            }
}

// The Deflate blocks, between the header and the whole entry's Adler-32, are
// one plain zlib stream, as zlib's own reader sees it; the header is the one
// deflateInit2 writes at that level.
TEST(BlockEncoders, DeflateBlocksMakeOnePlainZlibStream)
{
    for (bool high : {false, true}) {
        z_stream zs{};
        ASSERT_EQ(deflateInit2(&zs, high ? 9 : Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY),
                  Z_OK);
        uint8_t fromZlib[16];
        zs.next_out = fromZlib;
        zs.avail_out = sizeof(fromZlib);
        ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
        deflateEnd(&zs);
        uint8_t header[2];
        ZlibHeader(high, header);
        EXPECT_EQ(header[0], fromZlib[0]);
        EXPECT_EQ(header[1], fromZlib[1]);

        for (size_t size : SIZES) {
            const auto data = MakeData(size, Fill::TEXT);
            auto enc = BlockEncoders::Create(B, 2);
            std::vector<uint32_t> adlers;
            auto blocks = EncodeAll(*enc, METHOD_DEFLATE, high, data, &adlers);
            ASSERT_FALSE(blocks.empty());
            uLong adler = 1;
            for (size_t i = 0; i < adlers.size(); ++i)
                adler = adler32_combine(adler, adlers[i],
                                        static_cast<z_off_t>(std::min<size_t>(B, size - i * B)));
            EXPECT_EQ(adler, adler32(1, data.data(), static_cast<uInt>(size)));
            std::vector<uint8_t> stream(header, header + 2);
            const auto body = Joined(blocks);
            stream.insert(stream.end(), body.begin(), body.end());
            for (int shift : {24, 16, 8, 0})
                stream.push_back(static_cast<uint8_t>(adler >> shift));
            std::vector<uint8_t> back(size + 1);
            uLongf backSize = static_cast<uLongf>(back.size());
            ASSERT_EQ(uncompress(back.data(), &backSize, stream.data(), static_cast<uLong>(stream.size())),
                      Z_OK)
                << size;
            back.resize(backSize);
            EXPECT_EQ(back, data) << size;
        }
    }
}

// A block that repeats the one before shrinks to almost nothing, and decodes
// with exactly the previous block as dictionary.
TEST(BlockEncoders, EachBlockRefersIntoTheBlockBefore)
{
    auto block = MakeData(B, Fill::RANDOM, 3);
    std::vector<uint8_t> twice = block;
    twice.insert(twice.end(), block.begin(), block.end());
    twice.push_back(1); // a short third block ends the Deflate stream
    auto enc = BlockEncoders::Create(B, 2);
    for (uint8_t method : {METHOD_LZ4, METHOD_DEFLATE}) {
        auto blocks = EncodeAll(*enc, method, false, twice);
        ASSERT_EQ(blocks.size(), 3u);
        EXPECT_GT(blocks[0].size(), B);
        EXPECT_LT(blocks[1].size(), B / 16) << int(method);
    }
    auto lz4 = EncodeAll(*enc, METHOD_LZ4, true, twice);
    ASSERT_EQ(lz4.size(), 3u);
    ASSERT_EQ(LoadU32(lz4[1].data()) + 4, lz4[1].size());
    std::vector<char> back(B);
    EXPECT_EQ(LZ4_decompress_safe_usingDict(reinterpret_cast<const char*>(lz4[1].data() + 4), back.data(),
                                            static_cast<int>(lz4[1].size() - 4), B,
                                            reinterpret_cast<const char*>(block.data()), B),
              static_cast<int>(B));
    EXPECT_EQ(std::memcmp(back.data(), block.data(), B), 0);
}

// A job that fails comes back failed in its place; the ones around it are
// unharmed, and the results keep the order the jobs were submitted in.
TEST(BlockEncoders, AFailedJobComesBackInItsPlace)
{
    auto enc = BlockEncoders::Create(B, 3);
    const uint8_t methods[] = {METHOD_LZ4, METHOD_LZ4, 0, METHOD_LZ4, METHOD_LZ4};
    for (uint8_t i = 0; i < 5; ++i) {
        BlockJob* job = enc->NextFree();
        ASSERT_NE(job, nullptr);
        std::memset(job->Input(), 'a' + i, B);
        job->m_nMethod = methods[i];
        job->m_nInputSize = B;
        job->m_nDictSize = 0;
        enc->Submit(job, false);
    }
    for (uint8_t i = 0; i < 5; ++i) {
        BlockJob* job = enc->WaitOldest(nullptr);
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->m_nResult, methods[i] ? 0 : 1) << int(i);
        if (methods[i]) {
            std::vector<char> back(B);
            ASSERT_EQ(LZ4_decompress_safe(reinterpret_cast<const char*>(job->Output() + 4), back.data(),
                                          static_cast<int>(job->m_nOutputSize - 4), B),
                      static_cast<int>(B));
            EXPECT_EQ(back[0], 'a' + i);
        }
        enc->Release();
    }
    EXPECT_EQ(enc->WaitOldest(nullptr), nullptr);
}

// A cancel frees a caller that waits for a long job at once; Abandon then
// waits for the job, after which every slot is free again.
TEST(BlockEncoders, CancelStopsTheWaitAndAbandonDrains)
{
    constexpr uint32_t big = 1 << 20;
    auto enc = BlockEncoders::Create(big, 2);
    ASSERT_TRUE(enc);
    const auto data = MakeData(big, Fill::TEXT);
    for (int i = 0; i < 4; ++i) {
        BlockJob* job = enc->NextFree();
        std::memcpy(job->Input(), data.data(), big);
        job->m_nMethod = METHOD_DEFLATE;
        job->m_bHigh = true;
        job->m_nInputSize = big;
        enc->Submit(job, false);
    }
    CancelFlag cancel{0};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancel = 2;
    });
    const auto start = std::chrono::steady_clock::now();
    BlockJob* got = nullptr;
    do {
        got = enc->WaitOldest(&cancel);
        if (got) enc->Release();
    } while (got);
    const auto waited = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 5 + 100);
    enc->Abandon();
    EXPECT_EQ(enc->InFlight(), 0u);
    for (int i = 0; i < 5; ++i) {
        BlockJob* job = enc->NextFree();
        ASSERT_NE(job, nullptr) << i;
        job->m_nMethod = METHOD_LZ4;
        job->m_nInputSize = 0;
        enc->Submit(job, false);
    }
    EXPECT_EQ(enc->NextFree(), nullptr);
    enc->Abandon();
}

} // namespace
} // namespace zk
