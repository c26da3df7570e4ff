#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/archive_key.h"
#include "core/camellia.h"

namespace {

// What the archive key must be for a key text: Camellia-128 under the
// text's first 16 bytes, zero-padded.
zk::CCamellia ExpectedCipher(const std::string& text)
{
    uint8_t key[16] = {};
    std::memcpy(key, text.data(), text.size() < 16 ? text.size() : 16);
    zk::CCamellia c;
    c.SetKey(key, 128);
    return c;
}

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 3);
    return v;
}

// Three blocks encrypted with the current archive key.
std::vector<uint8_t> Sample()
{
    std::vector<uint8_t> v = Pattern(48);
    zk::EncryptBlocks(v.data(), 48);
    return v;
}

TEST(ArchiveKey, RoundUp16)
{
    const struct {
        uint32_t n, rounded;
    } cases[] = {{0, 0}, {1, 16}, {15, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 48}, {0x7FFFFFFF, 0x80000000}};
    for (const auto& c : cases)
        EXPECT_EQ(zk::RoundUp16(c.n), c.rounded) << c.n;
}

TEST(ArchiveKey, KeyIsTheFirstSixteenBytesZeroPadded)
{
    const std::string texts[] = {
        "",
        "a",
        "short",
        "fifteen-chars!!",
        "sixteen-chars!!!",
        "sixteen-chars!!!+more",
        std::string(300, 'k'),      // beyond the 255 bytes kept
        "\x93\xfa\x96\x7b\x8c\xea", // Shift-JIS bytes pass through untouched
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        zk::SetArchiveKeyBytes(text.c_str());
        std::vector<uint8_t> expected = Pattern(48);
        ExpectedCipher(text).EncryptBlocks(expected.data(), 3);
        EXPECT_EQ(Sample(), expected);
    }
}

TEST(ArchiveKey, PasswordsAgreeingInTheirFirstSixteenBytesShareTheKey)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"0123456789abcdef", "0123456789abcdefXYZ", true},
        {"passwordpassword1", "passwordpassword2", true},
        {"0123456789abcdeX", "0123456789abcdeY", false},
        {"passwor", "password", false},
        {"fifteen-chars!!", "fifteen-chars!!!", false}, // padding zero vs '!'
        {"Secret", "secret", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        zk::SetArchiveKeyBytes(c.a);
        uint8_t check[zk::PASSWORD_CHECK_SIZE];
        zk::MakeCheckBlock(check);
        const std::vector<uint8_t> sampleA = Sample();
        zk::SetArchiveKeyBytes(c.b);
        EXPECT_EQ(zk::TestCheckBlock(check), c.same);
        EXPECT_EQ(Sample() == sampleA, c.same);
    }
}

