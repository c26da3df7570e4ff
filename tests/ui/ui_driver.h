#pragma once
// Drives a running Windows program from outside, the way a user would:
// finds its windows, sets texts, presses buttons, answers message boxes and
// reads the list and tree views of the other process. Every wait is a
// bounded poll on a condition. Shared by the builder's and the extractor's
// user-interface tests.

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zkui {

// Polls `condition` every 20 ms until it holds or `timeoutMs` has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

// Milliseconds since it was made, on the performance counter. Not the tick
// count: under Wine that is read from a page its server keeps up to date,
// and a reading taken a moment before the first one turns an unsigned
// difference of two ticks into a huge one, ending a wait at once.
class Stopwatch {
public:
    Stopwatch();
    DWORD ElapsedMs() const;

private:
    LARGE_INTEGER m_start{};
};

// A program started for a test; ended (only this process) if the test
// leaves it running.
class Program {
public:
    // Runs in `folder`, or in the test's own current folder when it is empty.
    Program(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder = L"");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return m_pi.hProcess != nullptr; }
    // The system's code for the last failed start.
    DWORD StartError() const { return m_nStartError; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    HANDLE Process() const { return m_pi.hProcess; }
    // A wait that fails says nothing about the process: it counts as
    // running, so that callers keep to their own time limits.
    bool Running() const;
    bool WaitExit(DWORD timeoutMs);

    // A visible top-level dialog of this program with the caption, or null.
    HWND FindDialog(const std::wstring& caption) const;
    // Waits for it.
    HWND WaitDialog(const std::wstring& caption, DWORD timeoutMs = 15000) const;
    // The same, leaving out one window (a message box captioned like the
    // window it belongs to).
    HWND FindDialogOtherThan(const std::wstring& caption, HWND other) const;

    // A visible top-level window of this program with the class and
    // caption (any caption when empty), or null.
    HWND FindWindowOf(const std::wstring& className, const std::wstring& caption) const;
    HWND WaitWindow(const std::wstring& className, const std::wstring& caption,
                    DWORD timeoutMs = 20000) const;
    // A message box (dialog class) of this program captioned caption.
    HWND WaitBox(const std::wstring& caption, DWORD timeoutMs = 20000) const;

private:
    PROCESS_INFORMATION m_pi{};
    DWORD m_nStartError = 0;
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
std::wstring ClassName(HWND hwnd);

// The message text of a message box (its longest static text).
std::wstring MessageBoxText(HWND box);
// Presses IDOK, IDYES, IDNO ... of a message box.
void Answer(HWND box, int buttonId);

// The tree view and list view of another process, read through memory
// lent in that process.
class RemoteViews {
public:
    explicit RemoteViews(HANDLE process);
    ~RemoteViews();
    RemoteViews(const RemoteViews&) = delete;
    RemoteViews& operator=(const RemoteViews&) = delete;

    std::wstring TreeItemText(HWND tree, HTREEITEM item);
    bool TreeItemExpanded(HWND tree, HTREEITEM item);
    // Texts of the item's children in tree order.
    std::vector<std::wstring> TreeChildTexts(HWND tree, HTREEITEM item);
    HTREEITEM TreeChildByText(HWND tree, HTREEITEM parent, const std::wstring& text);

    std::wstring ListItemText(HWND list, int item, int column);
    std::vector<std::wstring> ListColumn(HWND list, int column);
    std::wstring ListHeader(HWND list, int column);
    RECT ListItemRect(HWND list, int item);

private:
    HANDLE m_hProcess;
    uint8_t* m_pRemote = nullptr;
};

// The items of a popup menu that another process shows (its window has the
// class "#32768"), read by a thread started in that process: under Wine a
// menu handle means nothing outside the process that made it.
struct MenuItem {
    std::wstring text;
    bool enabled;
    bool highlighted; // the item the keyboard is on
};
std::vector<MenuItem> PopupMenuItems(HANDLE process, HWND menuWindow);

// Double-clicks a point of a window's client area (as mouse messages).
void DoubleClick(HWND wnd, POINT pt);

// Drops files on a window of another process the way the shell's drag and
// drop ends: a WM_DROPFILES whose handle is a file list (DROPFILES, wide
// names) written into the memory of that process. A page-aligned block
// passes as a fixed-memory handle, so the receiver reads it with
// DragQueryFileW like any drop. Posted; false when the block could not be
// placed.
bool DropFiles(HANDLE process, HWND target, const std::vector<std::wstring>& paths);

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
