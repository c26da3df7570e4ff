#pragma once
// DLLs the extractor uses beyond the system's known ones are loaded from the
// system folder by full path, never looked for beside the program.

#include <windows.h>

namespace zk {

// A module of the system folder, loaded once by its full path; null when it
// cannot be loaded.
HMODULE SystemModule(const wchar_t* name);

// Keeps the version-resource calls bound to the system folder's
// version.dll (see system_dlls.cpp); called at start-up.
void BindSystemDlls();

} // namespace zk
