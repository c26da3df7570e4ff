#pragma once
// What the builder tests share: an owner that records what the engine
// reports and answers its questions, a scratch program folder with the extractor program in it, source
// trees on disk, and the comparison of a decoded archive with its sources.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "builder/engine/build_engine.h"
#include "builder/settings/settings_records.h"
#include "builder/ui/message_style.h"
#include "ui/message_box.h"
#include "core/tests/fake_dialogue.h"
#include "core/tests/win/scratch_folder.h"
#include "core/tests/win/test_archive_reader.h"

namespace zk::test {

// What the wizard gives a build, for tests: the settings records, a
// progress that records what the engine reports (hooks let a test act at a
// given moment), the state and result bytes, and a dialogue that records
// every message and shows it as the wizard would, through the replaceable
// box function (BoxAnswers answers there).
class RecordingOwner : public BuildProgress {
public:
    RecordingOwner()
    {
        m_dialogue.SetAnswerer([](const UserMessage& message) {
            return AnswerFromButton(ShowUserMessage(nullptr, message, BUILDER_MESSAGE_STYLE, {}));
        });
    }

    ::CVosmireEnv m_env;
    ::CVosmirePrm m_prm;
    std::wstring m_strProgram;
    BuildFlags m_flags;
    std::atomic<uint8_t>& m_nBuildState = m_flags.m_nState;
    std::atomic<uint8_t>& m_nBuildResult = m_flags.m_nResult;
    FakeDialogue m_dialogue;
    BuildJob m_job;

    std::vector<std::wstring> m_listPhases;
    BuildCounters m_counters;
    BuildStatistics m_stats;
    bool m_bStatsSet = false;
    int m_nTimerStarts = 0;
    int m_nTimerStops = 0;
    int m_nSummaries = 0;
    uint64_t m_nTotal = 0;
    uint64_t m_nCompressDone = 0;
    uint64_t m_nVerifyDone = 0;
    // Hooks that let a test act at a given moment of the build.
    std::function<void(const std::wstring&)> m_onPhase;
    std::function<void(uint64_t)> m_onCompress;
    std::function<void(uint64_t)> m_onVerify;
    std::function<void()> m_onStopTimer;

    void RequestAbort() { m_flags.RequestAbort(); }

    // The job the wizard would start now: settings from the records.
    BuildJob& Job()
    {
        m_job.settings = ToBuildSettings(m_env, m_prm, m_strProgram);
        m_job.pDialogue = &m_dialogue;
        m_job.pProgress = this;
        m_job.pFlags = &m_flags;
        return m_job;
    }
    // Runs the build on this thread and takes its outcome as the wizard
    // does: the statistics of a success, a raised volume size.
    void Build()
    {
        BuildWorker(Job());
        TakeOutcome();
    }
    void TakeOutcome()
    {
        m_bStatsSet = m_job.bStatistics;
        if (m_bStatsSet) m_stats = m_job.stats;
        if (m_job.nRaisedSplitMB != 0) m_prm.m_nSplitMB = static_cast<int32_t>(m_job.nRaisedSplitMB);
    }

