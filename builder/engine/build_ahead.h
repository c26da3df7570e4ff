#pragma once
// The data phase's second walk: it goes over the tree a little ahead of the
// one that stores the entries and hands the small files it meets to a
// reader on a thread of its own (core/small_files_ahead.h), which opens,
// reads and closes them while the calling thread compresses and writes the
// file before them. It follows the same nodes in the same order, and reads
// their names through a record window of its own, so that the data phase's
// window stays where its walk is.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/record_window.h"
#include "core/small_files_ahead.h"

namespace zk {

struct BuildContext;
struct SourceNode;
struct FilesAheadWalkDelete;

class FilesAheadWalk {
public:
    // Null with one thread, or without the memory or the thread: the data
    // phase then opens every file itself.
    static std::unique_ptr<FilesAheadWalk, FilesAheadWalkDelete> Start(BuildContext& ctx, SourceNode& root);
    ~FilesAheadWalk();
    FilesAheadWalk(const FilesAheadWalk&) = delete;
    FilesAheadWalk& operator=(const FilesAheadWalk&) = delete;

    // The file of node, read whole, when the reader got it with the size
    // listed now; null otherwise (the caller opens it as always). Queues
    // the files after it first. *jobAhead: the file is compressed already
    // or being compressed, as the encoders' oldest job (SmallFilesAhead).
    std::unique_ptr<MemoryFile> Take(const SourceNode& node, uint64_t listedSize, bool* jobAhead);

private:
    struct Frame {
        std::wstring strBase; // the folder's path with its trailing "\"
        SourceNode* pNext = nullptr;
    };
    struct Candidate {
        const SourceNode* pNode = nullptr;
        std::wstring strPath;
        uint64_t nSize = 0;
    };

    FilesAheadWalk(BuildContext& ctx, uint64_t workSize);
    // Queues the walk's next files while the reader has room.
    void Fill();
    // The walk's next file; false at its end or when a record cannot be read.
    bool NextFile(Candidate* out);
    bool ReadRecord(const SourceNode& node, std::wstring* name, uint64_t* size);

    BuildContext& m_ctx;
    RecordWindow m_records;
    std::unique_ptr<ISourceOpener> m_pOpener;
    std::unique_ptr<SmallFilesAhead> m_pReader;
    size_t m_nTop = 0; // the next top-level source item
    std::vector<Frame> m_frames;
    Candidate m_pending;
    bool m_bPending = false;
    bool m_bEnded = false;
    // A file with data to compress was passed over since the last one queued.
    bool m_bGap = false;
};

} // namespace zk
