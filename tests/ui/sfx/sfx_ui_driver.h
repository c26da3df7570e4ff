#pragma once
// Drives a running extractor from outside, the way a user would: finds its
// windows, reads and sets texts, presses buttons, answers message boxes and
// reads the folder tree and contents list of the other process. Every wait
// is a bounded poll on a condition.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace zkui {

// Polls condition every 20 ms until it holds or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

// A program started for a test; ended (only this process) if the test
// leaves it running.
class Program {
public:
    Program(const std::wstring& exe, const std::wstring& arguments);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return m_pi.hProcess != nullptr; }
    HANDLE Process() const { return m_pi.hProcess; }
    bool Running() const;
    bool WaitExit(DWORD timeoutMs);

    // A visible top-level window of this program with the class and
    // caption (any caption when empty), or null.
    HWND FindWindowOf(const std::wstring& className, const std::wstring& caption) const;
    HWND WaitWindow(const std::wstring& className, const std::wstring& caption,
                    DWORD timeoutMs = 20000) const;
    // A message box (dialog class) of this program captioned caption.
    HWND WaitBox(const std::wstring& caption, DWORD timeoutMs = 20000) const;

private:
    PROCESS_INFORMATION m_pi{};
};

std::wstring Text(HWND hwnd);
void SetText(HWND hwnd, const std::wstring& text);
// Posted, so that a modal window the click opens does not block the test.
void Click(HWND button);
bool Enabled(HWND hwnd);
bool Visible(HWND hwnd);
std::wstring ClassName(HWND hwnd);

// The message text of a message box (its static text).
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

// Double-clicks a point of a window's client area (as mouse messages).
void DoubleClick(HWND wnd, POINT pt);

bool FileExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);

} // namespace zkui
