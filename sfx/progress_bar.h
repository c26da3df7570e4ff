#pragma once
// The owner-drawn progress bar of the main window: an etched frame, the bar
// picture stretched to the part done, and one line of text (the status, or
// the byte count with the elapsed time). Painted off-screen, then copied.

#include <windows.h>

#include <string>

#include "sfx/archive_state.h"

namespace zk {

class CExtractProgressBar {
public:
    CExtractProgressBar(ProgressCounters& progress, StatusOverride& status) : m_progress(progress), m_status(status)
    {
    }
    ~CExtractProgressBar() { Detach(); }
    CExtractProgressBar(const CExtractProgressBar&) = delete;
    CExtractProgressBar& operator=(const CExtractProgressBar&) = delete;

    // Subclasses the static control; bar is the picture stretched over the
    // part done (not owned; may be null).
    bool Attach(HWND ctl, HBITMAP bar);
    void Detach();
    HWND Hwnd() const { return m_hWnd; }
    void Repaint() const;

    // Paints into dc (a client-sized surface).
    void Paint(HDC dc, const RECT& client);
    // The line of text the bar shows now; also the control's window text.
    std::wstring ShownText() const;

private:
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR data);
    void OnPaint();
    LRESULT OnGetText(WPARAM chars, LPARAM buffer) const;

    ProgressCounters& m_progress;
    StatusOverride& m_status;
    HWND m_hWnd = nullptr;
    HBITMAP m_hBar = nullptr;
};

} // namespace zk
