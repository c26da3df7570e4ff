#include "sfx/printf_text.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace zk {

std::wstring PrintfText(const wchar_t* format, ...)
{
    // Room for most texts at once; a long path in a question needs more.
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        va_list args;
        va_start(args, format);
        int n = vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= (1u << 18)) return std::wstring();
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace zk
