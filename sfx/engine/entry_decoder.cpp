#include "sfx/engine/entry_decoder.h"

#include <deque>
#include <new>
#include <vector>

#include "core/decode_ahead.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "core/worker_threads.h"
#include "sfx/engine/archive_file.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/extract_support.h"

namespace zk {

namespace {

class EntryBytes : public IStoredBytes {
public:
    explicit EntryBytes(SpannedReader& reader) : m_reader(reader) {}
    int Read(uint8_t* dst, uint32_t count) override { return ReadSpanned(m_reader, dst, count); }

private:
    SpannedReader& m_reader;
};

// Writes decoded bytes to the output stream, hashes them and counts them.
// The progress counts at most the size the archive records for the file: a
// file that decodes longer would push the counter past the total it was
// made of, and taking the excess back later would make it go backwards.
class FileSink : public IDecodeSink {
public:
    FileSink(ExtractSession& s, FILE* out, IFileHash* hash, uint64_t recordedSize)
        : m_s(s), m_out(out), m_pHash(hash), m_nRecordedSize(recordedSize)
    {
    }
    int Put(const uint8_t* bytes, uint32_t count) override
    {
        SetSystemError(SYSERR_NONE);
        if (std::fwrite(bytes, 1, count, m_out) != count) {
            RecordStreamFailure();
            m_bWriteFailed = true;
            return 1;
        }
        if (m_pHash && m_pHash->Update(bytes, count) != 0) {
            m_bHashFailed = true;
            return 1;
        }
        const uint64_t counted = m_nWritten < m_nRecordedSize ? m_nWritten : m_nRecordedSize;
        m_nWritten += count;
        const uint64_t now = m_nWritten < m_nRecordedSize ? m_nWritten : m_nRecordedSize;
        m_s.m_progress.m_nDone += now - counted;
        m_s.m_progress.m_nLastProgress = WallClockSeconds();
        return 0;
    }
    uint64_t m_nWritten = 0;
    bool m_bWriteFailed = false;
    bool m_bHashFailed = false;

private:
    ExtractSession& m_s;
    FILE* m_out;
    IFileHash* m_pHash;
    const uint64_t m_nRecordedSize;
};

// The abort flag is an int shared with the window thread; the decoders
// watch a byte flag of their own, which the sink cannot set, so it is
// mirrored between pieces through this adapter.
struct AbortMirror : IDecodeSink {
    AbortMirror(IDecodeSink& inner, const std::atomic<int32_t>& abort, CancelFlag& flag)
        : m_inner(inner), m_abort(abort), m_flag(flag)
    {
    }
    int Put(const uint8_t* b, uint32_t n) override
    {
        if (m_abort.load()) m_flag = 1;
        return m_flag ? 1 : m_inner.Put(b, n);
    }
    IDecodeSink& m_inner;
    const std::atomic<int32_t>& m_abort;
    CancelFlag& m_flag;
};

using Decoder = int (*)(const DecodeParams&, const DecodeBuffers&, const DecodeEntryInfo&, IStoredBytes&,
                        IDecodeSink&, DecodeError*);

// Where the entry's data lies must agree with the volume it names: a
// hostile record could otherwise point a read before the volume's start.
bool PlacementIsSound(const ArchiveState& st, const EntryInfo& info)
{
    uint64_t start = st.m_nDataOffset + info.m_nDataOffset;
    if (start < st.m_nDataOffset || start + info.m_nStoredSize < start) return false;
    // Unsplit, everything lies in the one file; split, the volume files are
    // checked as they are opened.
    if (st.m_nVolumeSize == 0) return start + info.m_nStoredSize <= st.m_nFileSize;
    return start / st.m_nVolumeSize == info.m_nStartVolume;
}

VolumeSet RunVolumeSet(const ArchiveState& st, IVolumeFiles* files)
{
    VolumeSet set;
    set.m_pFiles = files;
    // The long form names the volumes too, so deep destinations and long
    // archive paths both work.
    set.m_strArchivePath = ToU16(LongPathForm(st.m_strArchivePath));
    set.m_nVolumeSize = st.m_nVolumeSize;
    set.m_nDataOffset = st.m_nDataOffset;
    return set;
}

// Decodes the entry's stored bytes into sink. 0, or 1 with the reason in
// *error (and a volume that failed in *failure). The run's decoding buffers
// are used: one thread decodes at a time.
int DecodeStoredBytes(ArchiveState& st, const VolumeSet& set, const std::atomic<int32_t>& abort,
                      const EntryInfo& info, Decoder decode, IDecodeSink& sink, CancelFlag& cancel,
                      DecodeError* error, FailureInfo* failure)
{
    *error = DecodeError::NONE;
    if (!PlacementIsSound(st, info)) {
        *error = DecodeError::CORRUPT;
        return 1;
    }
    SpannedReader reader(set, info.m_nStartVolume, info.m_nDataOffset, info.m_nStoredSize, failure);
    EntryBytes stored(reader);
    AbortMirror guarded(sink, abort, cancel);

    DecodeParams params;
    params.m_nBlockSize = st.m_buffers.m_nBlockSize;
    params.m_pCipher = st.HasPassword() ? &ArchiveKeyCipher() : nullptr;
    params.m_pCancel = &cancel;
    DecodeBuffers buffers;
    buffers.m_pOut = st.m_buffers.m_lz4Output.data();
    buffers.m_pIn = st.m_buffers.m_lz4Input.data();
    buffers.m_nInSize = static_cast<uint32_t>(st.m_buffers.m_lz4Input.size());
    buffers.m_pInflate = &st.m_buffers.m_inflate;
    DecodeEntryInfo entry;
    entry.m_nMethod = info.m_nMethod;
    entry.m_nUncompressedSize = info.m_nSize;
    entry.m_nStoredSize = info.m_nStoredSize;
    return decode(params, buffers, entry, stored, guarded, error);
}

EntryDataResult Run(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash, uint64_t* written,
                    Decoder decode)
{
    if (written) *written = 0;
    ArchiveState& st = s.m_state;
    if (!s.m_pVolumes) {
        s.m_pVolumes = std::make_unique<CachedVolumeFiles>(ReportingVolumeFiles(MakeVolumeFiles(), *s.m_pCallback),
                                                           CachedVolumeFiles::EXTRACT_READ_AHEAD);
        s.m_volumeSet = RunVolumeSet(st, s.m_pVolumes.get());
    }
    const VolumeSet& set = s.m_volumeSet;
    FailureInfo failure;
    FileSink sink(s, out, hash, info.m_nSize);
    CancelFlag cancel{static_cast<uint8_t>(s.m_ctx.m_nAbort ? 1 : 0)};
    DecodeError error = DecodeError::NONE;
    const int decoded =
        DecodeStoredBytes(st, set, s.m_ctx.m_nAbort, info, decode, sink, cancel, &error, &failure);
    if (written) *written = sink.m_nWritten;
    if (decoded == 0) return EntryDataResult::OK;
    if (cancel || s.m_ctx.m_nAbort) return EntryDataResult::ABORTED;
    if (sink.m_bWriteFailed) return EntryDataResult::WRITE_FAILED;
    if (sink.m_bHashFailed) return EntryDataResult::HASH_FAILED;
    // A volume that could not be opened or a failing read call was shown by
    // the volume files; data that simply ends is damage.
    if (error == DecodeError::READ && !failure.m_strMessage.empty()) return EntryDataResult::READ_FAILED;
    return EntryDataResult::DAMAGED;
}

// Tells nobody: the decoding thread keeps the code of each system failure
// it meets, to be told by the writing thread when it reaches the entry, so
// that the boxes come in the order the files are written.
class HeldReports : public IUserDialogue {
public:
    Answer Ask(const UserMessage&) override
    {
        if (m_pCodes) m_pCodes->push_back(LastErrorCode());
        return ANSWER_OK;
    }
    // Decoding thread only: the entry being decoded.
    std::vector<uint32_t>* m_pCodes = nullptr;
};

// The walk's files ahead of the file being written: at most this many
// entries and this many blocks of decoded bytes.
constexpr uint32_t AHEAD_ENTRIES = 64;
constexpr uint32_t AHEAD_BLOCKS = 4;

} // namespace

class EntryAhead {
public:
    EntryAhead(ExtractSession& s, const EntryNode& top, bool selectedOnly)
        : m_s(s), m_bSelectedOnly(selectedOnly), m_walk{top.m_pFirstChild}
    {
    }
    ~EntryAhead()
    {
        if (m_pDecoder) m_pDecoder->Stop();
    }