    void StartProgressTimer() override
    {
        ++m_nTimerStarts;
        BuildProgress::StartProgressTimer();
    }
    void StopProgressTimer() override
    {
        ++m_nTimerStops;
        BuildProgress::StopProgressTimer();
        if (m_onStopTimer) m_onStopTimer();
    }
    void SetProgressTotal(uint64_t done, uint64_t total) override
    {
        m_nCompressDone = done;
        m_nTotal = total;
        BuildProgress::SetProgressTotal(done, total);
    }
    void SetCompressProgress(uint64_t done) override
    {
        m_nCompressDone = done;
        BuildProgress::SetCompressProgress(done);
        if (m_onCompress) m_onCompress(done);
    }
    void SetVerifyProgress(uint64_t done) override
    {
        m_nVerifyDone = done;
        BuildProgress::SetVerifyProgress(done);
        if (m_onVerify) m_onVerify(done);
    }
    void ShowCounters(const BuildCounters& counters) override
    {
        m_counters = counters;
        BuildProgress::ShowCounters(counters);
    }
    void ShowSettingsSummary(uint32_t splitMB) override
    {
        ++m_nSummaries;
        BuildProgress::ShowSettingsSummary(splitMB);
    }
    void SetPhaseText(const std::wstring& text) override
    {
        m_listPhases.push_back(text);
        BuildProgress::SetPhaseText(text);
        if (m_onPhase) m_onPhase(text);
    }
};

// Answers every box with a function of the box and records them all.
class BoxAnswers {
public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT flags;
    };
    explicit BoxAnswers(std::function<int(const Box&)> answer = nullptr) : m_answer(std::move(answer))
    {
        m_previous = SetMessageBoxFunc([this](HWND, const wchar_t* text, const wchar_t* caption, UINT flags) {
            Box box{text ? text : L"", caption ? caption : L"", flags};
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_boxes.push_back(box);
            }
            return m_answer ? m_answer(box) : IDOK;
        });
    }
    ~BoxAnswers() { SetMessageBoxFunc(std::move(m_previous)); }
    std::vector<Box> Boxes()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_boxes;
    }

private:
    std::function<int(const Box&)> m_answer;
    std::mutex m_lock;
    std::vector<Box> m_boxes;
    MessageBoxFunc m_previous;
};

inline std::string Bytes(size_t n, uint32_t seed, bool random)
{
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = random ? static_cast<char>(x >> 24) : "zelkora packs files. "[(i + seed) % 21];
    }
    return s;
}

// A scratch area with a program folder (holding the extractor program) and
// a source folder.
struct BuildScene {
    ScratchFolder scratch;
    std::wstring prog;
    std::wstring src;
    RecordingOwner owner;

    BuildScene()
    {
        prog = scratch.Path() + L"prog\\";
        src = scratch.Path() + L"src\\";
        CreateDirectoryW(prog.c_str(), nullptr);
        CreateDirectoryW(src.c_str(), nullptr);
        CopyFileW(ZK_SFX_EXE, (prog + L"ZelkoraSfx.exe").c_str(), FALSE);
        owner.m_strProgram = prog;
        // Settings that make a quick, fully checked build.
        owner.m_env.m_bVerify = 1;
        owner.m_env.m_bHash = 1;
        owner.m_env.m_nCompressKind = 0;
        owner.m_env.m_nCompressLevel = 0;
        owner.m_env.m_bIncludeHidden = 1;
        owner.m_env.m_bShowLogOnError = 0;
        owner.m_env.m_bUseWorkFolder = 0;
    }

    std::wstring Folder(const std::wstring& rel) const
    {
        std::wstring p = src + rel;
        CreateDirectoryW(p.c_str(), nullptr);
        return p;
    }
    std::wstring File(const std::wstring& rel, const std::string& bytes, DWORD attrs = 0) const
    {
        std::wstring p = src + rel;
        HANDLE h =
            CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        if (h != INVALID_HANDLE_VALUE) {
            if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
            CloseHandle(h);
        }
        if (attrs) SetFileAttributesW(p.c_str(), attrs);
        return p;
    }

    // The chosen items, as the file page makes them (resolved by the shell).
    std::vector<std::wstring> sources;
    void Sources(std::initializer_list<std::wstring> paths)
    {
        sources.assign(paths);
        owner.m_prm.m_listSources.clear();
        for (const std::wstring& p : paths)
            owner.m_prm.m_listSources.push_back(owner.m_prm.m_shellDesktop.MakeItem(p));
    }
    void Target(const std::wstring& path) { owner.m_prm.m_strArchivePath = path; }

    void Build() { owner.Build(); }
    uint8_t Result() const { return owner.m_nBuildResult.load(); }

