#include "builder/ui/controls.h"

#include "ui/dialog.h"
#include "builder/ui/progress_texts.h"
#include "builder/ui/resource.h"
#include "core/file_time.h"
#include "core/shortcut.h"
#include "ui/worker_dialogue.h"

#include <shellapi.h>
#include <shlwapi.h>

namespace zk {

namespace {

HFONT WindowFont(HWND hwnd)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void FillSolid(HDC hdc, const RECT& rc, COLORREF colour)
{
    Brush brush(CreateSolidBrush(colour));
    FillRect(hdc, &rc, brush.Get());
}

// Text of a static control painted top-left on a solid background.
void PaintTextOn(HWND hwnd, HFONT font, COLORREF background, UINT extraFormat)
{
    PaintScope paint(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillSolid(paint.Dc(), rc, background);
    std::wstring text = WindowText(hwnd);
    SelectGuard select(paint.Dc(), font);
    SetBkMode(paint.Dc(), TRANSPARENT);
    SetTextColor(paint.Dc(), GetSysColor(IsWindowEnabled(hwnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    DrawTextW(paint.Dc(), text.c_str(), static_cast<int>(text.size()), &rc,
              DT_LEFT | DT_TOP | DT_NOPREFIX | extraFormat);
}

} // namespace

// ---- CHeaderStatic ----

void CHeaderStatic::Paint()
{
    HFONT font = WindowFont(Hwnd());
    if (m_bBold) {
        if (!m_font) m_font.Reset(CreateDerivedFont(Hwnd(), FW_BOLD, 0));
        font = m_font.Get();
    }
    PaintTextOn(Hwnd(), font, RGB(255, 255, 255), DT_WORDBREAK);
}

// ---- CTitleStatic ----

void CTitleStatic::Paint()
{
    if (!m_font) m_font.Reset(CreateDerivedFont(Hwnd(), FW_BOLD, -18));
    PaintTextOn(Hwnd(), m_font.Get(), m_background, DT_SINGLELINE);
}

// ---- CPhaseStatic ----

LRESULT CPhaseStatic::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SETTEXT: {
        // The static repaints only the text it knows; the shortened path
        // needs the whole line redrawn.
        LRESULT result = Default(msg, wParam, lParam);
        InvalidateRect(Hwnd(), nullptr, FALSE);
        return result;
    }
    default:
        return Default(msg, wParam, lParam);
    }
}

void CPhaseStatic::Paint()
{
    PaintTextOn(Hwnd(), WindowFont(Hwnd()), GetSysColor(COLOR_BTNFACE), DT_SINGLELINE | DT_PATH_ELLIPSIS);
}

// ---- CProgressBar ----

bool CProgressBar::SetTotal(uint64_t doneBytes, uint64_t totalBytes)
{
    int64_t done = static_cast<int64_t>(doneBytes / DIVISOR);
    int64_t total = static_cast<int64_t>(totalBytes / DIVISOR);
    bool changed = m_nCompressDone.exchange(done) != done;
    changed = (m_nTotal.exchange(total) != total) || changed;
    return changed;
}

bool CProgressBar::SetCompressDone(uint64_t doneBytes)
{
    int64_t done = static_cast<int64_t>(doneBytes / DIVISOR);
    return m_nCompressDone.exchange(done) != done;
}

bool CProgressBar::SetVerifyDone(uint64_t doneBytes)
{
    int64_t done = static_cast<int64_t>(doneBytes / DIVISOR);
    return m_nVerifyDone.exchange(done) != done;
}

void CProgressBar::ResetClock()
{
    m_nStartTime.store(WallClockSeconds());
}

std::wstring CProgressBar::Text() const
{
    int64_t elapsed = WallClockSeconds() - m_nStartTime.load();
    return FormatBarText(m_nCompressDone.load(), m_nTotal.load(), elapsed);
}

LRESULT CProgressBar::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == IDT_BAR_CLOCK) {
            InvalidateRect(Hwnd(), nullptr, FALSE);
            return 0;
        }
        return Default(msg, wParam, lParam);
    default:
        return Default(msg, wParam, lParam);
    }
}

