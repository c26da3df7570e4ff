#pragma once
// Rules of the archive options page that need no window: the proposed
// archive name, when the page lets the wizard go on, the split presets and
// the custom split size.

#include <functional>
#include <string>

namespace zk {

struct SplitPreset {
    const wchar_t* text;
    int nValueMB; // -1: the size is typed into the custom field
};

constexpr int SPLIT_PRESET_COUNT = 14;
constexpr int SPLIT_CUSTOM_INDEX = SPLIT_PRESET_COUNT - 1;
constexpr int MAX_SPLIT_SIZE_MB = 32768;
extern const SplitPreset SPLIT_PRESETS[SPLIT_PRESET_COUNT];

// Index of the first preset whose value is `valueMB`, or SPLIT_CUSTOM_INDEX
// when none has it.
int SplitPresetIndex(int valueMB);

// The custom split field's text read as a size: leading blanks and a sign
// allowed, digits up to the first other character, no digits = 0. Results
// of 0 or less give 0 (no split); larger values are capped at 32768.
int ParseCustomSplitSize(const std::wstring& text);

// ".exe" or ".zka", in any case, as the extension of the last component.
bool HasArchiveExtension(const std::wstring& path);

// Whether "開始 >" may be pressed: a name with an archive extension, and
// while the password is hidden, a re-entry equal to the password.
bool OptionsMayAdvance(const std::wstring& archivePath, bool showPassword, const std::wstring& password,
                       const std::wstring& confirm);

// A free archive name for the first source: beside it, or in the output
// folder (the one given on the command line first, then the configured
// one). A file source loses its extension; " (1)", " (2)" ... are added
// before ".exe" until `exists` reports a free name. `isFolder` is the file
// system's directory attribute of the source: the shell also calls archives
// it can browse (".zip", ".cab") folders, and those are files here.
std::wstring ProposeArchiveName(const std::wstring& sourcePath, const std::wstring& cmdOutputFolder,
                                const std::wstring& envOutputFolder,
                                const std::function<bool(const std::wstring&)>& isFolder,
                                const std::function<bool(const std::wstring&)>& exists);

} // namespace zk
