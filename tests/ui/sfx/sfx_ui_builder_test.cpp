// A self-extracting archive made by the builder's engine, run like a user
// runs it: password, main window, extraction across its volumes.

#include <gtest/gtest.h>

#include <windows.h>

#include "builder/tests/build_harness.h"
#include "extractor_driver.h"

namespace {

using namespace zkui;

TEST(ExtractorWindowBuilderArchive, SplitArchiveWithPasswordExtractsUnchanged)
{
    zk::test::BuildScene scene;
    scene.owner.m_prm.m_strPassword = L"kagi";
    scene.owner.m_prm.m_strPasswordConfirm = L"kagi";
    scene.owner.m_prm.m_nSplitMB = 1;
    scene.owner.m_prm.m_strSfxTitle = L"ビルダーの書庫";
    scene.Folder(L"photos");
    std::string big(2500000, '\0');
    // Incompressible, so that the data runs over two volume boundaries.
    uint32_t x = 2463534242u;
    for (char& c : big) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    scene.File(L"photos\\big.bin", big);
    scene.File(L"photos\\旅行.txt", "trip");
    scene.Sources({scene.src + L"photos"});
    std::wstring target = scene.scratch.Path() + L"photos.exe";
    scene.Target(target);
    {
        zk::test::BoxAnswers quiet;
        scene.Build();
    }
    ASSERT_EQ(scene.Result(), zk::BUILD_RESULT_OK);
    ASSERT_TRUE(FileExists(target + L".2"));

    Program p(target, L"");
    ASSERT_TRUE(EnterExtractorPassword(p, L"kagi"));
    HWND dialog = p.WaitWindow(L"#32770", L" ビルダーの書庫");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(WaitFor([&] { return Enabled(GetDlgItem(dialog, IDOK)); }));
    std::wstring summary = Text(GetDlgItem(dialog, SFX_SUMMARY));
    EXPECT_EQ(summary.find(L"分割ファイル数\t： なし"), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(L"格納ファイル数\t： 2 "), std::wstring::npos) << summary;

    EXPECT_TRUE(ExtractAllAndCompare(dialog, scene.scratch.Path() + L"out", {scene.src + L"photos"}));
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

} // namespace
