#pragma once
// How a worker thread's message reaches its user: the dialog's own thread
// shows it as a message box, with the dialog as owner, while the worker
// waits for the answer.

#include <windows.h>

#include <functional>

#include "core/user_message.h"
#include "ui/dialog.h"

namespace zk {

class CWorkerDialogue : public IUserDialogue {
public:
    // The captions and extra box flags of one program.
    struct Style {
        const wchar_t* strProgramCaption;
        const wchar_t* strQuestionCaption;
        UINT nExtraFlags;
    };
    using BoxFunc = std::function<int(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)>;

    CWorkerDialogue(CDialog& dialog, Style style) : m_dialog(dialog), m_style(style) {}

    // From any thread; ANSWER_NONE when the dialog has no window to ask on.
    Answer Ask(const UserMessage& message) override;
    // Replaces the box (tests running a dialog in their own process answer
    // here); an empty function restores the default.
    void SetBoxFunc(BoxFunc fn) { m_box = std::move(fn); }

private:
    CDialog& m_dialog;
    Style m_style;
    BoxFunc m_box;
};

// The box of one message, as the programs have always shown it:
//  SOURCE_PROGRAM:  owner the dialog, the program's caption;
//  SOURCE_QUESTION: owner the dialog, the question caption;
//  each with its buttons, its mark and the style's extra flags;
//  SOURCE_SYSTEM:   no owner, caption "Error Message", system modal, error
//                   mark, so that the window stays usable beneath it.
// An empty box function shows through ShowMessageBox. Window thread.
int ShowUserMessage(HWND dialog, const UserMessage& message, const CWorkerDialogue::Style& style,
                    const CWorkerDialogue::BoxFunc& box);

// This thread's recorded system failure (LastErrorCode, LastErrorText, as
// GetLastErrorText stored it) in the system's box: "[Error:%d] %s", caption
// "Error Message", system modal, no owner. Nothing for code 0. For the
// window thread's own failures, before or outside any worker dialogue.
// GetLastError is the same afterwards.
void ShowSystemError();

// The answer a box's result stands for (IDOK → ANSWER_OK, ...; 0 → ANSWER_NONE).
Answer AnswerFromButton(int id);

} // namespace zk
