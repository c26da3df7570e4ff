#include "core/entry_name.h"

#include "core/archive_format.h"

namespace zk {

namespace {

char16_t UpperAscii(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool EqualsAscii(std::u16string_view a, const char* b)
{
    size_t i = 0;
    for (; b[i]; ++i) {
        if (i >= a.size() || UpperAscii(a[i]) != static_cast<char16_t>(b[i])) return false;
    }
    return i == a.size();
}

bool IsDeviceDigit(char16_t c)
{
    return (c >= u'1' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

} // namespace

bool IsReservedDeviceName(std::u16string_view name)
{
    // The system looks only at what comes before the first dot, ignoring
    // blanks at its end: "con .txt" and "NUL..." open devices.
    std::u16string_view base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ')
        base.remove_suffix(1);

    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsAscii(base, device)) return true;
    }
    if (base.size() == 4 && IsDeviceDigit(base[3])) {
        std::u16string_view stem = base.substr(0, 3);
        if (EqualsAscii(stem, "COM") || EqualsAscii(stem, "LPT")) return true;
    }
    return false;
}

bool IsSafeEntryName(std::u16string_view name)
{
    // The system drops a trailing dot or blank from every name it is given
    // except through the long-path form the extractor writes with: such a
    // file could be made, but nothing else could open or delete it.
    if (!name.empty() && (name.back() == u'.' || name.back() == u' ')) return false;
    return IsPlainEntryName(name) && !IsReservedDeviceName(name);
}

} // namespace zk
