#pragma once
// The extractor's start-up: everything from the process entry to the end of
// the hidden window whose creation handler opens the archive.

#include <windows.h>

#include <string>

#include "sfx/archive_open.h"

namespace zk {

// Makes the loader look for DLLs in the system folder only, never beside
// the program: an archive is often run from a downloads folder that may
// hold planted DLLs. Taken by name, as older systems lack the call.
void RestrictDllSearch();

// Runs the main dialog once the archive is open; set by the window layer.
void SetMainDialogRunner(MainDialogRunner runner);

// The whole program: returns the exit code.
int RunExtractor(HINSTANCE instance);

} // namespace zk