    bool Start()
    {
        ArchiveState& st = m_s.m_state;
        m_pVolumes = std::make_unique<CachedVolumeFiles>(ReportingVolumeFiles(MakeVolumeFiles(), m_held),
                                                         CachedVolumeFiles::EXTRACT_READ_AHEAD);
        m_set = RunVolumeSet(st, m_pVolumes.get());
        m_pDecoder =
            DecodeAhead::Create(st.m_buffers.m_nBlockSize, AHEAD_BLOCKS, AHEAD_ENTRIES, &m_s.m_ctx.m_nAbort);
        return m_pDecoder != nullptr;
    }

    // Adds the walk's next files while there is room, once half of those
    // waiting were taken: a decoder given one small file at a time would
    // be woken, and would wait again, once per file.
    void TopUp()
    {
        if (m_pDecoder->Waiting() > AHEAD_ENTRIES / 2) return;
        while (!m_bWalkEnded && m_pDecoder->HasRoom()) {
            EntryNode* node = NextFile();
            Waiting w;
            w.pNode = node;
            const EntryInfo* info = node ? node->m_pInfo.get() : nullptr;
            if (node && !info) {
                w.temporary = LoadInfoQuietly(*node);
                info = w.temporary.get();
            }
            // A record that cannot be read is met again, and reported, when
            // the walk reaches it.
            if (!info) {
                m_bWalkEnded = true;
                break;
            }
            w.reports = std::make_shared<std::vector<uint32_t>>();
            m_pDecoder->Add(MakeJob(*info, w.reports));
            m_listWaiting.push_back(std::move(w));
        }
    }