TEST(ArchiveKey, BlockOperationsCoverWholeBlocksOnly)
{
    zk::SetArchiveKeyBytes("block test");
    const zk::CCamellia expected = ExpectedCipher("block test");
    const struct {
        int32_t length;
        uint32_t covered;
    } cases[] = {{0, 0}, {1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 48}, {-2, 0}, {INT32_MIN, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::vector<uint8_t> original = Pattern(64);
        std::vector<uint8_t> buf = original;
        EXPECT_EQ(zk::EncryptBlocks(buf.data(), c.length), c.covered);
        std::vector<uint8_t> want = original;
        expected.EncryptBlocks(want.data(), c.covered / 16);
        EXPECT_EQ(buf, want); // bytes past the covered blocks are untouched
        EXPECT_EQ(zk::DecryptBlocks(buf.data(), c.length), c.covered);
        EXPECT_EQ(buf, original);
    }
    EXPECT_EQ(zk::EncryptBlocks(nullptr, 32), 0u);
    EXPECT_EQ(zk::DecryptBlocks(nullptr, -1), 0u);
}

TEST(ArchiveKey, MinusOneMeansZeroTerminatedUtf16Text)
{
    zk::SetArchiveKeyBytes("text key");
    const zk::CCamellia expected = ExpectedCipher("text key");
    const struct {
        std::u16string text;
        uint32_t covered;
    } cases[] = {
        {u"", 0}, {u"abc", 16}, {u"12345678", 16}, {u"123456789", 32}, {u"ゼルコラ書庫のテスト", 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.covered);
        // At an odd address, as texts inside packed records can be.
        std::vector<uint8_t> original(1 + 64, 0xEE);
        std::memcpy(original.data() + 1, c.text.c_str(), 2 * (c.text.size() + 1));
        std::vector<uint8_t> buf = original;
        EXPECT_EQ(zk::EncryptBlocks(buf.data() + 1, -1), c.covered);
        std::vector<uint8_t> want = original;
        expected.EncryptBlocks(want.data() + 1, c.covered / 16);
        EXPECT_EQ(buf, want);
        // Decrypting the same text by its known length restores it.
        EXPECT_EQ(zk::DecryptBlocks(buf.data() + 1, static_cast<int32_t>(2 * c.text.size())), c.covered);
        EXPECT_EQ(buf, original);
    }
}

TEST(ArchiveKey, ScheduleIsBuiltOnlyWhenTheTextChanges)
{
    zk::ClearArchiveKey();
    // After clearing, even the empty text (which matches the cleared area)
    // builds a schedule.
    const struct {
        const char* text;
        bool clearFirst;
        bool builds;
    } steps[] = {
        {"", false, true},
        {"", false, false},
        {"same", false, true},
        {"same", false, false},
        {"same", true, true},
        {"same", false, false},
        {"same but longer than sixteen", false, true}, // new text, same key
        {"same but longer than sixteen", false, false},
        {"other", false, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.text);
        if (s.clearFirst) zk::ClearArchiveKey();
        const uint32_t before = zk::ArchiveKeyScheduleBuilds();
        zk::SetArchiveKeyBytes(s.text);
        EXPECT_EQ(zk::ArchiveKeyScheduleBuilds() - before, s.builds ? 1u : 0u);
    }

    // Texts that differ only beyond the 255 bytes kept count as equal.
    const std::string longA = std::string(255, 'z') + "A";
    const std::string longB = std::string(255, 'z') + "B";
    zk::SetArchiveKeyBytes(longA.c_str());
    const uint32_t before = zk::ArchiveKeyScheduleBuilds();
    zk::SetArchiveKeyBytes(longB.c_str());
    EXPECT_EQ(zk::ArchiveKeyScheduleBuilds(), before);
}

TEST(ArchiveKey, ClearingKeepsTheScheduleUsable)
{
    zk::SetArchiveKeyBytes("kept");
    const std::vector<uint8_t> before = Sample();
    zk::ClearArchiveKey();
    EXPECT_EQ(Sample(), before);
}

TEST(ArchiveKey, CheckBlockTellsRightFromWrongKey)
{
    // Pins the check value and the cipher together: archives written by any
    // earlier build must keep opening.
    const uint8_t golden[zk::PASSWORD_CHECK_SIZE] = {
        0xac, 0x50, 0x93, 0x0b, 0xde, 0x7f, 0xb9, 0x96, 0x73, 0xeb, 0x28, 0x23, 0x94, 0xc7, 0x3f, 0x9e,
        0xe3, 0x60, 0x7b, 0xea, 0x61, 0x0b, 0x7a, 0x65, 0x5a, 0x76, 0xac, 0x49, 0xf7, 0x86, 0x13, 0x28,
    };
    zk::SetArchiveKeyBytes("secret");
    uint8_t check[zk::PASSWORD_CHECK_SIZE];
    zk::MakeCheckBlock(check);
    EXPECT_EQ(0, std::memcmp(check, golden, sizeof check));
    EXPECT_TRUE(zk::TestCheckBlock(check));
    // The caller's block stays as it was.
    EXPECT_EQ(0, std::memcmp(check, golden, sizeof check));

    zk::SetArchiveKeyBytes("secreT");
    EXPECT_FALSE(zk::TestCheckBlock(check));
    zk::SetArchiveKeyBytes("secret");
    EXPECT_TRUE(zk::TestCheckBlock(check));

    for (size_t i : {size_t{0}, size_t{15}, size_t{16}, size_t{31}}) {
        uint8_t damaged[zk::PASSWORD_CHECK_SIZE];
        std::memcpy(damaged, check, sizeof damaged);
        damaged[i] ^= 0x01;
        EXPECT_FALSE(zk::TestCheckBlock(damaged)) << i;
    }
}

TEST(ArchiveKey, PasswordCheckIsSixteenUtf16Units)
{
    uint8_t a[zk::PASSWORD_CHECK_SIZE];
    uint8_t b[zk::PASSWORD_CHECK_SIZE];
    std::memset(a, 0xAA, sizeof a);
    std::memset(b, 0x55, sizeof b);
    zk::BuildPasswordCheck(a);
    zk::BuildPasswordCheck(b);
    EXPECT_EQ(0, std::memcmp(a, b, sizeof a)); // every byte written, same each time
    for (size_t i = 0; i < sizeof a; i += 2)
        EXPECT_FALSE(a[i] == 0 && a[i + 1] == 0) << i;
}

TEST(ArchiveKey, TimeStampKeyText)
{
    const struct {
        uint64_t fileTime;
        const char* text;
    } cases[] = {
        {0, "0000000000000000"},
        {0x01DB2F3A4B5C6D7Eull, "01db2f3a4b5c6d7e"},
        {0x0000000100000000ull, "0000000100000000"},
        {0x00000000ABCDEF01ull, "00000000abcdef01"},
        {0xFFFFFFFFFFFFFFFFull, "ffffffffffffffff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zk::TimeStampKeyText(c.fileTime), c.text);
}

TEST(ArchiveKey, ArchiveWithoutPasswordOpensWithItsTimeStamp)
{
    const uint64_t stamp = 0x01DB2F3A4B5C6D7Eull;
    zk::SetArchiveKeyBytes(zk::TimeStampKeyText(stamp).c_str());
    uint8_t check[zk::PASSWORD_CHECK_SIZE];
    zk::MakeCheckBlock(check);
    std::vector<uint8_t> name(32, 0);
    std::memcpy(name.data(), u"名前.txt", 12);
    const std::vector<uint8_t> plainName = name;
    EXPECT_EQ(zk::EncryptBlocks(name.data(), -1), 16u);

    zk::ClearArchiveKey();
    zk::SetArchiveKeyBytes(zk::TimeStampKeyText(stamp + 1).c_str());
    EXPECT_FALSE(zk::TestCheckBlock(check));
    zk::SetArchiveKeyBytes(zk::TimeStampKeyText(stamp).c_str());
    EXPECT_TRUE(zk::TestCheckBlock(check));
    EXPECT_EQ(zk::DecryptBlocks(name.data(), 12), 16u);
    EXPECT_EQ(name, plainName);
}

} // namespace
