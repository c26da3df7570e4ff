#pragma once
// The answer a program run with "--quiet" gives the questions it would have
// asked: nobody is there, so nothing is replaced, retried or ignored on its
// own: cancel, abort or no; a plain notice is taken as read.

#include "core/user_message.h"

namespace zk {

// For a worker's message with these buttons. Windowless fronts (the quiet
// extractor, the command-line tool's build) answer the same way.
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
