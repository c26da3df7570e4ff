#include "sfx/ui/quiet_extract.h"

#include "core/quiet_answer.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/extract_engine.h"
#include "sfx/ui/main_window_texts.h"

namespace zk {

namespace {

// The log beside the archive, with every record in order. A log that cannot
// be made leaves the exit code alone to tell: a box would wait for a person
// nobody expects at the screen.
void WriteQuietLog(const std::wstring& archivePath, const std::vector<ErrorLogRecord>& records)
{
    ErrorLog log;
    if (!log.Open(ExtractorLogPath(archivePath.c_str()).c_str())) return;
    if (!log.WriteByteOrderMark()) return;
    for (const ErrorLogRecord& r : records)
        if (!log.WriteFailure(r.m_strPath.c_str(), r.m_strMessage.c_str())) return;
}

// The main window as the workers see it, without a window: its questions
// go to the run.
class CQuietExtractCallback : public IExtractCallback {
public:
    explicit CQuietExtractCallback(IUserDialogue& dialogue) : m_dialogue(dialogue) {}
    Answer Ask(const UserMessage& message) override { return m_dialogue.Ask(message); }

private:
    IUserDialogue& m_dialogue;
};

} // namespace

CQuietRun::CQuietRun(const SfxSwitches& switches) : m_switches(switches)
{
    // Some system failures are shown where they happen, as boxes.
    m_previous = SetMessageBoxFunc([this](HWND, const wchar_t* text, const wchar_t*, UINT flags) {
        Keep(std::wstring(), text ? text : L"");
        return QuietAnswer(flags);
    });
}

CQuietRun::~CQuietRun()
{
    SetMessageBoxFunc(m_previous);
}

void CQuietRun::Keep(const std::wstring& path, const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_listRecords.push_back({path, text});
}

Answer CQuietRun::Ask(const UserMessage& message)
{
    Keep(std::wstring(), message.m_strText);
    return QuietAnswer(message.m_nButtons);
}

bool CQuietRun::AskPassword(std::wstring* password)
{
    *password = m_switches.m_bPassword ? m_switches.m_strPassword : std::wstring();
    return true;
}

void CQuietRun::RunMainWindow(ArchiveState& state)
{
    const bool noUi = (state.m_nSfxFlags & SF_NO_UI) != 0;
    CQuietExtractCallback callback(*this);
    ExtractSession s(state, &callback);
    s.m_request.m_strDestination =
        !state.m_strDestOverride.empty()
            ? state.m_strDestOverride
            : InitialDestination(noUi ? L"" : state.m_strDestFolder, state.m_strArchivePath, noUi);
    s.m_ctx.m_nRunning = 1;
    if (LoadTree(s) != 0) {
        RecordFailure(s.m_ctx, state);
        s.m_ctx.m_nRunning = 0;
    } else {
        s.m_ctx.Clear();
        s.m_ctx.m_nRunning = 1;
        ExtractAllWorker(s);
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_listRecords.insert(m_listRecords.begin(), s.m_ctx.m_listNotices.begin(), s.m_ctx.m_listNotices.end());
    if (s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort &&
        !(s.m_ctx.m_strFailingPath.empty() && s.m_ctx.m_strMessage.empty()))
        m_listRecords.push_back({s.m_ctx.m_strFailingPath, s.m_ctx.m_strMessage});
}

void CQuietRun::WriteLog(const ArchiveState& state)
{
    std::vector<ErrorLogRecord> records;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        records = m_listRecords;
    }
    if (records.empty() && !state.m_bAllExtracted)
        records.push_back({state.m_strArchivePath, L"解凍できませんでした"});
    if (!records.empty()) WriteQuietLog(state.m_strArchivePath, records);
}

void LogQuietFailure(const std::wstring& archivePath, const std::wstring& message)
{
    WriteQuietLog(archivePath, {{std::wstring(), message}});
}

} // namespace zk
