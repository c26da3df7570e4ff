#pragma once
// Everything one build works with, and the helpers every step of it shares:
// how a failure is recorded and told, volume 0's checked file operations,
// the size figures. Made when the build starts, gone when it ends; the
// handles close themselves on every way out.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "builder/engine/build_job.h"
#include "core/archive_format.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/long_path.h"
#include "core/pipeline.h"
#include "core/read_ahead.h"
#include "core/record_window.h"
#include "core/text_convert.h"
#include "core/unique_handle.h"
#include "core/verify_behind.h"
#include "core/volume_io.h"

namespace zk {

struct SourceNode;
struct BuildVerifier;
class FilesAheadWalk;
// Defined with the walk (build_ahead.cpp), which this header's users need
// not see.
struct FilesAheadWalkDelete {
    void operator()(FilesAheadWalk* walk) const;
};
// Defined with the verifier (build_verify.cpp), which this header's users
// need not see.
struct BuildVerifierDelete {
    void operator()(BuildVerifier* verifier) const;
};

// Paths are handled in buffers of 2048 units everywhere, the extractor's
// included: a longer path could be stored but never extracted.
constexpr size_t MAX_PATH_UNITS = PATH_CHARS - 1;
constexpr uint64_t MIB = VOLUME_UNIT;
// The start-volume field of an info record is one byte.
constexpr uint64_t VOLUME_COUNT_MAX = 256;
// Zeros and the work file are copied in pieces of this size.
constexpr uint32_t COPY_PIECE = 1048576;
// The work file's window: a few hundred records. Collection writes them back
// in pieces of this size as it goes, so that a disk the work file does not
// fit on stops the collection at the entry that found it full.
constexpr uint32_t WORK_WINDOW_BYTES = 65536;

// Tells the build's progress about every piece the pipeline handles.
class PipelineProgressRelay : public IPipelineProgress {
public:
    explicit PipelineProgressRelay(BuildProgress& progress) : m_progress(progress) {}
    void OnRead(uint64_t readCounter) override
    {
        m_progress.SetCompressProgress(readCounter);
        RelayVerify();
    }
    void OnVerify(uint64_t verifyCounter) override
    {
        m_nVerifiedHere = verifyCounter;
        RelayVerify();
    }

    // A verify pass behind the writer counts on its own thread; its count,
    // added to the entries verified here, reaches the progress from the
    // build's thread, with the reads.
    void Follow(const VerifyBehind* behind) { m_pBehind = behind; }
    void RelayVerify()
    {
        const uint64_t verified = m_nVerifiedHere + (m_pBehind ? m_pBehind->VerifiedBytes() : 0);
        if (verified == m_nVerifyShown) return;
        m_nVerifyShown = verified;
        m_progress.SetVerifyProgress(verified);
    }

private:
    BuildProgress& m_progress;
    const VerifyBehind* m_pBehind = nullptr;
    uint64_t m_nVerifiedHere = 0;
    uint64_t m_nVerifyShown = 0;
};

struct BuildContext {
    // Takes the job's settings; the job outlives the context.
    explicit BuildContext(BuildJob& job);
    BuildContext(const BuildContext&) = delete;
    BuildContext& operator=(const BuildContext&) = delete;
    // The work file never outlives its build, whichever way the build ends.
    ~BuildContext();

    BuildJob& job;
    IUserDialogue& dialogue;
    BuildProgress& progress;

    // The settings this build runs with (the volume size may be raised).
    std::wstring strArchivePath;
    std::wstring strPassword;
    std::wstring strProgramFolder;
    std::wstring strSfxProgramPath; // empty: SFX_NAME in strProgramFolder
    bool bVerify = false;
    bool bHash = false;
    uint8_t nCompressKind = 0;  // 0 LZ4, 1 Deflate
    uint8_t nCompressLevel = 0; // 0 standard, 1 high
    bool bLongNames = false;
    bool bShiftJisNames = false;
    bool bIncludeHidden = false;
    bool bShowLogOnError = false;
    bool bUseWorkFolder = false;
    std::wstring strWorkFolder;
    uint32_t nSplitMB = 0;
    uint32_t nSfxFlags = 0;
    std::wstring strSfxDestFolder;
    std::wstring strSfxTitle;
    std::wstring strSfxRunAfter;
    std::wstring strSfxComment;
    std::vector<std::wstring> sources;

    FileHandle volume0;
    FileHandle work;
    std::wstring strWorkPath;
    // The records go through a window over the work file (WorkRecords).
    std::unique_ptr<IByteFile> workFile;
    std::unique_ptr<RecordWindow> workRecords;
    std::wstring strLogPath;
    ErrorLog log;
    uint16_t nFormatVersion = FORMAT_VERSION;
    uint64_t nTimeStamp = 0;

