#include <gtest/gtest.h>

#include <windows.h>

#include "core/archive_format.h"
#include "core/archive_names.h"

namespace {

using zk::DecodeEntryName;
using zk::EncodeEntryName;

TEST(EntryNameConversion, Utf16NamesAreTheirLittleEndianUnits)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeEntryName(u"写真.jpg", false, &bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x99, 0x51, 0x1F, 0x77, '.', 0, 'j', 0, 'p', 0, 'g', 0}));
    std::u16string back;
    ASSERT_TRUE(DecodeEntryName(bytes, false, &back));
    EXPECT_EQ(back, u"写真.jpg");
}

TEST(EntryNameConversion, NarrowNamesUseTheThreadCodePage)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page";
    struct Case {
        std::u16string name;
        std::vector<uint8_t> sjis;
    } cases[] = {
        {u"日本語.txt", {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, '.', 't', 'x', 't'}},
        // Its second byte is the backslash byte; it must not split the name.
        {u"表", {0x95, 0x5C}},
        {u"ｶﾅ", {0xB6, 0xC5}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        bool lossy = true;
        ASSERT_TRUE(EncodeEntryName(c.name, true, &bytes, &lossy));
        EXPECT_EQ(bytes, c.sjis);
        EXPECT_FALSE(lossy);
        std::u16string back;
        ASSERT_TRUE(DecodeEntryName(bytes, true, &back));
        EXPECT_EQ(back, c.name);
        EXPECT_TRUE(zk::IsPlainEntryName(back));
    }
}

TEST(EntryNameConversion, NarrowFormReportsWhatItCannotCarry)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page";
    std::vector<uint8_t> bytes;
    bool lossy = false;
    ASSERT_TRUE(EncodeEntryName(u"café", true, &bytes, &lossy));
    EXPECT_TRUE(lossy);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'c', 'a', 'f', '?'}));

    // A lone backslash byte from a hostile archive decodes to a separator,
    // which the name check then refuses.
    std::u16string name;
    ASSERT_TRUE(DecodeEntryName({'.', '.', 0x5C, 'x'}, true, &name));
    EXPECT_FALSE(zk::IsPlainEntryName(name));
    // A lead byte without its trail byte becomes the code page's replacement
    // character: still a name, which the usual checks then judge.
    CPINFOEXW cp = {};
    ASSERT_TRUE(GetCPInfoExW(CP_THREAD_ACP, 0, &cp));
    ASSERT_TRUE(DecodeEntryName({'a', 0x81}, true, &name));
    EXPECT_EQ(name, (std::u16string{u'a', static_cast<char16_t>(cp.UnicodeDefaultChar)}));
    EXPECT_TRUE(zk::IsPlainEntryName(name));
}

} // namespace

namespace {

// A chosen code page holds for names and keys whatever the thread's is, and
// clearing it returns to the thread's.
TEST(EntryNameConversion, ChosenCodePageOverridesTheThreads)
{
    zk::SetArchiveCodePage(932);
    std::vector<uint8_t> bytes;
    bool lossy = true;
    const bool encoded = EncodeEntryName(u"表.txt", true, &bytes, &lossy);
    zk::SetArchiveCodePage(0);
    ASSERT_TRUE(encoded);
    EXPECT_FALSE(lossy);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x95, 0x5C, '.', 't', 'x', 't'}));
    EXPECT_EQ(zk::ArchiveCodePage(), static_cast<uint32_t>(CP_THREAD_ACP));
}

} // namespace
