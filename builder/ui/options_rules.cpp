#include "builder/ui/options_rules.h"

#include <cwctype>

namespace zk {

const SplitPreset SPLIT_PRESETS[SPLIT_PRESET_COUNT] = {
    {L"なし", 0},
    {L"5MB", 5},
    {L"10MB", 10},
    {L"100MB", 100},
    {L"640MB", 640},
    {L"1024MB (1GB)", 1024},
    {L"2048MB (2GB)", 2048},
    {L"4096MB (4GB)", 4096},
    {L"8192MB (8GB)", 8192},
    {L"CDR 650MB", 650},
    {L"CDR 700MB", 700},
    {L"DVD 4.7GB (4.3GB)", 4482},
    {L"DVD 8.5GB (7.9GB)", 8106},
    {L"サイズ指定", -1},
};

int SplitPresetIndex(int valueMB)
{
    for (int i = 0; i < SPLIT_PRESET_COUNT; ++i)
        if (SPLIT_PRESETS[i].nValueMB == valueMB) return i;
    return SPLIT_CUSTOM_INDEX;
}

int ParseCustomSplitSize(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // Saturate while reading: a long run of digits must not overflow.
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > MAX_SPLIT_SIZE_MB) value = MAX_SPLIT_SIZE_MB + 1;
    }
    if (negative || value <= 0) return 0;
    return value > MAX_SPLIT_SIZE_MB ? MAX_SPLIT_SIZE_MB : static_cast<int>(value);
}

namespace {

size_t LastComponentStart(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? 0 : slash + 1;
}

// The extension of the last component, dot included, or empty.
std::wstring Extension(const std::wstring& path)
{
    size_t start = LastComponentStart(path);
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || dot < start) return {};
    return path.substr(dot);
}

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return i == a.size() && !b[i];
}

} // namespace

bool HasArchiveExtension(const std::wstring& path)
{
    std::wstring ext = Extension(path);
    return EqualsIgnoringCase(ext, L".exe") || EqualsIgnoringCase(ext, L".zka");
}

bool OptionsMayAdvance(const std::wstring& archivePath, bool showPassword, const std::wstring& password,
                       const std::wstring& confirm)
{
    if (archivePath.empty() || !HasArchiveExtension(archivePath)) return false;
    if (!showPassword && password != confirm) return false;
    return true;
}

std::wstring ProposeArchiveName(const std::wstring& sourcePath, const std::wstring& cmdOutputFolder,
                                const std::wstring& envOutputFolder,
                                const std::function<bool(const std::wstring&)>& isFolder,
                                const std::function<bool(const std::wstring&)>& exists)
{
    const bool sourceIsFolder = isFolder(sourcePath);
    std::wstring source = sourcePath;
    // A folder path may arrive with its trailing "\"; the name is the folder's.
    if (source.size() > 3 && source.back() == L'\\') source.pop_back();

    const std::wstring& folder = !cmdOutputFolder.empty() ? cmdOutputFolder : envOutputFolder;
    std::wstring base = folder.empty() ? source : folder + source.substr(LastComponentStart(source));
    if (!sourceIsFolder) {
        size_t start = LastComponentStart(base);
        size_t dot = base.find_last_of(L'.');
        if (dot != std::wstring::npos && dot >= start) base.erase(dot);
    }

    std::wstring name = base + L".exe";
    // Bounded: a folder with this many numbered archives is not a real case,
    // and an endless loop would hang the window.
    for (int n = 1; exists(name) && n < 100000; ++n)
        name = base + L" (" + std::to_wstring(n) + L").exe";
    return name;
}

} // namespace zk