    // Filled by the collection.
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0;
    uint64_t nTotalSize = 0;
    // The node made for each source item, or null when collection skipped
    // it: the data phase follows the same choice.
    std::vector<SourceNode*> topNodes;
    // Reads the next entry of a folder listing during collection; tests put
    // a listing that fails part-way in its place.
    std::function<bool(FolderLister&, FileListing*)> findNextFile =
        [](FolderLister& lister, FileListing* entry) { return lister.Next(entry); };
    // Identities (volume serial, file index) of the folders being
    // collected, outermost first: a folder link back into one of them would
    // never end.
    std::vector<std::pair<uint32_t, uint64_t>> folderStack;

    uint64_t nStreamBytes = 0; // mirrors the volume writer's count
    uint64_t nHeaderPos = 0;   // where the archive begins (after the extractor program)
    uint64_t nTreeOffset = 0;
    uint32_t nTreeWritten = 0; // bytes of the tree table written so far
    uint64_t nInfoOffset = 0;
    uint64_t nVolumeFieldPos = 0;
    uint64_t nDataOffset = 0;
    uint64_t nDataEnd = 0;
    uint64_t nVolumeSize = 0;
    uint32_t nBlockSize = 0;

    std::wstring strFailingPath;
    std::wstring strFailureMessage;

    // The data stream and the pipeline.
    std::unique_ptr<PipelineBuffers> buffers;
    // Reads and hashes the sources ahead of the encoder; null with one thread.
    std::unique_ptr<SourceReadAhead> readAhead;
    // Kept open between entries for the verify pass; released when the
    // data phase ends.
    std::unique_ptr<CachedVolumeFiles> volumeFiles;
    std::unique_ptr<IByteFile> volume0File;
    std::unique_ptr<IFileHash> hash;
    PipelineProgressRelay pipelineProgress;
    VolumeWriter writer;
    PipelineContext pipe;
    // Reads the next small files ahead during the data phase; null with one
    // thread. Its thread ends before anything it reads from.
    std::unique_ptr<FilesAheadWalk, FilesAheadWalkDelete> filesAhead;
    // While the data phase stores a folder's children: the folder's listing,
    // through which their sources are opened (FolderLister::OpenEntry).
    const FolderLister* pSourceFolder = nullptr;
    // The verify pass behind the writer (build_verify.h). Last: its thread
    // stops before anything it reads goes away.
    std::unique_ptr<BuildVerifier, BuildVerifierDelete> verifyBehind;

    bool Cancelled() const { return job.pFlags->m_nResult.load() != BUILD_RESULT_OK; }
};

// ---- failures ---------------------------------------------------------------
// One way to record why a build failed, for the error log: the failing path
// is the last one named (a folder's caller names the folder after its child
// failed), the message the first one recorded (what the user was shown; the
// system's last error may be about anything by then).

// Records path and message, or this thread's last system error text when no
// message is given.
void Fail(BuildContext& ctx, const std::wstring& path, const std::wstring& message = {});
// Tells the user one of the build's own messages, then records it.
void FailWithMessage(BuildContext& ctx, const std::wstring& path, const std::wstring& message);
// Tells the user this thread's last system error, then records it.
void SystemFailure(BuildContext& ctx, const std::wstring& path);
// Records code as this thread's last system error (with its text), tells it
// and records it for path.
void SystemFailure(BuildContext& ctx, const std::wstring& path, uint32_t code);
// A question of the build (a box with the question caption).
Answer AskUser(BuildContext& ctx, uint8_t topic, MessageButtons buttons, const std::wstring& text);

// ---- volume 0 (the first archive file), 0 success / 1 failure -----------------
// A failure is told as the system's and recorded for the archive path.
int FlushVolume0(BuildContext& ctx);
// Seeks and checks that the position reached is the one asked for.
int SeekVolume0(BuildContext& ctx, uint64_t pos);
int WriteVolume0(BuildContext& ctx, const void* bytes, size_t count);
// The window the work file's records are read and written through, made
// over the open work file at first use.
RecordWindow& WorkRecords(BuildContext& ctx);
// Moves the work file's record position (the window's: no system call).
void SeekWork(BuildContext& ctx, uint64_t pos);
// Writes back the records the work file does not hold yet; a failure is
// told as the system's and recorded for the work file.
int FlushWork(BuildContext& ctx);

// ---- small helpers ------------------------------------------------------------
// Ordinal comparison ignoring case, as the file system compares names.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
bool HasExtension(const std::wstring& path, const wchar_t* ext);
// Upper bound of the data stream the collected files can produce, whatever
// the codec: incompressible input grows a little, every piece adds framing
// and the cipher pads the last block of each entry.
uint64_t StreamBound(uint64_t totalSize, uint32_t contentCount, uint32_t blockSize);

} // namespace zk
