// The data phase: every entry read again, its data through the pipeline,
// its record rewritten in place in the work file.

#include <cstring>
#include <memory>
#include <vector>

#include "builder/engine/build_engine.h"
#include "builder/engine/build_ahead.h"
#include "builder/engine/build_messages.h"
#include "builder/engine/build_verify.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "core/text_format.h"

namespace zk {

namespace {

// Refreshes a record from the entry read again for the data phase. The
// record keeps the name collection stored: a rewritten record must keep its
// length.
int RefreshRecord(BuildContext& ctx, BuildRecord& record, const FileListing& entry)
{
    InfoRecord& info = record.info;
    info.m_nAttributes = entry.m_nAttributes;
    info.m_nCreationTime = entry.m_nCreationTime;
    info.m_nAccessTime = entry.m_nAccessTime;
    info.m_nWriteTime = entry.m_nWriteTime;
    info.m_nSize = (entry.m_nAttributes & ATTR_DIRECTORY) ? 0 : entry.m_nSize;
    ctx.nStreamBytes = ctx.writer.m_nStreamBytes;
    info.m_nDataOffset = ctx.nStreamBytes;
    info.m_nStoredSize = 0;
    info.m_nMethod = METHOD_STORED;
    std::memset(info.m_hash, 0, sizeof info.m_hash);
    if (!StartVolume(ctx.nDataOffset, ctx.nStreamBytes, ctx.nVolumeSize, &info.m_nStartVolume)) {
        const uint64_t neededMB = ((ctx.nDataOffset + ctx.nStreamBytes) / VOLUME_COUNT_MAX + MIB) / MIB;
        SetSystemError(SYSERR_FILE_TOO_LARGE);
        GetLastErrorText();
        FailWithMessage(ctx, ctx.strArchivePath,
                        FormatText(MSG_TOO_MANY_VOLUMES, static_cast<unsigned>(neededMB)));
        return 1;
    }
    return 0;
}

// One entry of the data phase: its record read back (unless the caller
// already has it), refreshed, its data written, the record rewritten in
// place. A folder's contents follow separately (WriteChildren).
int WriteEntry(BuildContext& ctx, SourceNode& node, const std::wstring& path, const FileListing& entry,
               BuildRecord* pRead = nullptr)
{
    if (ctx.Cancelled()) return 1;
    const bool folder = (entry.m_nAttributes & ATTR_DIRECTORY) != 0;
    if (folder != (node.nKind == NODE_FOLDER)) {
        FailWithMessage(ctx, path, FormatText(MSG_SOURCE_CHANGED, path.c_str()));
        return 1;
    }
    BuildRecord record;
    if (pRead) {
        record = std::move(*pRead);
    } else if (ReadInfoRecord(ctx, node.nInfoOffset, record) != 0) {
        Fail(ctx, ctx.strWorkPath);
        return 1;
    }
    record.pNode = &node;
    SeekWork(ctx, node.nInfoOffset);
    if (RefreshRecord(ctx, record, entry) != 0) return 1;
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
    SeekWork(ctx, node.nInfoOffset);
    if (WriteInfoRecord(ctx, record) != 0) {
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
    {
        m_bMore = m_lister.Open(base) && m_lister.Next(&m_next);
    }

    bool Take(const std::wstring& name, FileListing* out)
    {
        for (size_t i = 0;; ++i) {
            if (i == m_ahead.size()) {
                if (!m_bMore || m_ahead.size() == LOOKAHEAD) return false;
                m_ahead.push_back(m_next);
                m_bMore = m_lister.Next(&m_next);
            }
            if (name == m_ahead[i].m_strName) {
                *out = m_ahead[i];
                m_ahead.erase(m_ahead.begin(), m_ahead.begin() + static_cast<ptrdiff_t>(i) + 1);
                return true;
            }
        }
    }

    const FolderLister& Lister() const { return m_lister; }

private:
    static constexpr size_t LOOKAHEAD = 16;
    FolderLister m_lister;
    FileListing m_next;
    bool m_bMore = false;
    std::vector<FileListing> m_ahead;
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
        FileListing entry;
        if (!FindFileData(path.c_str(), &entry)) {
            SystemFailure(ctx, path);
            return 1;
        }
        // Exactly the items collection kept: deciding again could pair an
        // item with another item's record if its attributes changed since.
        if (!ctx.topNodes[i]) continue;
        if (ctx.topNodes[i] != node) {
            SystemFailure(ctx, path, SYSERR_INVALID_DATA);
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
        if (ReadInfoRecord(ctx, child->nInfoOffset, stored) != 0) {
            Fail(ctx, ctx.strWorkPath);
            return 1;
        }
        const std::wstring path = frame.base + stored.strName;
        FileListing entry;
        if (!frame.listing.Take(stored.strName, &entry) && !FindFileData(path.c_str(), &entry)) {
            SystemFailure(ctx, path);
            return 1;
        }
        ctx.pSourceFolder = &frame.listing.Lister();
        const int written = WriteEntry(ctx, *child, path, entry, &stored);
        ctx.pSourceFolder = nullptr;
        if (written != 0) return 1;
        if (child->pFirstChild) enter(path, *child);
    }
    return 0;
}

namespace {

// The source file open for reading. A file another program holds open: the
// user may close it and retry.
int OpenSource(BuildContext& ctx, const std::wstring& path, FileHandle& source)
{
    for (;;) {
        if (ctx.Cancelled()) return 1;
        source.Reset(ctx.pSourceFolder ? ctx.pSourceFolder->OpenEntry(path)
                                       : OpenFile(path.c_str(), OPENMODE_READ));
        if (source) return 0;
        const uint32_t code = LastErrorCode();
        if (code != SYSERR_ACCESS_DENIED && code != SYSERR_SHARING_VIOLATION) {
            SystemFailure(ctx, path);
            return 1;
        }
        const std::wstring question = FormatText(MSG_LOCKED, LastErrorText(), path.c_str());
        if (AskUser(ctx, BUILD_TOPIC_SOURCE_LOCKED, BUTTONS_RETRY_CANCEL, question) != ANSWER_RETRY) {
            Fail(ctx, path);
            return 1;
        }
    }
}

// The entry's data through the pipeline: hash, encoding, verification.
// sourceBytes: the whole source when it was read into memory ahead.
int EncodeEntry(BuildContext& ctx, BuildRecord& record,
                const std::shared_ptr<std::vector<uint8_t>>& sourceBytes)
{
    PipelineContext& pipe = ctx.pipe;
    PipelineEntry entry;
    entry.m_nUncompressedSize = record.info.m_nSize;
    entry.m_nDataOffset = record.info.m_nDataOffset;
    entry.m_nStartVolume = record.info.m_nStartVolume;

    // With more than one thread the verify pass runs behind the writer: the
    // entry goes to it once encoded, and a failure it found in an earlier
    // entry stops the build before this one. A source read into memory ahead
    // goes to the verifier with its bytes. An entry of one block that this
    // thread opened itself is verified here, while its source is open:
    // opening it again on the verifier's thread would cost more than the
    // overlap saves.
    VerifyBehind* verifier = ctx.bVerify ? VerifierFor(ctx) : nullptr;
    if (verifier && CheckVerifier(ctx) != 0) return 1;
    const bool behind = verifier && (sourceBytes || entry.m_nUncompressedSize > ctx.buffers->BlockSize());
    const bool verifyHere = ctx.bVerify && !behind;
    int result = ctx.bHash ? HashBegin(pipe) : 0;
    if (result != 0) {
        pipe.m_failure.Set(pipe.m_strSourcePath, ctx.hash->LastErrorText());
    } else if (ctx.nCompressKind == 0) {
        record.info.m_nMethod = METHOD_LZ4;
        result = Lz4EncodeEntry(pipe, entry);
        if (result == 0 && verifyHere) result = Lz4VerifyEntry(pipe, entry);
    } else {
        record.info.m_nMethod = METHOD_DEFLATE;
        result = DeflateEncodeEntry(pipe, entry);
        if (result == 0 && verifyHere) result = DeflateVerifyEntry(pipe, entry);
    }
    // Ended also after a failure, so that the hash is released.
    if (ctx.bHash && HashEnd(pipe, record.info.m_hash) != 0 && result == 0) {
        pipe.m_failure.Set(pipe.m_strSourcePath, ctx.hash->LastErrorText());
        result = 1;
    }
    record.info.m_nStoredSize = entry.m_nStoredSize;
    ctx.nStreamBytes = ctx.writer.m_nStreamBytes;
    if (result == 0 && behind)
        result = VerifyBehindEntry(ctx, pipe.m_strSourcePath, entry, record.info.m_nMethod, sourceBytes);
    return result;
}

// Records what the pipeline recorded. A source that changed while it was
// read is the user's to know about; a verify difference ends the build
// quietly (the log has it).
void FailEntry(BuildContext& ctx, const std::wstring& path)
{
    const FailureInfo& failure = ctx.pipe.m_failure;
    if (ctx.Cancelled()) {
        Fail(ctx, path);
        return;
    }
    ctx.strFailingPath = failure.m_strPath.empty() ? path : ToWide(failure.m_strPath);
    ctx.strFailureMessage = ToWide(failure.m_strMessage);
    if (ctx.strFailureMessage.empty()) ctx.strFailureMessage = LastErrorText();
    if (failure.m_strMessage == TEXT_SOURCE_SIZE_CHANGED)
        ctx.dialogue.Tell(
            UserMessage{SOURCE_PROGRAM, BUTTONS_OK, MARK_ERROR, BUILD_TOPIC_NONE,
                        FormatText(MSG_SOURCE_FAILED, ctx.strFailureMessage.c_str(), path.c_str())});
}

} // namespace

int ProcessFile(BuildContext& ctx, BuildRecord& record, const std::wstring& path)
{
    ctx.progress.SetPhaseText(path);
    if (record.info.m_nSize == 0) return 0;
    // A small file read ahead is encoded from memory; any other, or one the
    // reader could not get, is opened here, questions included.
    bool jobAhead = false;
    std::unique_ptr<MemoryFile> inMemory =
        ctx.filesAhead && record.pNode ? ctx.filesAhead->Take(*record.pNode, record.info.m_nSize, &jobAhead)
                                       : nullptr;
    const std::shared_ptr<std::vector<uint8_t>> sourceBytes = inMemory ? inMemory->SharedData() : nullptr;
    std::unique_ptr<IByteFile> file = std::move(inMemory);
    FileHandle source;
    if (!file) {
        if (OpenSource(ctx, path, source) != 0) return 1;
        file = ReportingByteFile(WrapFileHandle(source.Get(), false), ctx.dialogue);
    }
    PipelineContext& pipe = ctx.pipe;
    pipe.m_pSource = file.get();
    pipe.m_strSourcePath = ToU16(path);
    pipe.m_failure = FailureInfo{};
    pipe.m_bJobAhead = jobAhead;
    const int result = EncodeEntry(ctx, record, sourceBytes);
    pipe.m_bJobAhead = false;
    pipe.m_pSource = nullptr;
    file.reset();
    source.Reset();
    if (result == 0) return 0;
    FailEntry(ctx, path);
    return 1;
}

} // namespace zk
