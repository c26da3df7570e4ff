#pragma once
// Placing controls: sizes chosen for a 96-DPI screen grow with the screen's
// DPI, as the dialogs' own controls do.

#include <windows.h>

namespace zk {

// pixels96 at the DPI of the screen the window is on (of the whole screen
// for a null window).
int ScaleForDpi(HWND hwnd, int pixels96);
// The child's rectangle in its parent's client co-ordinates.
RECT ChildRect(HWND parent, HWND child);
void MoveChild(HWND child, int x, int y, int w, int h);
// Moves the child down by dy (up for a negative dy), keeping its size.
void OffsetChild(HWND parent, HWND child, int dy);

} // namespace zk
