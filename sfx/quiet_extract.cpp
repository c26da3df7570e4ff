#include "sfx/quiet_extract.h"

#include <mutex>
#include <vector>

#include "core/error_log.h"
#include "core/message_box.h"
#include "core/quiet_answer.h"
#include "sfx/archive_open.h"
#include "sfx/entry_loader.h"
#include "sfx/extract_engine.h"
#include "sfx/main_window_texts.h"

namespace zk {

namespace {

// The main window as the workers see it, without a window.
class QuietView : public IExtractorView {
public:
    explicit QuietView(std::wstring destination) : m_strDestination(std::move(destination)) {}
    HWND Owner() override { return nullptr; }
    void StartProgressTimer(UINT, bool) override {}
    void StopProgressTimer() override {}
    void RepaintProgress() override {}
    void FillTree() override {}
    void RefreshSummary() override {}
    void EnableExtractButton() override {}
    void CloseWhenDone() override {}
    void ShowCurrentPath(const std::wstring&) override {}
    std::wstring Destination() override { return m_strDestination; }
    std::vector<EntryNode*> CurrentFolderChain() override { return {}; }
    EntryNode* CurrentFolder() override { return nullptr; }

private:
    std::wstring m_strDestination;
};

struct QuietRun {
    std::mutex m_lock;
    std::vector<ErrorLogRecord> m_listBoxes;
    MessageBoxFunc m_previous;
    bool m_bLogWritten = false;
};

QuietRun& TheQuietRun()
{
    static QuietRun run;
    return run;
}

std::vector<ErrorLogRecord> KeptBoxes()
{
    QuietRun& run = TheQuietRun();
    std::lock_guard<std::mutex> lock(run.m_lock);
    return run.m_listBoxes;
}

void WriteLog(const std::wstring& archivePath, const std::vector<ErrorLogRecord>& records)
{
    if (records.empty()) return;
    WriteExtractorErrorLog(archivePath.c_str(), records, nullptr, false);
    TheQuietRun().m_bLogWritten = true;
}

} // namespace

void BeginQuietRun()
{
    QuietRun& run = TheQuietRun();
    run.m_previous = SetMessageBoxFunc([](HWND, const wchar_t* text, const wchar_t*, UINT flags) {
        QuietRun& r = TheQuietRun();
        std::lock_guard<std::mutex> lock(r.m_lock);
        r.m_listBoxes.push_back({std::wstring(), text ? text : L""});
        return QuietAnswer(flags);
    });
}

int QuietPasswordPrompt(HWND, ArchiveState& state)
{
    state.m_nPasswordAttempt = PASSWORD_TRIES;
    state.m_strPassword.clear();
    return IDOK;
}

void RunQuietExtraction(ArchiveState& state)
{
    const bool noUi = (state.m_nSfxFlags & SF_NO_UI) != 0;
    std::wstring destination = state.m_strDestOverride;
    if (destination.empty())
        destination = InitialDestination(noUi ? L"" : state.m_strDestFolder, state.m_strArchivePath, noUi);
    QuietView view(destination);
    ExtractSession s(state, &view);
    s.m_pOpenLog = nullptr;
    s.m_ctx.m_nRunning = 1;
    if (LoadTree(s) != 0) {
        RecordFailure(s.m_ctx, state);
        s.m_ctx.m_nRunning = 0;
    } else {
        s.m_ctx.Clear();
        s.m_ctx.m_nRunning = 1;
        ExtractAllWorker(s);
    }

    std::vector<ErrorLogRecord> records = s.m_ctx.m_listNotices;
    if (s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort &&
        !(s.m_ctx.m_strFailingPath.empty() && s.m_ctx.m_strMessage.empty()))
        records.push_back({s.m_ctx.m_strFailingPath, s.m_ctx.m_strMessage});
    for (const ErrorLogRecord& box : KeptBoxes())
        records.push_back(box);
    WriteLog(state.m_strArchivePath, records);
}

void EndQuietRun(const ArchiveState& state)
{
    QuietRun& run = TheQuietRun();
    if (!run.m_bLogWritten && !state.m_bAllExtracted) {
        std::vector<ErrorLogRecord> records = KeptBoxes();
        if (records.empty()) records.push_back({state.m_strArchivePath, L"解凍できませんでした"});
        WriteLog(state.m_strArchivePath, records);
    }
    SetMessageBoxFunc(run.m_previous);
}

void LogQuietFailure(const std::wstring& archivePath, const std::wstring& message)
{
    WriteLog(archivePath, {{std::wstring(), message}});
}

} // namespace zk
