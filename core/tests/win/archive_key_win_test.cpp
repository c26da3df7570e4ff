#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/archive_key.h"

namespace {

std::vector<uint8_t> Sample()
{
    std::vector<uint8_t> v(32);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<uint8_t>(i);
    zk::EncryptBlocks(v.data(), static_cast<int32_t>(v.size()));
    return v;
}

// The test runner starts Wine with a Japanese locale; the conversion under
// test is only meaningful there.
void RequireCodePage932()
{
    ASSERT_EQ(GetACP(), 932u) << "run with LANG=ja_JP.UTF-8";
}

TEST(ArchiveKeyWin, JapanesePasswordBecomesItsShiftJisBytes)
{
    RequireCodePage932();
    ASSERT_EQ(zk::SetArchiveKey(L"日本語パスワード"), 0);
    const std::vector<uint8_t> fromWide = Sample();

    // The stored text is byte for byte the Shift-JIS form: setting it again
    // as bytes builds nothing.
    const uint32_t builds = zk::ArchiveKeyScheduleBuilds();
    zk::SetArchiveKeyBytes("\x93\xfa\x96\x7b\x8c\xea\x83\x70\x83\x58\x83\x8f\x81\x5b\x83\x68");
    EXPECT_EQ(zk::ArchiveKeyScheduleBuilds(), builds);

    zk::ClearArchiveKey();
    zk::SetArchiveKeyBytes("\x93\xfa\x96\x7b\x8c\xea\x83\x70\x83\x58\x83\x8f\x81\x5b\x83\x68");
    EXPECT_EQ(zk::ArchiveKeyScheduleBuilds(), builds + 1);
    EXPECT_EQ(Sample(), fromWide);
}

TEST(ArchiveKeyWin, SixteenAnsiBytesNotSixteenCharactersMakeTheKey)
{
    RequireCodePage932();
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        bool same;
    } cases[] = {
        // 8 double-byte characters fill the 16 bytes.
        {L"日本語パスワード", L"日本語パスワードです", true},
        {L"日本語パスワ", L"日本語パスワード", false},
        // The 16th byte is the lead byte of the ninth character: 'ー' (81 5B)
        // and '、' (81 41) share it.
        {L"a日本語のパスワー", L"a日本語のパスワ、", true},
        {L"a日本語のパスワー", L"a日本語のパスワ日", false},
        {L"abc", L"abc", true},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(zk::SetArchiveKey(c.a), 0);
        uint8_t check[zk::PASSWORD_CHECK_SIZE];
        zk::MakeCheckBlock(check);
        ASSERT_EQ(zk::SetArchiveKey(c.b), 0);
        EXPECT_EQ(zk::TestCheckBlock(check), c.same) << static_cast<int>(&c - cases);
    }
}

TEST(ArchiveKeyWin, SameTextTwiceBuildsOnce)
{
    zk::ClearArchiveKey();
    const uint32_t builds = zk::ArchiveKeyScheduleBuilds();
    ASSERT_EQ(zk::SetArchiveKey(L"ゼルコラ"), 0);
    ASSERT_EQ(zk::SetArchiveKey(L"ゼルコラ"), 0);
    EXPECT_EQ(zk::ArchiveKeyScheduleBuilds(), builds + 1);
    ASSERT_EQ(zk::SetArchiveKey(nullptr), 0);
    ASSERT_EQ(zk::SetArchiveKey(L""), 0);
    EXPECT_EQ(zk::ArchiveKeyScheduleBuilds(), builds + 2);
}

TEST(ArchiveKeyWin, TimeStampTextConvertsToItsAsciiDigits)
{
    const uint64_t stamp = 0x01DB2F3A4B5C6D7Eull;
    ASSERT_EQ(zk::SetArchiveKey(L"01db2f3a4b5c6d7e"), 0);
    const std::vector<uint8_t> fromWide = Sample();
    zk::ClearArchiveKey();
    zk::SetArchiveKeyBytes(zk::TimeStampKeyText(stamp).c_str());
    EXPECT_EQ(Sample(), fromWide);
}

} // namespace
