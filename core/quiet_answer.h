#pragma once
// The answer a program run with "--quiet" gives the questions it would have
// shown in a box: nobody is there, so nothing is replaced, retried or
// ignored on its own: cancel, abort or no; a plain notice is taken as read.

#include <windows.h>

namespace zk {

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

} // namespace zk
