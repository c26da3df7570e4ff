#include "core/last_error.h"
#include "core/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace zk {
namespace {

TEST(ReportLastError, ShowsCodeAndSystemTextInSystemModalErrorBox)
{
    MessageBoxRecorder boxes;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReportLastError(), 5u);
    EXPECT_EQ(GetLastError(), 5u) << "the box must not change the caller's error";
    EXPECT_EQ(LastErrorCode(), 5u);

    ASSERT_EQ(boxes.Count(), 1u);
    const auto box = boxes.Boxes()[0];
    EXPECT_EQ(box.caption, L"Error Message");
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_SYSTEMMODAL | MB_ICONERROR));
    EXPECT_EQ(box.owner, nullptr);
    ASSERT_GT(wcslen(LastErrorText()), 0u);
    EXPECT_EQ(box.text, std::wstring(L"[Error:5] ") + LastErrorText());
}

TEST(ReportLastError, FallbackTextWhenSystemHasNone)
{
    MessageBoxRecorder boxes;
    // A code the system message table has no text for.
    SetLastError(0x2000FFFF);
    ReportLastError();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, L"[Error:536936447] エラーメッセージ取得失敗");
    EXPECT_STREQ(LastErrorText(), L"") << "no stale text from an earlier failure";
}

TEST(ReportLastError, NoBoxForCodeZeroOrTheIgnoredCode)
{
    MessageBoxRecorder boxes;
    SetLastError(ERROR_ACCESS_DENIED);
    GetLastErrorText();
    const std::wstring before = LastErrorText();

    SetLastError(0);
    EXPECT_EQ(ReportLastError(), 0u);
    SetLastError(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReportLastError(ERROR_ALREADY_EXISTS), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(before, LastErrorText());
}

TEST(GetLastErrorText, RecordsWithoutBoxAndCopiesCutToTheBuffer)
{
    MessageBoxRecorder boxes;
    SetLastError(ERROR_FILE_NOT_FOUND);
    wchar_t full[LAST_ERROR_TEXT_CHARS] = {};
    EXPECT_EQ(GetLastErrorText(full), 2u);
    EXPECT_EQ(boxes.Count(), 0u);
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

TEST(MessageBoxRecorder, AnswersAndRestoresThePreviousFunction)
{
    MessageBoxRecorder outer(IDNO);
    {
        MessageBoxRecorder inner(IDYES);
        EXPECT_EQ(ShowMessageBox(nullptr, L"上書きしますか？", L"確認", MB_YESNO), IDYES);
        EXPECT_EQ(inner.Count(), 1u);
    }
    EXPECT_EQ(ShowMessageBox(nullptr, L"q", L"確認", MB_YESNO), IDNO);
    EXPECT_EQ(outer.Count(), 1u);
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
