#include "sfx/engine/entry_decoder.h"

#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "sfx/engine/archive_file.h"

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
class FileSink : public IDecodeSink {
public:
    FileSink(ExtractSession& s, FILE* out, IFileHash* hash) : m_s(s), m_out(out), m_pHash(hash) {}
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
        m_nWritten += count;
        m_s.m_progress.m_nDone += count;
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
};

// The abort flag is an int shared with the window thread; the decoders
// watch a byte flag of their own, which the sink cannot set, so it is
// mirrored between pieces through this adapter.
struct AbortMirror : IDecodeSink {
    AbortMirror(IDecodeSink& inner, ExtractSession& s, CancelFlag& flag)
        : m_inner(inner), m_s(s), m_flag(flag)
    {
    }
    int Put(const uint8_t* b, uint32_t n) override
    {
        if (m_s.m_ctx.m_nAbort) m_flag = 1;
        return m_flag ? 1 : m_inner.Put(b, n);
    }
    IDecodeSink& m_inner;
    ExtractSession& m_s;
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

EntryDataResult Run(ExtractSession& s, const EntryInfo& info, FILE* out, IFileHash* hash, uint64_t* written,
                    Decoder decode)
{
    if (written) *written = 0;
    ArchiveState& st = s.m_state;
    if (!PlacementIsSound(st, info)) return EntryDataResult::DAMAGED;

    if (!s.m_pVolumes)
        s.m_pVolumes =
            std::make_unique<CachedVolumeFiles>(ReportingVolumeFiles(MakeVolumeFiles(), *s.m_pCallback));
    VolumeSet set;
    set.m_pFiles = s.m_pVolumes.get();
    // The long form names the volumes too, so deep destinations and long
    // archive paths both work.
    set.m_strArchivePath = ToU16(LongPathForm(st.m_strArchivePath));
    set.m_nVolumeSize = st.m_nVolumeSize;
    set.m_nDataOffset = st.m_nDataOffset;
    FailureInfo failure;
    SpannedReader reader(set, info.m_nStartVolume, info.m_nDataOffset, info.m_nStoredSize, &failure);
    EntryBytes stored(reader);
    FileSink sink(s, out, hash);

    CancelFlag cancel{static_cast<uint8_t>(s.m_ctx.m_nAbort ? 1 : 0)};
    AbortMirror guarded(sink, s, cancel);

    DecodeParams params;
    params.m_nBlockSize = st.m_buffers.m_nBlockSize;
    params.m_pCipher = st.HasPassword() ? &ArchiveKeyCipher() : nullptr;
    params.m_pCancel = &cancel;
    DecodeBuffers buffers;
    buffers.m_pOut = st.m_buffers.m_lz4Output.data();
    buffers.m_pIn = st.m_buffers.m_lz4Input.data();
    buffers.m_nInSize = static_cast<uint32_t>(st.m_buffers.m_lz4Input.size());
    DecodeEntryInfo entry;
    entry.m_nMethod = info.m_nMethod;
    entry.m_nUncompressedSize = info.m_nSize;
    entry.m_nStoredSize = info.m_nStoredSize;

    DecodeError error = DecodeError::NONE;
    const int decoded = decode(params, buffers, entry, stored, guarded, &error);
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

} // namespace

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
