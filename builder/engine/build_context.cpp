#include "builder/engine/build_context.h"

#include <cwchar>

#include "core/file_time.h"
#include "builder/engine/build_messages.h"
#include "core/last_error.h"
#include "core/pipeline_platform.h"
#include "core/secure_wipe.h"
#include "core/text_format.h"

namespace zk {

BuildContext::BuildContext(BuildJob& buildJob)
    : job(buildJob), dialogue(*buildJob.pDialogue), progress(*buildJob.pProgress), pipelineProgress(progress)
{
    const BuildSettings& s = job.settings;
    strProgramFolder = s.m_strProgramFolder;
    strSfxProgramPath = s.m_strSfxProgramPath;
    strArchivePath = s.m_strArchivePath;
    strPassword = s.m_strPassword;
    bVerify = s.m_bVerify;
    bHash = s.m_bHash;
    nCompressKind = s.m_nCompressKind != 0 ? 1 : 0;
    nCompressLevel = s.m_nCompressLevel != 0 ? 1 : 0;
    bLongNames = s.m_bLongNames;
    bShiftJisNames = s.m_bShiftJisNames;
    bIncludeHidden = s.m_bIncludeHidden;
    bShowLogOnError = s.m_bShowLogOnError;
    bUseWorkFolder = s.m_bUseWorkFolder;
    strWorkFolder = s.m_strWorkFolder;
    nSplitMB = s.m_nSplitMB;
    nSfxFlags = s.m_nSfxFlags;
    strSfxDestFolder = s.m_strSfxDestFolder;
    strSfxTitle = s.m_strSfxTitle;
    strSfxRunAfter = s.m_strSfxRunAfter;
    strSfxComment = s.m_strSfxComment;
    sources = s.m_listSources;
}

BuildContext::~BuildContext()
{
    // The password copy does not stay behind in freed memory.
    if (!strPassword.empty()) SecureWipe(strPassword.data(), strPassword.size() * sizeof(wchar_t));
    work.Reset();
    if (!strWorkPath.empty()) DeleteFileOrDefer(strWorkPath.c_str(), false);
}

void Fail(BuildContext& ctx, const std::wstring& path, const std::wstring& message)
{
    ctx.strFailingPath = path;
    if (ctx.strFailureMessage.empty()) ctx.strFailureMessage = message.empty() ? LastErrorText() : message;
}

void FailWithMessage(BuildContext& ctx, const std::wstring& path, const std::wstring& message)
{
    ctx.dialogue.Tell(UserMessage{SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, BUILD_TOPIC_NONE, message});
    Fail(ctx, path, message);
}

void SystemFailure(BuildContext& ctx, const std::wstring& path)
{
    ctx.dialogue.ReportSystemError();
    Fail(ctx, path);
}

void SystemFailure(BuildContext& ctx, const std::wstring& path, uint32_t code)
{
    SetSystemError(code);
    GetLastErrorText();
    SystemFailure(ctx, path);
}

Answer AskUser(BuildContext& ctx, uint8_t topic, MessageButtons buttons, const std::wstring& text)
{
    return ctx.dialogue.Ask(UserMessage{SOURCE_QUESTION, buttons, MARK_QUESTION, topic, text});
}

int FlushVolume0(BuildContext& ctx)
{
    if (FlushFile(ctx.volume0.Get())) return 0;
    GetLastErrorText();
    SystemFailure(ctx, ctx.strArchivePath);
    return 1;
}

int SeekVolume0(BuildContext& ctx, uint64_t pos)
{
    const int64_t reached = SeekFile(ctx.volume0.Get(), static_cast<int64_t>(pos), FROM_BEGIN);
    if (reached == static_cast<int64_t>(pos)) return 0;
    // A seek that lands elsewhere is no system failure: nothing to tell.
    if (reached < 0)
        SystemFailure(ctx, ctx.strArchivePath);
    else
        Fail(ctx, ctx.strArchivePath);
    return 1;
}

int WriteVolume0(BuildContext& ctx, const void* bytes, size_t count)
{
    if (WriteFully(ctx.volume0.Get(), bytes, count)) return 0;
    SystemFailure(ctx, ctx.strArchivePath);
    return 1;
}

RecordWindow& WorkRecords(BuildContext& ctx)
{
    if (!ctx.workRecords) {
        ctx.workFile = WrapFileHandle(ctx.work.Get(), false);
        const int64_t size = FileSizeOf(ctx.work.Get());
        ctx.workRecords = std::make_unique<RecordWindow>(
            *ctx.workFile, size > 0 ? static_cast<uint64_t>(size) : 0, WORK_WINDOW_BYTES);
    }
    return *ctx.workRecords;
}

void SeekWork(BuildContext& ctx, uint64_t pos)
{
    WorkRecords(ctx).Seek(pos);
}

int FlushWork(BuildContext& ctx)
{
    if (WorkRecords(ctx).Flush()) return 0;
    SystemFailure(ctx, ctx.strWorkPath);
    return 1;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && EqualsOrdinalNoCase(a, b);
}

bool HasExtension(const std::wstring& path, const wchar_t* ext)
{
    const size_t n = wcslen(ext);
    return path.size() >= n && EqualsNoCase(path.substr(path.size() - n), ext);
}

uint64_t StreamBound(uint64_t totalSize, uint32_t contentCount, uint32_t blockSize)
{
    const uint64_t pieces = totalSize / blockSize + contentCount;
    return totalSize + totalSize / 128 + uint64_t{contentCount} * 64 + pieces * 24;
}

} // namespace zk
