#pragma once
// Shared by the extractor's tests: a scratch folder that also removes trees
// deeper than MAX_PATH, archives written to disk from the in-memory builder
// of core/tests/test_archive.h, scripted answers to message boxes (for the
// window tests), and stand-ins for the main window and the start-up.

#include <windows.h>

#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ui/message_box.h"
#include "core/pipeline_platform.h"
#include "core/tests/fake_dialogue.h"
#include "core/tests/test_archive.h"
#include "sfx/engine/archive_state.h"
#include "sfx/engine/extract_session.h"

namespace zk::test {

inline std::wstring LongForm(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

class SfxScratch {
public:
    SfxScratch()
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        static LONG counter = 0;
        m_path = std::wstring(temp) + L"zk_sfx_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(InterlockedIncrement(&counter));
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~SfxScratch() { RemoveTree(LongForm(m_path)); }
    SfxScratch(const SfxScratch&) = delete;
    SfxScratch& operator=(const SfxScratch&) = delete;

    // Without a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& rel) const { return m_path + L"\\" + rel; }

    static bool WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
    {
        HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD done = 0;
        BOOL ok =
            bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(h);
        return ok && done == bytes.size();
    }
    static std::vector<uint8_t> ReadBytes(const std::wstring& path)
    {
        std::vector<uint8_t> out;
        HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return out;
        uint8_t buf[65536];
        DWORD got = 0;
        while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
            out.insert(out.end(), buf, buf + got);
        CloseHandle(h);
        return out;
    }
    static bool Exists(const std::wstring& path)
    {
        return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(LongForm(path).c_str()); }

    // Every file and folder below root (relative paths), to prove that
    // nothing else was written.
    static std::vector<std::wstring> List(const std::wstring& root)
    {
        std::vector<std::wstring> out;
        ListInto(LongForm(root), L"", out);
        return out;
    }

private:
    static void ListInto(const std::wstring& folder, const std::wstring& rel, std::vector<std::wstring>& out)
    {
        WIN32_FIND_DATAW d;
        HANDLE f = FindFirstFileW((folder + L"\\*").c_str(), &d);
        if (f == INVALID_HANDLE_VALUE) return;
        do {
            std::wstring name = d.cFileName;
            if (name == L"." || name == L"..") continue;
            out.push_back(rel + name);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                ListInto(folder + L"\\" + name, rel + name + L"\\", out);
        } while (FindNextFileW(f, &d));
        FindClose(f);
    }
    static void RemoveTree(const std::wstring& folder)
    {
        WIN32_FIND_DATAW d;
        HANDLE f = FindFirstFileW((folder + L"\\*").c_str(), &d);
        if (f != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = d.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring path = folder + L"\\" + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path);
                else
                    DeleteFileW(path.c_str());
            } while (FindNextFileW(f, &d));
            FindClose(f);
        }
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring m_path;
};

// Writes the archive's files: path, then path.1, path.2, ...
inline bool WriteArchive(const TestArchive& a, const std::wstring& path)
{
    if (!a.m_bOk) return false;
    for (size_t k = 0; k < a.m_volumes.size(); ++k) {
        std::wstring name = k == 0 ? path : path + L"." + std::to_wstring(k);
        if (!SfxScratch::WriteBytes(name, a.m_volumes[k])) return false;
    }
    return true;
}

// Archives whose files carry hashes use the system's SHA-256, as the
// extractor checks them with it.
inline TestArchive BuildHashed(const std::vector<TestEntry>& top, TestArchiveOptions o)
{
    std::unique_ptr<IFileHash> hash = MakeSystemSha256();
    o.m_bHash = true;
    o.m_pHash = hash.get();
    return BuildTestArchive(top, o);
}

// Answers message boxes from a script (the last answer repeats) and keeps
// what they said.
class ScriptedBoxes {
public:
    explicit ScriptedBoxes(std::vector<int> answers = {IDOK}) : m_answers(answers.begin(), answers.end())
    {
        m_previous = SetMessageBoxFunc([this](HWND, const wchar_t* text, const wchar_t* caption, UINT flags) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_texts.push_back(text);
            m_captions.push_back(caption);
            m_flags.push_back(flags);
            int answer = m_answers.front();
            if (m_answers.size() > 1) m_answers.pop_front();
            return answer;
        });
    }
    ~ScriptedBoxes() { SetMessageBoxFunc(m_previous); }
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    std::vector<std::wstring> Texts() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_texts;
    }
    std::vector<std::wstring> Captions() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_captions;
    }
    std::vector<UINT> Flags() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_flags;
    }

private:
    mutable std::mutex m_lock;
    std::deque<int> m_answers;
    std::vector<std::wstring> m_texts, m_captions;
    std::vector<UINT> m_flags;
    MessageBoxFunc m_previous;
};

