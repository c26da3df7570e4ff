#include <gtest/gtest.h>

#include <string>

#include "core/block_size.h"
#include "core/byte_io.h"
#include "core/tests/portable/pipeline_harness.h"

namespace zk {
namespace {

using test::Fill;
using test::MakeData;
using test::StreamHarness;

// Small blocks keep the tables fast; LZ4's 64 KiB window is then larger than
// a block, which exercises the two-half dictionary hand-over.
constexpr uint32_t B = 4096;

struct RoundTrip {
    uint8_t method; // 1 LZ4, 2 Deflate
    CompressLevel level;
    bool password;
    uint64_t volumeSize;
    size_t size;
    Fill fill;
};

std::string Name(const RoundTrip& r)
{
    std::string s = r.method == 1 ? "Lz4" : "Deflate";
    s += r.level == CompressLevel::HIGH ? "High" : "Std";
    s += r.password ? "_Pw" : "_Plain";
    s += r.volumeSize ? "_Split" : "_One";
    s += '_';
    s += std::to_string(r.size);
    s += r.fill == Fill::RANDOM ? "_Random" : r.fill == Fill::TEXT ? "_Text" : "_Zero";
    return s;
}

std::vector<RoundTrip> RoundTrips()
{
    std::vector<RoundTrip> out;
    const size_t sizes[] = {0, 1, 15, 16, 17, B, B + 1, 5 * B + 123};
    for (uint8_t method : {1, 2})
        for (CompressLevel level : {CompressLevel::STANDARD, CompressLevel::HIGH})
            for (bool pw : {false, true})
                for (uint64_t vol : {uint64_t{0}, uint64_t{1500}})
                    for (size_t size : sizes)
                        for (Fill fill : {Fill::TEXT, Fill::RANDOM}) {
                            if (size < 16 && fill == Fill::TEXT) continue;
                            out.push_back({method, level, pw, vol, size, fill});
                        }
    return out;
}

class PipelineRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(PipelineRoundTrip, EncodesVerifiesAndDecodes)
{
    const RoundTrip& c = GetParam();
    StreamHarness h(B, c.volumeSize, 700);
    h.ctx.m_nLevel = c.level;
    if (c.password) h.ctx.m_pCipher = test::PasswordCipher();
    test::RecordingHash hash;
    h.ctx.m_pHash = &hash;

    // A first entry puts the second one at an odd place in the stream.
    auto first = MakeData(333, Fill::RANDOM, 9);
    h.SetSource(first);
    auto firstSource = std::move(h.source);
    PipelineEntry e1 = h.NewEntry(first.size());
    ASSERT_EQ(h.Encode(c.method, e1), 0);

    auto data = MakeData(c.size, c.fill);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(HashBegin(h.ctx), 0);
    ASSERT_EQ(h.Encode(c.method, e), 0);
    EXPECT_EQ(hash.m_data, data) << "every source byte is hashed once, in order";
    EXPECT_EQ(h.writer.m_nStreamBytes, e1.m_nStoredSize + e.m_nStoredSize);
    if (c.password) {
        EXPECT_EQ(e.m_nStoredSize % 16, 0u);
    }
    if (c.fill == Fill::TEXT && c.size >= 4 * B) {
        EXPECT_LT(e.m_nStoredSize, c.size / 2);
    }

    h.ctx.m_pSource = firstSource.get();
    EXPECT_EQ(h.Verify(c.method, e1), 0);
    h.ctx.m_pSource = h.source.get();
    EXPECT_EQ(h.Verify(c.method, e), 0)
        << std::string(h.ctx.m_failure.m_strMessage.begin(), h.ctx.m_failure.m_strMessage.end());
    EXPECT_EQ(h.ctx.m_nVerifyCounter, first.size() + data.size());
    EXPECT_EQ(h.ctx.m_nReadCounter, first.size() + data.size());

    std::vector<uint8_t> decoded;
    ASSERT_EQ(h.Decode(c.method, e, decoded), 0);
    EXPECT_EQ(decoded, data);

    if (c.volumeSize) {
        // Every volume but the last is exactly S bytes.
        for (uint32_t k = 0; k < h.writer.m_nVolumeIndex; ++k)
            EXPECT_EQ(h.files.File(VolumeName(u"pack.exe", k))->size(), c.volumeSize) << k;
    }

