#pragma once
// UTF-16 text between the two string kinds the code uses: the platform's
// wide strings and the portable code's char16_t strings. On Windows wchar_t
// holds the same 16-bit units, so the conversion copies them unchanged.

#include <string>

namespace zk {

inline std::u16string ToU16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

inline std::wstring ToWide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace zk
