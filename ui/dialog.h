#pragma once
// Our window layer's dialog base. One static dialog procedure finds the
// object behind a dialog window and hands each message to a virtual handler.
// The wizard, its five child pages, the settings dialog and the About box all
// derive from it; a modal dialog starts with DoModal and ends with EndDialog,
// a child page starts with Create and ends when its window is destroyed.

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>

#include "ui/window_text.h"

namespace zk {

class CDialog {
public:
    explicit CDialog(UINT templateId) : m_nTemplateId(templateId) {}
    virtual ~CDialog();

    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns what EndDialog was given, or -1 when
    // the template could not be loaded. The template comes from resources
    // (a module loaded as data, for tests) or else from the program itself.
    INT_PTR DoModal(HWND parent, HINSTANCE resources = nullptr);
    // Creates the dialog as a modeless window (a child page or a tool window).
    bool Create(HWND parent);
    // Modal: ends the loop; modeless: destroys the window.
    void EndDialog(INT_PTR result);

    HWND Hwnd() const { return m_hWnd; }

    // Runs fn on this dialog's thread and returns once it has run: at once
    // when called there, otherwise through a message sent to the dialog. The
    // dialog's thread must keep handling sent messages while another thread
    // may call (any message loop does, a message box's included; never wait
    // for such a thread without dispatching). False, and fn not run, when the
    // dialog has no window (not created yet, or already destroyed).
    bool CallOnWindowThread(const std::function<void()>& fn);
    UINT TemplateId() const { return m_nTemplateId; }

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) const;
    void EnableItem(int id, bool enable) const;
    void ShowItem(int id, bool show) const;
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked) const;

protected:
    // Return FALSE when the handler set the focus itself.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Return true when the command was handled.
    virtual bool OnCommand(int id, int code, HWND ctl);
    virtual LRESULT OnNotify(int id, NMHDR* header);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnDestroy() {}
    // Enter and Escape (and the buttons with ids IDOK / IDCANCEL).
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Any other message. Return true when handled; result is what the
    // message's sender receives.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    // The window other threads send their calls to: set when the dialog
    // starts, cleared when its destruction begins.
    std::atomic<HWND> m_hCallTarget{nullptr};
    UINT m_nTemplateId;
    bool m_bModal = false;
};

} // namespace zk