    // Reading ahead on a second thread stores the same bytes and hashes the
    // same data.
    StreamHarness p(B, c.volumeSize, 700);
    p.UseReadAhead();
    p.ctx.m_nLevel = c.level;
    p.ctx.m_pCipher = h.ctx.m_pCipher;
    test::RecordingHash parallelHash;
    p.ctx.m_pHash = &parallelHash;
    p.SetSource(first);
    PipelineEntry p1 = p.NewEntry(first.size());
    ASSERT_EQ(p.Encode(c.method, p1), 0);
    p.SetSource(data);
    PipelineEntry pe = p.NewEntry(data.size());
    ASSERT_EQ(HashBegin(p.ctx), 0);
    ASSERT_EQ(p.Encode(c.method, pe), 0);
    EXPECT_EQ(parallelHash.m_data, data);
    EXPECT_EQ(pe.m_nStoredSize, e.m_nStoredSize);
    EXPECT_EQ(p.StoredBytes(pe), h.StoredBytes(e));
    EXPECT_EQ(p.ctx.m_nReadCounter, first.size() + data.size());
    EXPECT_EQ(p.Verify(c.method, pe), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PipelineRoundTrip, ::testing::ValuesIn(RoundTrips()),
                         [](const auto& info) { return Name(info.param); });

// Decrypts a stored LZ4 stream with the toy cipher and splits it into records.
std::vector<int32_t> RecordLengths(std::vector<uint8_t> stored, bool password)
{
    if (password) DecryptBlocks(stored.data(), static_cast<int32_t>(stored.size()));
    std::vector<int32_t> lengths;
    size_t pos = 0;
    while (pos + 4 <= stored.size()) {
        const int32_t len = LoadI32(&stored[pos]);
        lengths.push_back(len);
        pos += 4;
        if (len <= 0) break;
        pos += static_cast<size_t>(len);
    }
    return lengths;
}

TEST(Lz4Stream, FileOfExactlyOneBlockGivesTwoRecords)
{
    StreamHarness h(B);
    auto data = MakeData(B, Fill::TEXT);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(B);
    ASSERT_EQ(Lz4EncodeEntry(h.ctx, e), 0);
    auto lengths = RecordLengths(h.StoredBytes(e), false);
    ASSERT_EQ(lengths.size(), 2u);
    EXPECT_GT(lengths[0], 0);
    EXPECT_EQ(lengths[1], 0);
    EXPECT_EQ(e.m_nStoredSize, 4u + static_cast<uint32_t>(lengths[0]) + 4u);
}

TEST(Lz4Stream, EncryptedStreamIsPaddedOnlyAtItsEnd)
{
    for (size_t size : {size_t{1}, size_t{100}, size_t{3 * B + 7}}) {
        StreamHarness h(B);
        h.ctx.m_pCipher = test::PasswordCipher();
        auto data = MakeData(size, Fill::RANDOM, static_cast<uint32_t>(size));
        h.SetSource(data);
        PipelineEntry e = h.NewEntry(size);
        ASSERT_EQ(Lz4EncodeEntry(h.ctx, e), 0);
        auto lengths = RecordLengths(h.StoredBytes(e), true);
        ASSERT_FALSE(lengths.empty());
        EXPECT_EQ(lengths.back(), 0);
        size_t plain = 0;
        for (int32_t len : lengths)
            plain += 4 + static_cast<size_t>(len);
        EXPECT_EQ(e.m_nStoredSize, (plain + 15) / 16 * 16) << size;
    }
}

TEST(Lz4Stream, IncompressibleRecordsStayWithinTheBound)
{
    StreamHarness h(B);
    auto data = MakeData(3 * B, Fill::RANDOM);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(Lz4EncodeEntry(h.ctx, e), 0);
    auto lengths = RecordLengths(h.StoredBytes(e), false);
    ASSERT_EQ(lengths.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(lengths[i], static_cast<int32_t>(B));
        EXPECT_LE(lengths[i], static_cast<int32_t>(Lz4OutputBound(B)));
    }
}

TEST(DeflateStream, OneByteWithPasswordIsOneBlock)
{
    StreamHarness h(B);
    h.ctx.m_pCipher = test::PasswordCipher();
    std::vector<uint8_t> data{0x42};
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(1);
    ASSERT_EQ(DeflateEncodeEntry(h.ctx, e), 0);
    EXPECT_EQ(e.m_nStoredSize, 16u);
    auto stored = h.StoredBytes(e);
    DecryptBlocks(stored.data(), 16);
    EXPECT_EQ(stored[0], 0x78); // zlib header: deflate, 32 KiB window
    EXPECT_EQ((stored[0] * 256 + stored[1]) % 31, 0);
}

TEST(DeflateStream, OnlyTheLastChunkIsShorterThanABlock)
{
    StreamHarness h(B, 0, 0);
    h.ctx.m_pCipher = test::PasswordCipher();
    auto data = MakeData(6 * B, Fill::RANDOM);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(DeflateEncodeEntry(h.ctx, e), 0);
    // Random data does not shrink: several whole chunks and a padded tail.
    EXPECT_GT(e.m_nStoredSize, 6u * B);
    EXPECT_EQ(e.m_nStoredSize % 16, 0u);
    EXPECT_EQ(DeflateVerifyEntry(h.ctx, e), 0);
}

// A file of less than a block is read once, up to where its listing says it
// ends, and its stored bytes go out in one write per compressed part (the
// header and the tail with them); reads cut into pieces
// still find the end, and a file that grew or shrank still fails.
TEST(Pipeline, SmallFileIsReadAndWrittenOnceAndStillChecked)
{
    struct Case {
        size_t size;
        int64_t recorded; // recorded size less the real one
        uint32_t chunk;   // most a read returns
        uint32_t reads;   // source reads; 0 when the entry fails
    } cases[] = {
        {1, 0, UINT32_MAX, 1}, {1000, 0, UINT32_MAX, 1},  {B - 1, 0, UINT32_MAX, 1},
        {1000, 0, 7, 143},     {1000, -1, UINT32_MAX, 0}, {1000, 1, UINT32_MAX, 0},
        {1000, -1, 7, 0},      {1000, 1, 7, 0},           {1000, -7, 7, 0},
    };
    for (uint8_t method : {1, 2})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << int{method} << " " << c.size << " " << c.recorded << " " << c.chunk);
            StreamHarness h(B);
            auto data = MakeData(c.size, Fill::TEXT, static_cast<uint32_t>(c.size));
            h.SetSource(data);
            h.source->LimitReadChunk(c.chunk);
            PipelineEntry e = h.NewEntry(static_cast<uint64_t>(static_cast<int64_t>(c.size) + c.recorded));
            const uint32_t writes = h.volume0->WriteCount();
            if (c.reads == 0) {
                EXPECT_EQ(h.Encode(method, e), 1);
                EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_SOURCE_SIZE_CHANGED);
                continue;
            }
            ASSERT_EQ(h.Encode(method, e), 0);
            EXPECT_EQ(h.source->ReadCount(), c.reads);
            // Deflate writes each quarter of a block's input as it is compressed.
            const size_t parts = method == 1 ? 1 : (c.size + B / 4 - 1) / (B / 4);
            EXPECT_EQ(h.volume0->WriteCount() - writes, parts);
            std::vector<uint8_t> back;
            ASSERT_EQ(h.Decode(method, e, back), 0);
            EXPECT_EQ(back, data);
        }
}

