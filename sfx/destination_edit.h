#pragma once
// The destination box: an edit control that hands its text over when it
// loses the focus and reacts to the drop target's notifications: something
// dragged over it selects its text, dropped files or folders (a file list,
// or the shell's item list) replace the text with the first dropped path.

#include <windows.h>

#include <functional>
#include <string>

namespace zk {

class CDestinationEdit {
public:
    using CommitFunc = std::function<void(const std::wstring& text)>;

    CDestinationEdit() = default;
    ~CDestinationEdit() { Detach(); }
    CDestinationEdit(const CDestinationEdit&) = delete;
    CDestinationEdit& operator=(const CDestinationEdit&) = delete;

    // Subclasses the edit; commit is called with its text whenever it loses
    // the focus.
    bool Attach(HWND edit, CommitFunc commit);
    void Detach();
    HWND Hwnd() const { return m_hWnd; }

private:
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR data);
    void OnDropNotify(WPARAM phase, LPARAM object);

    HWND m_hWnd = nullptr;
    CommitFunc m_commit;
};

} // namespace zk
