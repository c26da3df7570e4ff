#include "core/version_info.h"

#include "core/os_info.h"

#include <gtest/gtest.h>

namespace zk {
namespace {

TEST(LoadVersionInfo, ReadsTheProgramsResource)
{
    ASSERT_TRUE(LoadVersionInfo(nullptr));
    const VersionInfo& v = ModuleVersionInfo();
    EXPECT_STREQ(VersionFileVersion(), L"3.14.159.2653");
    EXPECT_EQ(v.fileVersionMajor, L"3");
    EXPECT_EQ(v.fileVersionMinor, L"14");
    EXPECT_EQ(v.language, 0x411);
    EXPECT_EQ(v.codePage, 1200);
    EXPECT_STREQ(VersionInternalName(), L"ゼルコラ");
    EXPECT_STREQ(VersionProductVersion(), L"3.14");
    EXPECT_STREQ(VersionLegalCopyright(), L"Copyright (C) テスト");
    EXPECT_EQ(v.companyName, L"テスト社");
    EXPECT_EQ(v.productName, L"Zelkora");
    EXPECT_EQ(v.originalFileName, L"core_tests.exe");
    EXPECT_EQ(v.fileDescription, L"core tests");
    EXPECT_EQ(v.fileVersionString, L"3.14.159.2653");
}

TEST(LoadOsInfo, CodeMatchesTheVersionRecord)
{
    ASSERT_TRUE(LoadOsInfo());
    const OSVERSIONINFOEXW& v = OsVersionRecord();
    EXPECT_EQ(OsVersionCode(), OsVersionCodeFor(v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion,
                                                v.wProductType, GetSystemMetrics(SM_SERVERR2) != 0));
    // Wine's default prefix is a Windows 7 workstation or later.
    EXPECT_GE(OsVersionCode(), OS_CODE_WIN7);
    EXPECT_GE(NativeSystemInfo().dwAllocationGranularity, 4096u);
}

} // namespace
} // namespace zk
