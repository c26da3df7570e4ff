#include "builder/engine/build_engine.h"

#include <optional>

#include "builder/engine/build_ahead.h"
#include "builder/engine/build_messages.h"
#include "builder/engine/build_verify.h"
#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/file_io.h"
#include "core/file_time.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "core/shell_item.h"
#include "core/temp_files.h"
#include "core/text_format.h"
#include "core/worker_threads.h"

namespace zk {

namespace {

// Writes of the data stream are collected up to this size: a tree of small
// files would otherwise cost one system call per entry.
constexpr size_t STREAM_BUFFER_BYTES = 256 * 1024;

// ---- preparing ---------------------------------------------------------------

// The error log, kept only when asked for. It starts with a byte order mark
// unless a program is associated with it (that program then gets it as it
// is).
int OpenLog(BuildContext& ctx)
{
    if (!ctx.bShowLogOnError) return 0;
    ctx.strLogPath = ctx.strProgramFolder + LOG_NAME;
    if (!ctx.log.Open(ctx.strLogPath.c_str())) {
        FailWithMessage(ctx, ctx.strLogPath, LOG_CREATE_FAILED_TEXT);
        return 1;
    }
    if (!ShellKnowsPath(ctx.strLogPath)) {
        FailWithMessage(ctx, ctx.strLogPath, MSG_LOG_ITEM);
        return 1;
    }
    if (!HasAssociatedProgram(ctx.strLogPath) && !ctx.log.WriteByteOrderMark()) {
        GetLastErrorText();
        Fail(ctx, ctx.strLogPath);
        return 1;
    }
    return 0;
}

// The archive key from the password, or from the time stamp without one.
int SetKey(BuildContext& ctx)
{
    const std::string stampText = TimeStampKeyText(ctx.nTimeStamp);
    const std::wstring keyText =
        !ctx.strPassword.empty() ? ctx.strPassword : std::wstring(stampText.begin(), stampText.end());
    if (SetArchiveKey(keyText.c_str()) == 0) return 0;
    SystemFailure(ctx, ctx.strArchivePath, SYSERR_NO_UNICODE_TRANSLATION);
    return 1;
}

// Block size and pipeline buffers, time stamp, error log, archive key.
int PrepareBuild(BuildContext& ctx)
{
    ctx.nBlockSize = SystemBlockSize();
    // With more than one thread, one reads and hashes ahead, as many as the
    // count compress blocks (the writing thread mostly waits for them), and
    // the calling thread writes. Without the memory or the threads for that
    // the build does every step on its own thread.
    const unsigned threads = WorkerThreadCount();
    if (threads > 1) ctx.buffers = PipelineBuffers::Allocate(ctx.nBlockSize, threads);
    if (!ctx.buffers) ctx.buffers = PipelineBuffers::Allocate(ctx.nBlockSize);
    if (!ctx.buffers) {
        SystemFailure(ctx, ctx.strArchivePath, SYSERR_NOT_ENOUGH_MEMORY);
        return 1;
    }
    if (threads > 1) ctx.readAhead = SourceReadAhead::Create(ctx.nBlockSize);
    ctx.nTimeStamp = ArchiveTimeStamp();
    if (OpenLog(ctx) != 0) return 1;
    return SetKey(ctx);
}

void StartProgress(BuildContext& ctx)
{
    ctx.progress.SetProgressTotal(0, 0);
    ctx.progress.SetCompressProgress(0);
    ctx.progress.SetVerifyProgress(0);
    ctx.progress.SetPhaseText(PHASE_PREPARE);
    ctx.progress.StartProgressTimer();
}

// A self-extracting target: the extractor program copied, opened at its end.
int PrepareSfxTarget(BuildContext& ctx)
{
    const std::wstring& target = ctx.strArchivePath;
    const std::wstring sfx =
        ctx.strSfxProgramPath.empty() ? ctx.strProgramFolder + SFX_NAME : ctx.strSfxProgramPath;
    if (!PathExists(sfx.c_str())) {
        SetSystemError(SYSERR_FILE_NOT_FOUND);
        GetLastErrorText();
        FailWithMessage(ctx, sfx, MSG_NO_SFX);
        return 1;
    }
    if (!CopyFileTo(sfx.c_str(), target.c_str())) {
        // The system's text goes to the log; the user sees both.
        ctx.dialogue.ReportSystemError();
        Fail(ctx, target);
        ctx.dialogue.Tell(
            UserMessage{SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, BUILD_TOPIC_NONE, MSG_PREPARE_FAILED});
        return 1;
    }
    ctx.volume0.Reset(OpenFile(target.c_str(), OPENMODE_BACKUP));
    if (!ctx.volume0) {
        SystemFailure(ctx, target);
        return 1;
    }
    const int64_t end = SeekFile(ctx.volume0.Get(), 0, FROM_END);
    if (end < 0) {
        SystemFailure(ctx, target);
        return 1;
    }
    ctx.nHeaderPos = static_cast<uint64_t>(end);
    return 0;
}

// The target file, open for writing at its end.
int PrepareTarget(BuildContext& ctx)
{
    const std::wstring& target = ctx.strArchivePath;
    if (HasExtension(target, L".exe")) return PrepareSfxTarget(ctx);
    FileHandle created(OpenFile(target.c_str(), OPENMODE_CREATE));
    if (!created) {
        ctx.dialogue.ReportSystemError();
        Fail(ctx, target);
        ctx.dialogue.Tell(
            UserMessage{SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, BUILD_TOPIC_NONE, MSG_CREATE_FAILED});
        return 1;
    }
    created.Reset();
    ctx.volume0.Reset(OpenFileShared(target.c_str(), OPENMODE_OPEN_ALWAYS, SHARE_READ));
    if (!ctx.volume0) {
        SystemFailure(ctx, target);
        return 1;
    }
    ctx.nHeaderPos = 0;
    return 0;
}

// The work file of info records, under a name new for every build.
int CreateWorkFile(BuildContext& ctx)
{
    std::wstring folder = ctx.bUseWorkFolder ? ctx.strWorkFolder : ParentFolder(ctx.strArchivePath);
    AddTrailingSlash(folder);
    std::wstring name;
    if (!CreateTempFileName(folder.c_str(), name, WORK_PREFIX)) {
        Fail(ctx, folder);
        ctx.dialogue.Tell(
            UserMessage{SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, BUILD_TOPIC_NONE, MSG_WORK_FAILED});
        return 1;
    }
    ctx.strWorkPath = name;
    ctx.work.Reset(OpenFileShared(name.c_str(), OPENMODE_CREATE, SHARE_READ));
    if (!ctx.work) {
        SystemFailure(ctx, name);
        return 1;
    }
    return 0;
}

// ---- the phases ----------------------------------------------------------------

// Every source collected into the work file and the tree. Nothing to store
// ends the build as aborted, after telling the user.
int CollectPhase(BuildContext& ctx, SourceNode& root)
{
    ctx.progress.SetPhaseText(PHASE_COLLECT);
    if (CollectSources(ctx, ctx.sources, root) != 0) return 1;
    if (ctx.nFileCount + ctx.nFolderCount == 0) {
        ctx.dialogue.Tell(
            UserMessage{SOURCE_PROGRAM, BUTTONS_OK, MARK_INFORMATION, BUILD_TOPIC_NONE, MSG_NOTHING});
        Fail(ctx, ctx.strArchivePath, MSG_NOTHING);
        ctx.job.pFlags->m_nResult.store(BUILD_RESULT_ABORTED);
        return 1;
    }
    ctx.progress.ShowCounters(
        BuildCounters{ctx.nFileCount, ctx.nFolderCount, ctx.nContentCount, ctx.nTotalSize});
    ctx.progress.SetProgressTotal(0, ctx.nTotalSize);
    ctx.progress.SetPhaseText(PHASE_WRITE);
    return 0;
}

int WriteHeadPhase(BuildContext& ctx)
{
    const uint64_t size = WorkRecords(ctx).Size();
    if (CheckVolumeCount(ctx, size) != 0 || WriteHead(ctx, size) != 0) return 1;
    return WritePlaceholders(ctx, size);
}

// The data stream, from the data offset on, across volumes.
void StartDataStream(BuildContext& ctx)
{
    ctx.volumeFiles =
        std::make_unique<CachedVolumeFiles>(ReportingVolumeFiles(MakeVolumeFiles(), ctx.dialogue));
    ctx.volume0File = ReportingByteFile(WrapFileHandle(ctx.volume0.Get(), false), ctx.dialogue);
    ctx.hash = ctx.bHash ? ReportingHash(MakeSystemSha256(), ctx.dialogue) : nullptr;
    VolumeSet set;
    set.m_pFiles = ctx.volumeFiles.get();
    set.m_strArchivePath = ToU16(ctx.strArchivePath);
    set.m_nVolumeSize = ctx.nVolumeSize;
    set.m_nDataOffset = ctx.nDataOffset;
    ctx.writer.Start(set, ctx.volume0File.get(), &ctx.pipe.m_failure);
    ctx.writer.UseBuffer(STREAM_BUFFER_BYTES);
    ctx.pipe.m_pBuffers = ctx.buffers.get();
    ctx.pipe.m_pWriter = &ctx.writer;
    ctx.pipe.m_pHash = ctx.hash.get();
    ctx.pipe.m_pCipher = ctx.strPassword.empty() ? nullptr : &ArchiveKeyCipher();
    ctx.pipe.m_nLevel = ctx.nCompressLevel ? CompressLevel::HIGH : CompressLevel::STANDARD;
    ctx.pipe.m_pCancel = &ctx.job.pFlags->m_nResult;
    ctx.pipe.m_pProgress = &ctx.pipelineProgress;
    ctx.pipe.m_pReadAhead = ctx.readAhead.get();
}

int DataPhase(BuildContext& ctx, SourceNode& root)
{
    ctx.filesAhead = FilesAheadWalk::Start(ctx, root);
    int written = WriteEntries(ctx, root);
    // The reader ahead is of no use once the walk has ended; the verifier
    // still has the entries handed over to finish.
    ctx.filesAhead.reset();
    // The tables go into volume 0 directly, after the last data byte.
    if (written == 0 && FlushStream(ctx.writer) != 0) {
        Fail(ctx, ToWide(ctx.pipe.m_failure.m_strPath), ToWide(ctx.pipe.m_failure.m_strMessage));
        written = 1;
    }
    written = FinishVerifyBehind(ctx, written);
    // Nothing reads the volumes after this, and a kept handle would stand in
    // the way of deleting them after a failure.
    ctx.volumeFiles->Release();
    if (written != 0) return 1;
    const int64_t dataEnd = SeekFile(ctx.volume0.Get(), 0, FROM_CURRENT);
    if (dataEnd < 0) {
        SystemFailure(ctx, ctx.strArchivePath);
        return 1;
    }
    ctx.nDataEnd = static_cast<uint64_t>(dataEnd);
    return 0;
}

int FinishPhase(BuildContext& ctx, SourceNode& root)
{
    ctx.progress.SetPhaseText(PHASE_FINISH);
    return WriteTables(ctx, root);
}

// Everything from the buffers to the finished tables, in order; the end
// sequence follows whatever happens.
int RunBuild(BuildContext& ctx, SourceNode& root)
{
    if (PrepareBuild(ctx) != 0) return 1;
    StartProgress(ctx);
    if (PrepareTarget(ctx) != 0 || CreateWorkFile(ctx) != 0) return 1;
    if (CollectPhase(ctx, root) != 0 || WriteHeadPhase(ctx) != 0) return 1;
    StartDataStream(ctx);
    if (DataPhase(ctx, root) != 0) return 1;
    return FinishPhase(ctx, root);
}

// What happens on every way out of a build, successful or not.
void EndSequence(BuildContext& ctx, SourceNode& root, bool failed)
{
    if (failed && ctx.log.IsOpen())
        ctx.log.WriteFailure(ctx.strFailingPath.c_str(), ctx.strFailureMessage.c_str());
    ctx.log.Close();
    ctx.workRecords.reset();
    ctx.workFile.reset();
    ctx.work.Reset();
    ctx.writer.CloseExtraVolume();
    ctx.volume0File.reset();
    ctx.volume0.Reset();
    if (!ctx.strWorkPath.empty() && DeleteFileOrDefer(ctx.strWorkPath.c_str(), false))
        ctx.strWorkPath.clear();
    FreeTree(&root);
}

// The build in its context, whatever goes wrong below; the outcome and the
// figures go into the job. True when the build failed.
bool BuildInContext(BuildJob& job)
{
    bool failed = true;
    SourceNode root;
    std::unique_ptr<BuildContext> ctx;
    try {
        ctx = std::make_unique<BuildContext>(job);
        failed = RunBuild(*ctx, root) != 0;
    } catch (...) {
        // Out of memory somewhere below: the build ends like any failure.
        failed = true;
        if (ctx) {
            SetSystemError(SYSERR_NOT_ENOUGH_MEMORY);
            GetLastErrorText();
            Fail(*ctx, ctx->strArchivePath);
        }
    }
    if (!ctx) {
        FreeTree(&root);
        return true;
    }
    EndSequence(*ctx, root, failed);
    job.stats.nFileCount = ctx->nFileCount;
    job.stats.nFolderCount = ctx->nFolderCount;
    job.stats.nContentCount = ctx->nContentCount;
    job.stats.nTotalSize = ctx->nTotalSize;
    job.stats.nStreamBytes = ctx->writer.m_nStreamBytes;
    job.strFailingPath = ctx->strFailingPath;
    job.strFailureMessage = ctx->strFailureMessage;
    return failed;
}

} // namespace

unsigned BuildWorker(BuildJob& job)
{
    job.pFlags->m_nState.store(BUILD_STATE_RUNNING);
    job.pFlags->m_nResult.store(BUILD_RESULT_OK);
    job.stats = BuildStatistics{};
    job.bStatistics = false;
    job.nRaisedSplitMB = 0;
    // The shell lookups of the log (item, associated program) want COM on
    // the thread that makes them.
    std::optional<ShellThreadScope> shell(std::in_place);
    const int64_t startSeconds = WallClockSeconds();
    const bool failed = BuildInContext(job);
    if (failed) {
        job.stats = BuildStatistics{};
    } else {
        job.stats.nElapsedSeconds = static_cast<uint32_t>(WallClockSeconds() - startSeconds);
        job.bStatistics = true;
    }
    job.pProgress->StopProgressTimer();
    ClearArchiveKey();
    job.settings.WipePassword();
    shell.reset();
    // The archive is complete or it is not: an abort asked for after the
    // last test of the flag does not turn a complete archive into one that
    // the wizard would delete.
    job.pFlags->Finish(failed);
    return 0;
}

} // namespace zk
