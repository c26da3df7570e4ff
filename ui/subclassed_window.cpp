#include "ui/subclassed_window.h"

namespace zk {

namespace {
constexpr UINT_PTR SUBCLASS_ID = 0x5A4B; // any value; one subclass per object
}

CSubclassedWindow::~CSubclassedWindow()
{
    Detach();
}

bool CSubclassedWindow::Attach(HWND hwnd)
{
    Detach();
    if (!hwnd) return false;
    if (!SetWindowSubclass(hwnd, SubclassProc, SUBCLASS_ID, reinterpret_cast<DWORD_PTR>(this))) return false;
    m_hWnd = hwnd;
    return true;
}

void CSubclassedWindow::Detach()
{
    if (m_hWnd) {
        RemoveWindowSubclass(m_hWnd, SubclassProc, SUBCLASS_ID);
        m_hWnd = nullptr;
    }
}

LRESULT CSubclassedWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return Default(msg, wParam, lParam);
}

LRESULT CSubclassedWindow::Default(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefSubclassProc(m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR data)
{
    auto* self = reinterpret_cast<CSubclassedWindow*>(data);
    if (msg == WM_NCDESTROY) {
        self->Detach();
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    try {
        return self->WindowProc(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system's code; let the control handle
        // the message as if we were not there.
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
}

// Out of line, so that the class's virtual table is made once, here.
LRESULT CPaintedWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return Default(msg, wParam, lParam);
}

LRESULT CPaintedWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT) {
        Paint();
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return OnMessage(msg, wParam, lParam);
}

} // namespace zk
