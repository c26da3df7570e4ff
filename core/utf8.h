#pragma once
// UTF-8 and the program's wide text (UTF-16 on Windows, UTF-32 elsewhere),
// both ways. Bytes that are no UTF-8 (invalid or overlong sequences,
// surrogates) and lone surrogates become U+FFFD, so a name never turns into
// another character on the way, such as an overlong "/".

#include <cstddef>
#include <string>
#include <string_view>

namespace zk {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// Appends c as UTF-8; a surrogate or a value beyond U+10FFFF as U+FFFD.
void AppendUtf8(std::string& out, char32_t c);

// The code points of a wide text; a lone surrogate becomes U+FFFD.
template <typename F> void ForEachCodePoint(std::wstring_view text, F f)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = REPLACEMENT_CHARACTER;
            }
        }
        f(c);
    }
}

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

} // namespace zk
