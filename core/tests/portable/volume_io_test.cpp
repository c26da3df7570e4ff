#include <gtest/gtest.h>

#include <vector>

#include "core/archive_format.h"
#include "core/memory_files.h"
#include "core/volume_io.h"

namespace zk {
namespace {

constexpr uint64_t MiB = 1048576;

uint32_t StartVolumeOf(uint64_t dataOffset, uint64_t entryOffset, uint64_t volumeSize)
{
    uint8_t v = 0;
    EXPECT_TRUE(StartVolume(dataOffset, entryOffset, volumeSize, &v));
    return v;
}

struct Archive {
    MemoryVolumeFiles files;
    std::unique_ptr<MemoryFile> volume0;
    VolumeWriter writer;
    FailureInfo failure;

    Archive(uint64_t volumeSize, uint64_t headSize)
    {
        auto data = files.File(u"D:\\out\\pack.exe");
        data->assign(static_cast<size_t>(headSize), 0x11);
        volume0 = std::make_unique<MemoryFile>(data);
        volume0->SeekTo(headSize);
        VolumeSet set{&files, u"D:\\out\\pack.exe", volumeSize, headSize};
        writer.Start(set, volume0.get(), &failure);
    }
    size_t SizeOf(const std::u16string& name) { return files.Exists(name) ? files.File(name)->size() : 0; }

    // Writes a pattern in pieces; returns the bytes of the whole stream.
    std::vector<uint8_t> WritePieces(const std::vector<uint32_t>& pieces)
    {
        std::vector<uint8_t> all;
        for (uint32_t n : pieces) {
            std::vector<uint8_t> piece(n);
            for (uint32_t i = 0; i < n; ++i)
                piece[i] = static_cast<uint8_t>((all.size() + i) * 31 + 7);
            EXPECT_EQ(WriteStream(writer, piece.data(), n), 0);
            all.insert(all.end(), piece.begin(), piece.end());
        }
        return all;
    }
};

TEST(VolumeName, AppendsTheDecimalIndex)
{
    EXPECT_EQ(VolumeName(u"D:\\out\\pack.exe", 0), u"D:\\out\\pack.exe");
    EXPECT_EQ(VolumeName(u"D:\\out\\pack.exe", 1), u"D:\\out\\pack.exe.1");
    EXPECT_EQ(VolumeName(u"a.zka", 10), u"a.zka.10");
    EXPECT_EQ(VolumeName(u"a.zka", 4294967295u), u"a.zka.4294967295");
}

TEST(WriteStream, UnsplitArchiveKeepsEverythingInVolumeZero)
{
    Archive a(0, 50);
    auto all = a.WritePieces({1000, 70000, 3});
    EXPECT_EQ(a.files.Count(), 1u);
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), 50 + all.size());
    EXPECT_EQ(a.writer.m_nStreamBytes, all.size());
}

TEST(WriteStream, TwelveMibWithFiveMibVolumesGivesFiveFiveTwo)
{
    Archive a(5 * MiB, 300000); // the extractor program and head in front
    std::vector<uint32_t> pieces(12, static_cast<uint32_t>(MiB));
    pieces[0] -= 300000;
    auto all = a.WritePieces(pieces);
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), 5 * MiB);
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe.1"), 5 * MiB);
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe.2"), 2 * MiB);
    EXPECT_FALSE(a.files.Exists(u"D:\\out\\pack.exe.3"));
    EXPECT_EQ(a.writer.m_nVolumeIndex, 2u);

    // The concatenation of the volumes is the head followed by the stream.
    std::vector<uint8_t> joined = *a.files.File(u"D:\\out\\pack.exe");
    for (auto name : {u"D:\\out\\pack.exe.1", u"D:\\out\\pack.exe.2"}) {
        auto& v = *a.files.File(name);
        joined.insert(joined.end(), v.begin(), v.end());
    }
    ASSERT_EQ(joined.size(), 300000 + all.size());
    EXPECT_TRUE(std::equal(all.begin(), all.end(), joined.begin() + 300000));
}

TEST(WriteStream, WriteEndingAtTheLimitCreatesNoVolumeUntilTheNextWrite)
{
    Archive a(1000, 100);
    a.WritePieces({900});
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), 1000u);
    EXPECT_FALSE(a.files.Exists(u"D:\\out\\pack.exe.1"));
    a.WritePieces({1});
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe.1"), 1u);
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), 1000u);
}

