#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "sfx/ui/text_fit.h"

namespace {

struct Measured {
    SIZE need;
    RECT room;
    LONG height;
};

// The control's text as drawn in its current font, and the room it has.
Measured Measure(HWND control, const std::wstring& text)
{
    Measured m{};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    m.height = lf.lfHeight;
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    m.need = {r.right, r.bottom};
    GetClientRect(control, &m.room);
    return m;
}

// A summary laid out for one font must neither wrap nor clip in another:
// text that fits keeps the dialog's font, text that does not gets a smaller
// font of the same face in which it fits.
TEST(FitStaticTextFont, ShrinksOnlyTextThatDoesNotFit)
{
    const std::wstring wide = L"格納ファイル数\t： 6        \t格納フォルダ数\t： 3\n圧縮ファイル数\t： 6";
    struct Case {
        const wchar_t* what;
        std::wstring text;
        int width;
        int height;
        bool shrinks;
    } cases[] = {
        {L"fits", L"短い\tテキスト", 400, 60, false},
        {L"too wide", wide, 300, 60, true},
        {L"too tall", L"一\n二\n三\n四\n五\n六", 400, 60, true},
        {L"empty", L"", 10, 10, false},
    };
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    wcscpy(lf.lfFaceName, L"MS UI Gothic");
    HFONT base = CreateFontIndirectW(&lf);
    ASSERT_TRUE(base);
    for (const Case& c : cases) {
        HWND control = CreateWindowExW(0, L"STATIC", c.text.c_str(), WS_POPUP | SS_LEFT, 0, 0, c.width, c.height,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(control) << c.what;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(base), FALSE);
        Measured before = Measure(control, c.text);
        HFONT fitted = zk::FitStaticTextFont(control);
        Measured after = Measure(control, c.text);
        EXPECT_EQ(fitted != nullptr, c.shrinks) << c.what;
        if (c.shrinks) {
            EXPECT_TRUE(before.need.cx > before.room.right || before.need.cy > before.room.bottom) << c.what;
            EXPECT_LT(after.height, 0) << c.what;
            EXPECT_GT(after.height, before.height) << c.what; // negative heights: closer to 0 is smaller
            EXPECT_LE(after.need.cx, after.room.right) << c.what;
            EXPECT_LE(after.need.cy, after.room.bottom) << c.what;
        } else {
            EXPECT_EQ(after.height, before.height) << c.what;
        }
        DestroyWindow(control);
        if (fitted) DeleteObject(fitted);
    }
    DeleteObject(base);
}

} // namespace
