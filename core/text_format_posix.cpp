#include "core/text_format.h"

#include <cwchar>
#include <cwctype>

#include "core/archive_names.h"
#include "core/native_text_posix.h"

namespace zk {

wchar_t* TrimText(wchar_t* text, const wchar_t* chars)
{
    if (!text) return nullptr;
    if (!chars) chars = TRIM_CHARS_DEFAULT;
    const size_t start = wcsspn(text, chars);
    size_t end = wcslen(text);
    while (end > start && wcschr(chars, text[end - 1]))
        --end;
    wmemmove(text, text + start, end - start);
    text[end - start] = L'\0';
    return text;
}

void TrimText(std::wstring& text, const wchar_t* chars)
{
    TrimText(text.data(), chars);
    text.resize(wcslen(text.c_str()));
}

// Without a thread code page, the archive code page stands in.
std::unique_ptr<char[]> WideToThreadAnsi(const wchar_t* text)
{
    if (!text) return nullptr;
    std::string bytes;
    if (!WideToCodePage(ArchiveCodePage(), text, &bytes, nullptr)) return nullptr;
    std::unique_ptr<char[]> out(new char[bytes.size() + 1]);
    bytes.copy(out.get(), bytes.size());
    out[bytes.size()] = '\0';
    return out;
}

std::unique_ptr<wchar_t[]> ThreadAnsiToWide(const char* text)
{
    if (!text) return nullptr;
    std::wstring wide;
    if (!CodePageToWide(ArchiveCodePage(), text, &wide)) return nullptr;
    std::unique_ptr<wchar_t[]> out(new wchar_t[wide.size() + 1]);
    wide.copy(out.get(), wide.size());
    out[wide.size()] = L'\0';
    return out;
}

bool EqualsOrdinalNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i])))
            return false;
    return true;
}

// Digit runs compare by value (then the shorter run of equal value first),
// everything else one character at a time without regard to case.
int CompareNamesLogically(const wchar_t* a, const wchar_t* b)
{
    while (*a && *b) {
        if (std::iswdigit(static_cast<wint_t>(*a)) && std::iswdigit(static_cast<wint_t>(*b))) {
            const wchar_t* za = a;
            const wchar_t* zb = b;
            while (*za == L'0')
                ++za;
            while (*zb == L'0')
                ++zb;
            const wchar_t* ea = za;
            const wchar_t* eb = zb;
            while (std::iswdigit(static_cast<wint_t>(*ea)))
                ++ea;
            while (std::iswdigit(static_cast<wint_t>(*eb)))
                ++eb;
            if (ea - za != eb - zb) return ea - za < eb - zb ? -1 : 1;
            for (; za < ea; ++za, ++zb)
                if (*za != *zb) return *za < *zb ? -1 : 1;
            if (ea - a != eb - b) return ea - a < eb - b ? -1 : 1;
            a = ea;
            b = eb;
            continue;
        }
        const wint_t ca = std::towupper(static_cast<wint_t>(*a));
        const wint_t cb = std::towupper(static_cast<wint_t>(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++a;
        ++b;
    }
    return *a ? 1 : (*b ? -1 : 0);
}

} // namespace zk
