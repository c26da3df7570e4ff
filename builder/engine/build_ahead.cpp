#include "builder/engine/build_ahead.h"

#include "builder/engine/build_context.h"
#include "builder/engine/source_collection.h"
#include "core/archive_names.h"
#include "core/file_io.h"
#include "core/long_path.h"
#include "core/pipeline_platform.h"
#include "core/text_convert.h"
#include "core/worker_threads.h"

namespace zk {

namespace {

// Files in flight and their bytes: enough to keep the reader a few dozen
// opens ahead of the writer, small beside the encoders' buffers.
constexpr uint32_t AHEAD_FILES = 64;
constexpr uint64_t AHEAD_BYTES = 8 * MIB;

// A source opened as the data phase opens it itself (others may read).
class SourceOpener : public ISourceOpener {
public:
    std::unique_ptr<IByteFile> OpenForReading(const std::wstring& path) override
    {
        SysHandle handle = OpenFile(path.c_str(), OPENMODE_READ);
        if (!handle) return nullptr;
        return WrapFileHandle(handle, true);
    }
};

} // namespace

std::unique_ptr<FilesAheadWalk, FilesAheadWalkDelete> FilesAheadWalk::Start(BuildContext& ctx,
                                                                            SourceNode& root)
{
    if (WorkerThreadCount() <= 1 || !root.pFirstChild) return nullptr;
    // Every record is in the work file since collection ended.
    const uint64_t workSize = WorkRecords(ctx).Size();
    std::unique_ptr<FilesAheadWalk, FilesAheadWalkDelete> walk(new FilesAheadWalk(ctx, workSize));
    // Entries of more than one block have their own read-ahead.
    const FilesAheadBounds bounds{ctx.nBlockSize, AHEAD_BYTES, AHEAD_FILES};
    walk->m_pReader = SmallFilesAhead::Create(*walk->m_pOpener, bounds, &ctx.job.pFlags->m_nResult);
    if (!walk->m_pReader) return nullptr;
    // LZ4's fast mode compresses a small file in less time than handing it
    // to another thread costs; every other way is worth the hand-over.
    if (ctx.nCompressKind == 0 && ctx.nCompressLevel == 0) return walk;
    JobsAheadSetup jobs;
    jobs.pEncoders = &ctx.buffers->Encoders();
    jobs.nMethod = ctx.nCompressKind == 0 ? METHOD_LZ4 : METHOD_DEFLATE;
    jobs.bHigh = ctx.nCompressLevel != 0;
    jobs.nMaxJobBytes = LargestOneJobSource(jobs.nMethod, ctx.nBlockSize);
    walk->m_pReader->CompressAhead(jobs);
    return walk;
}

void FilesAheadWalkDelete::operator()(FilesAheadWalk* walk) const
{
    delete walk;
}

FilesAheadWalk::FilesAheadWalk(BuildContext& ctx, uint64_t workSize)
    : m_ctx(ctx), m_records(*ctx.workFile, workSize, WORK_WINDOW_BYTES), m_pOpener(new SourceOpener)
{
}

// The reader goes first: it uses the opener.
FilesAheadWalk::~FilesAheadWalk()
{
    m_pReader.reset();
}

std::unique_ptr<MemoryFile> FilesAheadWalk::Take(const SourceNode& node, uint64_t listedSize, bool* jobAhead)
{
    Fill();
    return m_pReader->Take(reinterpret_cast<uintptr_t>(&node), listedSize, jobAhead);
}

// Refilled in batches: a reader that waits for work is woken once per
// batch instead of once per file, and every wake-up costs a call into the
// system.
void FilesAheadWalk::Fill()
{
    if (m_pReader->FilesHeld() > AHEAD_FILES / 2) return;
    for (;;) {
        if (!m_bPending) {
            if (m_bEnded || !NextFile(&m_pending)) {
                m_bEnded = true;
                return;
            }
            m_bPending = true;
        }
        if (m_pReader->IsSmall(m_pending.nSize)) {
            if (!m_pReader->HasRoom(m_pending.nSize)) return;
            m_pReader->Queue(reinterpret_cast<uintptr_t>(m_pending.pNode), std::move(m_pending.strPath),
                             m_pending.nSize, !m_bGap);
            m_bGap = false;
        } else if (m_pending.nSize != 0) {
            m_bGap = true; // an empty file stores no data
        }
        m_bPending = false;
    }
}

// The order of WriteEntries and WriteChildren: every kept source item, a
// folder followed by everything below it, depth first.
bool FilesAheadWalk::NextFile(Candidate* out)
{
    for (;;) {
        SourceNode* node = nullptr;
        std::wstring path;
        if (!m_frames.empty()) {
            Frame& frame = m_frames.back();
            node = frame.pNext;
            if (!node) {
                m_frames.pop_back();
                continue;
            }
            frame.pNext = node->pNext;
            std::wstring name;
            if (!ReadRecord(*node, &name, &out->nSize)) return false;
            path = frame.strBase + name;
        } else {
            if (m_nTop == m_ctx.sources.size() || m_nTop >= m_ctx.topNodes.size()) return false;
            node = m_ctx.topNodes[m_nTop];
            path = m_ctx.sources[m_nTop];
            ++m_nTop;
            if (!node) continue;
            std::wstring name;
            if (!ReadRecord(*node, &name, &out->nSize)) return false;
        }
        if (node->nKind == NODE_FOLDER) {
            if (node->pFirstChild) {
                AddTrailingSlash(path);
                m_frames.push_back(Frame{std::move(path), node->pFirstChild});
            }
            continue;
        }
        out->pNode = node;
        out->strPath = std::move(path);
        return true;
    }
}

// The record as collection wrote it: its name and size never change in the
// data phase, whatever the data phase's window still holds unwritten.
bool FilesAheadWalk::ReadRecord(const SourceNode& node, std::wstring* name, uint64_t* size)
{
    if (node.nInfoOffset == NO_INFO_OFFSET) return false;
    m_records.Seek(node.nInfoOffset);
    ArchiveHeader header;
    header.m_nFlags = m_ctx.bShiftJisNames ? AF_NARROW_NAMES : 0;
    InfoRecord info;
    if (ParseInfoRecord(m_records, header, &info) != FormatStatus::Ok) return false;
    std::u16string decoded;
    if (!DecodeEntryName(info.m_name, m_ctx.bShiftJisNames, &decoded)) return false;
    *name = ToWide(decoded);
    *size = info.m_nSize;
    return true;
}

} // namespace zk
