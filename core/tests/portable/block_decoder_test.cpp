#include <gtest/gtest.h>

#include <random>
#include <string>

#include <lz4.h>
#include <zlib.h>

#include "core/adler32.h"
#include "core/block_size.h"
#include "core/byte_io.h"
#include "core/tests/portable/pipeline_harness.h"

namespace zk {
namespace {

using test::CollectSink;
using test::Fill;
using test::MakeData;
using test::MemoryStoredBytes;

constexpr uint32_t B = 1024;

struct Decoder {
    std::vector<uint8_t> out = std::vector<uint8_t>(2 * B);
    std::vector<uint8_t> in = std::vector<uint8_t>(DecodeInputSize(B));
    DecodeParams params;
    InflateState* inflate = nullptr; // null: each entry sets up its own
    Decoder(const BlockCipher* cipher = nullptr)
    {
        params.m_nBlockSize = B;
        params.m_pCipher = cipher;
    }
    Decoder& Exact()
    {
        params.m_bExactSize = true;
        return *this;
    }
    int Run(uint8_t method, const std::vector<uint8_t>& stored, uint64_t size, std::vector<uint8_t>* decoded,
            DecodeError* error)
    {
        DecodeBuffers b{out.data(), in.data(), static_cast<uint32_t>(in.size()), inflate};
        DecodeEntryInfo info{method, size, stored.size()};
        MemoryStoredBytes src(stored);
        CollectSink sink;
        const int r = DecodeEntry(params, b, info, src, sink, error);
        if (decoded) *decoded = sink.m_data;
        return r;
    }
};

void PutRecord(std::vector<uint8_t>& s, const std::vector<uint8_t>& block)
{
    uint8_t len[4];
    StoreU32(len, static_cast<uint32_t>(block.size()));
    s.insert(s.end(), len, len + 4);
    s.insert(s.end(), block.begin(), block.end());
}

void PutLength(std::vector<uint8_t>& s, int32_t n)
{
    uint8_t len[4];
    StoreU32(len, static_cast<uint32_t>(n));
    s.insert(s.end(), len, len + 4);
}

std::vector<uint8_t> Lz4Block(const std::vector<uint8_t>& plain)
{
    std::vector<uint8_t> out(LZ4_compressBound(static_cast<int>(plain.size())));
    int n =
        LZ4_compress_default(reinterpret_cast<const char*>(plain.data()), reinterpret_cast<char*>(out.data()),
                             static_cast<int>(plain.size()), static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::vector<uint8_t> Zlib(const std::vector<uint8_t>& plain)
{
    uLongf n = compressBound(static_cast<uLong>(plain.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, plain.data(), static_cast<uLong>(plain.size()), 6);
    out.resize(n);
    return out;
}

// A zlib stream of plain whose matches reach into dictionary, before the
// stream's own start; its header does not ask for a dictionary.
std::vector<uint8_t> ZlibReachingBack(const std::vector<uint8_t>& dictionary,
                                      const std::vector<uint8_t>& plain)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    deflateSetDictionary(&zs, dictionary.data(), static_cast<uInt>(dictionary.size()));
    std::vector<uint8_t> out(2 + deflateBound(&zs, static_cast<uLong>(plain.size())) + 4);
    out[0] = 0x78;
    out[1] = 0x9C;
    zs.next_in = const_cast<uint8_t*>(plain.data());
    zs.avail_in = static_cast<uInt>(plain.size());
    zs.next_out = out.data() + 2;
    zs.avail_out = static_cast<uInt>(out.size() - 6);
    deflate(&zs, Z_FINISH);
    out.resize(2 + zs.total_out);
    deflateEnd(&zs);
    uint8_t check[4];
    StoreU32(check, static_cast<uint32_t>(adler32(1, plain.data(), static_cast<uInt>(plain.size()))));
    out.insert(out.end(), {check[3], check[2], check[1], check[0]});
    return out;
}

struct Hostile {
    const char* name;
    uint8_t method;
    std::vector<uint8_t> stored;
    uint64_t size;
};

std::vector<Hostile> HostileStreams()
{
    const auto text = MakeData(600, Fill::TEXT);
    const auto block = Lz4Block(text);
    std::vector<Hostile> v;
    auto add = [&](const char* name, uint8_t method, std::vector<uint8_t> s, uint64_t size) {
        v.push_back({name, method, std::move(s), size});
    };
    {
        std::vector<uint8_t> s;
        PutLength(s, static_cast<int32_t>(Lz4OutputBound(B) + 1));
        s.resize(s.size() + Lz4OutputBound(B) + 1 + 4, 0);
        add("lz4_length_above_input_buffer", 1, s, 600);
    }
    {
        std::vector<uint8_t> s;
        PutRecord(s, block);
        s.resize(s.size() - 3);
        add("lz4_truncated_record", 1, s, 600);
    }
    {
        std::vector<uint8_t> s;
        PutRecord(s, block);
        add("lz4_missing_terminator", 1, s, 600);
    }
    {
        std::vector<uint8_t> s;
        PutRecord(s, std::vector<uint8_t>(40, 0xFF));
        PutLength(s, 0);
        add("lz4_garbage_block", 1, s, 600);
    }
    {
        // A literal run of 4 then a match reaching 1000 bytes back.
        std::vector<uint8_t> s;
        PutRecord(s, {0x40, 'a', 'b', 'c', 'd', 0xE8, 0x03, 0x00, 'x'});
        PutLength(s, 0);
        add("lz4_match_before_the_start", 1, s, 100);
    }
    {
        // Valid LZ4, but one block decodes to more than B.
        std::vector<uint8_t> s;
        PutRecord(s, Lz4Block(MakeData(B + 1, Fill::TEXT)));
        PutLength(s, 0);
        add("lz4_block_larger_than_b", 1, s, B + 1);
    }
    {
        std::vector<uint8_t> s = Zlib(text);
        s[0] = 0x79;
        add("deflate_bad_header", 2, s, 600);
    }
    {
        std::vector<uint8_t> s = Zlib(text);
        s.resize(s.size() - 6);
        add("deflate_truncated", 2, s, 600);
    }
    {
        std::vector<uint8_t> s = Zlib(text);
        s.back() ^= 1;
        add("deflate_bad_checksum", 2, s, 600);
        s.back() ^= 1;
        s[s.size() - 4] ^= 0x80;
        add("deflate_bad_checksum_first_byte", 2, s, 600);
    }
    add("deflate_empty", 2, {}, 10);
    return v;
}

class DecoderRejects : public ::testing::TestWithParam<Hostile> {};

TEST_P(DecoderRejects, HostileStream)
{
    const Hostile& h = GetParam();
    for (bool exact : {false, true}) {
        Decoder d;
        if (exact) d.Exact();
        DecodeError error = DecodeError::NONE;
        EXPECT_EQ(d.Run(h.method, h.stored, h.size, nullptr, &error), 1) << exact;
        EXPECT_EQ(error, DecodeError::CORRUPT) << exact;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DecoderRejects, ::testing::ValuesIn(HostileStreams()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Adler32, AgreesWithZlibOverAnyLengthAndSplit)
{
    // All 0xFF drives the sums highest between reductions.
    for (Fill fill : {Fill::RANDOM, Fill::TEXT}) {
        for (size_t size : {0u, 1u, 15u, 16u, 17u, 4095u, 4096u, 4097u, 5552u, 5553u, 70001u}) {
            std::vector<uint8_t> data = MakeData(size, fill);
            for (int ones = 0; ones < 2; ++ones) {
                if (ones) std::fill(data.begin(), data.end(), 0xFF);
                const uint32_t want = static_cast<uint32_t>(adler32(1, data.data(), static_cast<uInt>(size)));
                EXPECT_EQ(Adler32(1, data.data(), size), want) << size << " " << ones;
                const size_t split = size / 3 + 1; // pieces that start off a 16-byte boundary
                if (split > size) continue;
                EXPECT_EQ(Adler32(Adler32(1, data.data(), split), data.data() + split, size - split), want)
                    << size << " " << ones;
            }
        }
    }
}

// The check at a stream's end may lie in two chunks of input (here 2 bytes
// in the first chunk of B and 2 in the next).
TEST(Decoder, ChecksTheStreamAcrossChunksOfInput)
{
    const auto data = MakeData(B - 9, Fill::RANDOM);
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> stored(n);
    compress2(stored.data(), &n, data.data(), static_cast<uLong>(data.size()), 0);
    stored.resize(n);
    ASSERT_EQ(stored.size(), B + 2u); // header 2, one stored block 5 + B - 9, check 4
    const size_t sound = SIZE_MAX;
    for (size_t flip : {sound, stored.size() - 4, stored.size() - 1}) {
        std::vector<uint8_t> s = stored;
        if (flip != sound) s[flip] ^= 1;
        Decoder d;
        std::vector<uint8_t> out;
        DecodeError error = DecodeError::NONE;
        EXPECT_EQ(d.Run(2, s, data.size(), &out, &error), flip == sound ? 0 : 1) << flip;
        EXPECT_EQ(error, flip == sound ? DecodeError::NONE : DecodeError::CORRUPT) << flip;
        if (flip == sound) {
            EXPECT_EQ(out, data);
        }
    }
}

// Sound streams whose recorded size is not what they hold (a builder whose
// source shrank or grew while it read): a reader gets every byte the stream
// holds; only the builder's own verify, which knows the size, refuses them.
TEST(Decoder, StreamsLongerOrShorterThanTheirSizeGiveWhatTheyHold)
{
    const auto text = MakeData(600, Fill::TEXT);
    const auto zeros = MakeData(5 * B, Fill::ZERO);
    std::vector<uint8_t> lz4;
    PutRecord(lz4, Lz4Block(text));
    PutRecord(lz4, Lz4Block(text));
    PutLength(lz4, 0);
    std::vector<uint8_t> twice = text;
    twice.insert(twice.end(), text.begin(), text.end());
    struct Case {
        const char* m_pWhat;
        uint8_t m_nMethod;
        std::vector<uint8_t> m_stored;
        uint64_t m_nSize;
        std::vector<uint8_t> m_expected;
    } cases[] = {
        {"lz4 longer", 1, lz4, 700, twice},
        {"lz4 shorter", 1, lz4, 5000, twice},
        {"lz4 with a size of 1", 1, lz4, 1, twice},
        {"deflate longer", 2, Zlib(zeros), 5 * B - 1, zeros},
        {"deflate shorter", 2, Zlib(text), 601, text},
        {"stored shorter", 0, std::vector<uint8_t>(10, 1), 11, std::vector<uint8_t>(10, 1)},
    };
    for (const Case& c : cases) {
        Decoder d;
        std::vector<uint8_t> out;
        DecodeError error = DecodeError::CORRUPT;
        EXPECT_EQ(d.Run(c.m_nMethod, c.m_stored, c.m_nSize, &out, &error), 0) << c.m_pWhat;
        EXPECT_EQ(error, DecodeError::NONE) << c.m_pWhat;
        EXPECT_EQ(out, c.m_expected) << c.m_pWhat;

        EXPECT_EQ(d.Exact().Run(c.m_nMethod, c.m_stored, c.m_nSize, nullptr, &error), 1) << c.m_pWhat;
        EXPECT_EQ(error, DecodeError::CORRUPT) << c.m_pWhat;
    }
}

TEST(Decoder, AcceptsWellFormedStreamsFromAnyEncoder)
{
    const auto text = MakeData(600, Fill::TEXT);
    Decoder d;
    std::vector<uint8_t> out;
    DecodeError error;

    std::vector<uint8_t> lz4;
    PutRecord(lz4, Lz4Block(text));
    PutRecord(lz4, Lz4Block(text));
    PutLength(lz4, 0);
    ASSERT_EQ(d.Run(1, lz4, 1200, &out, &error), 0);
    std::vector<uint8_t> twice = text;
    twice.insert(twice.end(), text.begin(), text.end());
    EXPECT_EQ(out, twice);

    ASSERT_EQ(d.Run(2, Zlib(text), 600, &out, &error), 0);
    EXPECT_EQ(out, text);

    // Any length of 0 or less ends the records; what follows is not decoded.
    for (int32_t end : {-1, -5, INT32_MIN}) {
        std::vector<uint8_t> ended;
        PutRecord(ended, Lz4Block(text));
        PutLength(ended, end);
        ended.insert(ended.end(), 40, 0xFF);
        ASSERT_EQ(d.Run(1, ended, 600, &out, &error), 0) << end;
        EXPECT_EQ(out, text);
        ASSERT_EQ(Decoder().Exact().Run(1, ended, 600, &out, &error), 0) << end;
    }

    // Stored: only the uncompressed size counts.
    std::vector<uint8_t> stored = text;
    stored.resize(700, 0xAA);
    ASSERT_EQ(d.Run(0, stored, 600, &out, &error), 0);
    EXPECT_EQ(out, text);
}

TEST(Decoder, PlainLz4EntryThatFitsIsReadAtOnce)
{
    const auto text = MakeData(600, Fill::TEXT);
    const auto random = MakeData(B, Fill::RANDOM);
    struct Case {
        std::vector<std::vector<uint8_t>> blocks;
        uint32_t reads;
    } cases[] = {
        {{text}, 1},
        {{text, text}, 1},
        // Incompressible blocks fill the buffer: each record is read as it
        // is needed (its length, then its block) until the rest fits.
        {{random, random, random}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocks.size());
        std::vector<uint8_t> stored, plain;
        for (const auto& block : c.blocks) {
            PutRecord(stored, Lz4Block(block));
            plain.insert(plain.end(), block.begin(), block.end());
        }
        PutLength(stored, 0);
        Decoder d;
        DecodeBuffers b{d.out.data(), d.in.data(), static_cast<uint32_t>(d.in.size())};
        DecodeEntryInfo info{1, plain.size(), stored.size()};
        MemoryStoredBytes src(stored);
        CollectSink sink;
        DecodeError error;
        ASSERT_EQ(DecodeEntry(d.params, b, info, src, sink, &error), 0);
        EXPECT_EQ(sink.m_data, plain);
        EXPECT_EQ(src.m_nReads, c.reads);
    }
}

TEST(Decoder, EncryptedStreamsMustBeWholeBlocks)
{
    Decoder d(test::PasswordCipher());
    DecodeError error;
    std::vector<uint8_t> s(33, 0);
    EXPECT_EQ(d.Run(1, s, 10, nullptr, &error), 1);
    EXPECT_EQ(error, DecodeError::CORRUPT);
    EXPECT_EQ(d.Run(2, s, 10, nullptr, &error), 1);
    EXPECT_EQ(error, DecodeError::CORRUPT);
}

TEST(Decoder, EncryptedStoredEntryKeepsTheUncompressedSize)
{
    const auto text = MakeData(37, Fill::TEXT);
    std::vector<uint8_t> stored = text;
    stored.resize(48, 0);
    EncryptBlocks(stored.data(), 48);
    Decoder d(test::PasswordCipher());
    std::vector<uint8_t> out;
    DecodeError error;
    ASSERT_EQ(d.Run(0, stored, 37, &out, &error), 0);
    EXPECT_EQ(out, text);

    // A stored size that is not whole blocks is padded in the buffer, never
    // decrypted beyond it.
    stored.resize(40);
    ASSERT_EQ(d.Run(0, stored, 37, &out, &error), 0);
    EXPECT_TRUE(std::equal(text.begin(), text.begin() + 32, out.begin()));
}

// One Deflate decoder for a run of entries: whatever the entry before left
// (its window, unread input, a damaged stream's state), the next decodes as
// a fresh decoder would.
TEST(Decoder, KeptInflateStateStartsEveryEntryAfresh)
{
    const auto text = MakeData(3 * B + 5, Fill::TEXT);
    const auto zeros = MakeData(700, Fill::ZERO);
    std::vector<uint8_t> truncated = Zlib(text);
    truncated.resize(truncated.size() / 2);
    std::vector<uint8_t> badHeader = Zlib(text);
    badHeader[0] = 0x79;
    const std::vector<uint8_t> reachingBack = ZlibReachingBack(text, text);
    {
        Decoder fresh;
        ASSERT_EQ(fresh.Run(2, reachingBack, text.size(), nullptr, nullptr), 1)
            << "the stream is not refused";
    }
    struct Step {
        const std::vector<uint8_t> m_stored;
        const std::vector<uint8_t>* m_pExpected; // null: refused as damaged
    } steps[] = {
        {Zlib(text), &text},   {Zlib(text), &text},  {reachingBack, nullptr}, {truncated, nullptr},
        {Zlib(zeros), &zeros}, {badHeader, nullptr}, {Zlib(text), &text},
    };
    InflateState kept;
    Decoder d;
    d.inflate = &kept;
    int i = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(i++);
        std::vector<uint8_t> out;
        DecodeError error = DecodeError::NONE;
        const uint64_t size = step.m_pExpected ? step.m_pExpected->size() : text.size();
        if (step.m_pExpected) {
            ASSERT_EQ(d.Run(2, step.m_stored, size, &out, &error), 0);
            EXPECT_EQ(out, *step.m_pExpected);
        } else {
            EXPECT_EQ(d.Run(2, step.m_stored, size, &out, &error), 1);
            EXPECT_EQ(error, DecodeError::CORRUPT);
        }
    }
}

// Damaged copies of real streams: whatever the damage, the decoder answers
// with success or failure and stays inside its buffers (the sanitizers watch).
TEST(Decoder, SurvivesRandomDamage)
{
    std::mt19937 rng(7);
    for (uint8_t method : {1, 2}) {
        for (bool pw : {false, true}) {
            test::StreamHarness h(B);
            if (pw) h.ctx.m_pCipher = test::PasswordCipher();
            auto data = MakeData(6 * B + 77, Fill::TEXT);
            h.SetSource(data);
            PipelineEntry e = h.NewEntry(data.size());
            ASSERT_EQ(h.Encode(method, e), 0);
            const std::vector<uint8_t> good = h.StoredBytes(e);
            Decoder d(pw ? test::PasswordCipher() : nullptr);
            int failures = 0;
            for (int round = 0; round < 300; ++round) {
                std::vector<uint8_t> bad = good;
                const int flips = 1 + static_cast<int>(rng() % 4);
                for (int i = 0; i < flips; ++i)
                    bad[rng() % bad.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
                if (round % 5 == 0) bad.resize(rng() % bad.size());
                std::vector<uint8_t> out;
                DecodeError error;
                if (d.Run(method, bad, data.size(), &out, &error) != 0) {
                    ++failures;
                } else if (method == 2) {
                    EXPECT_EQ(out, data); // the Adler-32 trailer catches the rest
                }
            }
            EXPECT_GT(failures, 200) << int(method) << pw;
        }
    }
}

} // namespace
} // namespace zk