TEST(WriteStream, HeadFillingVolumeZeroSendsTheFirstByteToVolumeOne)
{
    Archive a(1000, 1000); // D = S
    a.WritePieces({10});
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), 1000u);
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe.1"), 10u);
}

TEST(WriteStream, OneWriteLargerThanSeveralVolumesFillsEachExactly)
{
    // An incompressible LZ4 record is larger than a whole 1 MiB volume.
    Archive a(MiB, MiB - 10);
    const uint32_t record = static_cast<uint32_t>(MiB + MiB / 255 + 16 + 4);
    auto all = a.WritePieces({record, 3 * static_cast<uint32_t>(MiB)});
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), MiB);
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(a.SizeOf(VolumeName(u"D:\\out\\pack.exe", k)), MiB) << k;
    EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe.5"), MiB - 10 + all.size() - 5 * MiB);
    EXPECT_FALSE(a.files.Exists(u"D:\\out\\pack.exe.6"));
}

TEST(WriteStream, FailuresNameTheVolumeAndKeepWrittenFiles)
{
    {
        Archive a(1000, 100);
        a.files.RefuseCreate(u"D:\\out\\pack.exe.2");
        std::vector<uint8_t> big(2500, 1);
        EXPECT_EQ(WriteStream(a.writer, big.data(), 2500), 1);
        EXPECT_EQ(a.failure.m_strPath, u"D:\\out\\pack.exe.2");
        EXPECT_EQ(a.failure.m_strMessage, u"cannot create");
        EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe"), 1000u);
        EXPECT_EQ(a.SizeOf(u"D:\\out\\pack.exe.1"), 1000u);
    }
    {
        Archive a(1000, 100);
        a.files.LimitCreatedSize(400); // the disk fills up in volume 1
        std::vector<uint8_t> big(1500, 1);
        EXPECT_EQ(WriteStream(a.writer, big.data(), 1500), 1);
        EXPECT_EQ(a.failure.m_strPath, u"D:\\out\\pack.exe.1");
        EXPECT_EQ(a.failure.m_strMessage, u"disk full");
        EXPECT_TRUE(a.files.Exists(u"D:\\out\\pack.exe"));
    }
    {
        Archive a(0, 100);
        a.volume0->LimitSize(150);
        std::vector<uint8_t> big(100, 1);
        EXPECT_EQ(WriteStream(a.writer, big.data(), 100), 1);
        EXPECT_EQ(a.failure.m_strPath, u"D:\\out\\pack.exe");
    }
}

// ---- the buffered writer ------------------------------------------------

// The volumes joined: the head followed by the data stream.
std::vector<uint8_t> Joined(Archive& a)
{
    std::vector<uint8_t> joined;
    for (uint32_t k = 0; a.files.Exists(VolumeName(u"D:\\out\\pack.exe", k)); ++k) {
        const auto& v = *a.files.File(VolumeName(u"D:\\out\\pack.exe", k));
        joined.insert(joined.end(), v.begin(), v.end());
    }
    return joined;
}

struct BufferedCase {
    const char* name;
    uint64_t volumeSize;
    uint64_t head;
    size_t buffer;
    std::vector<uint32_t> pieces;
    uint32_t maxWrites; // to volume 0
};

// The same bytes in the same volumes as without a buffer, in fewer writes;
// the mark a reader behind follows never covers a byte still buffered.
TEST(BufferedWriteStream, WritesTheSameVolumesAndPublishesOnlyWrittenBytes)
{
    const std::vector<uint32_t> small(300, 100);
    for (const BufferedCase& c : {
             BufferedCase{"unsplit, small pieces", 0, 50, 4096, small, 8},
             BufferedCase{
                 "pieces crossing volume ends", 1000, 100, 256, {90, 700, 333, 1, 2500, 17, 980, 40}, 6},
             BufferedCase{"head fills volume zero", 1000, 1000, 256, {10, 20, 3000}, 0},
             BufferedCase{"pieces larger than the buffer", 0, 10, 256, {100, 256, 5000, 100}, 4},
         }) {
        SCOPED_TRACE(c.name);
        Archive a(c.volumeSize, c.head);
        WrittenMark written;
        a.writer.m_pWritten = &written;
        a.writer.UseBuffer(c.buffer);
        std::vector<uint8_t> all;
        for (uint32_t n : c.pieces) {
            const size_t at = all.size();
            for (uint32_t i = 0; i < n; ++i)
                all.push_back(static_cast<uint8_t>((at + i) * 31 + 7));
            ASSERT_EQ(WriteStream(a.writer, all.data() + at, n), 0);
            ASSERT_LE(written.Get() + c.head, Joined(a).size());
        }
        EXPECT_EQ(a.writer.m_nStreamBytes, all.size());
        EXPECT_LT(written.Get(), all.size()) << "the last pieces are still buffered";
        ASSERT_EQ(FlushStream(a.writer), 0);
        EXPECT_EQ(written.Get(), all.size());
        const std::vector<uint8_t> joined = Joined(a);
        ASSERT_EQ(joined.size(), c.head + all.size());
        EXPECT_TRUE(std::equal(all.begin(), all.end(), joined.begin() + static_cast<ptrdiff_t>(c.head)));
        for (uint32_t k = 0; k < a.writer.m_nVolumeIndex; ++k)
            EXPECT_EQ(a.SizeOf(VolumeName(u"D:\\out\\pack.exe", k)), c.volumeSize) << k;
        EXPECT_LE(a.volume0->WriteCount(), c.maxWrites);
    }
}

