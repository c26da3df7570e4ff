#pragma once
// Questions to the shell's namespace that a worker thread may ask itself:
// the thread initialises COM, and no window thread's shell object is used.

#include <string>

namespace zk {

// Whether the desktop shell folder can parse the path into an item.
// Without a shell (outside Windows) every path counts as known.
bool ShellKnowsPath(const std::wstring& path);

// Whether a program is associated with the file's type. Outside Windows
// there is no such association: always false.
bool HasAssociatedProgram(const std::wstring& path);

// The shell lookups above want COM on the thread that makes them: one
// object of this kind on that thread for as long as it asks. Does nothing
// outside Windows.
class ShellThreadScope {
public:
    ShellThreadScope();
    ~ShellThreadScope();
    ShellThreadScope(const ShellThreadScope&) = delete;
    ShellThreadScope& operator=(const ShellThreadScope&) = delete;

private:
    [[maybe_unused]] bool m_bInitialised = false; // COM was started here (Windows)
};

} // namespace zk
