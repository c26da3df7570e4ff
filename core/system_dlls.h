#pragma once
// Both programs load DLLs beyond the system's known ones from the system
// folder by full path, never from beside the program: a program is often run
// from a downloads folder that may hold planted DLLs.

#include <windows.h>

namespace zk {

// Makes the loader look for DLLs in the system folder only, never beside the
// program, and binds the version-resource calls to the system folder's
// version.dll (see system_dlls_win.cpp). Taken by name, as older systems lack
// the call. Called first at start-up.
void RestrictDllSearch();

// A module of the system folder, loaded by its full path; null when it
// cannot be loaded.
HMODULE SystemModule(const wchar_t* name);

} // namespace zk
