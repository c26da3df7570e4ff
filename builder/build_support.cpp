#include "builder/build_support.h"

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

std::wstring FormatText(const wchar_t* format, ...)
{
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        va_list args;
        va_start(args, format);
        int n = vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
        // A path of 2047 units and a system text of 2047 fit well below this.
        if (buffer.size() >= 65536) return std::wstring(format);
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace zk
