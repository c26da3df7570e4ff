#pragma once
// Stand-ins for the extractor's windows as the engine sees them, and an
// archive opened through the engine with them: free of the window layer, so
// that the native tests use them too.

#include <string>
#include <vector>

#include "core/tests/fake_dialogue.h"
#include "sfx/engine/archive_open.h"
#include "sfx/engine/archive_state.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/extract_callback.h"
#include "sfx/engine/extract_engine.h"
#include "sfx/engine/extract_session.h"

namespace zk::test {

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
        // The tests' archives are small: with more than one thread they
        // still go through the decoding thread.
        m_session.m_bAheadForSmallFiles = true;
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

} // namespace zk::test
