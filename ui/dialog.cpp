#include "ui/dialog.h"

namespace zk {

namespace {

// Carries a CallOnWindowThread request; lParam points to a CallRequest.
constexpr UINT WM_CALL_ON_WINDOW_THREAD = WM_APP + 0x100;

struct CallRequest {
    const std::function<void()>* fn;
    bool ran;
};

// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT msg)
{
    switch (msg) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

} // namespace

CDialog::~CDialog()
{
    // A modeless window may outlive a careless owner: detach first so that
    // the messages of its destruction do not reach a half-destroyed object.
    if (m_hWnd) {
        HWND hwnd = m_hWnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        m_hCallTarget.store(nullptr);
        if (!m_bModal) DestroyWindow(hwnd);
    }
}

INT_PTR CDialog::DoModal(HWND parent, HINSTANCE resources)
{
    m_bModal = true;
    return DialogBoxParamW(resources ? resources : GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplateId),
                           parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent)
{
    m_bModal = false;
    HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplateId), parent,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void CDialog::EndDialog(INT_PTR result)
{
    if (!m_hWnd) return;
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        DestroyWindow(m_hWnd);
}

bool CDialog::CallOnWindowThread(const std::function<void()>& fn)
{
    HWND target = m_hCallTarget.load();
    if (!target) return false;
    if (GetWindowThreadProcessId(target, nullptr) == GetCurrentThreadId()) {
        fn();
        return true;
    }
    CallRequest request{&fn, false};
    // A window destroyed meanwhile answers nothing: request.ran stays false.
    SendMessageW(target, WM_CALL_ON_WINDOW_THREAD, 0, reinterpret_cast<LPARAM>(&request));
    return request.ran;
}

std::wstring CDialog::ItemText(int id) const
{
    return WindowText(Item(id));
}

void CDialog::SetItemText(int id, const std::wstring& text) const
{
    SetDlgItemTextW(m_hWnd, id, text.c_str());
}

void CDialog::EnableItem(int id, bool enable) const
{
    EnableWindow(Item(id), enable ? TRUE : FALSE);
}

void CDialog::ShowItem(int id, bool show) const
{
    ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
}

bool CDialog::IsChecked(int id) const
{
    return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}

void CDialog::SetChecked(int id, bool checked) const
{
    CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool CDialog::OnCommand(int id, int code, HWND)
{
    if (code != BN_CLICKED && code != 0) return false;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

LRESULT CDialog::OnNotify(int, NMHDR*)
{
    return 0;
}

void CDialog::OnTimer(UINT_PTR) {}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
        self->m_hCallTarget.store(hwnd);
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;

    if (msg == WM_CALL_ON_WINDOW_THREAD) {
        auto* request = reinterpret_cast<CallRequest*>(lParam);
        if (self->m_hCallTarget.load() != hwnd) return TRUE;
        try {
            (*request->fn)();
            request->ran = true;
        } catch (...) {
            // The caller learns nothing ran; the exception stays on this side.
        }
        return TRUE;
    }
    if (msg == WM_DESTROY) self->m_hCallTarget.store(nullptr);

    INT_PTR result = FALSE;
    try {
        result = self->Dispatch(msg, wParam, lParam);
    } catch (...) {
        // A handler that throws leaves the message unhandled; the exception
        // must not unwind through the system's code.
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        LRESULT result = OnNotify(static_cast<int>(header->idFrom), header);
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        break;
    }
    LRESULT result = 0;
    if (!OnMessage(msg, wParam, lParam, result)) return FALSE;
    if (ReturnsResultDirectly(msg)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace zk
