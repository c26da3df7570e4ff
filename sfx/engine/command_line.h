#pragma once
// The extractor's command line: one archive path, or none for the program
// itself.

#include <string>
#include <vector>

namespace zk {

constexpr size_t SFX_MAX_ARGUMENTS = 16;
// An argument is cut to what the archive path holds.
constexpr size_t SFX_MAX_ARGUMENT_CHARS = 4095;

// Splits a command line (program name first) into at most 16 arguments. The
// line ends at its first line feed; blanks separate arguments; an argument
// that starts with a double quote runs to the next double quote followed by
// a blank, a line feed or the end, and two double quotes inside it stand for
// one. Runs of blanks and empty arguments give no argument.
std::vector<std::wstring> SplitSfxCommandLine(const wchar_t* line);

// The archive path the command line names: the last argument after the
// program name that is not a switch ("--..."), or empty when there is none.
std::wstring ArchivePathFromCommandLine(const wchar_t* line);

} // namespace zk
