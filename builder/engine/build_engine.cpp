#include "builder/engine/build_engine.h"

#include <objbase.h>
#include <shlobj.h>
#include <shellapi.h>

#include <process.h>

#include <cstring>
#include <cwchar>

#include "builder/engine/build_support.h"
#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/block_size.h"
#include "core/byte_io.h"
#include "core/file_io.h"
#include "core/file_time.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/pipeline_platform.h"
#include "core/temp_files.h"

namespace zk {

namespace {

constexpr wchar_t LOG_NAME[] = L"Zelkora.log";
constexpr wchar_t SFX_NAME[] = L"ZelkoraSfx.exe";
constexpr wchar_t WORK_PREFIX[] = L"~ZK";

constexpr wchar_t PHASE_PREPARE[] = L"書庫ファイルを準備中．．．";
constexpr wchar_t PHASE_COLLECT[] = L"ファイル情報を収集中．．．";
constexpr wchar_t PHASE_WRITE[] = L"書庫ファイルを作成中．．．";
constexpr wchar_t PHASE_FINISH[] = L"最終処理を実行中．．．";

constexpr wchar_t MSG_LOG_ITEM[] = L"ﾛｸﾞﾌｧｲﾙのｱｲﾃﾑIDﾘｽﾄ作成に失敗";
constexpr wchar_t MSG_NO_SFX[] = L"「ZelkoraSfx.exe」が同じフォルダ内に存在しません";
constexpr wchar_t MSG_PREPARE_FAILED[] = L"書庫ファイルの準備に失敗しました";
constexpr wchar_t MSG_CREATE_FAILED[] = L"書庫ファイルの作成に失敗しました";
constexpr wchar_t MSG_WORK_FAILED[] = L"作業用ファイルの作成に失敗しました";
constexpr wchar_t MSG_NOTHING[] = L"書庫に格納するファイルおよびフォルダが有りませんでした";
constexpr wchar_t MSG_RAISE_SPLIT[] = L"分割サイズが小さいためファイル情報の保存ができません。\n分割サイズを "
                                      L"%d MB に調整しますがよろしいですか？";
constexpr wchar_t MSG_LOCKED[] = L"%ls\nファイル：%ls";
constexpr wchar_t MSG_TOO_MANY_VOLUMES[] =
    L"分割ファイルの数が多すぎるため書庫を作成できません（書庫のデータは 256 個目の分割ファイルまでに"
    L"収まる必要があります）。\n分割サイズを %u MB 以上にしてください。";
constexpr wchar_t MSG_SOURCE_FAILED[] = L"%ls\nファイル：%ls";
constexpr wchar_t MSG_SOURCE_CHANGED[] =
    L"ファイル情報の収集後にファイルまたはフォルダが変わりました。処理を中止します。\nパス：%ls";

constexpr uint64_t MIB = VOLUME_UNIT;
// The start-volume field of an info record is one byte.
constexpr uint64_t VOLUME_COUNT_MAX = 256;
constexpr uint32_t COPY_PIECE = 1048576;

uint64_t FileTimeValue(const FILETIME& ft)
{
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::u16string ToU16(const std::wstring& s)
{
    return std::u16string(s.begin(), s.end());
}
std::wstring ToW(const std::u16string& s)
{
    return std::wstring(s.begin(), s.end());
}

bool EqualsNoCase(const wchar_t* a, size_t na, const wchar_t* b, size_t nb)
{
    return na == nb &&
           CompareStringOrdinal(a, static_cast<int>(na), b, static_cast<int>(nb), TRUE) == CSTR_EQUAL;
}

bool HasExtension(const std::wstring& path, const wchar_t* ext)
{
    const size_t n = wcslen(ext);
    return path.size() >= n && EqualsNoCase(path.c_str() + path.size() - n, n, ext, n);
}

uint32_t WallClockSeconds()
{
    return static_cast<uint32_t>(CurrentFileTime() / 10000000ull);
}

// Records the failing path and this thread's last system error text (unless
// a message of the build's own was recorded first).
void Fail(BuildContext& ctx, const std::wstring& path)
{
    ctx.strFailingPath = path;
    if (ctx.strFailureMessage.empty()) ctx.strFailureMessage = LastErrorText();
}

// Shows one of the build's own messages and records it for the error log.
void FailWithMessage(BuildContext& ctx, const std::wstring& path, const std::wstring& message)
{
    ShowBuildMessage(message, MB_OK | MB_ICONERROR);
    ctx.strFailingPath = path;
    ctx.strFailureMessage = message;
}

// Puts what was written to volume 0 on disk; a failure is the system's.
bool FlushVolume0(BuildContext& ctx)
{
    if (FlushFileBuffers(ctx.volume0.Get())) return true;
    ReportLastError();
    Fail(ctx, ctx.strArchivePath);
    return false;
}

// Seeks volume 0 and checks that the position reached is the one asked for.
bool SeekVolume0(BuildContext& ctx, uint64_t pos)
{
    if (SeekFile(ctx.volume0.Get(), static_cast<int64_t>(pos), FILE_BEGIN, true) !=
        static_cast<int64_t>(pos)) {
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    return true;
}

bool WriteVolume0(BuildContext& ctx, const void* bytes, size_t count)
{
    if (!WriteFully(ctx.volume0.Get(), bytes, count, true)) {
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    return true;
}

// Upper bound of the data stream the collected files can produce, whatever
// the codec: incompressible input grows a little, every piece adds framing
// and the cipher pads the last block of each entry.
uint64_t StreamBound(uint64_t totalSize, uint32_t contentCount, uint32_t blockSize)
{
    const uint64_t pieces = totalSize / blockSize + contentCount;
    return totalSize + totalSize / 128 + uint64_t{contentCount} * 64 + pieces * 24;
}

// ---- the build, in order ---------------------------------------------------

void CopySettings(BuildContext& ctx)
{
    CBuildOwner& o = *ctx.pOwner;
    ctx.strProgramFolder = o.ProgramFolder();
    ctx.strArchivePath = o.m_prm.m_strArchivePath;
    ctx.strPassword = o.m_prm.m_strPassword;
    ctx.bVerify = o.m_env.m_bVerify != 0;
    ctx.bHash = o.m_env.m_bHash != 0;
    ctx.nCompressKind = o.m_env.m_nCompressKind != 0 ? 1 : 0;
    ctx.nCompressLevel = o.m_env.m_nCompressLevel != 0 ? 1 : 0;
    ctx.bLongNames = o.m_env.m_bLongNames != 0;
    ctx.bShiftJisNames = o.m_env.m_bShiftJisNames != 0;
    ctx.bIncludeHidden = o.m_env.m_bIncludeHidden != 0;
    ctx.bShowLogOnError = o.m_env.m_bShowLogOnError != 0;
    ctx.bUseWorkFolder = o.m_env.m_bUseWorkFolder != 0;
    ctx.strWorkFolder = o.m_env.m_strWorkFolder;
    ctx.nSplitMB = o.m_prm.m_nSplitMB > 0 ? static_cast<uint32_t>(o.m_prm.m_nSplitMB) : 0;
    ctx.nSfxFlags = (o.m_prm.m_bSfxShowList ? SF_SHOW_LIST : 0) | (o.m_prm.m_bSfxNoUI ? SF_NO_UI : 0);
    ctx.strSfxDestFolder = o.m_prm.m_strSfxDestFolder;
    ctx.strSfxTitle = o.m_prm.m_strSfxTitle;
    ctx.strSfxRunAfter = o.m_prm.m_strSfxRunAfter;
    ctx.strSfxComment = o.m_prm.m_strSfxComment;
    ctx.sources.clear();
    for (const auto& item : o.m_prm.m_listSources)
        ctx.sources.push_back(item->GetPath());
}

// The settings, the block size and the buffers of the whole build.
bool Allocate(BuildContext& ctx)
{
    CopySettings(ctx);
    ctx.nBlockSize = SystemBlockSize();
    ctx.buffers = PipelineBuffers::Allocate(ctx.nBlockSize);
    if (!ctx.buffers) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        ReportLastError();
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    return true;
}

// The error log, kept only when asked for. It starts with a byte
// order mark unless a program is associated with it (that program then gets
// it as it is).
bool OpenLog(BuildContext& ctx)
{
    if (!ctx.bShowLogOnError) return true;
    ctx.strLogPath = ctx.strProgramFolder + LOG_NAME;
    if (!ctx.log.Create(ctx.strLogPath.c_str(), nullptr, BUILD_CAPTION)) {
        GetLastErrorText();
        ctx.strFailingPath = ctx.strLogPath;
        ctx.strFailureMessage = LOG_CREATE_FAILED_TEXT;
        return false;
    }
    if (!ctx.pOwner->m_prm.m_shellDesktop.ParseItem(ctx.strLogPath)) {
        FailWithMessage(ctx, ctx.strLogPath, MSG_LOG_ITEM);
        return false;
    }
    wchar_t program[MAX_PATH] = {};
    const bool associated =
        reinterpret_cast<INT_PTR>(FindExecutableW(ctx.strLogPath.c_str(), nullptr, program)) > 32 &&
        program[0] != 0;
    if (!associated && !ctx.log.WriteByteOrderMark()) {
        GetLastErrorText();
        Fail(ctx, ctx.strLogPath);
        return false;
    }
    return true;
}

// The target file, open for writing at its end.
bool PrepareTarget(BuildContext& ctx)
{
    const std::wstring& target = ctx.strArchivePath;
    if (HasExtension(target, L".exe")) {
        const std::wstring sfx = ctx.strProgramFolder + SFX_NAME;
        if (!PathExists(sfx.c_str())) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            GetLastErrorText();
            FailWithMessage(ctx, sfx, MSG_NO_SFX);
            return false;
        }
        if (!CopyFileTo(sfx.c_str(), target.c_str(), true)) {
            FailWithMessage(ctx, target, MSG_PREPARE_FAILED);
            ctx.strFailureMessage = LastErrorText();
            return false;
        }
        ctx.volume0.Reset(OpenFile(target.c_str(), OPENMODE_BACKUP, true));
        if (!ctx.volume0) {
            Fail(ctx, target);
            return false;
        }
        const int64_t end = SeekFile(ctx.volume0.Get(), 0, FILE_END, true);
        if (end < 0) {
            Fail(ctx, target);
            return false;
        }
        ctx.nHeaderPos = static_cast<uint64_t>(end);
        return true;
    }
    FileHandle created(OpenFile(target.c_str(), OPENMODE_CREATE, true));
    if (!created) {
        FailWithMessage(ctx, target, MSG_CREATE_FAILED);
        ctx.strFailureMessage = LastErrorText();
        return false;
    }
    created.Reset();
    ctx.volume0.Reset(OpenFileShared(target.c_str(), OPENMODE_OPEN_ALWAYS, FILE_SHARE_READ, true));
    if (!ctx.volume0) {
        Fail(ctx, target);
        return false;
    }
    ctx.nHeaderPos = 0;
    return true;
}

// The work file of info records, under a name new for every build.
bool CreateWorkFile(BuildContext& ctx)
{
    std::wstring folder = ctx.bUseWorkFolder ? ctx.strWorkFolder : ParentFolder(ctx.strArchivePath);
    AddTrailingSlash(folder);
    std::wstring name;
    if (!CreateTempFileName(folder.c_str(), name, WORK_PREFIX)) {
        FailWithMessage(ctx, folder, MSG_WORK_FAILED);
        ctx.strFailureMessage = LastErrorText();
        return false;
    }
    ctx.strWorkPath = name;
    ctx.work.Reset(OpenFileShared(name.c_str(), OPENMODE_CREATE, FILE_SHARE_READ, true));
    if (!ctx.work) {
        Fail(ctx, name);
        return false;
    }
    return true;
}

ParameterSection MakeParameterSection(const BuildContext& ctx)
{
    ParameterSection s;
    s.m_nSfxFlags = ctx.nSfxFlags;
    s.m_strDestFolder = ToU16(ctx.strSfxDestFolder);
    s.m_strTitle = ToU16(ctx.strSfxTitle);
    s.m_strRunAfter = ToU16(ctx.strSfxRunAfter);
    s.m_strComment = ToU16(ctx.strSfxComment);
    s.m_nFileCount = ctx.nFileCount;
    s.m_nFolderCount = ctx.nFolderCount;
    s.m_nTotalSize = ctx.nTotalSize;
    s.m_nContentCount = ctx.nContentCount;
    s.m_nSizeEstimate = ctx.nTotalSize;
    s.m_nVolumeSizeMB = static_cast<uint16_t>(ctx.nSplitMB);
    return s;
}

// Before anything of the head is written: an entry whose data began in
// volume 256 or later could not be named in its record. The volume size the
// head check may still raise it to is taken into account; the bound assumes
// that nothing compresses.
bool CheckVolumeCount(BuildContext& ctx, uint64_t workSize)
{
    if (ctx.nSplitMB == 0) return true;
    ParameterSection s = MakeParameterSection(ctx);
    const uint64_t dataOffset = ctx.nHeaderPos + ARCHIVE_HEADER_SIZE + ParameterSectionSize(s) +
                                uint64_t{TREE_RECORD_SIZE} * (uint64_t{ctx.nFileCount} + ctx.nFolderCount) +
                                workSize;
    uint64_t volumeSize = uint64_t{ctx.nSplitMB} * MIB;
    if (volumeSize < dataOffset) volumeSize = (dataOffset + MIB - 1) / MIB * MIB;
    const uint64_t end = dataOffset + StreamBound(ctx.nTotalSize, ctx.nContentCount, ctx.nBlockSize);
    if (end / volumeSize < VOLUME_COUNT_MAX) return true;
    const uint64_t needed = end / VOLUME_COUNT_MAX + 1;
    const uint64_t neededMB = (needed + MIB - 1) / MIB;
    SetLastError(ERROR_FILE_TOO_LARGE);
    GetLastErrorText();
    FailWithMessage(ctx, ctx.strArchivePath,
                    FormatText(MSG_TOO_MANY_VOLUMES, static_cast<unsigned>(neededMB)));
    return false;
}

// The header, the parameter section and, when the head does not fit
// the first volume, the question to raise the volume size. The magic stays
// zero until the archive is complete, so an unfinished archive is never
// taken for one.
bool WriteHead(BuildContext& ctx, uint64_t workSize)
{
    ArchiveHeader header;
    header.m_nVersion = ctx.nFormatVersion;
    header.m_nTimeStamp = ctx.nTimeStamp;
    header.m_nFlags = AF_MARK;
    if (!ctx.strPassword.empty()) header.m_nFlags |= AF_PASSWORD;
    if (ctx.bHash) header.m_nFlags |= AF_HASH;
    if (ctx.bIncludeHidden) header.m_nFlags |= AF_HIDDEN;
    if (ctx.bShiftJisNames) header.m_nFlags |= AF_NARROW_NAMES;
    if (ctx.bLongNames) header.m_nFlags |= AF_LONG_NAMES;
    if (ctx.nCompressKind == 1) header.m_nFlags |= AF_DEFLATE;
    MakeCheckBlock(header.m_checkBlock);

    std::vector<uint8_t> head;
    ByteWriter w(head);
    PutArchiveHeader(w, header);
    std::memset(head.data(), 0, ARCHIVE_MAGIC_SIZE);

    ParameterSection section = MakeParameterSection(ctx);
    const uint64_t sectionPos = ctx.nHeaderPos + ARCHIVE_HEADER_SIZE;
    if (!PlaceTables(section, sectionPos, workSize)) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        ReportLastError();
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    const size_t volumeField = PutParameterSection(w, section);
    ctx.nVolumeFieldPos = sectionPos + volumeField;
    ctx.nTreeOffset = section.m_nTreeOffset;
    ctx.nInfoOffset = section.m_nInfoOffset;
    ctx.nDataOffset = section.m_nDataOffset;
    ctx.nVolumeSize = uint64_t{ctx.nSplitMB} * MIB;
    if (!WriteVolume0(ctx, head.data(), head.size())) return false;

    if (ctx.nVolumeSize != 0 && ctx.nVolumeSize < ctx.nDataOffset) {
        const uint64_t raised = (ctx.nDataOffset + MIB - 1) / MIB;
        if (raised > 0xFFFF) {
            SetLastError(ERROR_FILE_TOO_LARGE);
            ReportLastError();
            Fail(ctx, ctx.strArchivePath);
            return false;
        }
        const std::wstring question = FormatText(MSG_RAISE_SPLIT, static_cast<int>(raised));
        if (ShowBuildMessage(question, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
            ctx.strFailingPath = ctx.strArchivePath;
            ctx.strFailureMessage = question;
            return false;
        }
        ctx.nVolumeSize = raised * MIB;
        uint8_t field[2];
        StoreU16(field, static_cast<uint16_t>(raised));
        if (!SeekVolume0(ctx, ctx.nVolumeFieldPos) || !WriteVolume0(ctx, field, sizeof field)) return false;
        if (SeekFile(ctx.volume0.Get(), 0, FILE_END, true) < 0) {
            Fail(ctx, ctx.strArchivePath);
            return false;
        }
        ctx.nSplitMB = static_cast<uint32_t>(raised);
        ctx.pOwner->m_prm.m_nSplitMB = static_cast<int32_t>(raised);
        ctx.pOwner->ShowSettingsSummary();
    }
    return true;
}

// Zero bytes where the tree and info tables will go.
bool WritePlaceholders(BuildContext& ctx, uint64_t workSize)
{
    const uint8_t zeros[TREE_RECORD_SIZE] = {};
    const uint64_t entries = uint64_t{ctx.nFileCount} + ctx.nFolderCount;
    // Tree records are written in runs; the cancel flag is tested after each.
    std::vector<uint8_t> run(TREE_RECORD_SIZE * 4096, 0);
    uint64_t left = entries;
    while (left != 0) {
        const uint64_t n = left < 4096 ? left : 4096;
        if (!WriteVolume0(ctx, run.data(), static_cast<size_t>(n * sizeof zeros))) return false;
        if (ctx.Cancelled()) return false;
        left -= n;
    }
    std::vector<uint8_t> piece(COPY_PIECE, 0);
    left = workSize;
    while (left != 0) {
        const uint64_t n = left < COPY_PIECE ? left : COPY_PIECE;
        if (!WriteVolume0(ctx, piece.data(), static_cast<size_t>(n))) return false;
        if (ctx.Cancelled()) return false;
        left -= n;
    }
    return true;
}

// The tree table, then the work file copied verbatim as the info
// table, then the magic that makes the archive readable.
bool WriteTables(BuildContext& ctx, SourceNode& root)
{
    uint32_t counter = 0;
    if (!AssignTreeOffsets(root, counter)) {
        SetLastError(ERROR_INVALID_DATA);
        ReportLastError();
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    ctx.nTreeWritten = 0;
    if (!SeekVolume0(ctx, ctx.nTreeOffset)) return false;
    if (WriteTreeTable(ctx, root) != 0) {
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    if (SeekFile(ctx.work.Get(), 0, FILE_BEGIN, true) != 0) {
        Fail(ctx, ctx.strWorkPath);
        return false;
    }
    if (!SeekVolume0(ctx, ctx.nInfoOffset)) return false;
    std::vector<uint8_t> piece(COPY_PIECE);
    for (;;) {
        const int64_t got = ReadFully(ctx.work.Get(), piece.data(), piece.size(), true);
        if (got < 0) {
            Fail(ctx, ctx.strWorkPath);
            return false;
        }
        if (got == 0) break;
        if (!WriteVolume0(ctx, piece.data(), static_cast<size_t>(got))) return false;
        if (ctx.Cancelled()) return false;
    }
    // The mark is what makes the file an archive: it goes on disk only after
    // everything it vouches for, so that a flush that fails leaves a file
    // the extractor refuses rather than one that looks complete.
    if (!FlushVolume0(ctx)) return false;
    if (!SeekVolume0(ctx, ctx.nHeaderPos) || !WriteVolume0(ctx, ARCHIVE_MAGIC, ARCHIVE_MAGIC_SIZE))
        return false;
    if (!FlushVolume0(ctx)) return false;
    return SeekVolume0(ctx, ctx.nDataEnd);
}

// Everything from the buffers to the finished tables, in order; the end
// sequence follows whatever happens. False on failure.
bool RunBuild(BuildContext& ctx, SourceNode& root)
{
    CBuildOwner& owner = *ctx.pOwner;
    if (!Allocate(ctx)) return false;
    ctx.nTimeStamp = ArchiveTimeStamp();
    if (!OpenLog(ctx)) return false;

    const std::string stampText = TimeStampKeyText(ctx.nTimeStamp);
    const std::wstring keyText =
        !ctx.strPassword.empty() ? ctx.strPassword : std::wstring(stampText.begin(), stampText.end());
    if (SetArchiveKey(keyText.c_str()) != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        ReportLastError();
        Fail(ctx, ctx.strArchivePath);
        return false;
    }

    owner.SetProgressTotal(0, 0);
    owner.SetCompressProgress(0);
    owner.SetVerifyProgress(0);
    owner.SetPhaseText(PHASE_PREPARE);
    owner.StartProgressTimer();

    if (!PrepareTarget(ctx)) return false;
    if (!CreateWorkFile(ctx)) return false;

    owner.SetPhaseText(PHASE_COLLECT);
    if (CollectSources(ctx, ctx.sources, root) != 0) return false;
    if (ctx.nFileCount + ctx.nFolderCount == 0) {
        ShowBuildMessage(MSG_NOTHING, MB_OK | MB_ICONINFORMATION);
        ctx.strFailingPath = ctx.strArchivePath;
        ctx.strFailureMessage = MSG_NOTHING;
        owner.m_nBuildResult.store(BUILD_RESULT_ABORTED);
        return false;
    }

    owner.ShowCounters(BuildCounters{ctx.nFileCount, ctx.nFolderCount, ctx.nContentCount, ctx.nTotalSize});
    owner.SetProgressTotal(0, ctx.nTotalSize);
    owner.SetPhaseText(PHASE_WRITE);

    const int64_t workSize = SeekFile(ctx.work.Get(), 0, FILE_CURRENT, true);
    if (workSize < 0) {
        Fail(ctx, ctx.strWorkPath);
        return false;
    }
    if (!CheckVolumeCount(ctx, static_cast<uint64_t>(workSize))) return false;
    if (!WriteHead(ctx, static_cast<uint64_t>(workSize))) return false;
    if (!WritePlaceholders(ctx, static_cast<uint64_t>(workSize))) return false;

    // The data stream, from the data offset on, across volumes.
    ctx.volumeFiles = std::make_unique<CachedVolumeFiles>(MakeVolumeFiles(true));
    ctx.volume0File = WrapFileHandle(ctx.volume0.Get(), false, true);
    ctx.hash = ctx.bHash ? MakeSystemSha256(true) : nullptr;
    VolumeSet set;
    set.m_pFiles = ctx.volumeFiles.get();
    set.m_strArchivePath = ToU16(ctx.strArchivePath);
    set.m_nVolumeSize = ctx.nVolumeSize;
    set.m_nDataOffset = ctx.nDataOffset;
    ctx.writer.Start(set, ctx.volume0File.get(), &ctx.pipe.m_failure);
    ctx.pipe.m_pBuffers = ctx.buffers.get();
    ctx.pipe.m_pWriter = &ctx.writer;
    ctx.pipe.m_pHash = ctx.hash.get();
    ctx.pipe.m_pCipher = ctx.strPassword.empty() ? nullptr : &ArchiveKeyCipher();
    ctx.pipe.m_nLevel = ctx.nCompressLevel ? CompressLevel::HIGH : CompressLevel::STANDARD;
    ctx.pipe.m_pCancel = &owner.m_nBuildResult;
    ctx.pipe.m_pProgress = &ctx.progress;

    const int written = WriteEntries(ctx, root);
    // Nothing reads the volumes after this, and a kept handle would stand in
    // the way of deleting them after a failure.
    ctx.volumeFiles->Release();
    if (written != 0) return false;

    const int64_t dataEnd = SeekFile(ctx.volume0.Get(), 0, FILE_CURRENT, true);
    if (dataEnd < 0) {
        Fail(ctx, ctx.strArchivePath);
        return false;
    }
    ctx.nDataEnd = static_cast<uint64_t>(dataEnd);

    owner.SetPhaseText(PHASE_FINISH);
    return WriteTables(ctx, root);
}

// What happens on every way out of a build, successful or not.
void EndSequence(BuildContext& ctx, SourceNode& root, bool failed)
{
    if (failed && ctx.log.IsOpen())
        ctx.log.WriteFailure(ctx.strFailingPath.c_str(), ctx.strFailureMessage.c_str());
    ctx.log.Close();
    ctx.work.Reset();
    ctx.writer.CloseExtraVolume();
    ctx.volume0File.reset();
    ctx.volume0.Reset();
    if (!ctx.strWorkPath.empty() && DeleteFileOrDefer(ctx.strWorkPath.c_str(), false, false))
        ctx.strWorkPath.clear();
    FreeTree(&root);
}

} // namespace

bool AssignTreeOffsets(SourceNode& node, uint32_t& counter)
{
    // Number the nodes (the tree offset field holds the number until the
    // layout is known), then let the format place them.
    std::vector<SourceNode*> nodes;
    std::vector<SourceNode*> pending;
    if (node.pFirstChild) pending.push_back(node.pFirstChild);
    while (!pending.empty()) {
        SourceNode* list = pending.back();
        pending.pop_back();
        for (SourceNode* n = list; n; n = n->pNext) {
            n->nTreeOffset = static_cast<uint32_t>(nodes.size());
            nodes.push_back(n);
            if (n->pFirstChild) pending.push_back(n->pFirstChild);
        }
    }
    std::vector<TreeEntry> entries(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        entries[i].m_nKind = nodes[i]->nKind;
        entries[i].m_nInfoOffset = nodes[i]->nInfoOffset;
        entries[i].m_nFirstChild = nodes[i]->pFirstChild ? nodes[i]->pFirstChild->nTreeOffset : NO_ENTRY;
        entries[i].m_nNextSibling = nodes[i]->pNext ? nodes[i]->pNext->nTreeOffset : NO_ENTRY;
    }
    TreeLayout layout;
    if (!LayOutTree(entries, node.pFirstChild ? node.pFirstChild->nTreeOffset : NO_ENTRY, &layout))
        return false;
    for (size_t i = 0; i < nodes.size(); ++i)
        nodes[i]->nTreeOffset = counter + layout.m_treeOffset[i];
    counter += static_cast<uint32_t>(TREE_RECORD_SIZE * nodes.size());
    return true;
}

int WriteTreeTable(BuildContext& ctx, SourceNode& node)
{
    // Sibling lists still to write, the next one on top: a list, then the
    // lists below its entries in their order, depth-first. Kept on the heap
    // like the walks of the collection and the data phase.
    std::vector<SourceNode*> lists;
    if (node.pFirstChild) lists.push_back(node.pFirstChild);
    std::vector<SourceNode*> below;
    std::vector<uint8_t> bytes;
    while (!lists.empty()) {
        SourceNode* head = lists.back();
        lists.pop_back();
        below.clear();
        bytes.clear();
        for (SourceNode* child = head; child; child = child->pNext) {
            if (ctx.Cancelled()) return 1;
            // Records go out in the order their offsets were given: the
            // record of an entry lies exactly where the links point.
            if (child->nTreeOffset != ctx.nTreeWritten) {
                SetLastError(ERROR_INVALID_DATA);
                ReportLastError();
                return 1;
            }
            TreeRecord record;
            record.m_nKind = child->nKind;
            record.m_nNextSibling = child->pNext ? child->pNext->nTreeOffset : 0;
            record.m_nFirstChild = child->pFirstChild ? child->pFirstChild->nTreeOffset : 0;
            record.m_nInfo = child->nInfoOffset;
            ByteWriter w(bytes);
            PutTreeRecord(w, record);
            ctx.nTreeWritten += TREE_RECORD_SIZE;
            if (child->pFirstChild) below.push_back(child->pFirstChild);
        }
        if (!WriteFully(ctx.volume0.Get(), bytes.data(), bytes.size(), true)) return 1;
        lists.insert(lists.end(), below.rbegin(), below.rend());
    }
    return 0;
}

namespace {

// Refreshes a record from the entry read again for the data phase. The
// record keeps the name collection stored: a rewritten record must keep its
// length.
bool RefreshRecord(BuildContext& ctx, BuildRecord& record, const WIN32_FIND_DATAW& entry)
{
    InfoRecord& info = record.info;
    info.m_nAttributes = entry.dwFileAttributes;
    info.m_nCreationTime = FileTimeValue(entry.ftCreationTime);
    info.m_nAccessTime = FileTimeValue(entry.ftLastAccessTime);
    info.m_nWriteTime = FileTimeValue(entry.ftLastWriteTime);
    info.m_nSize = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                       ? 0
                       : (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    ctx.nStreamBytes = ctx.writer.m_nStreamBytes;
    info.m_nDataOffset = ctx.nStreamBytes;
    info.m_nStoredSize = 0;
    info.m_nMethod = METHOD_STORED;
    std::memset(info.m_hash, 0, sizeof info.m_hash);
    if (!StartVolume(ctx.nDataOffset, ctx.nStreamBytes, ctx.nVolumeSize, &info.m_nStartVolume)) {
        const uint64_t neededMB = ((ctx.nDataOffset + ctx.nStreamBytes) / VOLUME_COUNT_MAX + MIB) / MIB;
        SetLastError(ERROR_FILE_TOO_LARGE);
        GetLastErrorText();
        FailWithMessage(ctx, ctx.strArchivePath,
                        FormatText(MSG_TOO_MANY_VOLUMES, static_cast<unsigned>(neededMB)));
        return false;
    }
    return true;
}

// One entry of the data phase: its record read back, refreshed, its data
// written, the record rewritten in place. A folder's contents follow
// separately (WriteChildren).
int WriteEntry(BuildContext& ctx, SourceNode& node, const std::wstring& path, const WIN32_FIND_DATAW& entry)
{
    if (ctx.Cancelled()) return 1;
    const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != (node.nKind == NODE_FOLDER)) {
        FailWithMessage(ctx, path, FormatText(MSG_SOURCE_CHANGED, path.c_str()));
        return 1;
    }
    BuildRecord record;
    if (!ReadInfoRecord(ctx, node.nInfoOffset, record)) {
        Fail(ctx, ctx.strWorkPath);
        return 1;
    }
    record.pNode = &node;
    if (SeekFile(ctx.work.Get(), node.nInfoOffset, FILE_BEGIN, true) !=
        static_cast<int64_t>(node.nInfoOffset)) {
        Fail(ctx, ctx.strWorkPath);
        return 1;
    }
    if (!RefreshRecord(ctx, record, entry)) return 1;
    if (folder) {
        if (WriteInfoRecord(ctx, record) != 0) {
            Fail(ctx, path);
            return 1;
        }
        return 0;
    }
    if (ProcessFile(ctx, record, path) != 0) return 1;
    // ProcessFile moved the work file's position nowhere, but the record goes
    // back exactly where it was read.
    if (SeekFile(ctx.work.Get(), node.nInfoOffset, FILE_BEGIN, true) !=
            static_cast<int64_t>(node.nInfoOffset) ||
        WriteInfoRecord(ctx, record) != 0) {
        Fail(ctx, path);
        return 1;
    }
    return 0;
}

// A folder's listing read once, in step with its children: they were
// collected from the same listing, so each child's entry is normally the
// next one, or a few further on past entries the collection left out.
// Looking each child up by name instead opens the folder once per file,
// which dominates a tree of small files. A child not found close ahead is
// looked up by name; only a few entries are held at any time.
class FolderListing {
public:
    explicit FolderListing(const std::wstring& base)
        : m_find(FindFirstFileW(LongPathForm(base + L"*").c_str(), &m_next))
    {
        m_bMore = static_cast<bool>(m_find);
    }

    bool Take(const std::wstring& name, WIN32_FIND_DATAW* out)
    {
        for (size_t i = 0;; ++i) {
            if (i == m_ahead.size()) {
                if (!m_bMore || m_ahead.size() == LOOKAHEAD) return false;
                m_ahead.push_back(m_next);
                m_bMore = FindNextFileW(m_find.Get(), &m_next) != FALSE;
            }
            if (name == m_ahead[i].cFileName) {
                *out = m_ahead[i];
                m_ahead.erase(m_ahead.begin(), m_ahead.begin() + static_cast<ptrdiff_t>(i) + 1);
                return true;
            }
        }
    }

private:
    static constexpr size_t LOOKAHEAD = 16;
    FindHandle m_find;
    WIN32_FIND_DATAW m_next{};
    bool m_bMore = false;
    std::vector<WIN32_FIND_DATAW> m_ahead;
};

// One folder of the data phase's walk: its listing and the child to store
// next. Kept on the heap, like the collection's, so that the depth of the
// tree costs no stack.
struct WriteFrame {
    WriteFrame(std::wstring folderBase, SourceNode* first)
        : base(std::move(folderBase)), listing(base), pNext(first)
    {
    }
    std::wstring base;
    FolderListing listing;
    SourceNode* pNext;
};

} // namespace

int WriteEntries(BuildContext& ctx, SourceNode& root)
{
    SourceNode* node = root.pFirstChild;
    for (size_t i = 0; i < ctx.sources.size(); ++i) {
        if (ctx.Cancelled()) return 1;
        const std::wstring& path = ctx.sources[i];
        WIN32_FIND_DATAW entry{};
        if (!FindFileData(path.c_str(), &entry, true)) {
            Fail(ctx, path);
            return 1;
        }
        // Exactly the items collection kept: deciding again could pair an
        // item with another item's record if its attributes changed since.
        if (!ctx.topNodes[i]) continue;
        if (ctx.topNodes[i] != node) {
            SetLastError(ERROR_INVALID_DATA);
            ReportLastError();
            Fail(ctx, path);
            return 1;
        }
        if (WriteEntry(ctx, *node, path, entry) != 0) return 1;
        if (node->nKind == NODE_FOLDER && WriteChildren(ctx, path, *node) != 0) return 1;
        node = node->pNext;
    }
    return 0;
}

int WriteChildren(BuildContext& ctx, const std::wstring& folderPath, SourceNode& folderNode)
{
    if (!folderNode.pFirstChild) return 0;
    std::vector<std::unique_ptr<WriteFrame>> frames;
    auto enter = [&frames](const std::wstring& path, SourceNode& node) {
        std::wstring base = path;
        AddTrailingSlash(base);
        frames.push_back(std::make_unique<WriteFrame>(std::move(base), node.pFirstChild));
    };
    enter(folderPath, folderNode);
    while (!frames.empty()) {
        WriteFrame& frame = *frames.back();
        SourceNode* child = frame.pNext;
        if (!child) {
            frames.pop_back();
            continue;
        }
        frame.pNext = child->pNext;
        if (ctx.Cancelled()) return 1;
        BuildRecord stored;
        if (!ReadInfoRecord(ctx, child->nInfoOffset, stored)) {
            Fail(ctx, ctx.strWorkPath);
            return 1;
        }
        const std::wstring path = frame.base + stored.strName;
        WIN32_FIND_DATAW entry{};
        if (!frame.listing.Take(stored.strName, &entry) && !FindFileData(path.c_str(), &entry, true)) {
            Fail(ctx, path);
            return 1;
        }
        if (WriteEntry(ctx, *child, path, entry) != 0) return 1;
        if (child->pFirstChild) enter(path, *child);
    }
    return 0;
}

int ProcessFile(BuildContext& ctx, BuildRecord& record, const std::wstring& path)
{
    ctx.pOwner->SetPhaseText(path);
    if (record.info.m_nSize == 0) return 0;

    // A file another program holds open: the user may close it and retry.
    FileHandle source;
    for (;;) {
        if (ctx.Cancelled()) return 1;
        source.Reset(OpenFile(path.c_str(), OPENMODE_READ, false));
        if (source) break;
        const uint32_t code = LastErrorCode();
        if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) {
            SetLastError(code);
            ReportLastError();
            Fail(ctx, path);
            return 1;
        }
        const std::wstring question = FormatText(MSG_LOCKED, LastErrorText(), path.c_str());
        if (ShowBuildMessage(question, MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY) {
            Fail(ctx, path);
            return 1;
        }
    }

    std::unique_ptr<IByteFile> file = WrapFileHandle(source.Get(), false, true);
    PipelineContext& pipe = ctx.pipe;
    pipe.m_pSource = file.get();
    pipe.m_strSourcePath = ToU16(path);
    pipe.m_failure = FailureInfo{};

    PipelineEntry entry;
    entry.m_nUncompressedSize = record.info.m_nSize;
    entry.m_nDataOffset = record.info.m_nDataOffset;
    entry.m_nStartVolume = record.info.m_nStartVolume;

    int result = ctx.bHash ? HashBegin(pipe) : 0;
    if (result != 0) {
        pipe.m_failure.Set(pipe.m_strSourcePath, ctx.hash->LastErrorText());
    } else if (ctx.nCompressKind == 0) {
        record.info.m_nMethod = METHOD_LZ4;
        result = Lz4EncodeEntry(pipe, entry);
        if (result == 0 && ctx.bVerify) result = Lz4VerifyEntry(pipe, entry);
    } else {
        record.info.m_nMethod = METHOD_DEFLATE;
        result = DeflateEncodeEntry(pipe, entry);
        if (result == 0 && ctx.bVerify) result = DeflateVerifyEntry(pipe, entry);
    }
    // Ended also after a failure, so that the hash is released.
    if (ctx.bHash && HashEnd(pipe, record.info.m_hash) != 0 && result == 0) {
        pipe.m_failure.Set(pipe.m_strSourcePath, ctx.hash->LastErrorText());
        result = 1;
    }
    record.info.m_nStoredSize = entry.m_nStoredSize;
    ctx.nStreamBytes = ctx.writer.m_nStreamBytes;
    pipe.m_pSource = nullptr;
    file.reset();
    source.Reset();
    if (result == 0) return 0;

    if (ctx.Cancelled()) {
        Fail(ctx, path);
        return 1;
    }
    ctx.strFailingPath = pipe.m_failure.m_strPath.empty() ? path : ToW(pipe.m_failure.m_strPath);
    ctx.strFailureMessage = ToW(pipe.m_failure.m_strMessage);
    if (ctx.strFailureMessage.empty()) ctx.strFailureMessage = LastErrorText();
    // A source that changed while it was read is the user's to know about;
    // a verify difference ends the build quietly (the log has it).
    if (pipe.m_failure.m_strMessage == TEXT_SOURCE_SIZE_CHANGED)
        ShowBuildMessage(FormatText(MSG_SOURCE_FAILED, ctx.strFailureMessage.c_str(), path.c_str()),
                         MB_OK | MB_ICONERROR);
    return 1;
}

unsigned BuildWorker(CBuildOwner* pOwner)
{
    pOwner->m_nBuildState.store(BUILD_STATE_RUNNING);
    pOwner->m_nBuildResult.store(BUILD_RESULT_OK);
    // The shell lookups of the log (item, associated program) want COM on
    // the thread that makes them.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const uint32_t startSeconds = WallClockSeconds();
    bool failed = true;
    BuildStatistics stats;
    {
        SourceNode root;
        std::unique_ptr<BuildContext> ctx;
        try {
            ctx = std::make_unique<BuildContext>(pOwner);
            failed = !RunBuild(*ctx, root);
        } catch (...) {
            // Out of memory somewhere below: the build ends like any failure.
            failed = true;
            if (ctx) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                GetLastErrorText();
                Fail(*ctx, ctx->strArchivePath);
            }
        }
        if (ctx) {
            EndSequence(*ctx, root, failed);
            stats.nFileCount = ctx->nFileCount;
            stats.nFolderCount = ctx->nFolderCount;
            stats.nContentCount = ctx->nContentCount;
            stats.nTotalSize = ctx->nTotalSize;
            stats.nStreamBytes = ctx->writer.m_nStreamBytes;
        } else {
            FreeTree(&root);
        }
    }
    if (!failed) {
        stats.nElapsedSeconds = WallClockSeconds() - startSeconds;
        pOwner->SetBuildStatistics(stats);
    }
    pOwner->StopProgressTimer();
    ClearArchiveKey();
    if (SUCCEEDED(com)) CoUninitialize();
    // The archive is complete or it is not: an abort asked for after the
    // last test of the flag does not turn a complete archive into one that
    // the wizard would delete.
    pOwner->FinishBuild(failed);
    return 0;
}

namespace {

unsigned __stdcall BuildThread(void* owner)
{
    return BuildWorker(static_cast<CBuildOwner*>(owner));
}

} // namespace

HANDLE StartBuildWorker(CBuildOwner* pOwner)
{
    const uint8_t previous = pOwner->m_nBuildState.exchange(BUILD_STATE_RUNNING);
    const uintptr_t h = _beginthreadex(nullptr, 0, &BuildThread, pOwner, 0, nullptr);
    if (h == 0) {
        pOwner->m_nBuildState.store(previous);
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(h);
}

} // namespace zk
