#pragma once
// What the extractor knows about the archive it opened, and what its worker
// threads share with the main window: the worker context, the progress
// counters, the status text and the entry tree.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/block_decoder.h"
#include "core/error_log.h"
#include "core/file_time.h"
#include "core/raw_bytes.h"

namespace zk {

// ErrorFlags: the first bit set, in the order of ERROR_MESSAGE_ORDER, picks
// the one message the user sees at the end.
constexpr uint32_t ERR_NO_FILE = 0x1;
constexpr uint32_t ERR_NO_DATA = 0x2;
constexpr uint32_t ERR_READ = 0x4;
constexpr uint32_t ERR_READ_ONLY = 0x8;
constexpr uint32_t ERR_NOT_ARCHIVE = 0x20;
constexpr uint32_t ERR_VERSION = 0x40;
constexpr uint32_t ERR_PASSWORD = 0x100;
constexpr uint32_t ERR_HASH = 0x200;
// An entry name that would leave the destination folder or name a device.
constexpr uint32_t ERR_BAD_NAME = 0x400;
// Stored data that ends early or does not form a valid stream.
constexpr uint32_t ERR_DAMAGED = 0x800;

constexpr uint8_t KIND_ROOT = 0xFF;
// The root's first-child offset before loading: the record at offset 0.
constexpr uint32_t FIRST_RECORD = 0xFFFFFFFF;

// An InfoRecord in memory.
struct EntryInfo {
    uint8_t m_nMethod = METHOD_STORED;
    uint32_t m_nAttributes = 0;
    uint64_t m_nCreationTime = 0; // file times: 100-ns units since 1601, UTC
    uint64_t m_nAccessTime = 0;
    uint64_t m_nWriteTime = 0;
    uint64_t m_nDataOffset = 0; // relative to the data stream
    uint64_t m_nSize = 0;       // uncompressed
    uint64_t m_nStoredSize = 0; // bytes to read from the archive
    std::wstring m_strName;
    uint8_t m_hash[32] = {};
    uint8_t m_nStartVolume = 0;
};

// One tree record. Nodes are owned by ArchiveState::m_listNodes (the root is
// a member of it) and linked by plain pointers.
struct EntryNode {
    uint8_t m_bSelected = 0;
    uint8_t m_nKind = NODE_FILE; // NODE_FILE or NODE_FOLDER; KIND_ROOT for the root only
    uint32_t m_nRecordOffset = 0;
    uint32_t m_nInfoOffset = 0;
    EntryNode* m_pNextSibling = nullptr;
    EntryNode* m_pFirstChild = nullptr;
    uint32_t m_nFirstChildOffset = 0; // FIRST_RECORD on the root until loaded
    std::wstring m_strName;           // folders only, until the tree view takes it
    std::unique_ptr<EntryInfo> m_pInfo;

    bool IsFolder() const { return m_nKind == NODE_FOLDER; }
    bool IsRoot() const { return m_nKind == KIND_ROOT; }
};

// Whether a worker runs: set by the starter before the worker's thread
// exists, cleared by the worker as its very last step. The main window
// frees what the workers use once it reads 0, so the flag never reads 0
// while one worker hands over to the next. A watch, when set, is told of
// every change before it is made (tests follow a hand-off through it).
class CRunningFlag {
public:
    CRunningFlag& operator=(int32_t value)
    {
        if (m_watch) m_watch(value);
        m_nValue = value;
        return *this;
    }
    operator int32_t() const { return m_nValue; }
    int32_t load() const { return m_nValue; }

    std::function<void(int32_t value)> m_watch;

private:
    std::atomic<int32_t> m_nValue{0};
};

// Shared by the main thread and the one worker. The main thread only sets
// m_nAbort and reads m_nRunning.
struct WorkerContext {
    CRunningFlag m_nRunning;
    std::atomic<int32_t> m_nAbort{0};
    int32_t m_nFailed = 0;
    int32_t m_nOverwriteAll = 0;
    std::wstring m_strFailingPath;
    std::wstring m_strMessage;
    // What a run reports without stopping for it (a file whose size is not
    // the one recorded), for the error log.
    std::vector<ErrorLogRecord> m_listNotices;

