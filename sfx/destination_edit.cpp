#include "sfx/destination_edit.h"

#include <commctrl.h>

#include "ui/window_text.h"
#include "sfx/drop_target.h"

namespace zk {

namespace {
constexpr UINT_PTR SUBCLASS_ID = 1001;
}

bool CDestinationEdit::Attach(HWND edit, CommitFunc commit)
{
    Detach();
    if (!SetWindowSubclass(edit, &CDestinationEdit::SubclassProc, SUBCLASS_ID,
                           reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hWnd = edit;
    m_commit = std::move(commit);
    return true;
}

void CDestinationEdit::Detach()
{
    if (!m_hWnd) return;
    RemoveWindowSubclass(m_hWnd, &CDestinationEdit::SubclassProc, SUBCLASS_ID);
    m_hWnd = nullptr;
}

void CDestinationEdit::OnDropNotify(WPARAM phase, LPARAM object)
{
    auto* drop = reinterpret_cast<const DropTargetObject*>(object);
    if (phase == DROP_PHASE_ENTER || phase == DROP_PHASE_OVER) {
        SetFocus(m_hWnd);
        SendMessageW(m_hWnd, EM_SETSEL, 0, -1);
        return;
    }
    // Only dropped files and folders name a destination; a drop whose data
    // gave no path leaves it alone.
    if (phase != DROP_PHASE_DROP || !drop || !drop->DroppedPaths()) return;
    const wchar_t* first = drop->DataText().c_str();
    SendMessageW(m_hWnd, EM_SETSEL, 0, -1);
    SendMessageW(m_hWnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(first));
    SetFocus(m_hWnd);
}

LRESULT CALLBACK CDestinationEdit::SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                DWORD_PTR data)
{
    auto* self = reinterpret_cast<CDestinationEdit*>(data);
    switch (msg) {
    case WM_KILLFOCUS: {
        LRESULT r = DefSubclassProc(wnd, msg, wp, lp);
        if (self->m_commit) self->m_commit(WindowText(wnd));
        return r;
    }
    case WM_DROPNOTIFY:
        self->OnDropNotify(wp, lp);
        return 0;
    case WM_NCDESTROY:
        self->Detach();
        break;
    }
    return DefSubclassProc(wnd, msg, wp, lp);
}

} // namespace zk
