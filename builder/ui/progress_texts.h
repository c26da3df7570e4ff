#pragma once
// Texts of the progress and completion pages, made without any window so
// that they can be checked directly.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// The counters under " 処理内容 ", once the sources are counted. Before that
// (no counters) each of the four values reads "0", the size without its
// "Byte [...]" part.
struct CounterValues {
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0;
    uint64_t nTotalSize = 0;
};
std::wstring FormatCountersText(const std::optional<CounterValues>& counters);

// What the summary and the report say about the settings of a build.
struct SettingsValues {
    std::wstring strArchivePath;
    bool bPassword = false;
    int nSplitMB = 0;
    int nCompressKind = 0;  // 0 LZ4, else Deflate
    int nCompressLevel = 0; // 0 standard, else high
    bool bVerify = false;
    bool bHash = false;
    bool bIncludeHidden = false;
    bool bUseWorkFolder = false;
    std::wstring strWorkFolder;
    bool bUseExclusions = false;
    std::vector<std::wstring> exclusions;
};
std::wstring FormatSettingsSummary(const SettingsValues& settings);

// The completion report.
struct ResultValues {
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0;
    uint64_t nTotalSize = 0;
    uint64_t nStreamBytes = 0;
    uint32_t nElapsedSeconds = 0;
};
std::wstring FormatCompletionReport(const ResultValues& result, const SettingsValues& settings);

// 100 - stream / input * 100, one decimal and "%"; 0 for an empty input.
std::wstring FormatCompressionRatio(uint64_t inputBytes, uint64_t streamBytes);

// "1,234 Byte [1 KB]": the grouped byte count and the size text.
std::wstring FormatByteCount(uint64_t bytes);

} // namespace zk