    void Clear()
    {
        m_nRunning = 0;
        ClearResults();
    }
    // Everything but the running flag: what the last worker left.
    void ClearResults()
    {
        m_nAbort = 0;
        m_nFailed = 0;
        m_nOverwriteAll = 0;
        m_strFailingPath.clear();
        m_strMessage.clear();
        m_listNotices.clear();
    }
};

// Painted by the progress bar, written by the worker.
struct ProgressCounters {
    std::atomic<uint64_t> m_nTotal{0};
    std::atomic<uint64_t> m_nDone{0};
    std::atomic<int64_t> m_nStartTime{0};    // WallClockSeconds()
    std::atomic<int64_t> m_nLastProgress{0}; // likewise
};

// Shown by the progress bar instead of the byte count while not empty.
class StatusOverride {
public:
    void Set(const std::wstring& text)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strText = text;
    }
    std::wstring Get() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_strText;
    }

private:
    mutable std::mutex m_lock;
    std::wstring m_strText;
};

// The four work buffers of an extraction, allocated once at start-up.
struct WorkBuffers {
    uint32_t m_nBlockSize = 0;           // B
    RawBytes m_lz4Output;    // 2B: the decoder's two output halves
    RawBytes m_lz4Input;     // one compressed block: B + B/255 + 16
    RawBytes m_spare;        // B
    RawBytes m_streamBuffer; // 2B: buffer of the output stream (B used)
    InflateState m_inflate;  // the Deflate decoder, reset per entry
};

struct ArchiveState {
    ArchiveHeader m_header;
    uint32_t m_nSfxFlags = 0;
    std::wstring m_strDestFolder;
    std::wstring m_strTitle;
    std::wstring m_strRunAfter; // kept, never run
    std::wstring m_strComment;
    std::wstring m_strArchivePath; // also the base name of volume files
    uint32_t m_nFileCount = 0;
    uint32_t m_nFolderCount = 0;
    uint32_t m_nContentCount = 0;
    uint64_t m_nVolumeSize = 0; // bytes, 0 = not split
    uint64_t m_nTotalSize = 0;
    uint64_t m_nSizeEstimate = 0;
    EntryNode m_root;
    std::wstring m_strPassword;
    uint32_t m_nErrorFlags = 0;
    uint64_t m_nTreeOffset = 0;
    uint64_t m_nInfoOffset = 0;
    uint64_t m_nDataOffset = 0;
    WorkBuffers m_buffers;

    uint64_t m_nPayloadOffset = 0; // where the archive begins in its first file
    uint64_t m_nFileSize = 0;      // size of the first file when it was opened
    int m_nPasswordAttempt = 1;
    std::vector<std::unique_ptr<EntryNode>> m_listNodes;
    // Set once the whole tree loaded; extraction refuses a partial tree.
    bool m_bTreeLoaded = false;
    // From the command line: "--dest" (the destination, no-UI mode too) and
    // "--yes" (existing folders and files are replaced without asking).
    std::wstring m_strDestOverride;
    bool m_bOverwriteWithoutAsking = false;
    // Set when a run extracted and checked every entry: the exit code's 0.
    bool m_bAllExtracted = false;

    // Cleared, with the root waiting for the record at 0, the system
    // information read and the work buffers allocated.
    ArchiveState();
    uint64_t EntryCount() const { return static_cast<uint64_t>(m_nFileCount) + m_nFolderCount; }
    bool HasPassword() const { return (m_header.m_nFlags & AF_PASSWORD) != 0; }
};

// The one way the opening and the workers record a failure: the context
// fails, flag joins the error flags (the first of them in the message order
// is what the user is told), and the first failure that gives a path or a
// message keeps both for the error log. A later one (a folder's times after
// a file inside it failed) follows from that cause and does not replace it.
// Always 1.
int RecordFailure(WorkerContext& ctx, ArchiveState& state, uint32_t flag = 0,
                  const std::wstring& path = std::wstring(), const std::wstring& message = std::wstring());

} // namespace zk
