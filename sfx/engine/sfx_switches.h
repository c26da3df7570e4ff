#pragma once
// The extractor's switches: arguments that begin with "--". The others name
// the archive as before, so a run without switches behaves as it always did.

#include <string>
#include <vector>

#include "sfx/engine/archive_state.h"

namespace zk {

struct SfxSwitches {
    bool m_bDest = false;
    std::wstring m_strDest; // overrides the archive's destination, no-UI mode too
    bool m_bYes = false;    // replace existing files and folders without asking
    bool m_bQuiet = false;  // no window at all
    bool m_bPassword = false;
    std::wstring m_strPassword;
    bool m_bHelp = false;
};

// The command line split into the archive path (the last argument that is
// not a switch; empty for the program itself) and the switches. A switch
// that is unknown, lacks its value or whose password file gives no
// password lands in m_strBadSwitch (the first such one).
struct SfxCommandLine {
    std::wstring m_strArchivePath;
    SfxSwitches m_switches;
    std::wstring m_strBadSwitch;
};

bool IsSfxSwitch(const std::wstring& argument);

// Reads one switch; false when it is not one the extractor takes.
bool ParseSfxSwitch(const std::wstring& argument, SfxSwitches& switches);

// args: as SplitSfxCommandLine gives them, program name first.
SfxCommandLine ParseSfxArguments(const std::vector<std::wstring>& args);

// Puts the destination and "yes" switches into the state the run reads.
// With a password on the command line, or nobody to ask (quiet), the
// password is tried once: a script must not end up at a prompt.
void ApplySfxSwitches(const SfxSwitches& switches, ArchiveState& state);

// The text "--help" shows.
extern const wchar_t SFX_HELP_TEXT[];
// The message for a switch that was not understood.
std::wstring BadSfxSwitchText(const std::wstring& argument);

} // namespace zk