    bool NextIs(const EntryNode& node) const
    {
        return !m_listWaiting.empty() && m_listWaiting.front().pNode == &node;
    }
    std::unique_ptr<EntryInfo> TakeInfo() { return std::move(m_listWaiting.front().temporary); }

    EntryDataResult Deliver(uint64_t recordedSize, FILE* out, IFileHash* hash, uint64_t* written)
    {
        const std::shared_ptr<std::vector<uint32_t>> reports = m_listWaiting.front().reports;
        m_listWaiting.pop_front();
        FileSink sink(m_s, out, hash, recordedSize);
        int result = 0;
        const DecodeAhead::DeliverResult delivered = m_pDecoder->Deliver(sink, &result);
        if (written) *written = sink.m_nWritten;
        if (delivered == DecodeAhead::DELIVER_DONE) {
            // As the reading would have told them, had it happened here.
            for (uint32_t code : *reports) {
                SetSystemError(code);
                ReportSystemFailure(*m_s.m_pCallback);
            }
            if (result == DecodeAhead::JOB_THREW) throw std::bad_alloc();
            const auto r = static_cast<EntryDataResult>(result);
            if (r != EntryDataResult::OK && m_s.m_ctx.m_nAbort) return EntryDataResult::ABORTED;
            return r;
        }
        if (m_s.m_ctx.m_nAbort) return EntryDataResult::ABORTED;
        if (sink.m_bWriteFailed) return EntryDataResult::WRITE_FAILED;
        if (sink.m_bHashFailed) return EntryDataResult::HASH_FAILED;
        return EntryDataResult::ABORTED;
    }

    void Skip()
    {
        m_listWaiting.pop_front();
        m_pDecoder->Skip();
    }

private:
    struct Waiting {
        EntryNode* pNode = nullptr;
        std::unique_ptr<EntryInfo> temporary; // read ahead when the node holds none
        std::shared_ptr<std::vector<uint32_t>> reports;
    };

    // The files in ExtractFolder's order: children in sibling order, a
    // folder's files before its next sibling's.
    EntryNode* NextFile()
    {
        while (!m_walk.empty()) {
            EntryNode* node = m_walk.back();
            if (!node) {
                m_walk.pop_back();
                continue;
            }
            m_walk.back() = node->m_pNextSibling;
            if (m_bSelectedOnly && m_walk.size() == 1 && !node->m_bSelected) continue;
            if (node->IsFolder()) {
                m_walk.push_back(node->m_pFirstChild);
                continue;
            }
            return node;
        }
        return nullptr;
    }

    // Reading ahead must not fail the run: the failure belongs to the walk
    // when it gets there, after the files before it.
    std::unique_ptr<EntryInfo> LoadInfoQuietly(const EntryNode& node)
    {
        WorkerContext& ctx = m_s.m_ctx;
        const int32_t failed = ctx.m_nFailed;
        const uint32_t flags = m_s.m_state.m_nErrorFlags;
        std::wstring path = ctx.m_strFailingPath;
        std::wstring message = ctx.m_strMessage;
        const uint32_t code = SystemErrorCode();
        std::unique_ptr<EntryInfo> info = LoadEntryInfo(m_s, m_s.m_archive.Get(), node);
        if (!info) {
            ctx.m_nFailed = failed;
            m_s.m_state.m_nErrorFlags = flags;
            ctx.m_strFailingPath = std::move(path);
            ctx.m_strMessage = std::move(message);
            SetSystemError(code);
        }
        return info;
    }