struct BufferedFailureCase {
    const char* name;
    uint64_t volumeSize;
    size_t buffer;
    uint64_t volume0Limit; // file size at which writes stop short
    uint64_t createdLimit; // the same for volumes 1 and later
    std::vector<uint32_t> pieces;
    size_t failingPiece; // pieces.size(): the final flush
    const char16_t* failingVolume;
};

// A write that fails when the buffer goes out fails the call that sent it
// out, naming the volume the buffered bytes belong to; none fails silently.
TEST(BufferedWriteStream, AFailedWriteFailsTheCallThatFlushesAndNamesItsVolume)
{
    for (const BufferedFailureCase& c : {
             BufferedFailureCase{
                 "final flush", 0, 4096, 600, UINT64_MAX, {200, 200, 200}, 3, u"D:\\out\\pack.exe"},
             BufferedFailureCase{
                 "buffer full", 0, 512, 800, UINT64_MAX, {300, 300, 300, 300}, 3, u"D:\\out\\pack.exe"},
             BufferedFailureCase{"full volume flushed before the next is created",
                                 1000,
                                 4096,
                                 UINT64_MAX,
                                 400,
                                 {900, 300, 300, 300, 300},
                                 4,
                                 u"D:\\out\\pack.exe.1"},
         }) {
        SCOPED_TRACE(c.name);
        Archive a(c.volumeSize, 100);
        a.volume0->LimitSize(c.volume0Limit);
        a.files.LimitCreatedSize(c.createdLimit);
        a.writer.UseBuffer(c.buffer);
        const std::vector<uint8_t> bytes(5000, 3);
        size_t failed = 0;
        while (failed < c.pieces.size() && WriteStream(a.writer, bytes.data(), c.pieces[failed]) == 0)
            ++failed;
        if (failed == c.pieces.size()) {
            EXPECT_EQ(FlushStream(a.writer), 1);
        }
        EXPECT_EQ(failed, c.failingPiece);
        EXPECT_EQ(a.failure.m_strPath, c.failingVolume);
        EXPECT_EQ(a.failure.m_strMessage, u"disk full");
        EXPECT_FALSE(a.files.Exists(VolumeName(u"D:\\out\\pack.exe", a.writer.m_nVolumeIndex + 1)));
    }
}

struct SpanCase {
    const char* name;
    uint64_t volumeSize;
    uint64_t head;
    uint32_t before; // stream bytes before the entry
    uint32_t size;   // the entry's stored size
    std::vector<uint32_t> reads;
    uint32_t tail = 0; // bytes appended to volume 0 afterwards, as a signature is
};

class ReadSpannedCases : public ::testing::TestWithParam<SpanCase> {};

