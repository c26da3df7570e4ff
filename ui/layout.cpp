#include "ui/layout.h"

namespace zk {

int ScaleForDpi(HWND hwnd, int pixels96)
{
    HDC dc = GetDC(hwnd);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(hwnd, dc);
    if (dpi <= 0) dpi = 96;
    return MulDiv(pixels96, dpi, 96);
}

RECT ChildRect(HWND parent, HWND child)
{
    RECT rc{};
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void MoveChild(HWND child, int x, int y, int w, int h)
{
    SetWindowPos(child, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void OffsetChild(HWND parent, HWND child, int dy)
{
    RECT r = ChildRect(parent, child);
    SetWindowPos(child, nullptr, r.left, r.top + dy, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
}

} // namespace zk
