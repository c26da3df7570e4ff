#include "core/native_text_posix.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zk {

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string CodePageName(uint32_t codePage)
{
    if (codePage == 65001) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

// One open conversion, closed with the object.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (Ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

std::string NativePath(std::wstring_view path)
{
    std::string out;
    out.reserve(path.size());
    for (wchar_t wc : path)
        AppendUtf8(out, wc == L'\\' ? U'/' : static_cast<char32_t>(wc));
    return out;
}

std::wstring WideFromUtf8(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
        for (int k = 1; ok && k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((t & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

bool WideToCodePage(uint32_t codePage, std::wstring_view text, std::string* out, bool* lossy)
{
    if (lossy) *lossy = false;
    out->clear();
    Converter cv(CodePageName(codePage), "UTF-32LE");
    if (!cv.Ok()) return false;
    char buffer[16];
    for (wchar_t wc : text) {
        const uint32_t unit = static_cast<uint32_t>(wc);
        char in[4] = {static_cast<char>(unit), static_cast<char>(unit >> 8), static_cast<char>(unit >> 16),
                      static_cast<char>(unit >> 24)};
        char* pin = in;
        size_t inLeft = sizeof in;
        char* pout = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cv.Get(), &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1)) {
            iconv(cv.Get(), nullptr, nullptr, nullptr, nullptr);
            *out += '?';
            if (lossy) *lossy = true;
            continue;
        }
        out->append(buffer, sizeof buffer - outLeft);
    }
    return true;
}

bool CodePageToWide(uint32_t codePage, std::string_view bytes, std::wstring* out)
{
    out->clear();
    Converter cv("UTF-32LE", CodePageName(codePage));
    if (!cv.Ok()) return false;
    const wchar_t replacement = codePage == 932 ? L'\u30FB' : L'\uFFFD';
    std::vector<char> buffer(bytes.size() * 4 + 16);
    char* pin = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* pout = buffer.data();
        size_t outLeft = buffer.size();
        const size_t done = iconv(cv.Get(), &pin, &inLeft, &pout, &outLeft);
        const size_t produced = buffer.size() - outLeft;
        for (size_t i = 0; i + 4 <= produced; i += 4) {
            const uint32_t c = static_cast<uint8_t>(buffer[i]) | (static_cast<uint8_t>(buffer[i + 1]) << 8) |
                               (static_cast<uint8_t>(buffer[i + 2]) << 16) |
                               (static_cast<uint32_t>(static_cast<uint8_t>(buffer[i + 3])) << 24);
            *out += static_cast<wchar_t>(c);
        }
        if (done != static_cast<size_t>(-1)) break;
        // A byte the code page cannot read (or a lead byte without its
        // trail byte at the end) becomes the replacement character.
        iconv(cv.Get(), nullptr, nullptr, nullptr, nullptr);
        *out += replacement;
        ++pin;
        --inLeft;
    }
    return true;
}

} // namespace zk
