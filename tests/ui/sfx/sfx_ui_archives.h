#pragma once
// Self-extracting archives for the window tests: the real extractor program
// in front of archives written by the test archive writer, in a scratch
// folder of their own; and the helpers that look at what a run left behind.

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/pipeline_platform.h"
#include "core/tests/test_archive.h"
#include "ui_driver.h"

namespace zkui {

inline std::vector<uint8_t> ExtractorImage()
{
    std::string bytes = ReadWholeFile(ZK_SFX_EXE);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline bool WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Text that compresses, but not to nothing.
inline std::vector<uint8_t> Prose(size_t n)
{
    std::vector<uint8_t> v(n);
    static const char words[] = "packing folders into one archive that unpacks itself ";
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(words[(i * 3 + i / 97) % (sizeof words - 1)]);
    return v;
}

// n empty folders "f0", "f1" ... side by side.
inline std::vector<zk::test::TestEntry> ManyFolders(int n)
{
    std::vector<zk::test::TestEntry> folders;
    for (int i = 0; i < n; ++i) {
        std::string name = "f" + std::to_string(i);
        folders.push_back(zk::test::TestEntry::Folder(std::u16string(name.begin(), name.end())));
    }
    return folders;
}

// Removes a folder with everything in it, read-only files too.
inline void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

// A fresh folder under the temporary folder, removed with its contents.
class Scratch {
public:
    Scratch()
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_strPath = std::wstring(temp) + L"zk_sfx_ui_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                    std::to_wstring(++s_nCount) + L"\\";
        CreateDirectoryW(m_strPath.c_str(), nullptr);
    }
    ~Scratch() { RemoveTree(m_strPath.substr(0, m_strPath.size() - 1)); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::wstring operator/(const std::wstring& name) const { return m_strPath + name; }
    bool Write(const std::wstring& name, const std::vector<uint8_t>& bytes) const
    {
        return WriteBytes(m_strPath + name, bytes);
    }
    // Volume 0 under name, the others as name.1, name.2 ...
    bool Write(const std::wstring& name, const zk::test::TestArchive& a) const
    {
        if (!a.m_bOk) return false;
        for (size_t k = 0; k < a.m_volumes.size(); ++k)
            if (!Write(k == 0 ? name : name + L"." + std::to_wstring(k), a.m_volumes[k])) return false;
        return true;
    }

    // Relative paths of everything below the folder (or below sub).
    std::vector<std::wstring> List(const std::wstring& sub = L"") const
    {
        std::vector<std::wstring> out;
        ListInto(sub.empty() ? m_strPath.substr(0, m_strPath.size() - 1) : m_strPath + sub, L"", out);
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    static void ListInto(const std::wstring& folder, const std::wstring& rel, std::vector<std::wstring>& out)
    {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return;
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            out.push_back(rel + name);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                ListInto(folder + L"\\" + name, rel + name + L"\\", out);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }

    std::wstring m_strPath;
    static inline int s_nCount = 0;
};

// The archive with the extractor in front; files carry the system's
// SHA-256 when o.m_bHash is set, as the extractor checks them with it.
inline zk::test::TestArchive BuildSfx(const std::vector<zk::test::TestEntry>& tree,
                                      zk::test::TestArchiveOptions o)
{
    o.m_prefix = ExtractorImage();
    std::unique_ptr<zk::IFileHash> hash;
    if (o.m_bHash) {
        hash = zk::MakeSystemSha256();
        o.m_pHash = hash.get();
    }
    return zk::test::BuildTestArchive(tree, o);
}

// Writes a self-extracting archive in one file; false when the writer failed.
inline bool WriteSfx(const Scratch& dir, const std::wstring& name,
                     const std::vector<zk::test::TestEntry>& tree, const zk::test::TestArchiveOptions& o)
{
    zk::test::TestArchive a = BuildSfx(tree, o);
    return a.m_bOk && a.m_volumes.size() == 1 && dir.Write(name, a);
}

// The processes a program started that are still running (Notepad showing
// the extractor's error log), by executable name.
inline std::vector<DWORD> ChildProcesses(DWORD parent, const wchar_t* exeName)
{
    std::vector<DWORD> found;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        if (pe.th32ParentProcessID == parent && lstrcmpiW(pe.szExeFile, exeName) == 0)
            found.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return found;
}

inline void EndProcesses(const std::vector<DWORD>& pids)
{
    for (DWORD pid : pids) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!h) continue;
        TerminateProcess(h, 0);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
}

// The text the extractor's progress bar shows (its window text).
inline std::wstring ProgressLine(HWND dialog)
{
    return Text(GetDlgItem(dialog, 1006));
}

// What the system calls an error code, as a message box shows it.
inline std::wstring SystemErrorText(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = text ? text : L"";
    if (text) LocalFree(text);
    return out;
}

// A message box's text without the line ends a system text may close with.
inline std::wstring Trimmed(std::wstring s)
{
    while (!s.empty() && (s.back() == L'\r' || s.back() == L'\n' || s.back() == L' '))
        s.pop_back();
    return s;
}

inline std::string Narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// ---- driving a run of the main window -------------------------------------

// The main window once its analysis is over (the extract button enabled).
inline HWND WaitMainWindow(const Program& p, const std::wstring& caption)
{
    HWND dialog = p.WaitWindow(L"#32770", caption);
    if (!dialog || !WaitFor([&] { return Enabled(GetDlgItem(dialog, IDOK)); })) return nullptr;
    return dialog;
}

// Sets the destination folder (1001) and presses the extract button.
inline void StartExtraction(HWND dialog, const std::wstring& destination)
{
    SetText(GetDlgItem(dialog, 1001), destination);
    const std::wstring before = ProgressLine(dialog);
    Click(GetDlgItem(dialog, IDOK));
    // The click is only posted: a run is under way (the close button goes)
    // or already over (the line changed) before anything waits for its end.
    WaitFor([&] { return !Enabled(GetDlgItem(dialog, IDCANCEL)) || ProgressLine(dialog) != before; }, 5000);
}

// Returns once the window's thread has come back to its messages, so that
// what the handler it was in decided is done; false when it did not within
// 5 s.
inline bool Settle(HWND window)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored) != 0;
}

