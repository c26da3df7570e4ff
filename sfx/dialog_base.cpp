#include "sfx/dialog_base.h"

#include <vector>

namespace zk {

namespace {
constexpr wchar_t SELF_PROP[] = L"ZkDialogBase";
}

CDialogBase::~CDialogBase()
{
    if (m_hWnd) RemovePropW(m_hWnd, SELF_PROP);
}

INT_PTR CDialogBase::DoModal(HINSTANCE instance, HWND owner)
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(m_nTemplateId), owner, &CDialogBase::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR result)
{
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

std::wstring CDialogBase::ItemText(int id) const
{
    return WindowText(Item(id));
}

void CDialogBase::SetItemText(int id, const std::wstring& text) const
{
    SetDlgItemTextW(m_hWnd, id, text.c_str());
}

void CDialogBase::EnableItem(int id, bool enable) const
{
    EnableWindow(Item(id), enable ? TRUE : FALSE);
}

void CDialogBase::OnCommand(int id, int, HWND)
{
    if (id == IDOK || id == IDCANCEL) EndDialog(id);
}

LRESULT CDialogBase::OnNotify(int, NMHDR*)
{
    return 0;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CDialogBase* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lp);
        self->m_hWnd = wnd;
        SetPropW(wnd, SELF_PROP, self);
    } else {
        self = static_cast<CDialogBase*>(GetPropW(wnd, SELF_PROP));
    }
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->Dispatch(msg, wp, lp);
    } catch (...) {
        // Nothing may unwind through the system's dialog code.
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        RemovePropW(wnd, SELF_PROP);
        self->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CDialogBase::Dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return TRUE;
    case WM_NOTIFY: {
        LRESULT r = OnNotify(static_cast<int>(wp), reinterpret_cast<NMHDR*>(lp));
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, r);
        return TRUE;
    }
    case WM_TIMER:
        OnTimer(wp);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    default: {
        LRESULT r = 0;
        if (!OnMessage(msg, wp, lp, &r)) return FALSE;
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, r);
        return TRUE;
    }
    }
}

} // namespace zk
