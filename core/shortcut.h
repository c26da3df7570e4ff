#pragma once
// Resolves shell shortcuts (".lnk") to the file or folder they point at, for
// files the user adds by dropping or choosing a shortcut.

#include <cstddef>

namespace zk {

// Reads linkPath and writes its target path (targetChars characters) and,
// where buffers are given, its arguments, working folder and show command.
// The shortcut is resolved without any window. COM comes from the system's
// ole32.dll. Returns 1 when a target path was obtained, 0 when the shortcut
// gives none, -1 when COM could not be loaded (a system failure, recorded in
// LastErrorText for the caller to show).
int ResolveShortcut(const wchar_t* linkPath, wchar_t* target, int targetChars, wchar_t* args = nullptr,
                    int argsChars = 0, wchar_t* workDir = nullptr, int workDirChars = 0,
                    int* showCmd = nullptr);

} // namespace zk