void CProgressBar::LoadResources()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!m_compressImage)
        m_compressImage.Reset(static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_COMPRESS_BAR),
                                                              IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!m_verifyImage)
        m_verifyImage.Reset(static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(IDB_VERIFY_BAR), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!m_font) {
        LOGFONTW lf{};
        GetObjectW(WindowFont(Hwnd()), sizeof(lf), &lf);
        m_font.Reset(CreateFontIndirectW(&lf));
    }
}

void CProgressBar::Paint()
{
    LoadResources();
    PaintScope paint(Hwnd());
    RECT rc;
    GetClientRect(Hwnd(), &rc);
    int width = rc.right - rc.left;
    int height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0) return;

    // Drawn off screen and copied in one piece, so the bar never flickers.
    MemoryDc memory(paint.Dc());
    Bitmap canvas(CreateCompatibleBitmap(paint.Dc(), width, height));
    SelectGuard selectCanvas(memory.Get(), canvas.Get());
    HDC dc = memory.Get();

    FillSolid(dc, rc, RGB(255, 255, 255));
    RECT edge = rc;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);

    int64_t total = m_nTotal.load();
    int64_t compress = m_nCompressDone.load();
    int64_t verify = m_nVerifyDone.load();
    BarWidths widths = ComputeBarWidths(compress, verify, total, width - 5);

    MemoryDc images(paint.Dc());
    SetStretchBltMode(dc, HALFTONE);
    if (widths.nCompress > 0 && m_compressImage) {
        SelectGuard selectImage(images.Get(), m_compressImage.Get());
        StretchBlt(dc, 2, 2, widths.nCompress, height - 5, images.Get(), 0, 0, 300, 27, SRCCOPY);
    }
    if (widths.nVerify > 0 && m_verifyImage) {
        SelectGuard selectImage(images.Get(), m_verifyImage.Get());
        StretchBlt(dc, 2, 2, widths.nVerify, height - 5, images.Get(), 0, 0, 300, 27, SRCCOPY);
    }

    std::wstring text = Text();
    RECT textRect = rc;
    textRect.left += 2;
    textRect.right -= 4;
    SelectGuard selectFont(dc, m_font.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);

    BitBlt(paint.Dc(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

// ---- CArchiveNameEdit ----

namespace {

// Target of a shortcut file, or empty when it is not one or cannot be read.
std::wstring ShortcutTarget(const std::wstring& path)
{
    if (lstrcmpiW(PathFindExtensionW(path.c_str()), L".lnk") != 0) return {};
    wchar_t target[MAX_PATH] = {};
    const int resolved = ResolveShortcut(path.c_str(), target, MAX_PATH);
    if (resolved < 0) ShowSystemError();
    if (resolved != 1) return {};
    return target;
}

} // namespace

void CArchiveNameEdit::AcceptDrops()
{
    DragAcceptFiles(Hwnd(), TRUE);
}

LRESULT CArchiveNameEdit::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DROPFILES) {
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return Default(msg, wParam, lParam);
}

void CArchiveNameEdit::OnDropFiles(HDROP drop)
{
    std::wstring path;
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length > 0 && length != 0xFFFFFFFF) {
        path.resize(length + 1);
        DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(length);
    }
    DragFinish(drop);
    if (path.empty()) return;

    std::wstring target = ShortcutTarget(path);
    if (!target.empty()) path = target;

    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool refused = isFolder ? m_bRejectFolders : m_bRejectFiles;
    if (!refused) SetWindowTextW(Hwnd(), path.c_str());
    SendMessageW(GetParent(Hwnd()), WM_NAMEDROPPED, 0, reinterpret_cast<LPARAM>(Hwnd()));
}

} // namespace zk
