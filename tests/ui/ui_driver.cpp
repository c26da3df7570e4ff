#include "ui_driver.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>

#include <algorithm>
#include <atomic>
#include <vector>

namespace zkui {

namespace {

// Memory lent in another process for the list and tree views' answers: a
// request structure at the start, the text behind it.
constexpr SIZE_T REMOTE_SIZE = 8192;
constexpr SIZE_T REMOTE_TEXT_AT = 256;
constexpr int REMOTE_TEXT_CHARS = 1024;

// Answers from the program under test are waited for at most this long; a
// hung program fails the test instead of hanging it.
constexpr UINT SEND_TIMEOUT_MS = 5000;

struct FindDialogState {
    DWORD pid;
    const std::wstring* caption;
    HWND found;
    HWND other;
};

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM param)
{
    auto* state = reinterpret_cast<FindDialogState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != state->pid || !IsWindowVisible(hwnd) || hwnd == state->other) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    if (wcscmp(className, L"#32770") != 0) return TRUE;
    if (Text(hwnd) != *state->caption) return TRUE;
    state->found = hwnd;
    return FALSE;
}

struct FindControlState {
    int id;
    HWND found;
};

BOOL CALLBACK FindControlProc(HWND hwnd, LPARAM param)
{
    auto* state = reinterpret_cast<FindControlState*>(param);
    if (GetDlgCtrlID(hwnd) == state->id && IsWindowVisible(hwnd)) {
        state->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM param)
{
    auto* best = reinterpret_cast<std::wstring*>(param);
    wchar_t className[32] = {};
    GetClassNameW(hwnd, className, 32);
    if (_wcsicmp(className, L"Static") == 0) {
        std::wstring text = Text(hwnd);
        if (text.size() > best->size()) *best = text;
    }
    return TRUE;
}

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// Calls functions of user32 inside another process: a small stub, written
// into that process, takes a block of pointer-sized slots holding the
// function's address, five arguments and (written back) the result, calls
// the function and stores its result. The test program and the program it
// drives are of one build, so the stub is the one for this architecture.
class RemoteUser32Call {
public:
    // Text handed back by a call lives here, inside the block.
    static constexpr size_t TEXT_AT = 64;
    static constexpr int TEXT_CHARS = 256;

    explicit RemoteUser32Call(HANDLE process) : m_hProcess(process)
    {
        m_pBlock = static_cast<uint8_t*>(
            VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        if (!m_pBlock) return;
#if defined(_M_X64) || defined(__x86_64__)
        // push rbx; sub rsp,30h; mov rbx,rcx; mov rax,[rbx+28h];
        // mov [rsp+20h],rax; mov rcx,[rbx+8]; mov rdx,[rbx+10h];
        // mov r8,[rbx+18h]; mov r9,[rbx+20h]; call [rbx];
        // mov [rbx+30h],rax; add rsp,30h; pop rbx; ret
        // (four arguments in registers, the fifth above the 32-byte shadow
        // space; the stack stays 16-byte aligned at the call)
        static const uint8_t stub[] = {0x53, 0x48, 0x83, 0xEC, 0x30, 0x48, 0x89, 0xCB, 0x48, 0x8B, 0x43, 0x28,
                                       0x48, 0x89, 0x44, 0x24, 0x20, 0x48, 0x8B, 0x4B, 0x08, 0x48, 0x8B, 0x53,
                                       0x10, 0x4C, 0x8B, 0x43, 0x18, 0x4C, 0x8B, 0x4B, 0x20, 0xFF, 0x13, 0x48,
                                       0x89, 0x43, 0x30, 0x48, 0x83, 0xC4, 0x30, 0x5B, 0xC3};
#else
        // push esi; push edi; mov esi,[esp+0Ch]; mov edi,esp;
        // push [esi+14h] ... push [esi+4]; call [esi]; mov esp,edi;
        // mov [esi+18h],eax; pop edi; pop esi; ret 4
        // (the stub restores the stack itself, so functions with fewer
        // arguments work too)
        static const uint8_t stub[] = {0x56, 0x57, 0x8B, 0x74, 0x24, 0x0C, 0x8B, 0xFC, 0xFF, 0x76, 0x14, 0xFF,
                                       0x76, 0x10, 0xFF, 0x76, 0x0C, 0xFF, 0x76, 0x08, 0xFF, 0x76, 0x04, 0xFF,
                                       0x16, 0x8B, 0xE7, 0x89, 0x46, 0x18, 0x5F, 0x5E, 0xC2, 0x04, 0x00};
#endif
        WriteProcessMemory(process, m_pBlock + STUB_AT, stub, sizeof stub, nullptr);
        m_nRemoteUser32 = RemoteModuleBase(GetProcessId(process), L"user32.dll");
    }
    ~RemoteUser32Call()
    {
        if (m_pBlock) VirtualFreeEx(m_hProcess, m_pBlock, 0, MEM_RELEASE);
    }
    RemoteUser32Call(const RemoteUser32Call&) = delete;
    RemoteUser32Call& operator=(const RemoteUser32Call&) = delete;

    bool Ready() const { return m_pBlock && m_nRemoteUser32; }
    uintptr_t TextAddress() const { return reinterpret_cast<uintptr_t>(m_pBlock + TEXT_AT); }

    // The function's result (its low 32 bits); false when the call could not
    // be made.
    bool Call(const char* function, std::vector<uintptr_t> arguments, DWORD& result)
    {
        HMODULE local = GetModuleHandleW(L"user32.dll");
        FARPROC address = GetProcAddress(local, function);
        if (!Ready() || !address) return false;
        uintptr_t call[7] = {};
        call[0] = m_nRemoteUser32 + (reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(local));
        arguments.resize(5, 0);
        std::copy(arguments.begin(), arguments.end(), call + 1);
        if (!WriteProcessMemory(m_hProcess, m_pBlock, call, sizeof call, nullptr)) return false;
        HANDLE thread = CreateRemoteThread(m_hProcess, nullptr, 0,
                                           reinterpret_cast<LPTHREAD_START_ROUTINE>(m_pBlock + STUB_AT),
                                           m_pBlock, 0, nullptr);
        if (!thread) return false;
        bool done = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
        CloseHandle(thread);
        uintptr_t value = 0;
        if (!done || !ReadProcessMemory(m_hProcess, m_pBlock + 6 * sizeof(uintptr_t), &value, sizeof value, nullptr))
            return false;
        result = static_cast<DWORD>(value);
        return true;
    }

    std::wstring Text()
    {
        wchar_t text[TEXT_CHARS + 1] = {};
        ReadProcessMemory(m_hProcess, m_pBlock + TEXT_AT, text, TEXT_CHARS * sizeof(wchar_t), nullptr);
        return text;
    }

private:
    static constexpr size_t STUB_AT = 1024;

    static uintptr_t RemoteModuleBase(DWORD pid, const wchar_t* name)
    {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
        if (snapshot == INVALID_HANDLE_VALUE) return 0;
        uintptr_t base = 0;
        MODULEENTRY32W module{};
        module.dwSize = sizeof module;
        for (BOOL ok = Module32FirstW(snapshot, &module); ok && !base; ok = Module32NextW(snapshot, &module))
            if (_wcsicmp(module.szModule, name) == 0) base = reinterpret_cast<uintptr_t>(module.modBaseAddr);
        CloseHandle(snapshot);
        return base;
    }

    HANDLE m_hProcess;
    uint8_t* m_pBlock = nullptr;
    uintptr_t m_nRemoteUser32 = 0;
};

} // namespace

Stopwatch::Stopwatch()
{
    QueryPerformanceCounter(&m_start);
}

DWORD Stopwatch::ElapsedMs() const
{
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const LONGLONG ticks = now.QuadPart - m_start.QuadPart;
    return ticks <= 0 ? 0 : static_cast<DWORD>(ticks * 1000 / frequency.QuadPart);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const Stopwatch watch;
    for (;;) {
        if (condition()) return true;
        if (watch.ElapsedMs() >= timeoutMs) return false;
        Sleep(20);
    }
}

Program::Program(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    // Under Wine on a busy machine a start now and then fails at once; a
    // program that really cannot start fails every time.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        if (CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &si, &m_pi))
            return;
        m_nStartError = GetLastError();
        m_pi = PROCESS_INFORMATION{};
        Sleep(200);
    }
}

