// The archive's head: header, parameter section and the room for the tables.

#include <cstring>
#include <vector>

#include "builder/engine/build_engine.h"
#include "builder/engine/build_messages.h"
#include "core/archive_key.h"
#include "core/byte_io.h"
#include "core/last_error.h"
#include "core/text_format.h"

namespace zk {

namespace {

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

// The header's bytes with the magic still zero: an unfinished archive is
// never taken for one.
std::vector<uint8_t> HeaderBytes(const BuildContext& ctx)
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
    return head;
}

// When the head does not fit the first volume: asks to raise the volume
// size to what it needs and writes the raised size into the section.
int RaiseVolumeSize(BuildContext& ctx)
{
    const uint64_t raised = (ctx.nDataOffset + MIB - 1) / MIB;
    if (raised > 0xFFFF) {
        SystemFailure(ctx, ctx.strArchivePath, SYSERR_FILE_TOO_LARGE);
        return 1;
    }
    const std::wstring question = FormatText(MSG_RAISE_SPLIT, static_cast<int>(raised));
    if (AskUser(ctx, BUILD_TOPIC_RAISE_SPLIT, BUTTONS_OK_CANCEL, question) != ANSWER_OK) {
        Fail(ctx, ctx.strArchivePath, question);
        return 1;
    }
    ctx.nVolumeSize = raised * MIB;
    uint8_t field[2];
    StoreU16(field, static_cast<uint16_t>(raised));
    if (SeekVolume0(ctx, ctx.nVolumeFieldPos) != 0 || WriteVolume0(ctx, field, sizeof field) != 0) return 1;
    if (SeekFile(ctx.volume0.Get(), 0, FROM_END) < 0) {
        SystemFailure(ctx, ctx.strArchivePath);
        return 1;
    }
    ctx.nSplitMB = static_cast<uint32_t>(raised);
    ctx.job.nRaisedSplitMB = ctx.nSplitMB;
    ctx.progress.ShowSettingsSummary(ctx.nSplitMB);
    return 0;
}

// Writes count zero bytes to volume 0 in pieces of pieceSize, testing the
// cancel flag after each.
int WriteZeros(BuildContext& ctx, uint64_t count, size_t pieceSize)
{
    std::vector<uint8_t> piece(pieceSize, 0);
    while (count != 0) {
        const uint64_t n = count < pieceSize ? count : pieceSize;
        if (WriteVolume0(ctx, piece.data(), static_cast<size_t>(n)) != 0) return 1;
        if (ctx.Cancelled()) return 1;
        count -= n;
    }
    return 0;
}

} // namespace

// Before anything of the head is written: an entry whose data began in
// volume 256 or later could not be named in its record. The volume size the
// head check may still raise it to is taken into account; the bound assumes
// that nothing compresses.
int CheckVolumeCount(BuildContext& ctx, uint64_t workSize)
{
    if (ctx.nSplitMB == 0) return 0;
    ParameterSection s = MakeParameterSection(ctx);
    const uint64_t dataOffset = ctx.nHeaderPos + ARCHIVE_HEADER_SIZE + ParameterSectionSize(s) +
                                uint64_t{TREE_RECORD_SIZE} * (uint64_t{ctx.nFileCount} + ctx.nFolderCount) +
                                workSize;
    uint64_t volumeSize = uint64_t{ctx.nSplitMB} * MIB;
    if (volumeSize < dataOffset) volumeSize = (dataOffset + MIB - 1) / MIB * MIB;
    const uint64_t end = dataOffset + StreamBound(ctx.nTotalSize, ctx.nContentCount, ctx.nBlockSize);
    if (end / volumeSize < VOLUME_COUNT_MAX) return 0;
    const uint64_t needed = end / VOLUME_COUNT_MAX + 1;
    const uint64_t neededMB = (needed + MIB - 1) / MIB;
    SetSystemError(SYSERR_FILE_TOO_LARGE);
    GetLastErrorText();
    FailWithMessage(ctx, ctx.strArchivePath,
                    FormatText(MSG_TOO_MANY_VOLUMES, static_cast<unsigned>(neededMB)));
    return 1;
}

int WriteHead(BuildContext& ctx, uint64_t workSize)
{
    std::vector<uint8_t> head = HeaderBytes(ctx);
    ParameterSection section = MakeParameterSection(ctx);
    const uint64_t sectionPos = ctx.nHeaderPos + ARCHIVE_HEADER_SIZE;
    if (!PlaceTables(section, sectionPos, workSize)) {
        SystemFailure(ctx, ctx.strArchivePath, SYSERR_ARITHMETIC_OVERFLOW);
        return 1;
    }
    ByteWriter w(head);
    const size_t volumeField = PutParameterSection(w, section);
    ctx.nVolumeFieldPos = sectionPos + volumeField;
    ctx.nTreeOffset = section.m_nTreeOffset;
    ctx.nInfoOffset = section.m_nInfoOffset;
    ctx.nDataOffset = section.m_nDataOffset;
    ctx.nVolumeSize = uint64_t{ctx.nSplitMB} * MIB;
    if (WriteVolume0(ctx, head.data(), head.size()) != 0) return 1;
    if (ctx.nVolumeSize != 0 && ctx.nVolumeSize < ctx.nDataOffset) return RaiseVolumeSize(ctx);
    return 0;
}

// Zero bytes where the tree and info tables will go. Tree records are
// written in runs of 4096; the cancel flag is tested after each run.
int WritePlaceholders(BuildContext& ctx, uint64_t workSize)
{
    const uint64_t entries = uint64_t{ctx.nFileCount} + ctx.nFolderCount;
    if (WriteZeros(ctx, entries * TREE_RECORD_SIZE, TREE_RECORD_SIZE * 4096) != 0) return 1;
    return WriteZeros(ctx, workSize, COPY_PIECE);
}

} // namespace zk
