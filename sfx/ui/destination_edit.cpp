#include "sfx/ui/destination_edit.h"

#include <commctrl.h>

#include "ui/window_text.h"
#include "sfx/ui/drop_target.h"

namespace zk {

bool CDestinationEdit::Attach(HWND edit, CommitFunc commit)
{
    if (!CSubclassedWindow::Attach(edit)) return false;
    m_commit = std::move(commit);
    return true;
}

void CDestinationEdit::OnDropNotify(WPARAM phase, LPARAM object)
{
    auto* drop = reinterpret_cast<const DropTargetObject*>(object);
    if (phase == DROP_PHASE_ENTER || phase == DROP_PHASE_OVER) {
        SetFocus(Hwnd());
        SendMessageW(Hwnd(), EM_SETSEL, 0, -1);
        return;
    }
    // Only dropped files and folders name a destination; a drop whose data
    // gave no path leaves it alone.
    if (phase != DROP_PHASE_DROP || !drop || !drop->DroppedPaths()) return;
    const wchar_t* first = drop->DataText().c_str();
    SendMessageW(Hwnd(), EM_SETSEL, 0, -1);
    SendMessageW(Hwnd(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(first));
    SetFocus(Hwnd());
}

LRESULT CDestinationEdit::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_KILLFOCUS: {
        LRESULT r = Default(msg, wp, lp);
        if (m_commit) m_commit(WindowText(Hwnd()));
        return r;
    }
    case WM_DROPNOTIFY:
        OnDropNotify(wp, lp);
        return 0;
    }
    return Default(msg, wp, lp);
}

} // namespace zk
