// One file entry written to disk, in steps: where it goes, opening the
// output (with the questions an existing or locked file raises), the data,
// closing with times and attributes, and what a failure leaves behind.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/block_size.h"
#include "core/file_io.h"
#include "core/hash_behind.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "sfx/engine/entry_decoder.h"
#include "sfx/engine/extract_engine.h"
#include "sfx/engine/extract_support.h"
#include "sfx/engine/notice_texts.h"
#include "sfx/engine/zone_mark.h"
#include "core/text_format.h"

namespace zk {

namespace {

constexpr wchar_t TEXT_OVERWRITE[] =
    L"同名のファイルが既に存在します。上書きしてもよろしいですか？\nファイル：%ls";
constexpr wchar_t TEXT_LOCKED[] = L"%ls\nファイル：%ls";

constexpr uint32_t PROTECTING_ATTRIBUTES = ATTR_READONLY | ATTR_HIDDEN | ATTR_SYSTEM;

// Where one file entry goes.
struct FileTarget {
    const EntryInfo* m_pInfo = nullptr;
    std::unique_ptr<EntryInfo> m_temporary; // the information when the node holds none
    std::wstring m_strPath;                 // long form
    std::wstring m_strShown;                // as the user reads it
};

enum OutputStatus : uint8_t {
    OUTPUT_OPENED,  // the stream is open (or, from ConfirmOverwrite: go on)
    OUTPUT_SKIPPED, // the user kept the existing file
    OUTPUT_FAILED,  // recorded
};

// How writing went; a failure's record and clean-up depend on it.
struct WriteOutcome {
    int m_nResult = 0;
    uint32_t m_nFlag = 0; // ERR_DAMAGED or ERR_HASH: the message the user sees
    // The data is on disk whole; only its times or attributes were refused.
    bool m_bDataWhole = false;
    // The entry's attributes (read-only, perhaps) were set through the handle.
    bool m_bAttributesSet = false;
};

// The entry's information (t.m_temporary when it was read ahead), a usable
// name, and its paths. 0 / 1.
int ResolveTarget(ExtractSession& s, EntryNode& node, FileTarget& t)
{
    t.m_pInfo = t.m_temporary ? t.m_temporary.get() : InfoOf(s, node, t.m_temporary);
    if (!t.m_pInfo) return 1;
    if (!NameIsUsable(s, t.m_pInfo->m_strName)) return 1;
    t.m_strPath = Child(s.m_strCurrentDir, t.m_pInfo->m_strName);
    t.m_strShown = ShortPathForm(t.m_strPath);
    if (s.m_state.m_nSfxFlags & SF_NO_UI) s.m_pCallback->ShowCurrentPath(t.m_strShown);
    return 0;
}

// An existing file is replaced only when the user agrees; "Yes" holds for
// the rest of the run, "No" counts the entry as done, "Cancel" aborts.
OutputStatus ConfirmOverwrite(ExtractSession& s, const FileTarget& t)
{
    if (s.m_ctx.m_nOverwriteAll || s.m_state.m_bOverwriteWithoutAsking) return OUTPUT_OPENED;
    Answer answer = Ask(s, FormatText(TEXT_OVERWRITE, t.m_strShown.c_str()), BUTTONS_YES_NO_CANCEL,
                        MARK_QUESTION, EXTRACT_TOPIC_OVERWRITE);
    // Nobody to ask (the window is gone) counts as cancel.
    if (answer == ANSWER_CANCEL || answer == ANSWER_NONE) {
        s.m_ctx.m_nAbort = 1;
        Fail(s, t.m_strPath);
        return OUTPUT_FAILED;
    }
    if (answer == ANSWER_NO) {
        s.m_progress.m_nDone += t.m_pInfo->m_nSize;
        return OUTPUT_SKIPPED;
    }
    s.m_ctx.m_nOverwriteAll = 1;
    return OUTPUT_OPENED;
}

// A read-only, hidden or system file refuses to be replaced until those
// attributes are gone. 0 / 1 (ERR_READ_ONLY).
int ClearProtection(ExtractSession& s, const FileTarget& t)
{
    uint32_t attrs = GetFileAttrs(t.m_strPath.c_str());
    if (attrs != ATTRS_INVALID && (attrs & PROTECTING_ATTRIBUTES) &&
        !SetFileAttrs(t.m_strPath.c_str(), attrs & ~PROTECTING_ATTRIBUTES)) {
        s.m_pCallback->ReportSystemError();
        return Fail(s, t.m_strPath, ERR_READ_ONLY);
    }
    return 0;
}

// Opens the file for writing; a file another program holds is retried for
// as long as the user asks to. 0 / 1.
int OpenRetrying(ExtractSession& s, const FileTarget& t, FILE** out)
{
    for (;;) {
        *out = OpenStreamForWrite(t.m_strPath);
        if (*out) return 0;
        // The stream does not say why; creating the file directly does.
        if (ProbeCreate(t.m_strPath)) continue;
        uint32_t error = GetLastErrorText();
        if (error != SYSERR_ACCESS_DENIED && error != SYSERR_SHARING_VIOLATION) return Fail(s, t.m_strPath);
        if (Ask(s, FormatText(TEXT_LOCKED, LastErrorText(), t.m_strShown.c_str()), BUTTONS_RETRY_CANCEL,
                MARK_WARNING, EXTRACT_TOPIC_FILE_LOCKED) != ANSWER_RETRY)
            return Fail(s, t.m_strPath);
    }
}

// The output stream, buffered through the run's stream buffer: a new file
// at once, an existing one after the questions.
OutputStatus OpenOutput(ExtractSession& s, const FileTarget& t, FILE** out)
{
    // Most files are new: creating them outright looks the name up once,
    // where asking first whether it exists would look it up twice. Creating
    // a new file never goes through a link at its name (it fails there as on
    // any existing name), so a link is looked for only then.
    *out = CreateNewStream(t.m_strPath);
    if (!*out) {
        if (IsRefusedLink(s, t.m_strPath)) return OUTPUT_FAILED;
        if (PathExists(t.m_strPath.c_str())) {
            OutputStatus go = ConfirmOverwrite(s, t);
            if (go != OUTPUT_OPENED) return go;
            if (ClearProtection(s, t) != 0) return OUTPUT_FAILED;
        }
        if (OpenRetrying(s, t, out) != 0) return OUTPUT_FAILED;
    }
    std::setvbuf(*out, reinterpret_cast<char*>(s.m_state.m_buffers.m_streamBuffer.data()), _IOFBF,
                 s.m_state.m_buffers.m_nBlockSize);
    return OUTPUT_OPENED;
}

// Decodes the entry's data into the stream. 0 / 1 (ERR_DAMAGED in *flag for
// data that is not what the archive promised).
int DecodeData(ExtractSession& s, const FileTarget& t, FileEntryData& data, FILE* out, IFileHash* hash,
               uint32_t* flag)
{
    const EntryInfo& info = *t.m_pInfo;
    uint64_t written = 0;
    switch (data.Decode(info, out, hash, &written)) {
    case EntryDataResult::OK:
        // A builder whose source shrank or grew while it read stores what
        // it read: the file is what the stream holds (the hash, where there
        // is one, decides). The run goes on; the log says so, and the
        // progress counts the size the total was made of.
        if (written != info.m_nSize) {
            s.m_ctx.m_listNotices.push_back(
                {t.m_strShown, FormatText(TEXT_SIZE_DIFFERS, static_cast<unsigned long long>(info.m_nSize),
                                          static_cast<unsigned long long>(written))});
            if (written < info.m_nSize) s.m_progress.m_nDone += info.m_nSize - written;
        }
        return 0;
    case EntryDataResult::ABORTED:
        s.m_ctx.m_nAbort = 1;
        return 1;
    case EntryDataResult::DAMAGED:
        *flag = ERR_DAMAGED;
        return 1;
    default:
        return 1;
    }
}

// The data between the hash's begin and its check. 0 / 1 (ERR_DAMAGED or
// ERR_HASH in *flag).
int WriteData(ExtractSession& s, const FileTarget& t, FileEntryData& data, FILE* out, uint32_t* flag)
{
    if (t.m_pInfo->m_nSize == 0) return 0;
    int result = 0;
    IFileHash* hash = nullptr;
    if (s.m_state.m_header.m_nFlags & AF_HASH) {
        if (!s.m_pHash) {
            s.m_pHash = ReportingHash(MakeSystemSha256(), *s.m_pCallback);
            // With a second thread that pays, the file is hashed beside its
            // decoding and writing.
            if (SecondThreadPays(s)) {
                std::unique_ptr<IFileHash> behind = HashBehind(s.m_pHash, SystemBlockSize());
                if (behind) s.m_pHash = std::move(behind);
            }
        }
        hash = s.m_pHash.get();
        if (hash->Begin() != 0) result = 1;
    }
    if (result == 0) result = DecodeData(s, t, data, out, hash, flag);
    if (!hash) return result;
    // An aborted file is deleted: the blocks still queued for its digest are
    // not worth waiting for, and the next Begin starts afresh.
    if (result != 0 && s.m_ctx.m_nAbort) return result;
    uint8_t digest[32] = {};
    if (hash->End(digest) != 0) return 1;
    if (result == 0 && std::memcmp(digest, t.m_pInfo->m_hash, sizeof digest) != 0) {
        *flag = ERR_HASH;
        return 1;
    }
    return result;
}

bool SetTimesAndAttributes(FILE* out, const EntryInfo& info)
{
    return SetStreamTimesAndAttributes(out, AttributesToSet(info.m_nAttributes), info.m_nCreationTime,
                                       info.m_nAccessTime, info.m_nWriteTime);
}

// Flushes, sets times and attributes (after a successful write) and closes
// the stream; failures land in the outcome.
void CloseOutput(IUserDialogue& dialogue, const FileTarget& t, FILE* out, WriteOutcome& o)
{
    SetSystemError(SYSERR_NONE);
    if (o.m_nResult == 0 && std::fflush(out) != 0) {
        RecordStreamFailure();
        o.m_nResult = 1;
    }
    // Times and attributes go through the handle still open: reopening
    // every file by name costs more than writing a small one. Everything is
    // on disk by now, so closing changes neither.
    if (o.m_nResult == 0) {
        if (SetTimesAndAttributes(out, *t.m_pInfo)) {
            o.m_bAttributesSet = true;
        } else {
            ReportSystemFailure(dialogue);
            o.m_nResult = 1;
            o.m_bDataWhole = true;
        }
    }
    if (std::fclose(out) != 0 && o.m_nResult == 0) {
        RecordStreamFailure();
        o.m_nResult = 1;
    }
}

// Records the failure. A file cut short (full disk, missing volume, damaged
// data, abort) would pass for the real one under its archived name and is
// deleted. A file whose hash differs was written whole and stays, with its
// message; so does one whose data is whole but whose times or attributes
// the system refused. Always 1.
int DiscardOutput(ExtractSession& s, const FileTarget& t, const WriteOutcome& o)
{
    Fail(s, t.m_strPath, o.m_nFlag);
    if (o.m_nFlag == ERR_HASH || o.m_bDataWhole) return 1;
    if (o.m_bAttributesSet) SetFileAttrs(t.m_strPath.c_str(), ATTR_NORMAL);
    DeleteFileOrDefer(t.m_strPath.c_str(), false);
    return 1;
}

} // namespace

int ExtractFile(ExtractSession& s, EntryNode& node)
{
    FileEntryData data(s, node);
    FileTarget target;
    target.m_temporary = data.TakeInfo();
    if (ResolveTarget(s, node, target) != 0) return 1;
    FILE* out = nullptr;
    switch (OpenOutput(s, target, &out)) {
    case OUTPUT_SKIPPED:
        return 0;
    case OUTPUT_FAILED:
        return 1;
    default:
        break;
    }
    WriteOutcome outcome;
    outcome.m_nResult = WriteData(s, target, data, out, &outcome.m_nFlag);
    // Before the times: writing a stream counts as changing the file.
    if (outcome.m_nResult == 0) MarkExtractedFile(s, target.m_strPath, target.m_strShown);
    CloseOutput(*s.m_pCallback, target, out, outcome);
    return outcome.m_nResult == 0 ? 0 : DiscardOutput(s, target, outcome);
}

} // namespace zk