// The main window as the workers see it, with what they asked of it.
class FakeExtractCallback : public IExtractCallback {
public:
    Answer Ask(const UserMessage& message) override { return m_dialogue.Ask(message); }
    // The answers to the next questions (the last one repeats).
    FakeDialogue& Script(std::vector<Answer> answers = {ANSWER_OK})
    {
        m_dialogue.SetScript(std::move(answers));
        return m_dialogue;
    }
    void ProgressStarted(uint32_t ms, bool) override { m_timers.push_back(ms); }
    void ProgressStopped() override { ++m_nStops; }
    void RepaintProgress() override { ++m_nRepaints; }
    void FillTree() override { ++m_nTreeFills; }
    void RefreshSummary() override { ++m_nSummaries; }
    void EnableExtractButton() override { ++m_nEnables; }
    void CloseWhenDone() override { ++m_nCloses; }
    void ShowCurrentPath(const std::wstring& p) override { m_shownPaths.push_back(p); }

    FakeDialogue m_dialogue;
    std::vector<uint32_t> m_timers;
    int m_nStops = 0, m_nRepaints = 0, m_nTreeFills = 0, m_nSummaries = 0, m_nEnables = 0, m_nCloses = 0;
    std::vector<std::wstring> m_shownPaths;
};

// Who spoke in each message, in order.
inline std::vector<MessageSource> Sources(const FakeDialogue& dialogue)
{
    std::vector<MessageSource> sources;
    for (const UserMessage& m : dialogue.Messages())
        sources.push_back(m.m_nSource);
    return sources;
}

inline std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

} // namespace zk::test

#include "sfx/engine/archive_open.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/extract_engine.h"

namespace zk::test {

// The start-up as the opening sees it: each password box types the next
// password (none left: cancelled); the main window only counts its runs.
class FakeOpenCallback : public IOpenCallback {
public:
    explicit FakeOpenCallback(std::vector<std::wstring> passwords = {})
        : m_listPasswords(std::move(passwords))
    {
    }
    Answer Ask(const UserMessage& message) override { return m_dialogue.Ask(message); }
    bool AskPassword(std::wstring* password) override
    {
        if (m_nPrompts++ >= m_listPasswords.size()) return false;
        *password = m_listPasswords[m_nPrompts - 1];
        return true;
    }
    void RunMainWindow(ArchiveState&) override { ++m_nMainWindowRuns; }

    FakeDialogue m_dialogue;
    std::vector<std::wstring> m_listPasswords;
    size_t m_nPrompts = 0;
    int m_nMainWindowRuns = 0;
};

// An opened archive with its session and a stand-in window, ready for the
// workers. The tree is loaded as the analysis worker would (without its
// half-second pause).
struct OpenedArchive {
    ArchiveState m_state;
    FakeExtractCallback m_callback;
    ExtractSession m_session{m_state, &m_callback};
    bool m_bOpened = false;
    std::vector<std::wstring> m_logs;

    explicit OpenedArchive(const std::wstring& path, const std::wstring& password = L"", bool loadTree = true)
    {
        m_state.m_strArchivePath = path;
        WorkerContext ctx;
        FakeOpenCallback opening({password});
        m_bOpened = OpenArchive(ctx, m_state, L"", opening) == OpenOutcome::OPENED;
        if (m_bOpened && loadTree) LoadTree(m_session);
    }

    int ExtractAll(const std::wstring& destination)
    {
        m_session.m_request.m_strDestination = destination;
        m_session.m_ctx.Clear();
        m_session.m_ctx.m_nRunning = 1;
        return ExtractAllWorker(m_session);
    }

    // The top-level entry or the entry below a folder with this name.
    EntryNode* Find(const std::wstring& name, EntryNode* folder = nullptr)
    {
        EntryNode* parent = folder ? folder : &m_state.m_root;
        LoadChildrenInfo(m_session, *parent);
        for (EntryNode* c = parent->m_pFirstChild; c; c = c->m_pNextSibling)
            if (c->m_pInfo && c->m_pInfo->m_strName == name) return c;
        return nullptr;
    }
};

inline uint64_t WriteTimeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d = {};
    if (!GetFileAttributesExW(LongForm(path).c_str(), GetFileExInfoStandard, &d)) return 0;
    return FileTimeValue(d.ftLastWriteTime);
}

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return v;
}

// The lines of the extractor's error log, without the byte-order mark and
// the line ends.
inline std::vector<std::wstring> LogLines(const std::wstring& path)
{
    std::vector<uint8_t> raw = SfxScratch::ReadBytes(path);
    size_t at = raw.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xFE ? 2 : 0;
    std::wstring text((raw.size() - at) / 2, L'\0');
    std::memcpy(text.data(), raw.data() + at, text.size() * 2);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

inline std::vector<uint8_t> TextBytes(size_t n)
{
    std::vector<uint8_t> v(n);
    static const char words[] = "packing folders into one archive that unpacks itself ";
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(words[(i * 3 + i / 97) % (sizeof words - 1)]);
    return v;
}

} // namespace zk::test
