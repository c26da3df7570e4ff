#pragma once
// Drives a running Windows program from outside, the way a user would:
// finds its windows, sets texts, presses buttons, answers message boxes.
// Every wait is a bounded poll on a condition.

#include <windows.h>

#include <functional>
#include <string>

namespace zkui {

// Polls `condition` every 20 ms until it holds or `timeoutMs` has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 15000);

// A program started for a test; ended (only this process) if the test
// leaves it running.
class Program {
public:
    Program(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return m_pi.hProcess != nullptr; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    bool Running() const;
    bool WaitExit(DWORD timeoutMs);

    // A visible top-level dialog of this program with the caption, or null.
    HWND FindDialog(const std::wstring& caption) const;
    // Waits for it.
    HWND WaitDialog(const std::wstring& caption, DWORD timeoutMs = 15000) const;
    // The same, leaving out one window (a message box captioned like the
    // window it belongs to).
    HWND FindDialogOtherThan(const std::wstring& caption, HWND other) const;

private:
    PROCESS_INFORMATION m_pi{};
};

// The first visible control with this id below `root` (pages are child
// dialogs, so the search goes down every level); null when none.
HWND Control(HWND root, int id);
std::wstring Text(HWND hwnd);
void SetText(HWND hwnd, const std::wstring& text);
// Presses a button the way a click does. Posted, so that a modal window the
// click opens does not block the test.
void Click(HWND button);
bool Enabled(HWND hwnd);
bool Visible(HWND hwnd);
bool Checked(HWND button);

// The message text of a message box (its longest static text).
std::wstring MessageBoxText(HWND box);
// Presses IDOK, IDYES, IDNO ... of a message box.
void Answer(HWND box, int buttonId);

// A scratch folder with its own copy of the programs; removed with what the
// test left in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return m_strPath; } // with a trailing "\"
    std::wstring operator/(const std::wstring& name) const { return m_strPath + name; }
    bool WriteFile(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring m_strPath;
};

bool FileExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);

} // namespace zkui
