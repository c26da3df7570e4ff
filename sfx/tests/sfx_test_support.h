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
#include "core/file_time_win.h"
#include "core/pipeline_platform.h"
#include "core/tests/fake_dialogue.h"
#include "core/tests/test_archive.h"
#include "sfx/engine/archive_state.h"
#include "sfx/engine/extract_session.h"
#include "sfx/tests/engine_fakes.h"

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
