#include "sfx/ui/main_window_texts.h"

#include "core/archive_format.h"
#include "core/long_path.h"
#include "core/text_format.h"
#include "core/text_format.h"

namespace zk {

std::wstring VolumeCountText(uint64_t sizeEstimate, uint64_t volumeSize)
{
    if (volumeSize == 0) return L"なし";
    uint64_t count = sizeEstimate / volumeSize + (sizeEstimate % volumeSize != 0 ? 1 : 0);
    return FormatText(L"%llu", static_cast<unsigned long long>(count));
}

std::wstring SummaryText(const SummaryFacts& f)
{
    // The format routines share one result buffer, so each text is copied
    // before the next call.
    std::wstring totalGrouped = FormatGroupedInteger(static_cast<int64_t>(f.m_nTotalSize));
    std::wstring totalUnit = FormatSizeText(f.m_nTotalSize, SIZE_AUTO);
    std::wstring files = FormatGroupedInteger(f.m_nFileCount);
    std::wstring folders = FormatGroupedInteger(f.m_nFolderCount);
    std::wstring contents = FormatGroupedInteger(f.m_nContentCount);
    std::wstring volumes = VolumeCountText(f.m_nSizeEstimate, f.m_nVolumeSize);
    const wchar_t* coding = (f.m_nArchiveFlags & AF_NARROW_NAMES) ? L"Sjift-JIS" : L"Unicode";
    const wchar_t* hashes = (f.m_nArchiveFlags & AF_HASH) ? L"あり" : L"なし";
    const wchar_t* hidden = (f.m_nArchiveFlags & AF_HIDDEN) ? L"含む" : L"含まない";
    return FormatText(L"ファイルサイズ\t： %-9ls Byte [%ls]\n"
                      L"格納ファイル数\t： %-9ls\t格納フォルダ数\t： %ls\n"
                      L"圧縮ファイル数\t： %-9ls\t分割ファイル数\t： %ls\n"
                      L"文字コード\t： %ls\t誤り検出\t： %ls\n"
                      L"隠しファイル\t： %ls",
                      totalGrouped.c_str(), totalUnit.c_str(), files.c_str(), folders.c_str(),
                      contents.c_str(), volumes.c_str(), coding, hashes, hidden);
}

std::wstring WindowTitle(const std::wstring& archiveTitle, const std::wstring& productVersion)
{
    if (!archiveTitle.empty()) return L" " + archiveTitle;
    return L" ゼルコラ 解凍ツール - Version " + productVersion;
}

std::wstring InitialDestination(const std::wstring& defaultDest, const std::wstring& archivePath, bool noUi)
{
    if (!noUi && !defaultDest.empty()) return defaultDest;
    std::wstring path = archivePath;
    path.push_back(L'\0');
    RemoveExtension(path.data());
    return std::wstring(path.c_str());
}

double ProgressRatio(uint64_t done, uint64_t total)
{
    if (total == 0) return 0.0;
    double ratio = static_cast<double>(done) / static_cast<double>(total);
    return ratio > 1.0 ? 1.0 : ratio;
}

int ProgressBarWidth(int clientWidth, double ratio)
{
    if (clientWidth <= 5) return 0;
    return static_cast<int>((clientWidth - 5) * ratio);
}

std::wstring ProgressText(const std::wstring& status, uint64_t done, uint64_t total, int64_t elapsedSeconds)
{
    if (!status.empty()) return status;
    // A clock set back during a run would give a negative time.
    int64_t elapsed = elapsedSeconds < 0 ? 0 : elapsedSeconds;
    int hours = static_cast<int>(elapsed / 3600);
    int minutes = static_cast<int>(elapsed / 60 % 60);
    int seconds = static_cast<int>(elapsed % 60);
    if (done == total) return FormatText(L"完了 [%02d:%02d:%02d]", hours, minutes, seconds);
    int percent = static_cast<int>(ProgressRatio(done, total) * 100.0);
    return FormatText(L"%llu / %llu Byte (%d %%) [%02d:%02d:%02d]", static_cast<unsigned long long>(done),
                      static_cast<unsigned long long>(total), percent, hours, minutes, seconds);
}

std::wstring ListDateText(const FILETIME& utc)
{
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return std::wstring();
    return FormatText(L"%4d/%02d/%02d %d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute);
}

} // namespace zk
