// Whole builds of real source trees, each archive decoded completely and
// compared with its sources.

#include <gtest/gtest.h>

#include "builder/tests/build_harness.h"
#include "core/archive_key.h"

namespace zk::test {
namespace {

constexpr wchar_t NOTHING_TO_STORE[] = L"書庫に格納するファイルおよびフォルダが有りませんでした";

DecodedArchive ReadBack(const std::wstring& path, const std::wstring& password = L"")
{
    DecodedArchive a;
    EXPECT_TRUE(ReadArchive(path, password, a)) << a.strError;
    return a;
}

TEST(BuildEngine, EmptyFolderOnlyGivesOneFolderEntryAndNoData)
{
    BuildScene s;
    std::wstring folder = s.Folder(L"empty");
    s.Sources({folder});
    s.Target(s.scratch.Path() + L"out.zka");
    BoxAnswers boxes;
    s.Build();

    EXPECT_EQ(s.Result(), BUILD_RESULT_OK);
    EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_FINISHED);
    EXPECT_TRUE(boxes.Boxes().empty());
    DecodedArchive a = ReadBack(s.scratch.Path() + L"out.zka");
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_TRUE(a.entries[0].bFolder);
    EXPECT_EQ(a.entries[0].strPath, L"empty");
    EXPECT_EQ(a.params.m_nFileCount, 0u);
    EXPECT_EQ(a.params.m_nFolderCount, 1u);
    EXPECT_EQ(a.params.m_nDataOffset, a.firstFile.size()) << "nothing follows the tables";
    ASSERT_TRUE(s.owner.m_bStatsSet);
    EXPECT_EQ(s.owner.m_stats.nFileCount, 0u);
    EXPECT_EQ(s.owner.m_stats.nFolderCount, 1u);
    EXPECT_EQ(s.owner.m_stats.nStreamBytes, 0u);
    EXPECT_EQ(s.owner.m_nTimerStarts, 1);
    EXPECT_EQ(s.owner.m_nTimerStops, 1);
    EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    ExpectMatchesSources(a, s.owner.m_prm.m_listSources, true);
}

TEST(BuildEngine, SingleEmptyFileIntoSelfExtractor)
{
    BuildScene s;
    std::wstring file = s.File(L"empty.txt", "");
    s.Sources({file});
    const std::wstring target = s.scratch.Path() + L"out.exe";
    s.Target(target);
    BoxAnswers boxes;
    s.Build();

    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    DecodedArchive a = ReadBack(target);
    std::vector<uint8_t> sfx;
    ASSERT_TRUE(LoadWholeFile(ZK_SFX_EXE, sfx));
    EXPECT_EQ(a.nHeaderPos, sfx.size());
    EXPECT_TRUE(std::equal(sfx.begin(), sfx.end(), a.firstFile.begin())) << "the extractor program is copied as is";
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_FALSE(a.entries[0].bFolder);
    EXPECT_EQ(a.entries[0].info.m_nMethod, METHOD_STORED);
    EXPECT_EQ(a.params.m_nFileCount, 1u);
    EXPECT_EQ(a.params.m_nContentCount, 0u);
    EXPECT_EQ(a.params.m_nTotalSize, 0u);
    EXPECT_EQ(a.params.m_nDataOffset, a.firstFile.size());
    EXPECT_EQ(a.params.m_nTreeOffset, a.nHeaderPos + 116) << "empty texts: 50 + 66 bytes of head";
    ExpectMatchesSources(a, s.owner.m_prm.m_listSources, true);
}

} // namespace
} // namespace zk::test
