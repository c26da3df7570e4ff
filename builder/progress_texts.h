#pragma once
// Texts of the progress and completion pages, made without any window so
// that they can be checked directly.

#include <cstdint>
#include <string>

namespace zk {

// "%02d:%02d:%02d" of a number of seconds (hours are not wrapped at 24).
std::wstring FormatElapsed(int64_t seconds);

// The bar's own text: "done / total MB (percent %) [hh:mm:ss]". A total of 0
// gives 0 %.
std::wstring FormatBarText(int64_t doneMB, int64_t totalMB, int64_t elapsedSeconds);

// Widths in pixels of the compress and verify layers for a bar whose drawing
// area is `width` pixels wide. Both are 0 while the total is 0; neither goes
// beyond the area, however far the counters overshoot.
struct BarWidths {
    int nCompress = 0;
    int nVerify = 0;
};
BarWidths ComputeBarWidths(int64_t compressMB, int64_t verifyMB, int64_t totalMB, int width);

// Pads a text with blanks on the right to at least `width` characters; every
// character counts one.
std::wstring PadRight(const std::wstring& text, size_t width);

} // namespace zk
