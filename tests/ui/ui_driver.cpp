#include "ui_driver.h"

#include <shellapi.h>

#include <atomic>
#include <vector>

namespace zkui {

namespace {

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

} // namespace

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

Program::Program(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &m_pi))
        m_pi = PROCESS_INFORMATION{};
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
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
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
