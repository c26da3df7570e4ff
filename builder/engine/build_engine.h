#pragma once
// The build engine: one archive from the settings and the chosen sources, on
// the build thread. BuildWorker runs without any window; it reports through
// the owner (CBuildOwner) and asks its questions through the replaceable
// message-box function (core/message_box.h).

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "builder/engine/build_owner.h"
#include "builder/engine/source_collection.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/long_path.h"
#include "core/pipeline.h"
#include "core/unique_handle.h"
#include "core/volume_io.h"

namespace zk {

// Paths are handled in buffers of 2048 units everywhere, the extractor's
// included: a longer path could be stored but never extracted.
constexpr size_t MAX_PATH_UNITS = PATH_CHARS - 1;

// Tells the progress display about every piece the pipeline handles.
class BuildProgress : public IPipelineProgress {
public:
    explicit BuildProgress(CBuildOwner* owner) : m_pOwner(owner) {}
    void OnRead(uint64_t readCounter) override { m_pOwner->SetCompressProgress(readCounter); }
    void OnVerify(uint64_t verifyCounter) override { m_pOwner->SetVerifyProgress(verifyCounter); }

private:
    CBuildOwner* m_pOwner;
};

// Everything one build works with. Made when the build starts, gone when it
// ends; the handles close themselves on every way out.
struct BuildContext {
    explicit BuildContext(CBuildOwner* owner) : pOwner(owner), progress(owner) {}
    BuildContext(const BuildContext&) = delete;
    BuildContext& operator=(const BuildContext&) = delete;
    // The work file never outlives its build, whichever way the build ends.
    ~BuildContext()
    {
        // The password copy does not stay behind in freed memory.
        if (!strPassword.empty()) SecureZeroMemory(strPassword.data(), strPassword.size() * sizeof(wchar_t));
        work.Reset();
        if (!strWorkPath.empty()) DeleteFileOrDefer(strWorkPath.c_str(), false, false);
    }

    CBuildOwner* pOwner;

    // The settings this build runs with, copied at the start (the window
    // thread leaves the records alone while the build runs).
    std::wstring strArchivePath;
    std::wstring strPassword;
    std::wstring strProgramFolder;
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
    std::function<BOOL(HANDLE, WIN32_FIND_DATAW*)> findNextFile = FindNextFileW;
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
    // Kept open between entries for the verify pass; released when the
    // data phase ends.
    std::unique_ptr<CachedVolumeFiles> volumeFiles;
    std::unique_ptr<IByteFile> volume0File;
    std::unique_ptr<IFileHash> hash;
    BuildProgress progress;
    VolumeWriter writer;
    PipelineContext pipe;

    bool Cancelled() const { return pOwner->m_nBuildResult.load() != 0; }
};

// The whole build: returns 0 (the thread's exit code). The outcome is in
// owner->m_nBuildResult once owner->m_nBuildState is 2.
unsigned BuildWorker(CBuildOwner* pOwner);

// Runs BuildWorker on a new thread. The returned handle (null when no thread
// could be started; the state then stays as it was) is signalled when the
// thread has ended; the caller closes it. m_nBuildState is 1 before this
// returns, so a timer polling it never sees a finished state of an earlier
// build.
HANDLE StartBuildWorker(CBuildOwner* pOwner);

// The data phase: every kept source item in list order, in step with the
// top-level nodes; a folder's contents follow through WriteChildren, which
// walks every folder below it with its open folders on the heap (the depth
// of the tree costs no stack).
int WriteEntries(BuildContext& ctx, SourceNode& root);
int WriteChildren(BuildContext& ctx, const std::wstring& folderPath, SourceNode& folderNode);

// The stored data of one file; the record receives method, stored size and
// hash. `path` is where the file is read from.
int ProcessFile(BuildContext& ctx, BuildRecord& record, const std::wstring& path);

// Tree-relative offsets from counter on: every entry of a child list in list
// order, then the lists below those entries in the same order, recursively;
// counter ends after the last record. False for a tree too large for 32-bit
// offsets. WriteTreeTable writes the records in exactly this order.
bool AssignTreeOffsets(SourceNode& node, uint32_t& counter);
int WriteTreeTable(BuildContext& ctx, SourceNode& node);

} // namespace zk
