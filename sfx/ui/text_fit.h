#pragma once
// The summary's lines are laid out for the dialog font. Where that font is
// missing, the system substitutes one that can be wider, and the static
// control would wrap the lines ("格納フォル" / "ダ数"). Shrinking the font
// until the widest line fits keeps the layout whatever font is installed.

#include <windows.h>

namespace zk {

// Sets, when the control's text (tabs expanded, lines as given) is wider or
// taller than the control, a smaller font of the same face on it, and
// returns that font for the caller to delete once the control no longer
// uses it. Returns null, changing nothing, when the text already fits.
HFONT FitStaticTextFont(HWND control);

} // namespace zk
