#pragma once
// Base of our own controls: takes over an existing control window of a
// dialog (SetWindowSubclass) and hands its messages to a virtual WindowProc.
// The subclass is removed when the window goes away or the object dies,
// whichever comes first.

#include <windows.h>
#include <commctrl.h>

namespace zk {

class CSubclassedWindow {
public:
    CSubclassedWindow() = default;
    virtual ~CSubclassedWindow();

    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

    bool Attach(HWND hwnd);
    // Attach to the control with this id in a dialog.
    bool Attach(HWND dialog, int id) { return Attach(GetDlgItem(dialog, id)); }
    void Detach();
    HWND Hwnd() const { return m_hWnd; }

protected:
    // One handler per message in the derived classes; the rest goes to
    // Default (the control's own procedure).
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);

    HWND m_hWnd = nullptr;
};

// A control that draws itself whole: painting goes to Paint, and the
// background is never erased first (Paint covers it, without flicker).
class CPaintedWindow : public CSubclassedWindow {
protected:
    virtual void Paint() = 0;
    // Every message but painting and erasing; Default unless overridden.
    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) final;
};

} // namespace zk
