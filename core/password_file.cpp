#include "core/password_file.h"

namespace zk {

namespace {

bool DecodeUtf16(const uint8_t* p, size_t size, bool bigEndian, std::u16string* out)
{
    if (size % 2 != 0) return false;
    for (size_t i = 0; i < size; i += 2)
        out->push_back(static_cast<char16_t>(bigEndian ? (p[i] << 8) | p[i + 1] : p[i] | (p[i + 1] << 8)));
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool DecodeUtf8(const uint8_t* p, size_t size, std::u16string* out)
{
    for (size_t i = 0; i < size;) {
        const uint8_t lead = p[i];
        uint32_t cp = 0;
        size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F;
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (size - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t MIN_FOR_LENGTH[] = {0, 0x80, 0x800, 0x10000};
        if (cp < MIN_FOR_LENGTH[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

} // namespace

bool PasswordFromFileBytes(const uint8_t* bytes, size_t size, std::u16string* password)
{
    std::u16string text;
    bool ok = false;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        ok = DecodeUtf16(bytes + 2, size - 2, false, &text);
    else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        ok = DecodeUtf16(bytes + 2, size - 2, true, &text);
    else if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        ok = DecodeUtf8(bytes + 3, size - 3, &text);
    else
        ok = DecodeUtf8(bytes, size, &text);
    if (!ok) return false;
    size_t end = text.find_first_of(u"\r\n");
    if (end != std::u16string::npos) text.resize(end);
    if (text.empty()) return false;
    *password = std::move(text);
    return true;
}

} // namespace zk
