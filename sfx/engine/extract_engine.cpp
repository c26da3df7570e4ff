#include "sfx/engine/extract_engine.h"

#include <cwctype>
#include <memory>

#include "core/entry_name.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/worker_thread.h"
#include "sfx/engine/archive_file.h"
#include "sfx/engine/entry_decoder.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/error_message.h"
#include "sfx/engine/extract_support.h"
#include "sfx/engine/zone_mark.h"

namespace zk {

namespace {

constexpr wchar_t TEXT_ANALYSING[] = L"解析中！！";
constexpr wchar_t TEXT_BUILDING_TREE[] = L"ツリー作成中！！";
constexpr wchar_t TEXT_READY[] = L"準備完了";
constexpr wchar_t TEXT_ABORTED[] = L"解凍中止";
constexpr wchar_t TEXT_FAILED[] = L"解凍失敗";
constexpr wchar_t TEXT_DEST_IS_FILE[] = L"解凍先は既に存在するファイルのため中止します";
constexpr wchar_t TEXT_DEST_EXISTS[] = L"解凍先フォルダが既に存在します。上書きしてもよろしいですか？";
// A tree that failed to load would extract a part of the archive and call
// it a success.
bool TreeIsComplete(ExtractSession& s)
{
    if (s.m_state.m_bTreeLoaded) return true;
    RecordFailure(s.m_ctx, s.m_state, ERR_READ);
    return false;
}

bool OpenArchiveForRun(ExtractSession& s)
{
    s.m_infoTable.Forget();
    s.m_archive.Reset(OpenFile(s.m_state.m_strArchivePath.c_str(), OPENMODE_READ));
    if (s.m_archive) return true;
    s.m_pCallback->ReportSystemError();
    Fail(s, s.m_state.m_strArchivePath);
    return false;
}

// Steps every extract worker ends with.
int FinishExtraction(ExtractSession& s, bool enableButtonOnly)
{
    StopDecodingAhead(s);
    s.m_archive.Reset();
    s.m_pVolumes.reset();
    if (s.m_ctx.m_nAbort)
        s.m_status.Set(TEXT_ABORTED);
    else if (s.m_ctx.m_nFailed)
        s.m_status.Set(TEXT_FAILED);
    s.m_progress.m_nLastProgress = WallClockSeconds();
    if (!enableButtonOnly && (s.m_state.m_nSfxFlags & SF_NO_UI)) {
        s.m_pCallback->RepaintProgress();
        s.m_pCallback->CloseWhenDone();
    } else if (!s.m_ctx.m_nAbort) {
        s.m_pCallback->EnableExtractButton();
    }
    s.m_pCallback->ProgressStopped();
    ShowErrorMessage(*s.m_pCallback, s.m_ctx, s.m_state);
    int failed = s.m_ctx.m_nFailed;
    s.m_ctx.m_nRunning = 0;
    return failed;
}

} // namespace

Answer Ask(ExtractSession& s, const std::wstring& text, MessageButtons buttons, MessageMark mark,
           uint8_t topic)
{
    UserMessage question;
    question.m_nSource = SOURCE_QUESTION;
    question.m_nButtons = buttons;
    question.m_nMark = mark;
    question.m_nTopic = topic;
    question.m_strText = text;
    return s.m_pCallback->Ask(question);
}

void ReportSystemFailure(IUserDialogue& dialogue)
{
    // Telling may take the window's thread a while; what failed stays the
    // thread's last error for the code after it.
    const uint32_t code = SystemErrorCode();
    GetLastErrorText();
    dialogue.ReportSystemError();
    SetSystemError(code);
}

int Fail(ExtractSession& s, const std::wstring& path, uint32_t flag)
{
    return RecordFailure(s.m_ctx, s.m_state, flag, ShortPathForm(path), LastErrorText());
}

std::wstring Child(const std::wstring& folder, const std::wstring& name)
{
    return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

const EntryInfo* InfoOf(ExtractSession& s, EntryNode& node, std::unique_ptr<EntryInfo>& temporary)
{
    if (node.m_pInfo) return node.m_pInfo.get();
    temporary = LoadEntryInfo(s, s.m_archive.Get(), node);
    return temporary.get();
}

bool NameIsUsable(ExtractSession& s, const std::wstring& name)
{
    if (IsSafeEntryName(ToU16(name))) return true;
    RecordFailure(s.m_ctx, s.m_state, ERR_BAD_NAME, ShortPathForm(Child(s.m_strCurrentDir, name)),
                  ErrorMessageText(ERR_BAD_NAME));
    return false;
}

bool IsRefusedLink(ExtractSession& s, const std::wstring& path)
{
    if (!PathIsSymbolicLink(path.c_str())) return false;
    RecordFailure(s.m_ctx, s.m_state, ERR_BAD_NAME, ShortPathForm(path), ErrorMessageText(ERR_BAD_NAME));
    return true;
}

bool IsDriveRootText(const std::wstring& text)
{
    return text.size() == 3 && std::towupper(text[0]) >= L'A' && std::towupper(text[0]) <= L'Z' &&
           text[1] == L':' && text[2] == L'\\';
}

std::wstring DestinationForCheck(std::wstring text)
{
    if (!IsDriveRootText(text) && !text.empty() && text.back() == L'\\') text.pop_back();
    return text;
}

int CheckDestination(ExtractSession& s, const std::wstring& destination)
{
    if (IsDriveRootText(destination) || !PathExists(destination.c_str())) return 0;
    if (!PathIsFolder(destination.c_str())) {
        Ask(s, TEXT_DEST_IS_FILE, BUTTONS_OK, MARK_WARNING, EXTRACT_TOPIC_DEST_IS_FILE);
    } else if (s.m_state.m_bOverwriteWithoutAsking ||
               Ask(s, TEXT_DEST_EXISTS, BUTTONS_OK_CANCEL, MARK_QUESTION, EXTRACT_TOPIC_DEST_EXISTS) ==
                   ANSWER_OK) {
        return 0;
    }
    s.m_ctx.m_nAbort = 1;
    s.m_ctx.m_nFailed = 1;
    return 1;
}

std::vector<std::wstring> FolderChainSteps(const std::wstring& path)
{
    std::vector<std::wstring> steps;
    size_t scan = 0;
    if (path.size() > 5 && path[0] == L'\\' && path[1] == L'\\') {
        // The server and its share exist or not; they are never created.
        size_t server = path.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        if (share == std::wstring::npos) return steps;
        scan = share + 1;
    }
    while (scan <= path.size()) {
        size_t slash = path.find(L'\\', scan);
        std::wstring prefix = path.substr(0, slash);
        if (!prefix.empty() && prefix.back() != L':' && prefix.back() != L'\\') steps.push_back(prefix);
        if (slash == std::wstring::npos) break;
        scan = slash + 1;
    }
    return steps;
}

int CreateFolderChain(const std::wstring& path, IUserDialogue& dialogue)
{
    if (path.empty()) {
        SetSystemError(SYSERR_PATH_NOT_FOUND);
        ReportSystemFailure(dialogue);
        return 1;
    }
    std::wstring plain = ShortPathForm(LongPathForm(path));
    if (PathExists(plain.c_str())) return 0;
    for (const std::wstring& prefix : FolderChainSteps(plain)) {
        if (PathExists(prefix.c_str())) continue;
        if (!CreateFolder(LongPathForm(prefix).c_str()) && SystemErrorCode() != SYSERR_ALREADY_EXISTS) {
            ReportSystemFailure(dialogue);
            return 1;
        }
    }
    if (PathExists(plain.c_str())) return 0;
    // Only a server share that is not there is left.
    SetSystemError(SYSERR_BAD_NETPATH);
    ReportSystemFailure(dialogue);
    return 1;
}

int ApplyAttributesAndTimes(ExtractSession& s, const std::wstring& path, uint32_t attributes,
                            uint64_t creation, uint64_t access, uint64_t write)
{
    if (!SetFileAttrs(path.c_str(), AttributesToSet(attributes))) {
        s.m_pCallback->ReportSystemError();
        return Fail(s, path);
    }
    FileHandle h(OpenFile(path.c_str(), OPENMODE_BACKUP));
    if (!h) {
        s.m_pCallback->ReportSystemError();
        return Fail(s, path);
    }
    if (!SetFileTimes(h.Get(), creation, access, write)) {
        ReportSystemFailure(*s.m_pCallback);
        return Fail(s, path);
    }
    return 0;
}

int ExtractFolder(ExtractSession& s, EntryNode& node)
{
    const std::wstring remembered = s.m_strCurrentDir;
    std::unique_ptr<EntryInfo> temporary;
    const EntryInfo* info = nullptr;
    std::wstring path;
    if (!node.IsRoot()) {
        info = InfoOf(s, node, temporary);
        if (!info) return 1;
        if (!NameIsUsable(s, info->m_strName)) return 1;
        path = Child(s.m_strCurrentDir, info->m_strName);
        if (IsRefusedLink(s, path)) return 1;
        if (!PathExists(path.c_str()) && !CreateFolder(path.c_str())) {
            ReportSystemFailure(*s.m_pCallback);
            return Fail(s, info->m_strName);
        }
        if (!PathIsFolder(path.c_str())) {
            // Entering a file: the system's own reason, as a change of
            // directory would give it.
            SetSystemError(SYSERR_DIRECTORY);
            ReportSystemFailure(*s.m_pCallback);
            return Fail(s, path);
        }
        s.m_strCurrentDir = path;
    }

    int result = 0;
    for (EntryNode* child = node.m_pFirstChild; child && result == 0; child = child->m_pNextSibling) {
        if (s.m_ctx.m_nAbort) {
            s.m_ctx.m_nFailed = 1;
            result = 1;
            break;
        }
        result = child->IsFolder() ? ExtractFolder(s, *child) : ExtractFile(s, *child);
    }

    if (!node.IsRoot() && ApplyAttributesAndTimes(s, path, info->m_nAttributes, info->m_nCreationTime,
                                                  info->m_nAccessTime, info->m_nWriteTime) != 0)
        result = 1;
    s.m_strCurrentDir = remembered;
    return result;
}

int AnalysisWorker(ExtractSession& s)
{
    ArchiveState& st = s.m_state;
    s.m_ctx.m_nFailed = 0;
    s.m_progress.m_nTotal = st.EntryCount();
    s.m_progress.m_nDone = 0;
    s.m_pCallback->ProgressStarted(250, true);
    s.m_status.Set(TEXT_ANALYSING);
    st.m_root.m_nKind = KIND_ROOT;

    if (LoadTree(s) != 0) {
        RecordFailure(s.m_ctx, st);
    } else {
        if (st.m_nSfxFlags & SF_SHOW_LIST) {
            s.m_status.Set(TEXT_BUILDING_TREE);
            s.m_pCallback->FillTree();
        }
        s.m_pCallback->RefreshSummary();
    }
    s.m_status.Set(TEXT_READY);
    s.m_progress.m_nTotal = 0;
    s.m_progress.m_nDone = 0;
    PauseMs(500);
    s.m_pCallback->ProgressStopped();

    int failed = s.m_ctx.m_nFailed;
    if (st.m_nSfxFlags & SF_NO_UI) {
        if (!s.m_ctx.m_nAbort) {
            // The extraction takes the context over; this worker leaves it alone.
            if (StartWorker(s, &ExtractAllWorker, s.m_request)) return failed;
        }
    } else if (!s.m_ctx.m_nAbort) {
        s.m_pCallback->EnableExtractButton();
    }
    s.m_ctx.m_nRunning = 0;
    return failed;
}

// Each run reports its own failure: a flag left from an earlier run would
// name the wrong cause, or turn a cancelled run into an error.
void StartRun(ExtractSession& s)
{
    s.m_state.m_nErrorFlags = 0;
    s.m_status.Set(L"");
}

namespace {

// What both workers do before their first entry: a fresh run with its total,
// a complete tree, a destination the user accepted, and the progress clock
// started with the bar repainted every refreshMs. 0 / 1.
int BeginRun(ExtractSession& s, uint64_t total, uint32_t refreshMs, std::wstring* destination)
{
    StartRun(s);
    LoadArchiveZoneMark(s);
    s.m_progress.m_nTotal = total;
    s.m_progress.m_nDone = 0;
    if (!TreeIsComplete(s)) return 1;
    *destination = DestinationForCheck(s.m_request.m_strDestination);
    if (CheckDestination(s, *destination) != 0) return 1;
    s.m_pCallback->ProgressStarted(refreshMs, false);
    s.m_progress.m_nStartTime = WallClockSeconds();
    s.m_progress.m_nLastProgress = WallClockSeconds();
    return 0;
}

} // namespace

int ExtractAllWorker(ExtractSession& s)
{
    std::wstring destination;
    if (BeginRun(s, s.m_state.m_nTotalSize, 100, &destination) != 0) return FinishExtraction(s, false);
    if (CreateFolderChain(destination, *s.m_pCallback) == 0) {
        s.m_strCurrentDir = LongPathForm(destination);
        if (OpenArchiveForRun(s)) {
            StartDecodingAhead(s, s.m_state.m_root, false);
            ExtractFolder(s, s.m_state.m_root);
        }
    } else {
        Fail(s, destination);
    }
    s.m_state.m_bAllExtracted = !s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort;
    return FinishExtraction(s, false);
}

namespace {

// Adds the sizes of the selected entries of folder to the total. 0 / 1.
int SumSelectedSizes(ExtractSession& s, const EntryNode& folder)
{
    for (EntryNode* c = folder.m_pFirstChild; c; c = c->m_pNextSibling) {
        if (!c->m_bSelected) continue;
        uint64_t size = 0;
        if (c->IsFolder()) {
            if (SumFolderSize(s, *c, &size) != 0) return 1;
        } else {
            std::unique_ptr<EntryInfo> temporary;
            const EntryInfo* info = InfoOf(s, *c, temporary);
            if (!info) return 1;
            size = info->m_nSize;
        }
        s.m_progress.m_nTotal += size;
    }
    return 0;
}

// The folders above the list's folder are recreated under the destination,
// from the names the archive gives them: their path (with a trailing "\")
// into target and their information, outermost first, into chainInfo. 0 / 1.
int ResolveFolderChain(ExtractSession& s, const std::wstring& destination, std::wstring* target,
                       std::vector<std::unique_ptr<EntryInfo>>* chainInfo)
{
    const std::vector<EntryNode*>& chain = s.m_request.m_listFolderChain;
    *target = destination;
    AddTrailingSlash(*target);
    s.m_strCurrentDir = LongPathForm(destination);
    for (EntryNode* f : chain) {
        std::unique_ptr<EntryInfo> temporary;
        const EntryInfo* info = InfoOf(s, *f, temporary);
        if (!info || !NameIsUsable(s, info->m_strName)) return 1;
        *target += info->m_strName + L"\\";
        s.m_strCurrentDir = Child(s.m_strCurrentDir, info->m_strName);
        if (IsRefusedLink(s, s.m_strCurrentDir)) return 1;
        chainInfo->push_back(temporary ? std::move(temporary) : std::make_unique<EntryInfo>(*info));
    }
    return 0;
}

// The selected entries of folder into target, until the first failure.
void ExtractSelectedEntries(ExtractSession& s, const EntryNode& folder, const std::wstring& target)
{
    if (CreateFolderChain(target, *s.m_pCallback) != 0) {
        Fail(s, target);
        return;
    }
    s.m_strCurrentDir = LongPathForm(DestinationForCheck(target));
    StartDecodingAhead(s, folder, true);
    for (EntryNode* c = folder.m_pFirstChild; c; c = c->m_pNextSibling) {
        if (!c->m_bSelected) continue;
        if (s.m_ctx.m_nAbort) {
            s.m_ctx.m_nFailed = 1;
            return;
        }
        if ((c->IsFolder() ? ExtractFolder(s, *c) : ExtractFile(s, *c)) != 0) return;
    }
}

// Innermost first, so that a folder's times are set after everything inside
// it was written.
void ApplyChainAttributes(ExtractSession& s, const std::wstring& target,
                          const std::vector<std::unique_ptr<EntryInfo>>& chainInfo)
{
    std::wstring path = DestinationForCheck(target);
    for (size_t i = chainInfo.size(); i-- > 0;) {
        const EntryInfo& info = *chainInfo[i];
        if (ApplyAttributesAndTimes(s, LongPathForm(path), info.m_nAttributes, info.m_nCreationTime,
                                    info.m_nAccessTime, info.m_nWriteTime) != 0)
            return;
        path = DestinationForCheck(ParentFolder(path));
    }
}

} // namespace

int ExtractSelectedWorker(ExtractSession& s)
{
    std::wstring destination;
    if (BeginRun(s, 0, 25, &destination) != 0) return FinishExtraction(s, true);
    EntryNode* folder = s.m_request.m_pFolder;
    if (!folder || !OpenArchiveForRun(s)) return FinishExtraction(s, true);
    if (SumSelectedSizes(s, *folder) != 0) return FinishExtraction(s, true);

    std::wstring target;
    std::vector<std::unique_ptr<EntryInfo>> chainInfo;
    if (ResolveFolderChain(s, destination, &target, &chainInfo) != 0) return FinishExtraction(s, true);
    if (!s.m_ctx.m_nAbort) ExtractSelectedEntries(s, *folder, target);
    if (!s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort) ApplyChainAttributes(s, target, chainInfo);
    return FinishExtraction(s, true);
}

namespace {

struct WorkerStart {
    ExtractSession* m_pSession;
    WorkerProc m_pWorker;
};

// Out of memory (or any other exception) in a worker ends its run as
// failed, with the system's reason shown at once, never the program. An
// extraction then ends as any failed one does. Without its tree the
// archive offers nothing to extract, so after the analysis the window
// closes, as it does in no-UI mode after every run.
int EndAfterException(ExtractSession& s, WorkerProc worker)
{
    s.m_ctx.m_nFailed = 1;
    try {
        SetSystemError(SYSERR_NOT_ENOUGH_MEMORY);
        ReportSystemFailure(*s.m_pCallback);
        RecordFailure(s.m_ctx, s.m_state, 0, std::wstring(), LastErrorText());
    } catch (...) {
    }
    try {
        if (worker != &AnalysisWorker) return FinishExtraction(s, worker == &ExtractSelectedWorker);
        s.m_pCallback->ProgressStopped();
        s.m_pCallback->CloseWhenDone();
    } catch (...) {
    }
    s.m_ctx.m_nRunning = 0;
    return 1;
}

void WorkerThread(void* arg)
{
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(arg));
    ExtractSession& s = *start->m_pSession;
    try {
        start->m_pWorker(s);
    } catch (...) {
        EndAfterException(s, start->m_pWorker);
    }
}

} // namespace

bool StartWorker(ExtractSession& s, WorkerProc worker, ExtractRequest request)
{
    // Set before the rest is cleared: a worker handing over to the next one
    // has it set already, and the window must never see it clear between
    // them, or it would free the session the next worker is given.
    s.m_ctx.m_nRunning = 1;
    s.m_ctx.ClearResults();
    s.m_request = std::move(request);
    auto start = std::make_unique<WorkerStart>(WorkerStart{&s, worker});
    // Room for the folder recursion of the deepest tree the loader accepts.
    if (!StartDetachedThread(&WorkerThread, start.get(), 8u << 20)) {
        s.m_ctx.m_nRunning = 0;
        RecordFailure(s.m_ctx, s.m_state);
        return false;
    }
    start.release();
    return true;
}

bool ErrorLogWanted(const ExtractSession& s)
{
    return (s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort) || !s.m_ctx.m_listNotices.empty();
}

int WriteErrorLog(ExtractSession& s, IUserDialogue& dialogue)
{
    if (s.m_state.m_nSfxFlags & SF_NO_UI) return 0;
    std::vector<ErrorLogRecord> records = s.m_ctx.m_listNotices;
    if (s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort)
        records.push_back({s.m_ctx.m_strFailingPath, s.m_ctx.m_strMessage});
    ErrorLog log;
    if (!log.Open(ExtractorLogPath(s.m_state.m_strArchivePath.c_str()).c_str())) {
        UserMessage failed;
        failed.m_strText = LOG_CREATE_FAILED_TEXT;
        dialogue.Tell(failed);
        return 1;
    }
    bool written = log.WriteByteOrderMark();
    for (const ErrorLogRecord& r : records)
        written = written && log.WriteFailure(r.m_strPath.c_str(), r.m_strMessage.c_str());
    log.Close();
    return written ? 0 : 1;
}

} // namespace zk