TEST(Pipeline, EncodersWriteAcrossOneMibVolumesWithIncompressibleData)
{
    // Real block size: records of about B + B/255 are larger than what is left
    // of a volume plus a whole one.
    const uint32_t big = 1048576;
    StreamHarness h(big, big, big - 100);
    auto data = MakeData(3 * big + 5, Fill::RANDOM);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(Lz4EncodeEntry(h.ctx, e), 0);
    for (uint32_t k = 0; k < h.writer.m_nVolumeIndex; ++k)
        EXPECT_EQ(h.files.File(VolumeName(u"pack.exe", k))->size(), big) << k;
    EXPECT_EQ(Lz4VerifyEntry(h.ctx, e), 0);
    std::vector<uint8_t> decoded;
    ASSERT_EQ(h.Decode(1, e, decoded), 0);
    EXPECT_EQ(decoded, data);
}

struct FaultCase {
    const char* name;
    uint8_t method;
    bool password;
    bool readAhead = false;
};

// A harness for one fault case: cipher and read-ahead as the case says.
void Prepare(StreamHarness& h, const FaultCase& c)
{
    if (c.password) h.ctx.m_pCipher = test::PasswordCipher();
    if (c.readAhead) h.UseReadAhead();
}

class PipelineFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PipelineFaults, SourceReadFailureMidFileFailsTheEntry)
{
    const FaultCase& c = GetParam();
    StreamHarness h(B);
    Prepare(h, c);
    auto data = MakeData(4 * B, Fill::TEXT);
    h.SetSource(data);
    h.source->FailReadsAfter(2 * B + 10);
    PipelineEntry e = h.NewEntry(data.size());
    EXPECT_EQ(h.Encode(c.method, e), 1);
    EXPECT_EQ(h.ctx.m_failure.m_strPath, u"C:\\src\\file.bin");
    EXPECT_EQ(h.ctx.m_failure.m_strMessage, u"read failed");
}

