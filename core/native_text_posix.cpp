#include "core/native_text_posix.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/utf8.h"

namespace zk {

namespace {

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

// Called for every file a run creates or opens: the ASCII part of a path,
// usually all of it, is copied a byte per character without assembling code
// points.
std::string NativePath(std::wstring_view path)
{
    std::string out(path.size(), '\0');
    size_t ascii = 0;
    for (; ascii < path.size() && static_cast<uint32_t>(path[ascii]) < 0x80; ++ascii)
        out[ascii] = path[ascii] == L'\\' ? '/' : static_cast<char>(path[ascii]);
    if (ascii == path.size()) return out;
    out.resize(ascii);
    ForEachCodePoint(path.substr(ascii), [&](char32_t c) { AppendUtf8(out, c == U'\\' ? U'/' : c); });
    return out;
}

std::wstring WideFromUtf8(std::string_view text)
{
    return Utf8ToWide(text);
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
