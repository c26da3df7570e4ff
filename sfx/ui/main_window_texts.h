#pragma once
// The texts of the extractor's main window, apart from the window: the
// summary of the archive, the window title, the first destination, the
// progress bar's text and the contents list's columns.

#include <windows.h>

#include <cstdint>
#include <string>

namespace zk {

// What the summary reports; all from the archive's header and parameters.
struct SummaryFacts {
    uint64_t m_nTotalSize = 0;    // sum of the uncompressed sizes
    uint64_t m_nSizeEstimate = 0; // what the archive was expected to take
    uint64_t m_nVolumeSize = 0;   // bytes, 0 = not split
    uint32_t m_nFileCount = 0;
    uint32_t m_nFolderCount = 0;
    uint32_t m_nContentCount = 0;
    uint32_t m_nArchiveFlags = 0;
};

// "なし" for an archive in one file, else the number of volumes the size
// estimate fills (a part of a volume counts as one).
std::wstring VolumeCountText(uint64_t sizeEstimate, uint64_t volumeSize);

// The five lines of the summary box, tab-aligned.
std::wstring SummaryText(const SummaryFacts& facts);

// " <title>" when the archive names one, else the program's own title with
// its product version.
std::wstring WindowTitle(const std::wstring& archiveTitle, const std::wstring& productVersion);

// The archive's default destination, or the archive path without its
// extension when it gives none (always the latter without a window).
std::wstring InitialDestination(const std::wstring& defaultDest, const std::wstring& archivePath, bool noUi);

// Part of the bar that is done: 0 when nothing is to be done; never above 1
// so that the bar stays inside its frame.
double ProgressRatio(uint64_t done, uint64_t total);
// Width in pixels of the filled part of a bar whose client is clientWidth wide.
int ProgressBarWidth(int clientWidth, double ratio);

// The bar's text: the status when there is one; else the finished text when
// done = total, else the byte count with percentage. elapsedSeconds is the
// time between the start and the last progress.
std::wstring ProgressText(const std::wstring& status, uint64_t done, uint64_t total, int64_t elapsedSeconds);

// Columns of the contents list.
enum : int {
    COLUMN_NAME = 0,
    COLUMN_STORED_SIZE = 1,
    COLUMN_SIZE = 2,
    COLUMN_MODIFIED = 3,
    COLUMN_COUNT = 4,
};

// "2026/12/07 9:05" for a UTC file time, shown in local time; "" for a time
// the system cannot convert.
std::wstring ListDateText(const FILETIME& utc);

} // namespace zk