// A run is over when the window is usable again.
inline bool RunIsOver(HWND dialog)
{
    return Enabled(GetDlgItem(dialog, IDCANCEL)) && Text(GetDlgItem(dialog, IDOK)) == L"解凍(&S)";
}
inline bool WaitRunOver(HWND dialog, DWORD timeoutMs = 20000)
{
    return WaitFor([&] { return RunIsOver(dialog); }, timeoutMs);
}

// The next box with this caption, with its text once it is filled in.
struct Question {
    HWND m_hBox = nullptr;
    std::wstring m_strText;
};
inline Question NextQuestion(const Program& p, const std::wstring& caption = L"確認")
{
    Question q;
    q.m_hBox = p.WaitBox(caption);
    if (q.m_hBox) WaitFor([&] { return !(q.m_strText = MessageBoxText(q.m_hBox)).empty(); }, 5000);
    return q;
}
// Answers a box and waits until it is gone.
inline void Reply(HWND box, int button)
{
    Answer(box, button);
    WaitFor([&] { return !IsWindow(box); }, 5000);
}

inline std::string Content(const std::wstring& path)
{
    return FileExists(path) ? ReadWholeFile(path) : std::string("<missing>");
}

// The error log's text as the extractor writes it: UTF-16LE after a byte
// order mark.
inline std::wstring ReadLog(const std::wstring& path)
{
    std::string bytes = ReadWholeFile(path);
    if (bytes.size() < 2 || static_cast<uint8_t>(bytes[0]) != 0xFF || static_cast<uint8_t>(bytes[1]) != 0xFE)
        return L"<no UTF-16 log>";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

// Waits for the Notepad the extractor opened its log in, and ends it: a
// viewer left running would keep the test program's output open.
inline bool EndLogViewer(const Program& p)
{
    DWORD pid = GetProcessId(p.Process());
    std::vector<DWORD> viewers;
    bool seen = WaitFor([&] { return !(viewers = ChildProcesses(pid, L"notepad.exe")).empty(); }, 10000);
    EndProcesses(viewers);
    return seen;
}

} // namespace zkui
