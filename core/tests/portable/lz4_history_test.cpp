#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/tests/portable/pipeline_harness.h"

namespace {

using namespace zk;
using namespace zk::test;

// Two blocks of noise, then a short last block that repeats a piece of the
// first. LZ4's stream still has the first block in its ring while the last
// one is compressed; the decoder only has the block before it.
std::vector<uint8_t> ReachBackSource(uint32_t blockSize)
{
    std::mt19937 rng(7);
    std::vector<uint8_t> v(2 * static_cast<size_t>(blockSize));
    for (uint8_t& b : v)
        b = static_cast<uint8_t>(rng());
    // From the first block's second half: the short block overwrites only
    // the start of the first block's place in the ring.
    const size_t from = blockSize / 2;
    const std::vector<uint8_t> piece(v.begin() + from, v.begin() + from + std::min<size_t>(from, 100));
    v.insert(v.end(), piece.begin(), piece.end());
    return v;
}

TEST(Lz4History, ShortLastBlockDecodesWithOnlyThePreviousBlock)
{
    for (uint32_t blockSize : {48u, 1024u, 4096u, 16384u, 65536u}) {
        for (CompressLevel level : {CompressLevel::STANDARD, CompressLevel::HIGH}) {
            for (bool password : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "B=" << blockSize << " high=" << (level == CompressLevel::HIGH)
                             << " password=" << password);
                const std::vector<uint8_t> src = ReachBackSource(blockSize);
                StreamHarness h(blockSize);
                h.ctx.m_nLevel = level;
                if (password) {
                    SetArchiveKeyBytes("history");
                    h.ctx.m_pCipher = &ArchiveKeyCipher();
                }
                h.SetSource(src);
                PipelineEntry e = h.NewEntry(src.size());
                ASSERT_EQ(h.Encode(METHOD_LZ4, e), 0);
                EXPECT_EQ(h.Verify(METHOD_LZ4, e), 0);
                std::vector<uint8_t> out;
                EXPECT_EQ(h.Decode(METHOD_LZ4, e, out), 0);
                EXPECT_EQ(out, src);
            }
        }
    }
}

} // namespace
