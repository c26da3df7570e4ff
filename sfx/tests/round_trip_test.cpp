// Archives made by the builder's engine, extracted by the workers: what comes
// out must be what went in, byte for byte, with attributes and times.

#include <gtest/gtest.h>

#include "builder/tests/build_harness.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

struct RoundTripCase {
    const wchar_t* m_pTarget;
    uint8_t m_nKind;  // 0 LZ4, 1 Deflate
    uint8_t m_nLevel; // 0 standard, 1 high
    const wchar_t* m_pPassword;
    int32_t m_nSplitMB;
    bool m_bShiftJis;
    bool m_bLongNames;
};

TEST(SfxRoundTrip, BuilderArchivesExtractUnchanged)
{
    const RoundTripCase cases[] = {
        {L"pack.exe", 0, 0, L"pass word 1234567890", 1, false, false},
        {L"pack.zka", 1, 1, L"", 0, true, false},
        {L"pack.zka", 0, 1, L"", 0, false, true},
    };
    for (const RoundTripCase& c : cases) {
        BuildScene scene;
        scene.owner.m_env.m_nCompressKind = c.m_nKind;
        scene.owner.m_env.m_nCompressLevel = c.m_nLevel;
        scene.owner.m_env.m_bShiftJisNames = c.m_bShiftJis;
        scene.owner.m_env.m_bLongNames = c.m_bLongNames;
        scene.owner.m_prm.m_strPassword = c.m_pPassword;
        scene.owner.m_prm.m_strPasswordConfirm = c.m_pPassword;
        scene.owner.m_prm.m_nSplitMB = c.m_nSplitMB;
        scene.Folder(L"docs");
        scene.Folder(L"docs\\sub");
        scene.Folder(L"nothing");
        scene.File(L"docs\\写真.txt", Bytes(200000, 1, false));
        scene.File(L"docs\\sub\\big.bin", Bytes(2500000, 2, true));
        scene.File(L"docs\\empty.txt", "", FILE_ATTRIBUTE_HIDDEN);
        scene.File(L"readme.txt", "read me", FILE_ATTRIBUTE_READONLY);
        scene.Sources({scene.src + L"docs", scene.src + L"readme.txt", scene.src + L"nothing"});
        const std::wstring target = scene.scratch.Path() + c.m_pTarget;
        scene.Target(target);
        {
            BoxAnswers quiet;
            scene.Build();
        }
        ASSERT_EQ(scene.Result(), BUILD_RESULT_OK) << c.m_pTarget;
        // With 1 MiB volumes the big file's data runs on into ".1" and ".2".
        EXPECT_EQ(SfxScratch::Exists(target + L".2"), c.m_nSplitMB != 0);

        OpenedArchive a(target, c.m_pPassword);
        FakeDialogue& boxes = a.m_callback.Script();
        ASSERT_TRUE(a.m_bOpened) << c.m_pTarget;
        const std::wstring out = scene.scratch.Path() + L"out";
        EXPECT_EQ(a.ExtractAll(out), 0);
        EXPECT_TRUE(boxes.Texts().empty());

        std::vector<std::wstring> listed = SfxScratch::List(out);
        for (const wchar_t* rel :
             {L"docs\\写真.txt", L"docs\\sub\\big.bin", L"docs\\empty.txt", L"readme.txt"}) {
            std::wstring from = scene.src + rel, to = out + L"\\" + rel;
            EXPECT_EQ(SfxScratch::ReadBytes(to), SfxScratch::ReadBytes(from)) << rel;
            EXPECT_EQ(WriteTimeOf(to), WriteTimeOf(from)) << rel;
            EXPECT_EQ(SfxScratch::Attributes(to) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                      SfxScratch::Attributes(from) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
                << rel;
        }
        EXPECT_TRUE(SfxScratch::Attributes(out + L"\\nothing") & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(listed.size(), 7u);
        EXPECT_EQ(a.m_session.m_progress.m_nDone.load(), 2700007u);
    }
}

} // namespace
} // namespace zk::test

namespace zk::test {
namespace {

TEST(SfxRoundTrip, TreeDeeperThanMaxPath)
{
    BuildScene scene;
    // Deep trees live in a scratch folder that can remove them again.
    SfxScratch dir;
    std::wstring rel = L"deep";
    CreateDirectoryW(LongForm(dir / rel).c_str(), nullptr);
    for (int i = 0; i < 8; ++i) {
        rel += L"\\" + std::wstring(40, wchar_t(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(LongForm(dir / rel).c_str(), nullptr));
    }
    rel += L"\\leaf.txt";
    ASSERT_TRUE(SfxScratch::WriteBytes(dir / rel, TextBytes(5000)));
    scene.Sources({dir / L"deep"});
    scene.Target(dir / L"deep.zka");
    {
        BoxAnswers quiet;
        scene.Build();
    }
    ASSERT_EQ(scene.Result(), BUILD_RESULT_OK);

    OpenedArchive a(dir / L"deep.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    ASSERT_GT((dir / (L"out\\" + rel)).size(), 300u);
    EXPECT_EQ(SfxScratch::ReadBytes(dir / (L"out\\" + rel)), TextBytes(5000));
}

} // namespace
} // namespace zk::test
