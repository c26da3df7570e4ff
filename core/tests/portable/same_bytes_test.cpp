#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/byte_io.h"
#include "core/tests/portable/pipeline_harness.h"

// Archives must not depend on which build wrote them: the 32-bit and the
// 64-bit programs (and the native build) must write the same bytes for the
// same input. These tests pin the writers' output to fingerprints taken once;
// every build runs them, so a record or stream that comes out differently on
// one architecture (a size_t in a record, pointer-dependent compression)
// fails there.

namespace {

using namespace zk;
using namespace zk::test;

// FNV-1a, 64 bits: enough to tell outputs apart, and the same everywhere.
uint64_t Fingerprint(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001B3ull;
    }
    return h;
}

// Every record kind, with texts, under the time-stamp key.
std::vector<uint8_t> Records()
{
    const uint64_t stamp = 0x01DB48A5C3E2F100ull;
    SetArchiveKeyBytes(TimeStampKeyText(stamp).c_str());
    std::vector<uint8_t> out;
    ByteWriter w(out);

    ArchiveHeader h;
    h.m_nTimeStamp = stamp;
    h.m_nFlags = AF_MARK | AF_HASH | AF_HIDDEN;
    MakeCheckBlock(h.m_checkBlock);
    PutArchiveHeader(w, h);

    ParameterSection p;
    p.m_strDestFolder = u"C:\\展開先";
    p.m_strTitle = u"題名";
    p.m_strComment = u"comment, two blocks long at least: 0123456789";
    p.m_nFileCount = 2;
    p.m_nFolderCount = 1;
    p.m_nContentCount = 2;
    p.m_nTotalSize = 0x123456789ull;
    p.m_nSizeEstimate = 0x23456789Aull;
    p.m_nVolumeSizeMB = 700;
    p.m_strRunAfter = u"readme.txt";
    p.m_nSfxFlags = SF_SHOW_LIST;
    EXPECT_TRUE(PlaceTables(p, ARCHIVE_HEADER_SIZE, 3 * 13 + 300));
    PutParameterSection(w, p);

    PutTreeRecord(w, {NODE_FOLDER, 0, 13, 0});
    PutTreeRecord(w, {NODE_FILE, 26, 0, 100});
    PutTreeRecord(w, {NODE_FILE, 0, 0, 200});

    InfoRecord info;
    info.m_nMethod = METHOD_DEFLATE;
    info.m_nSize = 0x100000001ull;
    info.m_nStoredSize = 0x80000000ull;
    info.m_nDataOffset = 0x1FFFFFFFFull;
    info.m_nStartVolume = 3;
    info.m_nAttributes = 0x21;
    info.m_nCreationTime = 0x01D0000000000001ull;
    info.m_nAccessTime = 0x01D0000000000002ull;
    info.m_nWriteTime = 0x01D0000000000003ull;
    for (int i = 0; i < 32; ++i)
        info.m_hash[i] = static_cast<uint8_t>(i * 7);
    info.m_name = Utf16ToNameBytes(u"長い名前の写真.jpg");
    EXPECT_EQ(PutInfoRecord(w, info), FormatStatus::Ok);
    return out;
}

TEST(SameBytesEverywhere, RecordWriters)
{
    std::vector<uint8_t> bytes = Records();
    EXPECT_EQ(bytes.size(), 435u);
    EXPECT_EQ(Fingerprint(bytes), 7372355599991586508ull);
}

// The stored data of one entry for each method and level, with and without a
// password, across 1 MiB volumes; and of a file smaller than a block, which
// LZ4 compresses on its own.
TEST(SameBytesEverywhere, StoredStreams)
{
    struct Case {
        uint8_t method;
        CompressLevel level;
        bool password;
        size_t sourceSize; // 0: the whole source
        uint64_t size;
        uint64_t fingerprint;
    } cases[] = {
        {METHOD_LZ4, CompressLevel::STANDARD, false, 0, 72081, 5306528514496079750ull},
        {METHOD_LZ4, CompressLevel::HIGH, true, 0, 71520, 14531415006200827209ull},
        {METHOD_DEFLATE, CompressLevel::STANDARD, false, 0, 71741, 11992854237382856600ull},
        {METHOD_DEFLATE, CompressLevel::HIGH, true, 0, 71744, 15243165842371253711ull},
        {METHOD_LZ4, CompressLevel::STANDARD, false, 40000, 5610, 867830463977346311ull},
    };
    const std::vector<uint8_t> text = MakeData(3 * 65536 + 123, Fill::TEXT);
    const std::vector<uint8_t> noise = MakeData(70000, Fill::RANDOM, 7);
    std::vector<uint8_t> whole = text;
    whole.insert(whole.end(), noise.begin(), noise.end());
    for (const Case& c : cases) {
        const std::vector<uint8_t> source(whole.begin(), c.sourceSize ? whole.begin() + c.sourceSize : whole.end());
        StreamHarness h(65536, 1 << 20);
        h.ctx.m_nLevel = c.level;
        if (c.password) h.ctx.m_pCipher = PasswordCipher();
        h.SetSource(source);
        PipelineEntry e = h.NewEntry(source.size());
        ASSERT_EQ(h.Encode(c.method, e), 0);
        std::vector<uint8_t> stored = h.StoredBytes(e);
        EXPECT_EQ(stored.size(), c.size) << int(c.method) << "/" << int(c.level) << "/" << c.password;
        EXPECT_EQ(Fingerprint(stored), c.fingerprint)
            << int(c.method) << "/" << int(c.level) << "/" << c.password;
    }
}

} // namespace
