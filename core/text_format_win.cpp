#include "core/text_format.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

namespace zk {

wchar_t* TrimText(wchar_t* text, const wchar_t* chars)
{
    if (!text) return nullptr;
    StrTrimW(text, chars ? chars : TRIM_CHARS_DEFAULT);
    return text;
}

void TrimText(std::wstring& text, const wchar_t* chars)
{
    TrimText(text.data(), chars);
    text.resize(wcslen(text.c_str()));
}

std::unique_ptr<char[]> WideToThreadAnsi(const wchar_t* text)
{
    if (!text) return nullptr;
    const int need = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return nullptr;
    std::unique_ptr<char[]> out(new char[need]);
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, out.get(), need, nullptr, nullptr) != need)
        return nullptr;
    return out;
}

std::unique_ptr<wchar_t[]> ThreadAnsiToWide(const char* text)
{
    if (!text) return nullptr;
    const int need = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
    if (need <= 0) return nullptr;
    std::unique_ptr<wchar_t[]> out(new wchar_t[need]);
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, out.get(), need) != need) return nullptr;
    return out;
}

int CompareNamesLogically(const wchar_t* a, const wchar_t* b)
{
    return StrCmpLogicalW(a, b);
}

bool EqualsOrdinalNoCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

} // namespace zk