Program::~Program()
{
    if (!m_pi.hProcess) return;
    if (Running()) {
        TerminateProcess(m_pi.hProcess, 99);
        WaitForSingleObject(m_pi.hProcess, 5000);
    }
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

bool Program::Running() const
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0;
}

bool Program::WaitExit(DWORD timeoutMs)
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

HWND Program::FindDialog(const std::wstring& caption) const
{
    return FindDialogOtherThan(caption, nullptr);
}

HWND Program::FindDialogOtherThan(const std::wstring& caption, HWND other) const
{
    FindDialogState state{m_pi.dwProcessId, &caption, nullptr, other};
    EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND Program::WaitDialog(const std::wstring& caption, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindDialog(caption)) != nullptr; }, timeoutMs);
    return found;
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

HWND Control(HWND root, int id)
{
    FindControlState state{id, nullptr};
    EnumChildWindows(root, FindControlProc, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::wstring Text(HWND hwnd)
{
    if (!hwnd) return {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &length))
        return {};
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &got))
        return {};
    return std::wstring(buffer.data());
}

void SetText(HWND hwnd, const std::wstring& text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                        SEND_TIMEOUT_MS, &result);
}

void Click(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

bool Enabled(HWND hwnd)
{
    return hwnd && IsWindowEnabled(hwnd);
}

bool Visible(HWND hwnd)
{
    return hwnd && IsWindowVisible(hwnd);
}

bool Checked(HWND button)
{
    DWORD_PTR state = 0;
    SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &state);
    return state == BST_CHECKED;
}

