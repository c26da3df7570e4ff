#include "builder/ui/progress_texts.h"

#include "builder/settings/exclusion_patterns.h"
#include "core/long_path.h"
#include "core/text_format.h"

#include <cstdio>

namespace zk {

std::wstring FormatElapsed(int64_t seconds)
{
    if (seconds < 0) seconds = 0;
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
    if (total <= 0 || done <= 0 || width <= 0) return 0;
    double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (fraction > 1.0) fraction = 1.0;
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
    if (padded.size() < width) padded.append(width - padded.size(), L' ');
    return padded;
}

namespace {

std::wstring Grouped(uint64_t value)
{
    return FormatGroupedInteger(static_cast<int64_t>(value));
}

const wchar_t* YesNo(bool value)
{
    return value ? L"あり" : L"なし";
}

std::wstring SplitText(int splitMB)
{
    if (splitMB == 0) return L"なし";
    return Grouped(static_cast<uint64_t>(splitMB < 0 ? 0 : splitMB)) + L" MB";
}

std::wstring CompressionText(int kind, int level)
{
    return std::wstring(kind != 0 ? L"Deflate" : L"Lz4") + L" (" + (level != 0 ? L"高圧縮" : L"標準") + L")";
}

std::wstring Pad9(const std::wstring& text)
{
    return PadRight(text, 9);
}

} // namespace

std::wstring FormatByteCount(uint64_t bytes)
{
    std::wstring text = Grouped(bytes);
    text += L" Byte [";
    text += FormatSizeText(bytes, SIZE_AUTO);
    text += L"]";
    return text;
}

std::wstring FormatCountersText(const std::optional<CounterValues>& counters)
{
    const std::wstring files = counters ? Grouped(counters->nFileCount) : L"0";
    const std::wstring folders = counters ? Grouped(counters->nFolderCount) : L"0";
    const std::wstring contents = counters ? Grouped(counters->nContentCount) : L"0";
    const std::wstring size = counters ? FormatByteCount(counters->nTotalSize) : L"0";
    return L"ファイル数\t： " + Pad9(files) + L"\tフォルダ数\t： " + folders + L"\n処理ファイル数\t： " +
           Pad9(contents) + L"\t処理サイズ\t： " + size;
}

std::wstring FormatSettingsSummary(const SettingsValues& s)
{
    std::wstring workFolder;
    if (s.bUseWorkFolder) {
        workFolder = s.strWorkFolder;
    } else {
        workFolder = ParentFolder(s.strArchivePath);
        AddTrailingSlash(workFolder);
    }
    std::wstring exclusions =
        s.bUseExclusions ? JoinSortedPatterns(s.exclusions, L" ") : std::wstring(L"なし");
    return L"書庫ファイル\t： " + s.strArchivePath + L"\nパスワード\t： " + Pad9(YesNo(s.bPassword)) +
           L"\t分割サイズ\t： " + Pad9(SplitText(s.nSplitMB)) + L"\t圧縮種類\t： " +
           Pad9(CompressionText(s.nCompressKind, s.nCompressLevel)) + L"\n" + L"ベリファイ\t： " +
           Pad9(YesNo(s.bVerify)) + L"\tハッシュ生成\t： " + Pad9(YesNo(s.bHash)) + L"\t隠しファイル\t： " +
           Pad9(s.bIncludeHidden ? L"含む" : L"含まない") + L"\n作業フォルダ\t： " + workFolder +
           L"\n除外ファイル\t： " + exclusions;
}

std::wstring FormatCompressionRatio(uint64_t inputBytes, uint64_t streamBytes)
{
    double ratio = 0.0;
    if (inputBytes != 0)
        ratio = 100.0 - static_cast<double>(streamBytes) / static_cast<double>(inputBytes) * 100.0;
    return std::wstring(FormatDecimal(ratio, 1)) + L"%";
}

std::wstring FormatCompletionReport(const ResultValues& r, const SettingsValues& s)
{
    return L"ファイル数\t： " + Pad9(Grouped(r.nFileCount)) + L"\t圧縮種類\t： " +
           Pad9(CompressionText(s.nCompressKind, s.nCompressLevel)) + L"\nフォルダ数\t： " +
           Pad9(Grouped(r.nFolderCount)) + L"\t分割サイズ\t： " + Pad9(SplitText(s.nSplitMB)) +
           L"\n処理ファイル数\t： " + Pad9(Grouped(r.nContentCount)) + L"\tパスワード\t： " +
           Pad9(YesNo(s.bPassword)) + L"\n処理サイズ\t： " + FormatByteCount(r.nTotalSize) +
           L"\n書庫サイズ\t： " + FormatByteCount(r.nStreamBytes) + L"\n\t圧縮率\t： " +
           FormatCompressionRatio(r.nTotalSize, r.nStreamBytes) + L"\t\t処理時間\t： " +
           FormatElapsed(r.nElapsedSeconds);
}

} // namespace zk
