#include "sfx_ui_driver.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace zkui {

namespace {
constexpr SIZE_T REMOTE_SIZE = 8192;
constexpr int REMOTE_TEXT_CHARS = 1024;
} // namespace

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

Program::Program(const std::wstring& exe, const std::wstring& arguments)
{
    std::wstring line = L"\"" + exe + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        m_pi = {};
}

Program::~Program()
{
    if (!m_pi.hProcess) return;
    if (Running()) {
        TerminateProcess(m_pi.hProcess, 1);
        WaitForSingleObject(m_pi.hProcess, 5000);
    }
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

bool Program::Running() const
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD timeoutMs)
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

HWND Program::FindWindowOf(const std::wstring& className, const std::wstring& caption) const
{
    struct Search {
        DWORD pid;
        const std::wstring* cls;
        const std::wstring* caption;
        HWND found;
    } s{m_pi.dwProcessId, &className, &caption, nullptr};
    EnumWindows(
        [](HWND wnd, LPARAM lp) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(wnd, &pid);
            if (pid != s->pid || !IsWindowVisible(wnd)) return TRUE;
            if (!s->cls->empty() && ClassName(wnd) != *s->cls) return TRUE;
            if (!s->caption->empty() && Text(wnd) != *s->caption) return TRUE;
            s->found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND Program::WaitWindow(const std::wstring& className, const std::wstring& caption, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindWindowOf(className, caption)) != nullptr; }, timeoutMs);
    return found;
}

HWND Program::WaitBox(const std::wstring& caption, DWORD timeoutMs) const
{
    return WaitWindow(L"#32770", caption, timeoutMs);
}

std::wstring Text(HWND hwnd)
{
    wchar_t buffer[4096] = {};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return buffer;
}

void SetText(HWND hwnd, const std::wstring& text)
{
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND button)
{
    HWND parent = GetParent(button);
    PostMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

bool Enabled(HWND hwnd)
{
    return hwnd && IsWindowEnabled(hwnd);
}
bool Visible(HWND hwnd)
{
    return hwnd && IsWindowVisible(hwnd);
}

std::wstring ClassName(HWND hwnd)
{
    wchar_t buffer[256] = {};
    GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

std::wstring MessageBoxText(HWND box)
{
    std::wstring longest;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassName(c) != L"Static") continue;
        std::wstring t = Text(c);
        if (t.size() > longest.size()) longest = t;
    }
    return longest;
}

void Answer(HWND box, int buttonId)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

RemoteViews::RemoteViews(HANDLE process) : m_hProcess(process)
{
    m_pRemote = static_cast<uint8_t*>(
        VirtualAllocEx(process, nullptr, REMOTE_SIZE, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

RemoteViews::~RemoteViews()
{
    if (m_pRemote) VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
}

std::wstring RemoteViews::TreeItemText(HWND tree, HTREEITEM item)
{
    if (!m_pRemote) return L"";
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = reinterpret_cast<wchar_t*>(m_pRemote + 256);
    tv.cchTextMax = REMOTE_TEXT_CHARS;
    WriteProcessMemory(m_hProcess, m_pRemote, &tv, sizeof tv, nullptr);
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(m_pRemote))) return L"";
    wchar_t text[REMOTE_TEXT_CHARS] = {};
    ReadProcessMemory(m_hProcess, m_pRemote + 256, text, sizeof text - sizeof(wchar_t), nullptr);
    return text;
}

bool RemoteViews::TreeItemExpanded(HWND tree, HTREEITEM item)
{
    return (SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
            TVIS_EXPANDED) != 0;
}

std::vector<std::wstring> RemoteViews::TreeChildTexts(HWND tree, HTREEITEM item)
{
    std::vector<std::wstring> texts;
    for (auto c = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)item));
         c; c = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)c)))
        texts.push_back(TreeItemText(tree, c));
    return texts;
}

HTREEITEM RemoteViews::TreeChildByText(HWND tree, HTREEITEM parent, const std::wstring& text)
{
    for (auto c =
             reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)parent));
         c; c = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)c)))
        if (TreeItemText(tree, c) == text) return c;
    return nullptr;
}

std::wstring RemoteViews::ListItemText(HWND list, int item, int column)
{
    if (!m_pRemote) return L"";
    LVITEMW lv = {};
    lv.iSubItem = column;
    lv.pszText = reinterpret_cast<wchar_t*>(m_pRemote + 256);
    lv.cchTextMax = REMOTE_TEXT_CHARS;
    WriteProcessMemory(m_hProcess, m_pRemote, &lv, sizeof lv, nullptr);
    LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(m_pRemote));
    wchar_t text[REMOTE_TEXT_CHARS] = {};
    if (n > 0) ReadProcessMemory(m_hProcess, m_pRemote + 256, text, sizeof text - sizeof(wchar_t), nullptr);
    return text;
}

std::vector<std::wstring> RemoteViews::ListColumn(HWND list, int column)
{
    std::vector<std::wstring> texts;
    int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
        texts.push_back(ListItemText(list, i, column));
    return texts;
}

std::wstring RemoteViews::ListHeader(HWND list, int column)
{
    if (!m_pRemote) return L"";
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = reinterpret_cast<wchar_t*>(m_pRemote + 256);
    col.cchTextMax = REMOTE_TEXT_CHARS;
    WriteProcessMemory(m_hProcess, m_pRemote, &col, sizeof col, nullptr);
    if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(m_pRemote))) return L"";
    wchar_t text[REMOTE_TEXT_CHARS] = {};
    ReadProcessMemory(m_hProcess, m_pRemote + 256, text, sizeof text - sizeof(wchar_t), nullptr);
    return text;
}

RECT RemoteViews::ListItemRect(HWND list, int item)
{
    RECT r = {};
    if (!m_pRemote) return r;
    r.left = LVIR_LABEL;
    WriteProcessMemory(m_hProcess, m_pRemote, &r, sizeof r, nullptr);
    if (SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(m_pRemote)))
        ReadProcessMemory(m_hProcess, m_pRemote, &r, sizeof r, nullptr);
    return r;
}

void DoubleClick(HWND wnd, POINT pt)
{
    LPARAM at = MAKELPARAM(pt.x, pt.y);
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(wnd, WM_LBUTTONUP, 0, at);
    SendMessageW(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(wnd, WM_LBUTTONUP, 0, at);
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string data;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    fclose(f);
    return data;
}

} // namespace zkui
