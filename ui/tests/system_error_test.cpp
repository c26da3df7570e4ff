#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/last_error.h"
#include "ui/message_box.h"
#include "ui/worker_dialogue.h"

namespace zk {
namespace {

TEST(ShowSystemError, ShowsCodeAndSystemTextInSystemModalErrorBox)
{
    MessageBoxRecorder boxes;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetLastErrorText(), 5u);
    ShowSystemError();
    EXPECT_EQ(GetLastError(), 5u) << "the box must not change the caller's error";

    ASSERT_EQ(boxes.Count(), 1u);
    const auto box = boxes.Boxes()[0];
    EXPECT_EQ(box.caption, L"Error Message");
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_SYSTEMMODAL | MB_ICONERROR));
    EXPECT_EQ(box.owner, nullptr);
    ASSERT_GT(wcslen(LastErrorText()), 0u);
    EXPECT_EQ(box.text, std::wstring(L"[Error:5] ") + LastErrorText());
}

TEST(ShowSystemError, FallbackTextWhenSystemHasNone)
{
    MessageBoxRecorder boxes;
    // A code the system message table has no text for.
    SetLastError(0x2000FFFF);
    GetLastErrorText();
    ShowSystemError();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, L"[Error:536936447] エラーメッセージ取得失敗");
    EXPECT_STREQ(LastErrorText(), L"") << "no stale text from an earlier failure";
}

TEST(ShowSystemError, NoBoxForCodeZeroOrTheIgnoredCode)
{
    MessageBoxRecorder boxes;
    SetLastError(0);
    GetLastErrorText();
    ShowSystemError();
    SetLastError(ERROR_ALREADY_EXISTS);
    GetLastErrorText(nullptr, ERROR_ALREADY_EXISTS);
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(boxes.Count(), 0u);
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

} // namespace
} // namespace zk