TEST_P(ReadSpannedCases, ReadsBackWhatWasWritten)
{
    const SpanCase& c = GetParam();
    Archive a(c.volumeSize, c.head);
    auto all = a.WritePieces({c.before, c.size});
    a.files.File(u"D:\\out\\pack.exe")->resize(a.SizeOf(u"D:\\out\\pack.exe") + c.tail, 0xEE);
    const uint32_t start = StartVolumeOf(c.head, c.before, c.volumeSize);
    SpannedReader r(a.writer.m_set, start, c.before, c.size, &a.failure);
    std::vector<uint8_t> got;
    for (uint32_t n : c.reads) {
        std::vector<uint8_t> piece(n);
        ASSERT_EQ(ReadSpanned(r, piece.data(), n), 0) << c.name;
        got.insert(got.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(r.Remaining(), 0u);
    ASSERT_EQ(got.size(), c.size);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + c.before)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, ReadSpannedCases,
    ::testing::Values(SpanCase{"unsplit", 0, 100, 50, 5000, {1000, 4000}},
                      SpanCase{"inside one volume", 1000, 100, 50, 300, {300}},
                      SpanCase{"crosses one boundary", 1000, 100, 800, 400, {100, 300}},
                      SpanCase{"starts in the last byte", 1000, 100, 899, 10, {5, 5}},
                      SpanCase{"starts in a later volume", 1000, 100, 2500, 10, {10}},
                      SpanCase{"head fills volume zero", 1000, 1000, 0, 1500, {1500}},
                      SpanCase{"one read over several volumes", 1000, 100, 850, 3500, {3500}},
                      SpanCase{"ends exactly at a limit", 1000, 100, 400, 500, {250, 250}},
                      SpanCase{"signed first volume read at once", 1000, 100, 800, 400, {400}, 64},
                      SpanCase{"signed first volume read in pieces", 1000, 100, 700, 1500, {150, 1350}, 64},
                      SpanCase{"signed unsplit archive", 0, 100, 50, 500, {500}, 64}),
    [](const auto& info) {
        std::string s = info.param.name;
        for (char& ch : s)
            if (ch == ' ') ch = '_';
        return s;
    });

TEST(ReadSpanned, KeepsTheVolumeOpenBetweenCalls)
{
    Archive a(1000, 100);
    a.WritePieces({100, 500});
    SpannedReader r(a.writer.m_set, 0, 100, 500, &a.failure);
    uint8_t b[100];
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(ReadSpanned(r, b, 100), 0);
    EXPECT_EQ(a.files.OpenCount(), 1u);
}

// Forwards to volume files the test keeps, so that their open count can be
// read while a cache owns the forwarder.
class ForwardingFiles : public IVolumeFiles {
public:
    explicit ForwardingFiles(IVolumeFiles& files) : m_files(files) {}
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override
    {
        return m_files.CreateVolume(path);
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override { return m_files.OpenVolume(path); }
    std::u16string LastErrorText() const override { return m_files.LastErrorText(); }

private:
    IVolumeFiles& m_files;
};

TEST(CachedVolumeFiles, EntriesInARowShareTheOpenVolumeAndReadRight)
{
    Archive a(1000, 100);
    // Stream bytes 0..899 lie in volume 0, 900.. in volume 1 and 2.
    const std::vector<uint8_t> all = a.WritePieces({300, 300, 300, 600, 200, 900});
    CachedVolumeFiles cache(std::make_unique<ForwardingFiles>(a.files));
    VolumeSet set = a.writer.m_set;
    set.m_pFiles = &cache;
    auto readEntry = [&](uint32_t offset, uint32_t size) {
        SpannedReader r(set, StartVolumeOf(100, offset, 1000), offset, size, &a.failure);
        std::vector<uint8_t> got(size);
        if (ReadSpanned(r, got.data(), size) != 0) return false;
        return std::equal(got.begin(), got.end(), all.begin() + offset);
    };

    const uint32_t before = a.files.OpenCount();
    // Three entries in volume 0, then two in volume 1: one open each.
    EXPECT_TRUE(readEntry(0, 300));
    EXPECT_TRUE(readEntry(300, 300));
    EXPECT_TRUE(readEntry(600, 300));
    EXPECT_TRUE(readEntry(900, 600));
    EXPECT_TRUE(readEntry(1500, 200));
    EXPECT_EQ(a.files.OpenCount() - before, 2u);
    // Back to volume 0, and an entry across volumes 1 and 2 after reading
    // the end of volume 1: each volume starts where a fresh open would.
    EXPECT_TRUE(readEntry(0, 300));
    EXPECT_TRUE(readEntry(1500, 200));
    EXPECT_TRUE(readEntry(1700, 900));
    EXPECT_TRUE(readEntry(1700, 900));

    // A volume that fails to open is not kept: once it is back, it reads.
    const std::vector<uint8_t> volume1 = *a.files.File(u"D:\\out\\pack.exe.1");
    a.files.Remove(u"D:\\out\\pack.exe.1");
    cache.Release();
    EXPECT_FALSE(readEntry(900, 600));
    *a.files.File(u"D:\\out\\pack.exe.1") = volume1;
    EXPECT_TRUE(readEntry(900, 600));

    // Creating the kept volume again drops the kept one.
    ASSERT_TRUE(cache.CreateVolume(u"D:\\out\\pack.exe.1"));
    EXPECT_FALSE(readEntry(900, 600)); // the new file is empty
}

// Counts the moves and reads of the files it opens.
class SeekCountingFiles : public IVolumeFiles {
public:
    explicit SeekCountingFiles(IVolumeFiles& files) : m_files(files) {}
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override
    {
        return m_files.CreateVolume(path);
    }
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override
    {
        auto file = m_files.OpenVolume(path);
        return file ? std::make_unique<Counting>(std::move(file), m_nSeeks, m_nReads) : nullptr;
    }
    std::u16string LastErrorText() const override { return m_files.LastErrorText(); }
    uint32_t m_nSeeks = 0;
    uint32_t m_nReads = 0;

private:
    class Counting : public IByteFile {
    public:
        Counting(std::unique_ptr<IByteFile> file, uint32_t& seeks, uint32_t& reads)
            : m_pFile(std::move(file)), m_nSeeks(seeks), m_nReads(reads)
        {
        }
        int64_t Read(void* dst, uint32_t count) override
        {
            ++m_nReads;
            return m_pFile->Read(dst, count);
        }
        int64_t Write(const void* src, uint32_t count) override { return m_pFile->Write(src, count); }
        bool SeekTo(uint64_t pos) override
        {
            ++m_nSeeks;
            return m_pFile->SeekTo(pos);
        }
        std::u16string LastErrorText() const override { return m_pFile->LastErrorText(); }

    private:
        std::unique_ptr<IByteFile> m_pFile;
        uint32_t& m_nSeeks;
        uint32_t& m_nReads;
    };
    IVolumeFiles& m_files;
};

TEST(CachedVolumeFiles, MovesTheKeptVolumeOnlyWhereItIsNotAlready)
{
    Archive a(1000, 100);
    const std::vector<uint8_t> all = a.WritePieces({300, 300, 300, 600, 200, 900});
    SeekCountingFiles counting(a.files);
    CachedVolumeFiles cache(std::make_unique<ForwardingFiles>(counting));
    VolumeSet set = a.writer.m_set;
    set.m_pFiles = &cache;
    struct Step {
        uint32_t offset, size, seeks; // seeks the entry costs
    };
    const Step steps[] = {
        {0, 300, 1},    // the stream starts after the head
        {300, 300, 0},  // each next entry starts where the last one ended
        {600, 300, 0},  //
        {900, 600, 0},  // volume 1, freshly opened, is at its start already
        {1500, 200, 0}, //
        {1500, 200, 1}, // the same entry again
        {0, 300, 1},    // volume 0 reopened
        {1700, 900, 1}, // volume 1 reopened, then volume 2 from its start
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.offset);
        const uint32_t before = counting.m_nSeeks;
        SpannedReader r(set, StartVolumeOf(100, step.offset, 1000), step.offset, step.size, &a.failure);
        std::vector<uint8_t> got(step.size);
        ASSERT_EQ(ReadSpanned(r, got.data(), step.size), 0);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + step.offset));
        EXPECT_EQ(counting.m_nSeeks - before, step.seeks);
    }

    // A lent volume read without a move starts where a fresh open would.
    const std::unique_ptr<IByteFile> again = cache.OpenVolume(u"D:\\out\\pack.exe.2");
    ASSERT_TRUE(again);
    uint8_t first = 0;
    ASSERT_EQ(again->Read(&first, 1), 1);
    EXPECT_EQ(first, all[1900]); // volume 2 starts at stream byte 2000 - 100
}

