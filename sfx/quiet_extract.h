#pragma once
// "--quiet": the extractor without any window, for scripts. The archive is
// opened as usual (the hidden window is never shown); instead of the main
// window, everything is extracted on this thread. Every box the program
// would show is answered the careful way and kept, and what went wrong
// ends up in the error log beside the archive.

#include <windows.h>

#include <string>

#include "sfx/archive_state.h"

namespace zk {

// From now on boxes are not shown: each is kept and answered carefully.
void BeginQuietRun();

// Asks nobody: the attempts are used up and the password is empty, so an
// archive with a password fails with the wrong-password message.
int QuietPasswordPrompt(HWND owner, ArchiveState& state);

// Extracts everything into the destination the window would have shown
// (the "--dest" switch's, else the archive's default), then writes the
// error log when something is to be told.
void RunQuietExtraction(ArchiveState& state);

// At the end: a run that never reached the extraction (the archive did not
// open) still gets its log. Boxes are shown again afterwards.
void EndQuietRun(const ArchiveState& state);

// A switch that was not understood, in the log instead of a box.
void LogQuietFailure(const std::wstring& archivePath, const std::wstring& message);

} // namespace zk
