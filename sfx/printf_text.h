#pragma once
// printf-style formatting of the extractor's texts.

#include <string>

namespace zk {

// The text vswprintf makes of format and the arguments, however long: "%ls"
// takes a wchar_t string and inserts it as it is ("%" in it included). ""
// when the format is broken or the text would exceed a quarter million
// characters.
std::wstring PrintfText(const wchar_t* format, ...);

} // namespace zk