TEST(CachedVolumeFiles, SmallEntriesInARowReadAheadAndLargeOnesGoStraight)
{
    Archive a(1000, 100);
    const std::vector<uint8_t> all = a.WritePieces({900, 900});
    SeekCountingFiles counting(a.files);
    CachedVolumeFiles cache(std::make_unique<ForwardingFiles>(counting), 256);
    VolumeSet set = a.writer.m_set;
    set.m_pFiles = &cache;
    struct Step {
        uint32_t offset, size, seeks, reads; // what the entry costs the kept file
    };
    const Step steps[] = {
        {0, 50, 1, 1},    // file bytes 100..355 read ahead
        {50, 50, 0, 0},   //
        {100, 200, 0, 1}, // 156 bytes from the buffer, then 356..611
        {0, 50, 1, 1},    // back before the buffer
        {400, 300, 1, 1}, // as large as the buffer: straight from the file
        {700, 100, 0, 1}, //
        {760, 40, 0, 0},  // still buffered
        {850, 100, 0, 1}, // 50 bytes, then on into volume 1
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.offset);
        const uint32_t seeks = counting.m_nSeeks, reads = counting.m_nReads;
        SpannedReader r(set, StartVolumeOf(100, step.offset, 1000), step.offset, step.size, &a.failure);
        std::vector<uint8_t> got(step.size);
        ASSERT_EQ(ReadSpanned(r, got.data(), step.size), 0);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + step.offset));
        EXPECT_EQ(counting.m_nSeeks - seeks, step.seeks);
        EXPECT_EQ(counting.m_nReads - reads, step.reads);
    }

    // Without read-ahead (the default, for a reader behind a writer) a read
    // gets what the file holds now; read ahead, what it held when read.
    for (uint32_t readAhead : {0u, 256u}) {
        SCOPED_TRACE(readAhead);
        Archive b(1000, 100);
        b.WritePieces({900});
        CachedVolumeFiles fresh(std::make_unique<ForwardingFiles>(b.files), readAhead);
        VolumeSet freshSet = b.writer.m_set;
        freshSet.m_pFiles = &fresh;
        uint8_t got[50];
        SpannedReader first(freshSet, 0, 0, 50, &b.failure);
        ASSERT_EQ(ReadSpanned(first, got, 50), 0);
        (*b.files.File(u"D:\\out\\pack.exe"))[100 + 60] ^= 0xFF; // stream byte 60
        SpannedReader second(freshSet, 0, 50, 50, &b.failure);
        ASSERT_EQ(ReadSpanned(second, got, 50), 0);
        EXPECT_EQ(got[10], (*b.files.File(u"D:\\out\\pack.exe"))[160] ^ (readAhead ? 0xFF : 0));
    }

    // A file lent before the cache let its volume go reads nothing more,
    // even once the same volume is open again.
    const std::unique_ptr<IByteFile> early = cache.OpenVolume(u"D:\\out\\pack.exe");
    cache.Release();
    ASSERT_TRUE(cache.OpenVolume(u"D:\\out\\pack.exe"));
    uint8_t byte = 0;
    EXPECT_EQ(early->Read(&byte, 1), -1);
    EXPECT_FALSE(early->SeekTo(0));
}

