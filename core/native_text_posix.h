#pragma once
// Between the engines' wide texts and the bytes POSIX calls take: paths in
// UTF-8 with "/" for every "\\", texts of a Windows code page through iconv.
// Used by the *_posix.cpp files only.

#include <cstdint>
#include <string>
#include <string_view>

namespace zk {

// The path as the system takes it: "\\" becomes "/", the text UTF-8.
std::string NativePath(std::wstring_view path);

// UTF-8 bytes (a name or a system text) as a wide text; bytes that are no
// UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

// A wide text in a Windows code page (932, 1252, 65001, ...). Characters the
// code page lacks become '?' and set *lossy. False when the code page is
// unknown to the system.
bool WideToCodePage(uint32_t codePage, std::wstring_view text, std::string* out, bool* lossy);

// Bytes of a code page as a wide text; bytes it cannot read become its
// replacement character (U+30FB for 932, U+FFFD otherwise). False when the
// code page is unknown to the system.
bool CodePageToWide(uint32_t codePage, std::string_view bytes, std::wstring* out);

} // namespace zk
