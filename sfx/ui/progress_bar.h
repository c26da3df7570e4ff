#pragma once
// The owner-drawn progress bar of the main window: an etched frame, the bar
// picture stretched to the part done, and one line of text (the status, or
// the byte count with the elapsed time). Painted off-screen, then copied.

#include <windows.h>

#include <string>

#include "sfx/engine/archive_state.h"
#include "ui/subclassed_window.h"

namespace zk {

// Timer that repaints the progress bar (or, during the analysis, the dialog)
// while a worker runs.
constexpr UINT_PTR PROGRESS_TIMER_ID = 32868;

class CExtractProgressBar : public CPaintedWindow {
public:
    CExtractProgressBar(ProgressCounters& progress, StatusOverride& status) : m_progress(progress), m_status(status)
    {
    }

    // Subclasses the static control; bar is the picture stretched over the
    // part done (not owned; may be null).
    bool Attach(HWND ctl, HBITMAP bar);
    void Repaint() const;

    // Paints into dc (a client-sized surface).
    void Paint(HDC dc, const RECT& client);
    // The line of text the bar shows now; also the control's window text.
    std::wstring ShownText() const;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint() override;
    LRESULT OnGetText(WPARAM chars, LPARAM buffer) const;

    ProgressCounters& m_progress;
    StatusOverride& m_status;
    HBITMAP m_hBar = nullptr;
};

} // namespace zk
