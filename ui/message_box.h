#pragma once
// Every message box of both programs goes through ShowMessageBox. Tests
// replace the box function so that errors are recorded and questions are
// answered instead of blocking on a window nobody will click.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zk {

using MessageBoxFunc =
    std::function<int(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)>;

// Shows a box through the current box function (MessageBoxW by default) and
// returns its answer (IDOK, IDYES, ...).
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// The answer a program run without anybody at the screen gives a box with
// these MB_ flags: as QuietAnswer answers a worker's message (cancel, abort
// or no; a plain notice taken as read).
inline int QuietAnswer(UINT flags)
{
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_RETRYCANCEL:
    case MB_YESNOCANCEL:
    case MB_CANCELTRYCONTINUE:
        return IDCANCEL;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

// Installs a box function; an empty one restores MessageBoxW. Returns the
// function that was installed before.
MessageBoxFunc SetMessageBoxFunc(MessageBoxFunc fn);

// While alive, records every box (from any thread) and answers each with
// Answer(); restores the previous box function when it dies.
class MessageBoxRecorder {
public:
    struct Box {
        HWND owner;
        std::wstring text;
        std::wstring caption;
        UINT flags;
    };

    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void SetAnswer(int answer);
    std::vector<Box> Boxes() const;
    size_t Count() const;
    void Clear();

private:
    int Record(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

    mutable std::mutex m_lock;
    std::vector<Box> m_listBoxes;
    int m_nAnswer;
    MessageBoxFunc m_previous;
};

} // namespace zk
