#include "core/text_format.h"

#include <cmath>
#include <cstdarg>
#include <cwchar>
#include <string>
#include <vector>

namespace zk {

namespace {

thread_local wchar_t t_grouped[40];
thread_local wchar_t t_decimal[64];
thread_local wchar_t t_size[80];

constexpr uint64_t POW10[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// Decimals for TB, GB and MB in automatic mode.
int AutoPlaces(double v)
{
    return v >= 100 ? 0 : (v >= 10 ? 1 : 2);
}

} // namespace

const wchar_t* FormatGroupedInteger(int64_t value)
{
    // Work on the magnitude so that the sign never lands inside a group.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    wchar_t reversed[40];
    int n = 0, digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) reversed[n++] = L',';
        reversed[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    if (value < 0) reversed[n++] = L'-';
    for (int i = 0; i < n; ++i)
        t_grouped[i] = reversed[n - 1 - i];
    t_grouped[n] = L'\0';
    return t_grouped;
}

const wchar_t* FormatDecimal(double value, int places)
{
    if (places < 0) places = 0;
    if (places > 9) places = 9;
    if (std::isnan(value)) value = 0;
    const bool negative = value < 0;

    // Halves go up (away from zero for negative values); the whole scaled
    // value is kept as an integer so the digits cannot drift.
    long double scaled = std::floor(std::fabs(static_cast<long double>(value)) * POW10[places] + 0.5L);
    const long double limit = 9.0e18L;
    if (!(scaled < limit)) scaled = limit;
    const uint64_t units = static_cast<uint64_t>(scaled);
    const uint64_t whole = units / POW10[places];
    const uint64_t fraction = units % POW10[places];

    std::wstring text = negative && units != 0 ? L"-" : L"";
    text += FormatGroupedInteger(static_cast<int64_t>(whole));
    if (places > 0) {
        std::wstring digits = std::to_wstring(fraction);
        text += L'.';
        text.append(static_cast<size_t>(places) - digits.size(), L'0');
        text += digits;
    }
    wcsncpy(t_decimal, text.c_str(), 63);
    t_decimal[63] = L'\0';
    return t_decimal;
}

const wchar_t* FormatSizeText(uint64_t bytes, int mode)
{
    // K stays 64 bits wide: a 32-bit count would wrap at 4 TiB.
    const uint64_t k = bytes / 1024;
    const double kb = static_cast<double>(bytes) / 1024.0;
    const double mb = static_cast<double>(k) / 1024.0;
    const double gb = static_cast<double>(k >> 10) / 1024.0;
    const double tb = static_cast<double>(k >> 20) / 1024.0;

    double value = 0;
    int places = 2;
    const wchar_t* unit = L" B";
    switch (mode) {
    case SIZE_BYTES:
        break;
    case SIZE_KB:
        value = kb, unit = L" KB";
        break;
    case SIZE_MB:
        value = mb, unit = L" MB";
        break;
    case SIZE_GB:
        value = gb, unit = L" GB";
        break;
    case SIZE_TB:
        value = tb, unit = L" TB";
        break;
    default:
        if (gb >= 1000) {
            value = tb, unit = L" TB", places = AutoPlaces(tb);
        } else if (mb >= 1000) {
            value = gb, unit = L" GB", places = AutoPlaces(gb);
        } else if (mb >= 1) {
            value = mb, unit = L" MB", places = AutoPlaces(mb);
        } else if (kb >= 1) {
            value = kb, unit = L" KB", places = 0;
        }
        break;
    }

    const wchar_t* number =
        unit[1] == L'B' ? FormatGroupedInteger(static_cast<int64_t>(bytes)) : FormatDecimal(value, places);
    const std::wstring text = std::wstring(number) + unit;
    wcsncpy(t_size, text.c_str(), 79);
    t_size[79] = L'\0';
    return t_size;
}

std::wstring FormatText(const wchar_t* format, ...)
{
    // Room for most texts at once; a long path in a message needs more.
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        va_list args;
        va_start(args, format);
        int n = vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= (1u << 18)) return std::wstring(format);
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace zk
