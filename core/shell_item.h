#pragma once
// Questions to the shell's namespace that a worker thread may ask itself:
// the thread initialises COM, and no window thread's shell object is used.

#include <string>

namespace zk {

// Whether the desktop shell folder can parse the path into an item.
bool ShellKnowsPath(const std::wstring& path);

} // namespace zk
