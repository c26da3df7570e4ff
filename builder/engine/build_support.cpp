#include "builder/engine/build_support.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

#include "core/message_box.h"

namespace zk {

int ShowBuildMessage(const std::wstring& text, UINT flags)
{
    const bool question = (flags & MB_TYPEMASK) != MB_OK;
    return ShowMessageBox(nullptr, text.c_str(), question ? QUESTION_CAPTION : BUILD_CAPTION,
                          flags | MB_SETFOREGROUND);
}

} // namespace zk
