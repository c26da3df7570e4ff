#include "sfx/extract_engine.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <memory>

#include "core/entry_name.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/message_box.h"
#include "sfx/archive_file.h"
#include "sfx/entry_decoder.h"
#include "sfx/entry_hash.h"
#include "sfx/entry_loader.h"
#include "sfx/error_message.h"

namespace zk {

namespace {

constexpr wchar_t TEXT_ANALYSING[] = L"解析中！！";
constexpr wchar_t TEXT_BUILDING_TREE[] = L"ツリー作成中！！";
constexpr wchar_t TEXT_READY[] = L"準備完了";
constexpr wchar_t TEXT_ABORTED[] = L"解凍中止";
constexpr wchar_t TEXT_FAILED[] = L"解凍失敗";
constexpr wchar_t TEXT_DEST_IS_FILE[] = L"解凍先は既に存在するファイルのため中止します";
constexpr wchar_t TEXT_DEST_EXISTS[] = L"解凍先フォルダが既に存在します。上書きしてもよろしいですか？";
constexpr wchar_t TEXT_OVERWRITE[] =
    L"同名のファイルが既に存在します。上書きしてもよろしいですか？\nファイル：%s";
constexpr wchar_t TEXT_LOCKED[] = L"%s\nファイル：%s";
constexpr wchar_t TEXT_SIZE_DIFFERS[] =
    L"書庫に記録されたサイズ（%s バイト）と解凍したサイズ（%s バイト）が異なります";

// Attributes a file or folder can be given; the rest (directory, reparse
// point, compression, ...) describe what the system made, not a wish.
constexpr DWORD SETTABLE_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// What an entry's stored attributes give on disk; none at all is "normal".
constexpr DWORD AttributesToSet(uint32_t stored)
{
    return (stored & SETTABLE_ATTRIBUTES) ? (stored & SETTABLE_ATTRIBUTES) : FILE_ATTRIBUTE_NORMAL;
}
constexpr DWORD PROTECTING_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

int64_t Now()
{
    return static_cast<int64_t>(std::time(nullptr));
}

std::wstring Format(const wchar_t* format, const std::wstring& a, const std::wstring& b = std::wstring())
{
    std::wstring out;
    const wchar_t* args[2] = {a.c_str(), b.c_str()};
    int next = 0;
    for (const wchar_t* p = format; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's' && next < 2) {
            out += args[next++];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

int Ask(ExtractSession& s, const std::wstring& text, UINT flags)
{
    return ShowMessageBox(s.m_pView->Owner(), text.c_str(), QUESTION_CAPTION, flags);
}

// The context's record of a failure: the path the user will find in the
// log (without the long-path prefix) and the system's text.
int Fail(ExtractSession& s, const std::wstring& path, uint32_t flag = 0)
{
    s.m_state.m_nErrorFlags |= flag;
    s.m_ctx.m_nFailed = 1;
    if (!path.empty()) s.m_ctx.m_strFailingPath = ShortPathForm(path);
    s.m_ctx.m_strMessage = LastErrorText();
    return 1;
}

// A drive root already ends with its backslash; the long form takes a
// doubled one literally.
std::wstring Child(const std::wstring& folder, const std::wstring& name)
{
    return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// The information of a node: the one it holds, or one read for the moment.
const EntryInfo* InfoOf(ExtractSession& s, EntryNode& node, std::unique_ptr<EntryInfo>& temporary)
{
    if (node.m_pInfo) return node.m_pInfo.get();
    temporary = LoadEntryInfo(s, s.m_archive.Get(), node);
    return temporary.get();
}

// A name from the archive becomes a path component only when it stays one.
bool NameIsUsable(ExtractSession& s, const std::wstring& name)
{
    if (IsSafeEntryName(ToU16(name))) return true;
    s.m_state.m_nErrorFlags |= ERR_BAD_NAME;
    s.m_ctx.m_nFailed = 1;
    s.m_ctx.m_strFailingPath = ShortPathForm(Child(s.m_strCurrentDir, name));
    s.m_ctx.m_strMessage = ErrorMessageText(ERR_BAD_NAME);
    return false;
}

// A tree that failed to load would extract a part of the archive and call
// it a success.
bool TreeIsComplete(ExtractSession& s)
{
    if (s.m_state.m_bTreeLoaded) return true;
    s.m_state.m_nErrorFlags |= ERR_READ;
    s.m_ctx.m_nFailed = 1;
    return false;
}

bool OpenArchiveForRun(ExtractSession& s)
{
    s.m_archive.Reset(OpenFile(s.m_state.m_strArchivePath.c_str(), OPENMODE_READ, true));
    if (s.m_archive) return true;
    Fail(s, s.m_state.m_strArchivePath);
    return false;
}

// Steps every extract worker ends with.
int FinishExtraction(ExtractSession& s, bool enableButtonOnly)
{
    s.m_archive.Reset();
    s.m_pVolumes.reset();
    if (s.m_ctx.m_nAbort)
        s.m_status.Set(TEXT_ABORTED);
    else if (s.m_ctx.m_nFailed)
        s.m_status.Set(TEXT_FAILED);
    s.m_progress.m_nLastProgress = Now();
    if (!enableButtonOnly && (s.m_state.m_nSfxFlags & SF_NO_UI)) {
        s.m_pView->RepaintProgress();
        s.m_pView->CloseWhenDone();
    } else if (!s.m_ctx.m_nAbort) {
        s.m_pView->EnableExtractButton();
    }
    s.m_pView->StopProgressTimer();
    ShowErrorMessage(s.m_pView->Owner(), s.m_ctx, s.m_state);
    int failed = s.m_ctx.m_nFailed;
    s.m_ctx.m_nRunning = 0;
    return failed;
}

} // namespace

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
        Ask(s, TEXT_DEST_IS_FILE, MB_OK | MB_ICONWARNING);
    } else if (Ask(s, TEXT_DEST_EXISTS, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
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

int CreateFolderChain(const std::wstring& path)
{
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        ReportLastError();
        return 1;
    }
    std::wstring plain = ShortPathForm(LongPathForm(path));
    if (PathExists(plain.c_str())) return 0;
    for (const std::wstring& prefix : FolderChainSteps(plain)) {
        if (PathExists(prefix.c_str())) continue;
        if (!CreateDirectoryW(LongPathForm(prefix).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            ReportLastError();
            return 1;
        }
    }
    if (PathExists(plain.c_str())) return 0;
    // Only a server share that is not there is left.
    SetLastError(ERROR_BAD_NETPATH);
    ReportLastError();
    return 1;
}

int ApplyAttributesAndTimes(ExtractSession& s, const std::wstring& path, uint32_t attributes,
                            const FILETIME& creation, const FILETIME& access, const FILETIME& write)
{
    if (!SetFileAttrs(path.c_str(), AttributesToSet(attributes), true)) return Fail(s, path);
    FileHandle h(OpenFile(path.c_str(), OPENMODE_BACKUP, true));
    if (!h) return Fail(s, path);
    if (!SetFileTime(h.Get(), &creation, &access, &write)) {
        ReportLastError();
        return Fail(s, path);
    }
    return 0;
}

// A stream on a file that did not exist yet; null when it exists or cannot
// be created (the caller's slower path then finds out why).
static FILE* CreateNewStream(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* out = _wfdopen(fd, L"wb");
    if (!out) _close(fd);
    return out;
}

static bool SetTimesAndAttributes(FILE* out, const EntryInfo& info)
{
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    if (h == INVALID_HANDLE_VALUE) return false;
    FILE_BASIC_INFO basic{};
    basic.CreationTime.LowPart = info.m_ftCreation.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(info.m_ftCreation.dwHighDateTime);
    basic.LastAccessTime.LowPart = info.m_ftAccess.dwLowDateTime;
    basic.LastAccessTime.HighPart = static_cast<LONG>(info.m_ftAccess.dwHighDateTime);
    basic.LastWriteTime.LowPart = info.m_ftWrite.dwLowDateTime;
    basic.LastWriteTime.HighPart = static_cast<LONG>(info.m_ftWrite.dwHighDateTime);
    basic.FileAttributes = AttributesToSet(info.m_nAttributes);
    return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) != FALSE;
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
        if (!PathExists(path.c_str()) && !CreateDirectoryW(path.c_str(), nullptr)) {
            ReportLastError();
            return Fail(s, info->m_strName);
        }
        if (!PathIsFolder(path.c_str())) {
            // Entering a file: the system's own reason, as a change of
            // directory would give it.
            SetLastError(ERROR_DIRECTORY);
            ReportLastError();
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

    if (!node.IsRoot() && ApplyAttributesAndTimes(s, path, info->m_nAttributes, info->m_ftCreation,
                                                  info->m_ftAccess, info->m_ftWrite) != 0)
        result = 1;
    s.m_strCurrentDir = remembered;
    return result;
}

int ExtractFile(ExtractSession& s, EntryNode& node)
{
    std::unique_ptr<EntryInfo> temporary;
    const EntryInfo* info = InfoOf(s, node, temporary);
    if (!info) return 1;
    if (!NameIsUsable(s, info->m_strName)) return 1;
    const std::wstring path = Child(s.m_strCurrentDir, info->m_strName);
    const std::wstring shown = ShortPathForm(path);
    if (s.m_state.m_nSfxFlags & SF_NO_UI) s.m_pView->ShowCurrentPath(shown);

    // Most files are new: creating them outright looks the name up once,
    // where asking first whether it exists would look it up twice.
    FILE* out = CreateNewStream(path);
    if (!out && PathExists(path.c_str())) {
        if (!s.m_ctx.m_nOverwriteAll) {
            int answer = Ask(s, Format(TEXT_OVERWRITE, shown), MB_YESNOCANCEL | MB_ICONQUESTION);
            if (answer == IDCANCEL) {
                s.m_ctx.m_nAbort = 1;
                return Fail(s, path);
            }
            if (answer == IDNO) {
                s.m_progress.m_nDone += info->m_nSize;
                return 0;
            }
            s.m_ctx.m_nOverwriteAll = 1;
        }
        DWORD attrs = GetFileAttrs(path.c_str(), false);
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & PROTECTING_ATTRIBUTES) &&
            !SetFileAttrs(path.c_str(), attrs & ~PROTECTING_ATTRIBUTES, true))
            return Fail(s, path, ERR_READ_ONLY);
    }

    while (!out) {
        out = _wfopen(path.c_str(), L"wb");
        if (out) break;
        // The stream does not say why; creating the file directly does.
        HANDLE probe = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            continue;
        }
        DWORD error = GetLastErrorText();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return Fail(s, path);
        if (Ask(s, Format(TEXT_LOCKED, LastErrorText(), shown), MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY)
            return Fail(s, path);
    }
    std::setvbuf(out, reinterpret_cast<char*>(s.m_state.m_buffers.m_streamBuffer.data()), _IOFBF,
                 s.m_state.m_buffers.m_nBlockSize);

    int result = 0;
    uint32_t flag = 0;
    if (info->m_nSize != 0) {
        IFileHash* hash = nullptr;
        if (s.m_state.m_header.m_nFlags & AF_HASH) {
            if (!s.m_pHash) s.m_pHash = CreateEntryHash();
            hash = s.m_pHash.get();
            if (hash->Begin() != 0) result = 1;
        }
        if (result == 0) {
            uint64_t written = 0;
            switch (DecodeEntryData(s, *info, out, hash, &written)) {
            case EntryDataResult::OK:
                // A builder whose source shrank or grew while it read stores
                // what it read: the file is what the stream holds (the hash,
                // where there is one, decides). The run goes on; the log says
                // so, and the progress counts the size the total was made of.
                if (written != info->m_nSize) {
                    s.m_ctx.m_listNotices.push_back(
                        {shown, Format(TEXT_SIZE_DIFFERS, std::to_wstring(info->m_nSize),
                                       std::to_wstring(written))});
                    s.m_progress.m_nDone += info->m_nSize - written;
                }
                break;
            case EntryDataResult::ABORTED:
                s.m_ctx.m_nAbort = 1;
                result = 1;
                break;
            case EntryDataResult::DAMAGED:
                flag = ERR_DAMAGED;
                result = 1;
                break;
            default:
                result = 1;
                break;
            }
        }
        if (hash) {
            uint8_t digest[32] = {};
            if (hash->End(digest) != 0) {
                result = 1;
            } else if (result == 0 && std::memcmp(digest, info->m_hash, sizeof digest) != 0) {
                flag = ERR_HASH;
                result = 1;
            }
        }
    }
    SetLastError(ERROR_SUCCESS);
    if (result == 0 && std::fflush(out) != 0) {
        RecordStreamFailure();
        result = 1;
    }
    // Times and attributes go through the handle still open: reopening
    // every file by name costs more than writing a small one. Everything is
    // on disk by now, so closing changes neither.
    bool attributesSet = false;
    // A file cut short (full disk, missing volume, damaged data, abort)
    // would pass for the real one under its archived name. A file whose
    // hash differs was written whole and stays, with its message; so does
    // one whose data is whole but whose times or attributes the system
    // refused.
    bool keep = flag == ERR_HASH;
    if (result == 0) {
        if (!SetTimesAndAttributes(out, *info)) {
            ReportLastError();
            result = 1;
            keep = true;
        } else {
            attributesSet = true;
        }
    }
    if (std::fclose(out) != 0 && result == 0) {
        RecordStreamFailure();
        result = 1;
    }
    if (result != 0) {
        Fail(s, path, flag);
        if (!keep) {
            if (attributesSet) SetFileAttrs(path.c_str(), FILE_ATTRIBUTE_NORMAL, false);
            DeleteFileOrDefer(path.c_str(), false, false);
        }
        return 1;
    }
    return 0;
}

int AnalysisWorker(ExtractSession& s)
{
    ArchiveState& st = s.m_state;
    s.m_ctx.m_nFailed = 0;
    s.m_progress.m_nTotal = st.EntryCount();
    s.m_progress.m_nDone = 0;
    s.m_pView->StartProgressTimer(250, true);
    s.m_status.Set(TEXT_ANALYSING);
    st.m_root.m_nKind = KIND_ROOT;

    if (LoadTree(s) != 0) {
        s.m_ctx.m_nFailed = 1;
    } else {
        if (st.m_nSfxFlags & SF_SHOW_LIST) {
            s.m_status.Set(TEXT_BUILDING_TREE);
            s.m_pView->FillTree();
        }
        s.m_pView->RefreshSummary();
    }
    s.m_status.Set(TEXT_READY);
    s.m_progress.m_nTotal = 0;
    s.m_progress.m_nDone = 0;
    Sleep(500);
    s.m_pView->StopProgressTimer();

    int failed = s.m_ctx.m_nFailed;
    if (st.m_nSfxFlags & SF_NO_UI) {
        if (!s.m_ctx.m_nAbort) {
            // The extraction takes the context over; this worker leaves it alone.
            if (StartWorker(s, &ExtractAllWorker)) return failed;
        }
    } else if (!s.m_ctx.m_nAbort) {
        s.m_pView->EnableExtractButton();
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

int ExtractAllWorker(ExtractSession& s)
{
    StartRun(s);
    s.m_progress.m_nTotal = s.m_state.m_nTotalSize;
    s.m_progress.m_nDone = 0;
    if (!TreeIsComplete(s)) return FinishExtraction(s, false);
    std::wstring destination = DestinationForCheck(s.m_pView->Destination());
    if (CheckDestination(s, destination) != 0) return FinishExtraction(s, false);

    s.m_pView->StartProgressTimer(100, false);
    s.m_progress.m_nStartTime = Now();
    s.m_progress.m_nLastProgress = Now();
    if (CreateFolderChain(destination) == 0) {
        s.m_strCurrentDir = LongPathForm(destination);
        if (OpenArchiveForRun(s)) ExtractFolder(s, s.m_state.m_root);
    } else {
        Fail(s, destination);
    }
    return FinishExtraction(s, false);
}

int ExtractSelectedWorker(ExtractSession& s)
{
    StartRun(s);
    s.m_progress.m_nTotal = 0;
    s.m_progress.m_nDone = 0;
    if (!TreeIsComplete(s)) return FinishExtraction(s, true);
    std::wstring destination = DestinationForCheck(s.m_pView->Destination());
    if (CheckDestination(s, destination) != 0) return FinishExtraction(s, true);
    s.m_pView->StartProgressTimer(25, false);
    s.m_progress.m_nStartTime = Now();
    s.m_progress.m_nLastProgress = Now();
    EntryNode* folder = s.m_pView->CurrentFolder();
    if (!folder || !OpenArchiveForRun(s)) return FinishExtraction(s, true);

    for (EntryNode* c = folder->m_pFirstChild; c; c = c->m_pNextSibling) {
        if (!c->m_bSelected) continue;
        uint64_t size = 0;
        if (c->IsFolder()) {
            if (SumFolderSize(s, *c, &size) != 0) return FinishExtraction(s, true);
        } else {
            std::unique_ptr<EntryInfo> temporary;
            const EntryInfo* info = InfoOf(s, *c, temporary);
            if (!info) return FinishExtraction(s, true);
            size = info->m_nSize;
        }
        s.m_progress.m_nTotal += size;
    }

    // The folders above the list's folder are recreated under the
    // destination, from the names the archive gives them.
    std::vector<EntryNode*> chain = s.m_pView->CurrentFolderChain();
    std::vector<std::unique_ptr<EntryInfo>> chainInfo;
    std::wstring target = destination;
    AddTrailingSlash(target);
    s.m_strCurrentDir = LongPathForm(destination);
    for (EntryNode* f : chain) {
        std::unique_ptr<EntryInfo> temporary;
        const EntryInfo* info = InfoOf(s, *f, temporary);
        if (!info || !NameIsUsable(s, info->m_strName)) return FinishExtraction(s, true);
        target += info->m_strName + L"\\";
        s.m_strCurrentDir = Child(s.m_strCurrentDir, info->m_strName);
        chainInfo.push_back(temporary ? std::move(temporary) : std::make_unique<EntryInfo>(*info));
    }

    if (!s.m_ctx.m_nAbort) {
        if (CreateFolderChain(target) != 0) {
            Fail(s, target);
        } else {
            s.m_strCurrentDir = LongPathForm(DestinationForCheck(target));
            for (EntryNode* c = folder->m_pFirstChild; c; c = c->m_pNextSibling) {
                if (!c->m_bSelected) continue;
                if (s.m_ctx.m_nAbort) {
                    s.m_ctx.m_nFailed = 1;
                    break;
                }
                if ((c->IsFolder() ? ExtractFolder(s, *c) : ExtractFile(s, *c)) != 0) break;
            }
        }
    }

    if (!s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort) {
        // Innermost first, so that a folder's times are set after
        // everything inside it was written.
        std::wstring path = DestinationForCheck(target);
        for (size_t i = chainInfo.size(); i-- > 0;) {
            const EntryInfo& info = *chainInfo[i];
            if (ApplyAttributesAndTimes(s, LongPathForm(path), info.m_nAttributes, info.m_ftCreation,
                                        info.m_ftAccess, info.m_ftWrite) != 0)
                break;
            path = DestinationForCheck(ParentFolder(path));
        }
    }
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
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        ReportLastError();
        s.m_ctx.m_strMessage = LastErrorText();
    } catch (...) {
    }
    try {
        if (worker != &AnalysisWorker) return FinishExtraction(s, worker == &ExtractSelectedWorker);
        s.m_pView->StopProgressTimer();
        s.m_pView->CloseWhenDone();
    } catch (...) {
    }
    s.m_ctx.m_nRunning = 0;
    return 1;
}

unsigned __stdcall WorkerThread(void* arg)
{
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(arg));
    ExtractSession& s = *start->m_pSession;
    try {
        return static_cast<unsigned>(start->m_pWorker(s));
    } catch (...) {
        return static_cast<unsigned>(EndAfterException(s, start->m_pWorker));
    }
}

} // namespace

bool StartWorker(ExtractSession& s, WorkerProc worker)
{
    // Set before the rest is cleared: a worker handing over to the next one
    // has it set already, and the window must never see it clear between
    // them, or it would free the session the next worker is given.
    s.m_ctx.m_nRunning = 1;
    s.m_ctx.ClearResults();
    auto start = std::make_unique<WorkerStart>(WorkerStart{&s, worker});
    // Room for the folder recursion of the deepest tree the loader accepts.
    uintptr_t thread = _beginthreadex(nullptr, 8u << 20, &WorkerThread, start.get(),
                                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        s.m_ctx.m_nRunning = 0;
        s.m_ctx.m_nFailed = 1;
        return false;
    }
    start.release();
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

bool ErrorLogWanted(const ExtractSession& s)
{
    return (s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort) || !s.m_ctx.m_listNotices.empty();
}

int WriteErrorLog(ExtractSession& s)
{
    if (s.m_state.m_nSfxFlags & SF_NO_UI) return 0;
    HWND owner = s.m_pView ? s.m_pView->Owner() : nullptr;
    std::vector<ErrorLogRecord> records = s.m_ctx.m_listNotices;
    if (s.m_ctx.m_nFailed && !s.m_ctx.m_nAbort)
        records.push_back({s.m_ctx.m_strFailingPath, s.m_ctx.m_strMessage});
    if (!WriteExtractorErrorLog(s.m_state.m_strArchivePath.c_str(), records, owner, false)) return 1;
    if (s.m_pOpenLog) s.m_pOpenLog(ExtractorLogPath(s.m_state.m_strArchivePath.c_str()));
    return 0;
}

void OpenLogInNotepad(const std::wstring& logPath)
{
    ShellExecuteW(nullptr, L"open", L"notepad.exe", logPath.c_str(), L"", SW_SHOWNORMAL);
}

} // namespace zk