std::wstring ClassName(HWND hwnd)
{
    wchar_t buffer[256] = {};
    GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

std::wstring MessageBoxText(HWND box)
{
    std::wstring text;
    EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

void Answer(HWND box, int buttonId)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
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
    tv.pszText = reinterpret_cast<wchar_t*>(m_pRemote + REMOTE_TEXT_AT);
    tv.cchTextMax = REMOTE_TEXT_CHARS;
    WriteProcessMemory(m_hProcess, m_pRemote, &tv, sizeof tv, nullptr);
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(m_pRemote))) return L"";
    wchar_t text[REMOTE_TEXT_CHARS] = {};
    ReadProcessMemory(m_hProcess, m_pRemote + REMOTE_TEXT_AT, text, sizeof text - sizeof(wchar_t), nullptr);
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
    lv.pszText = reinterpret_cast<wchar_t*>(m_pRemote + REMOTE_TEXT_AT);
    lv.cchTextMax = REMOTE_TEXT_CHARS;
    WriteProcessMemory(m_hProcess, m_pRemote, &lv, sizeof lv, nullptr);
    LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(m_pRemote));
    wchar_t text[REMOTE_TEXT_CHARS] = {};
    if (n > 0)
        ReadProcessMemory(m_hProcess, m_pRemote + REMOTE_TEXT_AT, text, sizeof text - sizeof(wchar_t),
                          nullptr);
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
    col.pszText = reinterpret_cast<wchar_t*>(m_pRemote + REMOTE_TEXT_AT);
    col.cchTextMax = REMOTE_TEXT_CHARS;
    WriteProcessMemory(m_hProcess, m_pRemote, &col, sizeof col, nullptr);
    if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(m_pRemote))) return L"";
    wchar_t text[REMOTE_TEXT_CHARS] = {};
    ReadProcessMemory(m_hProcess, m_pRemote + REMOTE_TEXT_AT, text, sizeof text - sizeof(wchar_t), nullptr);
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

std::vector<MenuItem> PopupMenuItems(HANDLE process, HWND menuWindow)
{
    std::vector<MenuItem> items;
    DWORD_PTR handle = 0;
    if (!SendMessageTimeoutW(menuWindow, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &handle) ||
        !handle)
        return items;
    const uintptr_t menu = handle;
    RemoteUser32Call remote(process);
    DWORD count = 0;
    if (!remote.Call("GetMenuItemCount", {menu}, count) || static_cast<int>(count) <= 0) return items;
    for (uintptr_t i = 0; i < count; ++i) {
        DWORD length = 0;
        DWORD state = 0;
        if (!remote.Call("GetMenuStringW",
                         {menu, i, remote.TextAddress(), RemoteUser32Call::TEXT_CHARS, MF_BYPOSITION},
                         length) ||
            !remote.Call("GetMenuState", {menu, i, MF_BYPOSITION}, state))
            return {};
        items.push_back({length ? remote.Text() : std::wstring(), !(state & (MF_GRAYED | MF_DISABLED)),
                         (state & MF_HILITE) != 0});
    }
    return items;
}

void DoubleClick(HWND wnd, POINT pt)
{
    LPARAM at = MAKELPARAM(pt.x, pt.y);
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(wnd, WM_LBUTTONUP, 0, at);
    SendMessageW(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(wnd, WM_LBUTTONUP, 0, at);
}

bool DropFiles(HANDLE process, HWND target, const std::vector<std::wstring>& paths)
{
    std::wstring list;
    for (const std::wstring& path : paths)
        list += path + L'\0';
    list += L'\0';
    std::vector<uint8_t> block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = reinterpret_cast<DROPFILES*>(block.data());
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(block.data() + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    // Left to the receiver: its DragFinish releases the handle, and the
    // block must outlive the posted message in any case.
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) return false;
    if (!WriteProcessMemory(process, remote, block.data(), block.size(), nullptr)) return false;
    return PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
}

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_strPath = std::wstring(temp) + L"zk_ui_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(counter++) + L"\\";
    RemoveTree(m_strPath);
    CreateDirectoryW(m_strPath.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(m_strPath);
}

bool ScratchFolder::WriteFile(const std::wstring& name, const std::string& bytes) const
{
    HANDLE file =
        CreateFileW((m_strPath + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

} // namespace zkui
