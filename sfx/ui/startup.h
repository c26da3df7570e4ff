#pragma once
// The extractor's start-up: everything from the process entry to the end of
// the hidden window whose creation handler opens the archive.

#include <windows.h>

#include <string>

#include "sfx/engine/archive_open.h"

namespace zk {

// The whole program: returns the exit code.
int RunExtractor(HINSTANCE instance);

// The calls that make the hidden window; tests replace them to make them fail.
struct HiddenWindowCalls {
    decltype(&RegisterClassExW) m_pRegisterClass = &RegisterClassExW;
    decltype(&CreateWindowExW) m_pCreateWindow = &CreateWindowExW;
};
// Installs calls; returns those installed before.
HiddenWindowCalls SetHiddenWindowCalls(const HiddenWindowCalls& calls);

// Registers the hidden window's class, creates the window (its creation
// handler opens the archive of state, if given, runs the main window and
// destroys the window) and runs the message loop until the program ends;
// returns the exit code. A window that cannot be
// made ends the program at once with the system's reason in a box: without
// the window nothing would ever end the message loop.
int RunHiddenWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title, ArchiveState* state);

} // namespace zk
