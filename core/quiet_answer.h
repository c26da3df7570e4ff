#pragma once
// The answer a program run with "--quiet" gives the questions it would have
// asked: nobody is there, so nothing is replaced, retried or ignored on its
// own: cancel, abort or no; a plain notice is taken as read.

#include <windows.h>

#include "core/user_message.h"

namespace zk {

// For a box with these MB_ flags.
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

// For a worker's message with these buttons.
inline Answer QuietAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case BUTTONS_OK:
        return ANSWER_OK;
    case BUTTONS_ABORT_RETRY_IGNORE:
        return ANSWER_ABORT;
    default:
        return ANSWER_CANCEL;
    }
}

} // namespace zk