    DecodeAhead::Job MakeJob(const EntryInfo& info, std::shared_ptr<std::vector<uint32_t>> reports)
    {
        EntryInfo copy = info;
        copy.m_strName.clear();
        return [this, copy, reports](IDecodeSink& sink) {
            ArchiveState& st = m_s.m_state;
            m_held.m_pCodes = reports.get();
            FailureInfo failure;
            CancelFlag cancel{static_cast<uint8_t>(m_s.m_ctx.m_nAbort ? 1 : 0)};
            DecodeError error = DecodeError::NONE;
            const int decoded = DecodeStoredBytes(st, m_set, m_s.m_ctx.m_nAbort, copy, &DecodeEntry, sink,
                                                  cancel, &error, &failure);
            m_held.m_pCodes = nullptr;
            EntryDataResult r = EntryDataResult::DAMAGED;
            if (decoded == 0)
                r = EntryDataResult::OK;
            else if (cancel || m_s.m_ctx.m_nAbort || error == DecodeError::SINK)
                r = EntryDataResult::ABORTED; // or no longer wanted: nobody takes it
            else if (error == DecodeError::READ && !failure.m_strMessage.empty())
                r = EntryDataResult::READ_FAILED;
            return static_cast<int>(r);
        };
    }

    ExtractSession& m_s;
    const bool m_bSelectedOnly;
    // Per level of the walk: the next node to look at.
    std::vector<EntryNode*> m_walk;
    bool m_bWalkEnded = false;
    std::deque<Waiting> m_listWaiting; // one per entry waiting in the decoder
    // The decoding thread's own: its volumes and what they would have told.
    HeldReports m_held;
    std::unique_ptr<IVolumeFiles> m_pVolumes;
    VolumeSet m_set;
    // Last: stopped before anything above goes away.
    std::unique_ptr<DecodeAhead> m_pDecoder;
};

void EntryAheadDeleter::operator()(EntryAhead* ahead) const
{
    delete ahead;
}

bool HandingOverPays(const ArchiveState& st)
{
    // Every file crosses between the two threads twice; for files of a few
    // kilobytes that costs more than their decoding or hashing (under Wine
    // far more: each wait is a round trip to its server), so such archives
    // are decoded and hashed where they are written.
    constexpr uint64_t MIN_AVERAGE = 256 * 1024;
    return st.m_nFileCount > 0 && st.m_nTotalSize / st.m_nFileCount >= MIN_AVERAGE;
}

bool SecondThreadPays(const ExtractSession& s)
{
    return WorkerThreadCount() > 1 && (s.m_bAheadForSmallFiles || HandingOverPays(s.m_state));
}

void StartDecodingAhead(ExtractSession& s, const EntryNode& top, bool selectedOnly)
{
    s.m_pAhead.reset();
    if (!SecondThreadPays(s)) return;
    std::unique_ptr<EntryAhead, EntryAheadDeleter> ahead(new EntryAhead(s, top, selectedOnly));
    if (!ahead->Start()) return;
    s.m_pAhead = std::move(ahead);
    s.m_pAhead->TopUp();
}

void StopDecodingAhead(ExtractSession& s)
{
    s.m_pAhead.reset();
}

FileEntryData::FileEntryData(ExtractSession& s, const EntryNode& node) : m_s(s)
{
    EntryAhead* ahead = s.m_pAhead.get();
    if (!ahead) return;
    ahead->TopUp();
    if (ahead->NextIs(node)) {
        m_pAhead = ahead;
        return;
    }
    // Out of step with the walk (a record the walk could not read ahead):
    // every file from here on is decoded as it is written.
    StopDecodingAhead(s);
}

FileEntryData::~FileEntryData()
{
    if (m_pAhead) m_pAhead->Skip();
}

std::unique_ptr<EntryInfo> FileEntryData::TakeInfo()
{
    return m_pAhead ? m_pAhead->TakeInfo() : nullptr;
}

EntryDataResult FileEntryData::Decode(const EntryInfo& info, FILE* out, IFileHash* hash, uint64_t* written)
{
    if (!m_pAhead) return DecodeEntryData(m_s, info, out, hash, written);
    EntryAhead* ahead = m_pAhead;
    m_pAhead = nullptr;
    return ahead->Deliver(info.m_nSize, out, hash, written);
}

void RecordStreamFailure()
{
    if (SystemErrorCode() == SYSERR_NONE) SetSystemError(SYSERR_DISK_FULL);
    GetLastErrorText();
}

EntryDataResult DecodeStored(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                             uint64_t* written)
{
    return Run(s, info, out, hash, written, &zk::DecodeStored);
}

EntryDataResult DecodeLz4(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                          uint64_t* written)
{
    return Run(s, info, out, hash, written, &zk::DecodeLz4);
}

EntryDataResult DecodeDeflate(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                              uint64_t* written)
{
    return Run(s, info, out, hash, written, &zk::DecodeDeflate);
}

EntryDataResult DecodeEntryData(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash,
                                uint64_t* written)
{
    switch (info.m_nMethod) {
    case METHOD_LZ4:
        return DecodeLz4(s, info, out, hash, written);
    case METHOD_DEFLATE:
        return DecodeDeflate(s, info, out, hash, written);
    default:
        return DecodeStored(s, info, out, hash, written);
    }
}

} // namespace zk
