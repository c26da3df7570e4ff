#pragma once
// UTF-16 text between the two string kinds the code uses: the platform's
// wide strings and the portable code's char16_t strings. On Windows wchar_t
// holds the same 16-bit units, so the conversion copies them unchanged;
// where wchar_t holds whole code points (UTF-32), pairs are joined and
// split. A lone surrogate is kept as its own unit either way.

#include <cwchar>
#include <string>

namespace zk {

inline std::u16string ToU16(const std::wstring& text)
{
#if WCHAR_MAX <= 0xFFFF
    return std::u16string(text.begin(), text.end());
#else
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        const char32_t c = static_cast<char32_t>(wc);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
#endif
}

inline std::wstring ToWide(const std::u16string& text)
{
#if WCHAR_MAX <= 0xFFFF
    return std::wstring(text.begin(), text.end());
#else
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00)));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
    }
    return out;
#endif
}

} // namespace zk
