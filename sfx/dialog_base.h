#pragma once
// The extractor's dialog base: one static dialog procedure finds the object
// behind a dialog window and hands each message to a virtual handler.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/window_text.h"

namespace zk {

class CDialogBase {
public:
    explicit CDialogBase(UINT templateId) : m_nTemplateId(templateId) {}
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog modally; what EndDialog was given, or -1 when the
    // template could not be loaded.
    INT_PTR DoModal(HINSTANCE instance, HWND owner);
    void EndDialog(INT_PTR result);

    HWND Hwnd() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) const;
    void EnableItem(int id, bool enable) const;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnCommand(int id, int code, HWND ctl);
    virtual LRESULT OnNotify(int id, NMHDR* header);
    virtual void OnTimer(UINT_PTR) {}
    virtual void OnDestroy() {}
    // Any other message; return true when handled (result in *result).
    virtual bool OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    UINT m_nTemplateId;
    HWND m_hWnd = nullptr;
};

} // namespace zk
