#include "sfx/ui/text_fit.h"

#include <string>

namespace zk {

namespace {

// The size the static control needs for its text in the font selected into
// dc: tab stops and line breaks as the control itself draws them.
SIZE TextExtent(HDC dc, const std::wstring& text)
{
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
    return {r.right - r.left, r.bottom - r.top};
}

bool Fits(SIZE need, const RECT& room)
{
    return need.cx <= room.right - room.left && need.cy <= room.bottom - room.top;
}

} // namespace

HFONT FitStaticTextFont(HWND control)
{
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return nullptr;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    HFONT current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (!current) current = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW lf{};
    if (!GetObjectW(current, sizeof lf, &lf) || lf.lfHeight == 0) return nullptr;
    RECT room{};
    GetClientRect(control, &room);

    HDC dc = GetDC(control);
    if (!dc) return nullptr;
    HGDIOBJ old = SelectObject(dc, current);
    HFONT fitted = nullptr;
    if (!Fits(TextExtent(dc, text), room)) {
        // A tenth smaller each step, down to half the size: below that the
        // text would be unreadable anyway.
        const int start = lf.lfHeight;
        for (int step = 1; step <= 5 && !fitted; ++step) {
            lf.lfHeight = start * (10 - step) / 10;
            lf.lfWidth = 0;
            HFONT candidate = CreateFontIndirectW(&lf);
            if (!candidate) break;
            SelectObject(dc, candidate);
            if (Fits(TextExtent(dc, text), room) || step == 5) {
                fitted = candidate;
            } else {
                SelectObject(dc, current);
                DeleteObject(candidate);
            }
        }
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (fitted) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fitted), TRUE);
    return fitted;
}

} // namespace zk
