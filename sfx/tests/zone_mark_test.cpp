#include <gtest/gtest.h>

#include <algorithm>

#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

constexpr uint64_t T1 = 0x01D9A0B0C0D0E0F0ull;
const std::string MARK = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.org/pack.zka\r\n";

std::wstring Stream(const std::wstring& path)
{
    return path + L":Zone.Identifier";
}

// A marked archive marks every file it gives (a read-only one too, and
// without disturbing the file's times), never a folder; an unmarked one
// marks nothing; a mark that cannot be written is a notice, not a failure.
TEST(SfxZoneMark, CopiedToEveryExtractedFile)
{
    struct Case {
        const char* m_pWhat;
        bool m_bMarked;
        bool m_bBlocked; // the stream's name is taken in the destination
    } cases[] = {
        {"unmarked archive", false, false},
        {"marked archive", true, false},
        {"mark cannot be written", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        SfxScratch dir;
        TestEntry readOnly = TestEntry::File(u"readme.txt", Bytes("read me"), METHOD_DEFLATE);
        readOnly.m_nCreationTime = readOnly.m_nAccessTime = readOnly.m_nWriteTime = T1;
        readOnly.m_nAttributes = FILE_ATTRIBUTE_READONLY;
        std::vector<TestEntry> tree = {
            TestEntry::Folder(u"docs", {TestEntry::File(u"a.txt", TextBytes(5000), METHOD_LZ4)}), readOnly};
        ASSERT_TRUE(WriteArchive(BuildHashed(tree, {}), dir / L"pack.zka"));
        if (c.m_bMarked) {
            ASSERT_TRUE(SfxScratch::WriteBytes(Stream(dir / L"pack.zka"), Bytes(MARK)));
        }
        const std::wstring out = dir / L"out";
        if (c.m_bBlocked) {
            CreateDirectoryW(out.c_str(), nullptr);
            CreateDirectoryW(Stream(out + L"\\readme.txt").c_str(), nullptr);
        }

        OpenedArchive a(dir / L"pack.zka");
        ASSERT_TRUE(a.m_bOpened);
        a.m_callback.Script({ANSWER_OK}); // "extract into the existing folder?"
        EXPECT_EQ(a.ExtractAll(out), 0);
        EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\docs\\a.txt"), TextBytes(5000));
        EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\readme.txt"), Bytes("read me"));
        EXPECT_EQ(WriteTimeOf(out + L"\\readme.txt"), T1);

        std::vector<std::wstring> streams;
        for (const std::wstring& name : SfxScratch::List(out))
            if (name.find(L':') != std::wstring::npos) streams.push_back(name);
        const auto& notices = a.m_session.m_ctx.m_listNotices;
        if (!c.m_bMarked) {
            EXPECT_TRUE(streams.empty());
            EXPECT_TRUE(notices.empty());
        } else if (!c.m_bBlocked) {
            EXPECT_EQ(streams, (std::vector<std::wstring>{L"docs\\a.txt:Zone.Identifier",
                                                          L"readme.txt:Zone.Identifier"}));
            EXPECT_EQ(SfxScratch::ReadBytes(Stream(out + L"\\docs\\a.txt")), Bytes(MARK));
            EXPECT_EQ(SfxScratch::ReadBytes(Stream(out + L"\\readme.txt")), Bytes(MARK));
            EXPECT_TRUE(notices.empty());
        } else {
            EXPECT_EQ(SfxScratch::ReadBytes(Stream(out + L"\\docs\\a.txt")), Bytes(MARK));
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_EQ(notices[0].m_strPath, out + L"\\readme.txt");
            EXPECT_NE(notices[0].m_strMessage.find(L"Zone.Identifier"), std::wstring::npos);
            EXPECT_TRUE(ErrorLogWanted(a.m_session));
        }
    }
}

} // namespace
} // namespace zk::test
