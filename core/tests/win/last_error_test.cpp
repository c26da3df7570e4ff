#include "core/last_error.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace zk {
namespace {

TEST(GetLastErrorText, NothingButTheCodeForCodeZeroOrTheIgnoredCode)
{
    SetLastError(ERROR_ACCESS_DENIED);
    GetLastErrorText();
    const std::wstring before = LastErrorText();

    SetLastError(0);
    EXPECT_EQ(GetLastErrorText(), 0u);
    SetLastError(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetLastErrorText(nullptr, ERROR_ALREADY_EXISTS), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(before, LastErrorText());
}

TEST(GetLastErrorText, RecordsAndCopiesCutToTheBuffer)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    wchar_t full[LAST_ERROR_TEXT_CHARS] = {};
    EXPECT_EQ(GetLastErrorText(full), 2u);
    EXPECT_EQ(GetLastError(), 2u) << "the caller's error stays";
    EXPECT_STREQ(full, LastErrorText());
    ASSERT_GT(wcslen(full), 4u);

    wchar_t small[4] = {L'?', L'?', L'?', L'?'};
    SetLastError(ERROR_FILE_NOT_FOUND);
    GetLastErrorText(small, 0, 4);
    EXPECT_EQ(std::wstring(small), std::wstring(full, 3));

    wchar_t untouched[8] = L"keep";
    SetLastError(ERROR_FILE_NOT_FOUND);
    GetLastErrorText(untouched, ERROR_FILE_NOT_FOUND, 8);
    EXPECT_STREQ(untouched, L"keep");
}

TEST(GetLastErrorText, EachThreadKeepsItsOwnError)
{
    // The build thread's failure text must survive the window thread's
    // errors until it reaches the log.
    SetLastError(ERROR_ACCESS_DENIED);
    GetLastErrorText();
    const std::wstring mine = LastErrorText();
    uint32_t otherCode = 0;
    std::wstring otherText;
    std::thread other([&] {
        SetLastError(ERROR_FILE_NOT_FOUND);
        GetLastErrorText();
        otherCode = LastErrorCode();
        otherText = LastErrorText();
    });
    other.join();
    EXPECT_EQ(otherCode, 2u);
    EXPECT_NE(otherText, mine);
    EXPECT_EQ(LastErrorCode(), 5u);
    EXPECT_EQ(LastErrorText(), mine);
}

} // namespace
} // namespace zk
