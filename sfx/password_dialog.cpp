#include "sfx/password_dialog.h"

#include <vector>

#include "sfx/archive_open.h"
#include "sfx/resource.h"

namespace zk {

namespace {

constexpr wchar_t PROP_OLD_PROC[] = L"ZkPasswordOldProc";
constexpr wchar_t PROP_STATE[] = L"ZkPasswordState";

void CopyPassword(HWND edit, ArchiveState& state)
{
    int length = GetWindowTextLengthW(edit);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    GetWindowTextW(edit, text.data(), length + 1);
    state.m_strPassword.assign(text.data());
    if (state.m_strPassword.size() > PASSWORD_MAX_CHARS) state.m_strPassword.resize(PASSWORD_MAX_CHARS);
}

// The box hands its text over whenever it loses the focus, which also
// happens as the dialog closes.
LRESULT CALLBACK PasswordEditProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp)
{
    auto old = reinterpret_cast<WNDPROC>(GetPropW(edit, PROP_OLD_PROC));
    if (msg == WM_KILLFOCUS) {
        if (auto* state = static_cast<ArchiveState*>(GetPropW(edit, PROP_STATE))) CopyPassword(edit, *state);
    }
    return old ? CallWindowProcW(old, edit, msg, wp, lp) : DefWindowProcW(edit, msg, wp, lp);
}

INT_PTR CALLBACK PasswordDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        HWND edit = GetDlgItem(dlg, IDC_PASSWORD_EDIT);
        SendMessageW(edit, EM_LIMITTEXT, PASSWORD_MAX_CHARS, 0);
        SetPropW(edit, PROP_STATE, reinterpret_cast<HANDLE>(lp));
        SetPropW(edit, PROP_OLD_PROC,
                 reinterpret_cast<HANDLE>(
                     SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PasswordEditProc))));
        SetFocus(edit);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            if (LOWORD(wp) == IDOK) {
                HWND edit = GetDlgItem(dlg, IDC_PASSWORD_EDIT);
                if (auto* state = static_cast<ArchiveState*>(GetPropW(edit, PROP_STATE)))
                    CopyPassword(edit, *state);
            }
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        break;
    case WM_DESTROY: {
        HWND edit = GetDlgItem(dlg, IDC_PASSWORD_EDIT);
        if (auto old = GetPropW(edit, PROP_OLD_PROC))
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropW(edit, PROP_OLD_PROC);
        RemovePropW(edit, PROP_STATE);
        break;
    }
    }
    return FALSE;
}

} // namespace

int AskPasswordDialog(HWND owner, ArchiveState& state)
{
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PASSWORD), owner,
                                     &PasswordDialogProc, reinterpret_cast<LPARAM>(&state));
    return result == IDOK ? IDOK : IDCANCEL;
}

} // namespace zk
