#include "progress_texts.h"

#include <cstdio>

namespace zk {

std::wstring FormatElapsed(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    long long hours = seconds / 3600;
    long long minutes = seconds / 60 - hours * 60;
    long long secs = seconds % 60;
    wchar_t buffer[64];
    swprintf(buffer, 64, L"%02lld:%02lld:%02lld", hours, minutes, secs);
    return buffer;
}

std::wstring FormatBarText(int64_t doneMB, int64_t totalMB, int64_t elapsedSeconds)
{
    long long percent = 0;
    if (totalMB > 0)
        percent = static_cast<long long>(static_cast<double>(doneMB) / static_cast<double>(totalMB) * 100.0);
    wchar_t buffer[160];
    swprintf(buffer, 160, L"%lld / %lld MB (%lld %%) [%ls]", static_cast<long long>(doneMB),
        static_cast<long long>(totalMB), percent, FormatElapsed(elapsedSeconds).c_str());
    return buffer;
}

namespace {
int LayerWidth(int64_t done, int64_t total, int width)
{
    if (total <= 0 || done <= 0 || width <= 0)
        return 0;
    double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (fraction > 1.0)
        fraction = 1.0;
    return static_cast<int>(width * fraction);
}
} // namespace

BarWidths ComputeBarWidths(int64_t compressMB, int64_t verifyMB, int64_t totalMB, int width)
{
    return {LayerWidth(compressMB, totalMB, width), LayerWidth(verifyMB, totalMB, width)};
}

std::wstring PadRight(const std::wstring& text, size_t width)
{
    std::wstring padded = text;
    if (padded.size() < width)
        padded.append(width - padded.size(), L' ');
    return padded;
}

} // namespace zk
