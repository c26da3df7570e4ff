#pragma once
// The destination box: an edit control that hands its text over when it
// loses the focus and reacts to the drop target's notifications: something
// dragged over it selects its text, dropped files or folders (a file list,
// or the shell's item list) replace the text with the first dropped path.

#include <windows.h>

#include <functional>
#include <string>

#include "ui/subclassed_window.h"

namespace zk {

class CDestinationEdit : public CSubclassedWindow {
public:
    using CommitFunc = std::function<void(const std::wstring& text)>;

    // Subclasses the edit; commit is called with its text whenever it loses
    // the focus.
    bool Attach(HWND edit, CommitFunc commit);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnDropNotify(WPARAM phase, LPARAM object);

    CommitFunc m_commit;
};

} // namespace zk
