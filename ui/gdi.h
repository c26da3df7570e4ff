#pragma once
// Owners of GDI objects and device contexts: each frees its handle once, in
// its destructor; copies are deleted, moves allowed.

#include <windows.h>

#include <utility>

namespace zk {

template <typename H> class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H handle) : m_h(handle) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_h = std::exchange(other.m_h, nullptr);
        }
        return *this;
    }
    void Reset(H handle = nullptr)
    {
        if (m_h) DeleteObject(m_h);
        m_h = handle;
    }
    H Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    H m_h = nullptr;
};

using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;
using Brush = GdiObject<HBRUSH>;

// A memory DC compatible with another DC.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatible) : m_hdc(CreateCompatibleDC(compatible)) {}
    ~MemoryDc()
    {
        if (m_hdc) DeleteDC(m_hdc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return m_hdc; }

private:
    HDC m_hdc;
};

// Selects an object into a DC for one scope.
class SelectGuard {
public:
    SelectGuard(HDC hdc, HGDIOBJ object) : m_hdc(hdc), m_old(object ? SelectObject(hdc, object) : nullptr) {}
    ~SelectGuard()
    {
        if (m_old) SelectObject(m_hdc, m_old);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

// BeginPaint / EndPaint.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : m_hwnd(hwnd) { m_hdc = BeginPaint(hwnd, &m_ps); }
    ~PaintScope() { EndPaint(m_hwnd, &m_ps); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return m_hdc; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_hdc;
};

// A copy of a window's font with another weight and, when height is not 0,
// another height.
inline HFONT CreateDerivedFont(HWND hwnd, LONG weight, LONG height)
{
    HFONT base = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    if (!base) base = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW lf{};
    GetObjectW(base, sizeof(lf), &lf);
    lf.lfWeight = weight;
    if (height != 0) lf.lfHeight = height;
    return CreateFontIndirectW(&lf);
}

} // namespace zk
