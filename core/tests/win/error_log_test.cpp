#include "core/error_log.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace zk {
namespace {

// UTF-16LE bytes of a text.
std::string Le(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

TEST(ErrorLog, BytesExactlyWithAndWithoutMark)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.File(L"Zelkora.log");
    const std::string lines =
        Le(L"ファイルパス：C:\\data\\a.txt\r\nメッセージ　：アクセスが拒否されました。\r\n");
    // Known bytes of the first characters, so the encoding itself is checked.
    ASSERT_EQ(lines.substr(0, 4), std::string("\xd5\x30\xa1\x30", 4));
    {
        ErrorLog log;
        ASSERT_TRUE(log.Open(path.c_str()));
        EXPECT_TRUE(log.WriteFailure(L"\\\\?\\C:\\data\\a.txt", L"アクセスが拒否されました。"));
    }
    EXPECT_EQ(test::ScratchFolder::ReadAll(path), lines);
    {
        ErrorLog log;
        ASSERT_TRUE(log.Open(path.c_str()));
        EXPECT_TRUE(log.WriteByteOrderMark());
        EXPECT_TRUE(log.WriteFailure(L"C:\\data\\a.txt", L"アクセスが拒否されました。"));
        log.Close();
        EXPECT_FALSE(log.IsOpen());
    }
    EXPECT_EQ(test::ScratchFolder::ReadAll(path), std::string("\xff\xfe", 2) + lines)
        << "an older log is replaced";
}

TEST(ErrorLog, SystemTextsLineBreakGivesNoEmptyLine)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.File(L"x.log");
    ErrorLog log;
    ASSERT_TRUE(log.Open(path.c_str()));
    // As FormatMessage gives it.
    EXPECT_TRUE(log.WriteFailure(L"C:\\a.txt", L"ディスクの空き領域が不足しています。\r\n"));
    EXPECT_TRUE(log.WriteFailure(L"C:\\b.txt", L"\r\n"));
    log.Close();
    EXPECT_EQ(test::ScratchFolder::ReadAll(path),
              Le(L"ファイルパス：C:\\a.txt\r\nメッセージ　：ディスクの空き領域が不足しています。\r\n"
                 L"ファイルパス：C:\\b.txt\r\nメッセージ　：\r\n"));
}

TEST(ErrorLog, UncPathLosesOnlyItsPrefix)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.File(L"x.log");
    ErrorLog log;
    ASSERT_TRUE(log.Open(path.c_str()));
    EXPECT_TRUE(log.WriteFailure(L"\\\\?\\UNC\\srv\\share\\f.bin", nullptr));
    log.Close();
    EXPECT_EQ(test::ScratchFolder::ReadAll(path),
              Le(L"ファイルパス：\\\\srv\\share\\f.bin\r\nメッセージ　：\r\n"));
}

TEST(ErrorLog, CreationFailureIsReturnedForTheCallerToTell)
{
    test::ScratchFolder dir;
    ErrorLog log;
    EXPECT_FALSE(log.Open(dir.File(L"no\\such\\folder\\a.log").c_str()));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.WriteByteOrderMark());
    EXPECT_FALSE(log.WriteFailure(L"a", L"b"));
}

TEST(ErrorLog, ExtractorLogBesideTheArchive)
{
    test::ScratchFolder dir;
    EXPECT_EQ(ExtractorLogPath(L"C:\\a.b\\photos.exe"), L"C:\\a.b\\photos.log");
    EXPECT_EQ(ExtractorLogPath(L"C:\\a.b\\photos"), L"C:\\a.b\\photos.log");

    const std::wstring archive = dir.File(L"photos.zka");
    {
        ErrorLog log;
        ASSERT_TRUE(log.Open(ExtractorLogPath(archive.c_str()).c_str()));
        EXPECT_TRUE(log.WriteByteOrderMark());
        EXPECT_TRUE(log.WriteFailure(L"C:\\out\\x.jpg", L"msg"));
    }
    EXPECT_EQ(test::ScratchFolder::ReadAll(dir.File(L"photos.log")),
              std::string("\xff\xfe", 2) + Le(L"ファイルパス：C:\\out\\x.jpg\r\nメッセージ　：msg\r\n"));
}

} // namespace
} // namespace zk