    // Work files ("~ZK*.TMP") left in a folder.
    static int WorkFilesIn(const std::wstring& folder)
    {
        WIN32_FIND_DATAW d;
        HANDLE f = FindFirstFileW((folder + L"~ZK*.TMP").c_str(), &d);
        if (f == INVALID_HANDLE_VALUE) return 0;
        int n = 0;
        do
            ++n;
        while (FindNextFileW(f, &d));
        FindClose(f);
        return n;
    }
};

inline uint64_t TimeOf(const FILETIME& ft)
{
    return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

// What a source tree should look like in the archive: relative path to the
// directory entry, for every entry the filter keeps.
inline void ExpectedEntries(const std::wstring& path, const std::wstring& rel, bool includeHidden,
                            std::map<std::wstring, WIN32_FIND_DATAW>& out)
{
    WIN32_FIND_DATAW d;
    HANDLE f = FindFirstFileW((path + L"\\*").c_str(), &d);
    if (f == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        if (!includeHidden && (d.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY)))
            continue;
        out[rel + name] = d;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ExpectedEntries(path + L"\\" + name, rel + name + L"\\", includeHidden, out);
    } while (FindNextFileW(f, &d));
    FindClose(f);
}

// Checks every entry of a decoded archive against the files on disk below
// the given top-level source paths: names, hierarchy, kinds, sizes,
// contents, attributes and times. Returns the number of entries compared.
inline size_t ExpectMatchesSources(const DecodedArchive& archive, const std::vector<std::wstring>& sources,
                                   bool includeHidden)
{
    std::map<std::wstring, WIN32_FIND_DATAW> expected;
    for (const std::wstring& s : sources) {
        WIN32_FIND_DATAW d;
        HANDLE f = FindFirstFileW(s.c_str(), &d);
        if (f == INVALID_HANDLE_VALUE) continue;
        FindClose(f);
        if (!includeHidden && (d.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY)))
            continue;
        expected[d.cFileName] = d;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ExpectedEntries(s, std::wstring(d.cFileName) + L"\\", includeHidden, expected);
    }
    std::map<std::wstring, const ArchiveEntry*> got;
    for (const ArchiveEntry& e : archive.entries)
        got[e.strPath] = &e;
    EXPECT_EQ(got.size(), archive.entries.size()) << "an entry is stored twice";

    std::vector<std::wstring> expectedNames, gotNames;
    for (const auto& [k, v] : expected)
        expectedNames.push_back(k);
    for (const auto& [k, v] : got)
        gotNames.push_back(k);
    EXPECT_EQ(gotNames, expectedNames);

    for (const auto& [rel, d] : expected) {
        auto it = got.find(rel);
        if (it == got.end()) continue;
        const ArchiveEntry& e = *it->second;
        SCOPED_TRACE(testing::Message() << "entry " << std::string(rel.begin(), rel.end()));
        const bool folder = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        EXPECT_EQ(e.bFolder, folder);
        EXPECT_EQ(e.info.m_nAttributes, d.dwFileAttributes);
        EXPECT_EQ(e.info.m_nCreationTime, TimeOf(d.ftCreationTime));
        EXPECT_EQ(e.info.m_nWriteTime, TimeOf(d.ftLastWriteTime));
        if (folder) {
            EXPECT_EQ(e.info.m_nSize, 0u);
            EXPECT_EQ(e.info.m_nMethod, METHOD_STORED);
            continue;
        }
        std::wstring full;
        for (const std::wstring& s : sources) {
            std::wstring top = s.substr(s.find_last_of(L'\\') + 1);
            if (rel == top || rel.rfind(top + L"\\", 0) == 0) full = s.substr(0, s.size() - top.size()) + rel;
        }
        std::string content = ScratchFolder::ReadAll(full);
        EXPECT_EQ(e.info.m_nSize, content.size());
        EXPECT_TRUE(std::string(e.data.begin(), e.data.end()) == content) << "content differs";
        if (content.empty()) {
            EXPECT_EQ(e.info.m_nMethod, METHOD_STORED);
            EXPECT_EQ(e.info.m_nStoredSize, 0u);
        }
    }
    return expected.size();
}

} // namespace zk::test