TEST_P(PipelineFaults, SourceOfAnotherSizeThanExpectedFailsTheEntry)
{
    const FaultCase& c = GetParam();
    for (int64_t delta : {int64_t{-1}, int64_t{1}, -int64_t{B}, int64_t{B}}) {
        StreamHarness h(B);
        Prepare(h, c);
        auto data = MakeData(3 * B, Fill::TEXT);
        h.SetSource(data);
        PipelineEntry e = h.NewEntry(static_cast<uint64_t>(3 * B + delta));
        EXPECT_EQ(h.Encode(c.method, e), 1) << delta;
        EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_SOURCE_SIZE_CHANGED);
    }
}

// An entry said to have its one job ahead, when the oldest job in flight is
// of another size or there is none, fails with a text of its own, writes
// nothing and leaves no job in flight.
TEST_P(PipelineFaults, AJobAheadNotTheEntrysFailsWithoutWriting)
{
    const FaultCase& c = GetParam();
    const auto data = MakeData(100, Fill::TEXT);
    for (uint32_t jobSize : {0u, 99u}) { // 0: no job in flight
        StreamHarness h(B);
        Prepare(h, c);
        h.SetSource(data);
        BlockEncoders& encoders = h.buffers->Encoders();
        if (jobSize > 0) {
            BlockJob* job = encoders.NextFree();
            FillEncodeJob(*job, c.method, false, data.data(), jobSize, true);
            encoders.Submit(job, false);
        }
        h.ctx.m_bJobAhead = true;
        PipelineEntry e = h.NewEntry(data.size());
        EXPECT_EQ(h.Encode(c.method, e), 1) << jobSize;
        EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_INTERNAL_FAILURE) << jobSize;
        EXPECT_EQ(e.m_nStoredSize, 0u) << jobSize;
        EXPECT_EQ(encoders.InFlight(), 0u) << jobSize;
    }
}

// The codec state is kept from entry to entry of a build: an entry that
// failed half-way, and a change of level, must leave nothing behind that the
// next entry would carry into its stored data.
TEST_P(PipelineFaults, EntryAfterAFailedOneAndAnotherLevelStillRoundTrips)
{
    const FaultCase& c = GetParam();
    StreamHarness h(B);
    Prepare(h, c);
    auto broken = MakeData(4 * B, Fill::TEXT, 5);
    h.SetSource(broken);
    h.source->FailReadsAfter(2 * B + 10);
    PipelineEntry failed = h.NewEntry(broken.size());
    ASSERT_EQ(h.Encode(c.method, failed), 1);

    for (CompressLevel level : {CompressLevel::STANDARD, CompressLevel::HIGH, CompressLevel::STANDARD}) {
        h.ctx.m_nLevel = level;
        h.ctx.m_failure = FailureInfo{};
        auto data = MakeData(3 * B + 77, Fill::RANDOM, static_cast<uint32_t>(level) + 9);
        h.SetSource(data);
        PipelineEntry e = h.NewEntry(data.size());
        ASSERT_EQ(h.Encode(c.method, e), 0);
        h.SetSource(data);
        EXPECT_EQ(h.Verify(c.method, e), 0);
        std::vector<uint8_t> decoded;
        ASSERT_EQ(h.Decode(c.method, e, decoded), 0);
        EXPECT_EQ(decoded, data);
    }
}

