#pragma once
// What a worker tells or asks its user, independent of how it is shown. The
// window layer shows a message as a box on the window's own thread; tests
// answer it directly. The text is exactly what the user reads.

#include <cstdint>
#include <string>

namespace zk {

// Who speaks: the program itself, the program asking, or the system (an
// error code and its text).
enum MessageSource : uint8_t { SOURCE_PROGRAM, SOURCE_QUESTION, SOURCE_SYSTEM };
enum MessageButtons : uint8_t {
    BUTTONS_OK,
    BUTTONS_OK_CANCEL,
    BUTTONS_YES_NO_CANCEL,
    BUTTONS_RETRY_CANCEL,
    BUTTONS_ABORT_RETRY_IGNORE
};
enum MessageMark : uint8_t { MARK_ERROR, MARK_WARNING, MARK_QUESTION, MARK_INFORMATION };
// ANSWER_NONE: nobody could be asked (the window is gone); callers take it
// as cancel. The names keep clear of the system headers' IGNORE and ERROR.
enum Answer : uint8_t {
    ANSWER_NONE,
    ANSWER_OK,
    ANSWER_CANCEL,
    ANSWER_YES,
    ANSWER_NO,
    ANSWER_RETRY,
    ANSWER_ABORT,
    ANSWER_IGNORE
};

struct UserMessage {
    MessageSource m_nSource = SOURCE_PROGRAM;
    MessageButtons m_nButtons = BUTTONS_OK;
    MessageMark m_nMark = MARK_ERROR;
    // Which question this is, for a caller without a window that answers by
    // topic (each engine numbers its own; 0 = none).
    uint8_t m_nTopic = 0;
    std::wstring m_strText;
};

// "[Error:<code>] <text>", or "[Error:<code>] エラーメッセージ取得失敗" when
// the system has no text for the code.
UserMessage SystemErrorMessage(uint32_t code, const std::wstring& text);

// Implemented by the window layer and by the tests; called from worker
// threads and from the window's own thread alike. Ask blocks until the
// message was answered.
class IUserDialogue {
public:
    virtual ~IUserDialogue() = default;
    virtual Answer Ask(const UserMessage& message) = 0;
    void Tell(const UserMessage& message) { Ask(message); }
    // Tells this thread's last recorded system failure (its code and text),
    // unless the code is 0. Call it right after the failing call recorded it.
    void ReportSystemError();
};

} // namespace zk
