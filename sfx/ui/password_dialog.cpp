#include "sfx/ui/password_dialog.h"

#include "sfx/engine/archive_open.h"
#include "sfx/ui/resource.h"
#include "ui/dialog.h"
#include "ui/subclassed_window.h"
#include "ui/window_text.h"

namespace zk {

namespace {

void CopyPassword(HWND edit, std::wstring* password)
{
    *password = WindowText(edit);
    if (password->size() > PASSWORD_MAX_CHARS) password->resize(PASSWORD_MAX_CHARS);
}

// The box hands its text over whenever it loses the focus, which also
// happens as the dialog closes.
class CPasswordEdit : public CSubclassedWindow {
public:
    explicit CPasswordEdit(std::wstring* password) : m_pPassword(password) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KILLFOCUS) CopyPassword(Hwnd(), m_pPassword);
        return Default(msg, wParam, lParam);
    }

private:
    std::wstring* m_pPassword;
};

class CPasswordDlg : public CDialog {
public:
    explicit CPasswordDlg(std::wstring* password)
        : CDialog(IDD_PASSWORD), m_pPassword(password), m_edit(password)
    {
    }

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
        CopyPassword(Item(IDC_PASSWORD_EDIT), m_pPassword);
        EndDialog(IDOK);
    }

private:
    std::wstring* m_pPassword;
    CPasswordEdit m_edit;
};

} // namespace

int AskPasswordDialog(HWND owner, std::wstring* password)
{
    CPasswordDlg dialog(password);
    return dialog.DoModal(owner) == IDOK ? IDOK : IDCANCEL;
}

} // namespace zk