TEST_P(PipelineFaults, VerifyCatchesAFlippedByteInTheStoredData)
{
    const FaultCase& c = GetParam();
    const size_t size = 5 * B;
    // Flip a byte near the start, in the middle and near the end.
    for (int where = 0; where < 3; ++where) {
        StreamHarness h(B, 3000, 100);
        Prepare(h, c);
        auto data = MakeData(size, Fill::TEXT);
        h.SetSource(data);
        PipelineEntry e = h.NewEntry(size);
        ASSERT_EQ(h.Encode(c.method, e), 0);
        uint64_t virt = 100 + e.m_nDataOffset +
                        (where == 0   ? 6
                         : where == 1 ? e.m_nStoredSize / 2
                                      : e.m_nStoredSize - 20);
        auto file = h.files.File(VolumeName(u"pack.exe", static_cast<uint32_t>(virt / 3000)));
        (*file)[virt % 3000] ^= 0x20;
        EXPECT_EQ(h.Verify(c.method, e), 1) << where;
    }
}

TEST_P(PipelineFaults, VerifyCatchesAChangedSource)
{
    const FaultCase& c = GetParam();
    StreamHarness h(B);
    Prepare(h, c);
    auto data = MakeData(3 * B + 50, Fill::TEXT);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(h.Encode(c.method, e), 0);
    (*h.sourceData)[2 * B + 7] ^= 1;
    EXPECT_EQ(h.Verify(c.method, e), 1);
    EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_VERIFY_MISMATCH);

    (*h.sourceData)[2 * B + 7] ^= 1;
    h.sourceData->push_back(0); // grew after it was stored
    EXPECT_EQ(h.Verify(c.method, e), 1);
    EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_VERIFY_MISMATCH);

    h.sourceData->resize(2 * B); // shrank
    h.ctx.m_failure = FailureInfo{};
    EXPECT_EQ(h.Verify(c.method, e), 1);
    EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_VERIFY_MISMATCH);

    data.resize(3 * B);
    h.sourceData->assign(data.begin(), data.end()); // shrank to a whole number of blocks
    h.ctx.m_failure = FailureInfo{};
    EXPECT_EQ(h.Verify(c.method, e), 1);
    EXPECT_EQ(h.ctx.m_failure.m_strMessage, TEXT_VERIFY_MISMATCH);
}

TEST_P(PipelineFaults, MissingVolumeFailsVerifyWithItsName)
{
    const FaultCase& c = GetParam();
    StreamHarness h(B, 2000, 100);
    Prepare(h, c);
    auto data = MakeData(3 * B, Fill::RANDOM);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(h.Encode(c.method, e), 0);
    h.files.Remove(u"pack.exe.3");
    EXPECT_EQ(h.Verify(c.method, e), 1);
    EXPECT_EQ(h.ctx.m_failure.m_strPath, u"pack.exe.3");
}

TEST_P(PipelineFaults, CancelStopsBeforeFurtherOutput)
{
    const FaultCase& c = GetParam();
    StreamHarness h(B);
    Prepare(h, c);
    CancelFlag cancel{0};
    h.ctx.m_pCancel = &cancel;
    struct CancelAfterFirstRead : IPipelineProgress {
        CancelFlag& flag;
        explicit CancelAfterFirstRead(CancelFlag& f) : flag(f) {}
        void OnRead(uint64_t) override { flag = 2; }
        void OnVerify(uint64_t) override {}
    } progress(cancel);
    h.ctx.m_pProgress = &progress;
    auto data = MakeData(8 * B, Fill::RANDOM);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    EXPECT_EQ(h.Encode(c.method, e), 1);
    EXPECT_EQ(e.m_nStoredSize, 0u);
    EXPECT_EQ(h.writer.m_nStreamBytes, 0u);
}

TEST(PipelineKey, EncryptedEntryDoesNotVerifyUnderAnotherKey)
{
    for (uint8_t method : {1, 2}) {
        StreamHarness h(B);
        h.ctx.m_pCipher = test::PasswordCipher();
        auto data = MakeData(2 * B + 5, Fill::TEXT);
        h.SetSource(data);
        PipelineEntry e = h.NewEntry(data.size());
        ASSERT_EQ(h.Encode(method, e), 0);
        SetArchiveKeyBytes("another-password");
        EXPECT_EQ(h.Verify(method, e), 1);
        h.ctx.m_pCipher = test::PasswordCipher();
        EXPECT_EQ(h.Verify(method, e), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, PipelineFaults,
                         ::testing::Values(FaultCase{"Lz4", 1, false}, FaultCase{"Lz4Pw", 1, true},
                                           FaultCase{"Deflate", 2, false}, FaultCase{"DeflatePw", 2, true},
                                           FaultCase{"Lz4Ahead", 1, false, true},
                                           FaultCase{"DeflatePwAhead", 2, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zk
