#include "sfx/ui/password_dialog.h"

#include "sfx/engine/archive_open.h"
#include "sfx/ui/resource.h"
#include "ui/dialog.h"
#include "ui/subclassed_window.h"
#include "ui/window_text.h"

namespace zk {

namespace {

void CopyPassword(HWND edit, ArchiveState& state)
{
    state.m_strPassword = WindowText(edit);
    if (state.m_strPassword.size() > PASSWORD_MAX_CHARS) state.m_strPassword.resize(PASSWORD_MAX_CHARS);
}

// The box hands its text over whenever it loses the focus, which also
// happens as the dialog closes.
class CPasswordEdit : public CSubclassedWindow {
public:
    explicit CPasswordEdit(ArchiveState& state) : m_state(state) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KILLFOCUS) CopyPassword(Hwnd(), m_state);
        return Default(msg, wParam, lParam);
    }

private:
    ArchiveState& m_state;
};

class CPasswordDlg : public CDialog {
public:
    explicit CPasswordDlg(ArchiveState& state) : CDialog(IDD_PASSWORD), m_state(state), m_edit(state) {}

protected:
    BOOL OnInitDialog() override
    {
        HWND edit = Item(IDC_PASSWORD_EDIT);
        SendMessageW(edit, EM_LIMITTEXT, PASSWORD_MAX_CHARS, 0);
        m_edit.Attach(edit);
        SetFocus(edit);
        return FALSE;
    }
    void OnOK() override
    {
        CopyPassword(Item(IDC_PASSWORD_EDIT), m_state);
        EndDialog(IDOK);
    }

private:
    ArchiveState& m_state;
    CPasswordEdit m_edit;
};

} // namespace

int AskPasswordDialog(HWND owner, ArchiveState& state)
{
    CPasswordDlg dialog(state);
    return dialog.DoModal(owner) == IDOK ? IDOK : IDCANCEL;
}

} // namespace zk
