#pragma once
// The builder's own static, bar and edit controls. Each takes over a control
// of a dialog template and paints it itself.

#include "ui/gdi.h"
#include "ui/subclassed_window.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace zk {

// A white area with its text top-left in the dialog's font, optionally bold:
// the wizard's header band, title and description.
class CHeaderStatic : public CPaintedWindow {
public:
    explicit CHeaderStatic(bool bold) : m_bBold(bold) {}

private:
    void Paint() override;
    bool m_bBold;
    Font m_font;
};

// A page title: bold, 18 pixels high, on a background colour of its own.
class CTitleStatic : public CPaintedWindow {
public:
    void SetBackground(COLORREF colour) { m_background = colour; }

private:
    void Paint() override;
    COLORREF m_background = RGB(255, 255, 255);
    Font m_font;
};

// The build's phase line: paths are shortened in the middle to fit.
class CPhaseStatic : public CPaintedWindow {
protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint() override;
};

// Two-layer progress bar (compressed, verified) with its own text. The build
// thread moves the counters; the window thread paints them. The counters are
// atomics so that a 64-bit value is never read half-written.
class CProgressBar : public CPaintedWindow {
public:
    static constexpr int64_t DIVISOR = 1048576;

    CProgressBar() { ResetClock(); }

    // Each returns true when the megabyte value changed, i.e. the bar needs
    // painting.
    bool SetTotal(uint64_t doneBytes, uint64_t totalBytes);
    bool SetCompressDone(uint64_t doneBytes);
    bool SetVerifyDone(uint64_t doneBytes);
    void ResetClock();

    int64_t TotalMB() const { return m_nTotal.load(); }
    int64_t CompressMB() const { return m_nCompressDone.load(); }
    int64_t VerifyMB() const { return m_nVerifyDone.load(); }
    // The text the bar draws now.
    std::wstring Text() const;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint() override;
    void LoadResources();

    std::atomic<int64_t> m_nTotal{0};
    std::atomic<int64_t> m_nCompressDone{0};
    std::atomic<int64_t> m_nVerifyDone{0};
    std::atomic<int64_t> m_nStartTime{0}; // WallClockSeconds()
    Bitmap m_compressImage;
    Bitmap m_verifyImage;
    Font m_font;
};

// The archive-name field: takes one file dropped from the shell.
class CArchiveNameEdit : public CSubclassedWindow {
public:
    CArchiveNameEdit(bool rejectFolders, bool rejectFiles)
        : m_bRejectFolders(rejectFolders), m_bRejectFiles(rejectFiles)
    {
    }
    // Message sent to the parent when a dropped name was taken.
    static constexpr UINT WM_NAMEDROPPED = WM_APP + 10;

    void AcceptDrops();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnDropFiles(HDROP drop);
    bool m_bRejectFolders;
    bool m_bRejectFiles;
};

} // namespace zk
