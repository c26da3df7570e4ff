#include "ui/worker_dialogue.h"

#include "core/last_error.h"
#include "ui/message_box.h"

namespace zk {

namespace {

UINT ButtonFlags(MessageButtons buttons)
{
    switch (buttons) {
    case BUTTONS_OK_CANCEL:
        return MB_OKCANCEL;
    case BUTTONS_YES_NO_CANCEL:
        return MB_YESNOCANCEL;
    case BUTTONS_RETRY_CANCEL:
        return MB_RETRYCANCEL;
    case BUTTONS_ABORT_RETRY_IGNORE:
        return MB_ABORTRETRYIGNORE;
    case BUTTONS_OK:
    default:
        return MB_OK;
    }
}

UINT MarkFlags(MessageMark mark)
{
    switch (mark) {
    case MARK_WARNING:
        return MB_ICONWARNING;
    case MARK_QUESTION:
        return MB_ICONQUESTION;
    case MARK_INFORMATION:
        return MB_ICONINFORMATION;
    case MARK_ERROR:
    default:
        return MB_ICONERROR;
    }
}

} // namespace

Answer CWorkerDialogue::Ask(const UserMessage& message)
{
    int id = 0;
    if (!m_dialog.CallOnWindowThread(
            [&] { id = ShowUserMessage(m_dialog.Hwnd(), message, m_style, m_box); }))
        return ANSWER_NONE;
    return AnswerFromButton(id);
}

int ShowUserMessage(HWND dialog, const UserMessage& message, const CWorkerDialogue::Style& style,
                    const CWorkerDialogue::BoxFunc& box)
{
    HWND owner = dialog;
    const wchar_t* caption = style.strProgramCaption;
    UINT flags = ButtonFlags(message.m_nButtons) | MarkFlags(message.m_nMark) | style.nExtraFlags;
    if (message.m_nSource == SOURCE_QUESTION) {
        caption = style.strQuestionCaption;
    } else if (message.m_nSource == SOURCE_SYSTEM) {
        owner = nullptr;
        caption = L"Error Message";
        flags = MB_SYSTEMMODAL | MB_ICONERROR;
    }
    return box ? box(owner, message.m_strText.c_str(), caption, flags)
               : ShowMessageBox(owner, message.m_strText.c_str(), caption, flags);
}

void ShowSystemError()
{
    const uint32_t code = LastErrorCode();
    if (code == 0) return;
    ShowUserMessage(nullptr, SystemErrorMessage(code, LastErrorText()), CWorkerDialogue::Style{L"", L"", 0}, {});
    // Callers may test the error again after showing it.
    SetLastError(code);
}

Answer AnswerFromButton(int id)
{
    switch (id) {
    case IDOK:
        return ANSWER_OK;
    case IDCANCEL:
        return ANSWER_CANCEL;
    case IDYES:
        return ANSWER_YES;
    case IDNO:
        return ANSWER_NO;
    case IDRETRY:
        return ANSWER_RETRY;
    case IDABORT:
        return ANSWER_ABORT;
    case IDIGNORE:
        return ANSWER_IGNORE;
    default:
        return ANSWER_NONE;
    }
}

} // namespace zk
