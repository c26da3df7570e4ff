#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

#include "ui/dialog.h"
#include "ui/worker_dialogue.h"

namespace zk {
namespace {

constexpr UINT TEST_DIALOG = 100;
const CWorkerDialogue::Style STYLE{L"Program", L"Question", MB_SETFOREGROUND};

struct Box {
    HWND owner;
    std::wstring text, caption;
    UINT flags;
    DWORD thread;
};

TEST(ShowUserMessage, CaptionOwnerAndFlagsFollowTheSource)
{
    const HWND dialog = reinterpret_cast<HWND>(0x1234);
    struct Row {
        MessageSource source;
        MessageButtons buttons;
        MessageMark mark;
        HWND owner;
        const wchar_t* caption;
        UINT flags;
    } rows[] = {
        {SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, dialog, L"Program", MB_OK | MB_ICONERROR | MB_SETFOREGROUND},
        {SOURCE_PROGRAM, BUTTONS_OK, MARK_INFORMATION, dialog, L"Program", MB_ICONINFORMATION | MB_SETFOREGROUND},
        {SOURCE_QUESTION, BUTTONS_OK_CANCEL, MARK_QUESTION, dialog, L"Question",
         MB_OKCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND},
        {SOURCE_QUESTION, BUTTONS_YES_NO_CANCEL, MARK_QUESTION, dialog, L"Question",
         MB_YESNOCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND},
        {SOURCE_QUESTION, BUTTONS_RETRY_CANCEL, MARK_WARNING, dialog, L"Question",
         MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND},
        {SOURCE_QUESTION, BUTTONS_ABORT_RETRY_IGNORE, MARK_QUESTION, dialog, L"Question",
         MB_ABORTRETRYIGNORE | MB_ICONQUESTION | MB_SETFOREGROUND},
        // The system's errors keep their ownerless, system-modal box whatever
        // the message asks for.
        {SOURCE_SYSTEM, BUTTONS_OK_CANCEL, MARK_QUESTION, nullptr, L"Error Message", MB_SYSTEMMODAL | MB_ICONERROR},
    };
    for (const Row& row : rows) {
        UserMessage message{row.source, row.buttons, row.mark, 0, L"text"};
        Box seen{};
        int id = ShowUserMessage(dialog, message, STYLE, [&](HWND owner, const wchar_t* text, const wchar_t* caption,
                                                             UINT flags) {
            seen = {owner, text, caption, flags, 0};
            return IDRETRY;
        });
        EXPECT_EQ(id, IDRETRY);
        EXPECT_EQ(seen.owner, row.owner) << row.caption;
        EXPECT_EQ(seen.caption, row.caption);
        EXPECT_EQ(seen.flags, row.flags) << row.caption << " " << int(row.buttons);
        EXPECT_EQ(seen.text, L"text");
    }
    EXPECT_EQ(SystemErrorMessage(5, L"Access is denied.").m_strText, L"[Error:5] Access is denied.");
    EXPECT_EQ(SystemErrorMessage(87, L"").m_strText, L"[Error:87] エラーメッセージ取得失敗");
}

// A dialog whose worker asks twice while the dialog runs, then closes it
// through the window thread; after the dialog has gone, asking reaches
// nobody.
class AskingDialog : public CDialog {
public:
    AskingDialog() : CDialog(TEST_DIALOG), m_dialogue(*this, STYLE) {}
    ~AskingDialog() override
    {
        if (m_worker.joinable()) m_worker.join();
    }

    CWorkerDialogue m_dialogue;
    std::vector<Box> m_listBoxes;  // written on the window thread only
    std::vector<Answer> m_listAnswers;
    DWORD m_nWindowThread = 0;
    std::thread m_worker;

protected:
    BOOL OnInitDialog() override
    {
        m_nWindowThread = GetCurrentThreadId();
        m_worker = std::thread([this] {
            m_listAnswers.push_back(
                m_dialogue.Ask({SOURCE_QUESTION, BUTTONS_RETRY_CANCEL, MARK_WARNING, 0, L"locked"}));
            m_listAnswers.push_back(m_dialogue.Ask({SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, 0, L"failed"}));
            CallOnWindowThread([this] { EndDialog(IDOK); });
        });
        return TRUE;
    }
};

TEST(CallOnWindowThread, WorkersAskOnTheDialogsThreadWithTheDialogAsOwner)
{
    AskingDialog dialog;
    EXPECT_FALSE(dialog.CallOnWindowThread([] {}));  // no window yet
    HWND seenOwner = nullptr;
    dialog.m_dialogue.SetBoxFunc([&](HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
        dialog.m_listBoxes.push_back({owner, text, caption, flags, GetCurrentThreadId()});
        seenOwner = dialog.Hwnd();
        return dialog.m_listBoxes.size() == 1 ? IDRETRY : IDOK;
    });
    ASSERT_EQ(dialog.DoModal(nullptr), IDOK);
    dialog.m_worker.join();

    ASSERT_EQ(dialog.m_listBoxes.size(), 2u);
    for (const Box& box : dialog.m_listBoxes) {
        EXPECT_EQ(box.thread, dialog.m_nWindowThread);
        EXPECT_EQ(box.owner, seenOwner);
        EXPECT_NE(box.owner, nullptr);
    }
    EXPECT_EQ(dialog.m_listBoxes[0].caption, L"Question");
    EXPECT_EQ(dialog.m_listBoxes[1].text, L"failed");
    EXPECT_EQ(dialog.m_listAnswers, (std::vector<Answer>{ANSWER_RETRY, ANSWER_OK}));

    // The window is gone: nothing runs, and a question is answered by nobody.
    bool ran = false;
    EXPECT_FALSE(dialog.CallOnWindowThread([&] { ran = true; }));
    EXPECT_FALSE(ran);
    std::thread late([&] { EXPECT_EQ(dialog.m_dialogue.Ask({}), ANSWER_NONE); });
    late.join();
    EXPECT_EQ(dialog.m_listBoxes.size(), 2u);
}

} // namespace
} // namespace zk