TEST(ReadSpanned, FailsCleanly)
{
    // A missing volume is named.
    {
        Archive a(1000, 100);
        a.WritePieces({800, 400});
        a.files.Remove(u"D:\\out\\pack.exe.1");
        SpannedReader r(a.writer.m_set, 0, 800, 400, &a.failure);
        std::vector<uint8_t> b(400);
        EXPECT_EQ(ReadSpanned(r, b.data(), 400), 1);
        EXPECT_EQ(a.failure.m_strPath, u"D:\\out\\pack.exe.1");
    }
    // A cut last volume: the next name does not exist.
    {
        Archive a(1000, 100);
        a.WritePieces({800, 400});
        a.files.File(u"D:\\out\\pack.exe.1")->resize(100);
        SpannedReader r(a.writer.m_set, 0, 800, 400, &a.failure);
        std::vector<uint8_t> b(400);
        EXPECT_EQ(ReadSpanned(r, b.data(), 400), 1);
        EXPECT_EQ(a.failure.m_strPath, u"D:\\out\\pack.exe.2");
    }
    // Unsplit and cut short.
    {
        Archive a(0, 100);
        a.WritePieces({10, 400});
        a.files.File(u"D:\\out\\pack.exe")->resize(300);
        SpannedReader r(a.writer.m_set, 0, 10, 400, &a.failure);
        std::vector<uint8_t> b(400);
        EXPECT_EQ(ReadSpanned(r, b.data(), 400), 1);
    }
    // More than the entry has.
    {
        Archive a(0, 100);
        a.WritePieces({10, 400});
        SpannedReader r(a.writer.m_set, 0, 10, 400, &a.failure);
        std::vector<uint8_t> b(401);
        EXPECT_EQ(ReadSpanned(r, b.data(), 401), 1);
    }
    // A start volume beyond the entry's first byte (a damaged record).
    {
        Archive a(1000, 100);
        a.WritePieces({10, 400});
        SpannedReader r(a.writer.m_set, 3, 10, 400, &a.failure);
        std::vector<uint8_t> b(400);
        EXPECT_EQ(ReadSpanned(r, b.data(), 400), 1);
    }
}

} // namespace
} // namespace zk
