#include "sfx/ui/progress_bar.h"

#include <commctrl.h>

#include <algorithm>

#include "sfx/engine/extract_session.h"
#include "sfx/ui/main_window_texts.h"
#include "ui/gdi.h"

namespace zk {

bool CExtractProgressBar::Attach(HWND ctl, HBITMAP bar)
{
    if (!CSubclassedWindow::Attach(ctl)) return false;
    m_hBar = bar;
    return true;
}

void CExtractProgressBar::Repaint() const
{
    if (Hwnd()) InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CExtractProgressBar::Paint(HDC dc, const RECT& client)
{
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT edge = client;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);

    uint64_t done = m_progress.m_nDone;
    uint64_t total = m_progress.m_nTotal;
    double ratio = ProgressRatio(done, total);
    int width = ProgressBarWidth(client.right - client.left, ratio);
    int height = client.bottom - client.top - 5;
    if (m_hBar && width > 0 && height > 0) {
        BITMAP bm = {};
        GetObjectW(m_hBar, sizeof bm, &bm);
        MemoryDc src(dc);
        SelectGuard picture(src.Get(), m_hBar);
        int oldMode = SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 2, 2, width, height, src.Get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
    }

    std::wstring status = m_status.Get();
    if (status.empty() && done != total) m_progress.m_nLastProgress = WallClockSeconds();
    std::wstring text = ShownText();

    HFONT font = Hwnd() ? reinterpret_cast<HFONT>(SendMessageW(Hwnd(), WM_GETFONT, 0, 0)) : nullptr;
    SelectGuard fontGuard(dc, font);
    int oldBk = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    RECT textRect = client;
    textRect.left += 2;
    textRect.right -= 4;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS | DT_NOPREFIX);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldBk);
}

std::wstring CExtractProgressBar::ShownText() const
{
    uint64_t done = m_progress.m_nDone;
    uint64_t total = m_progress.m_nTotal;
    std::wstring status = m_status.Get();
    int64_t last = m_progress.m_nLastProgress;
    // While bytes are still coming the clock runs, as the next paint shows it.
    if (status.empty() && done != total) last = WallClockSeconds();
    return ProgressText(status, done, total, last - m_progress.m_nStartTime);
}

LRESULT CExtractProgressBar::OnGetText(WPARAM chars, LPARAM buffer) const
{
    std::wstring text = ShownText();
    if (!buffer || chars == 0) return 0;
    size_t n = std::min<size_t>(text.size(), static_cast<size_t>(chars) - 1);
    auto* out = reinterpret_cast<wchar_t*>(buffer);
    text.copy(out, n);
    out[n] = L'\0';
    return static_cast<LRESULT>(n);
}

void CExtractProgressBar::Paint()
{
    PaintScope paint(Hwnd());
    HDC dc = paint.Dc();
    RECT client;
    GetClientRect(Hwnd(), &client);
    int w = client.right - client.left, h = client.bottom - client.top;
    MemoryDc mem(dc);
    Bitmap surface(CreateCompatibleBitmap(dc, w > 0 ? w : 1, h > 0 ? h : 1));
    if (mem.Get() && surface) {
        SelectGuard target(mem.Get(), surface.Get());
        Paint(mem.Get(), client);
        BitBlt(dc, 0, 0, w, h, mem.Get(), 0, 0, SRCCOPY);
    } else {
        Paint(dc, client);
    }
}

LRESULT CExtractProgressBar::OnMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    // The control's text is the line it shows, for screen readers and for
    // anything else that reads windows.
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(ShownText().size());
    case WM_GETTEXT:
        return OnGetText(wp, lp);
    case WM_TIMER:
        if (wp == PROGRESS_TIMER_ID) {
            Repaint();
            return 0;
        }
        break;
    }
    return Default(msg, wp, lp);
}

} // namespace zk
