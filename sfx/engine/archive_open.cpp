#include "sfx/engine/archive_open.h"

#include <cwctype>
#include <vector>

#include "core/archive_key.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"
#include "core/pe_image.h"
#include "sfx/engine/archive_file.h"
#include "sfx/engine/error_message.h"

namespace zk {

namespace {

// A failed system call: its text is the failure's message.
int FailWithSystemText(WorkerContext& ctx, ArchiveState& state, uint32_t flag = 0)
{
    GetLastErrorText();
    return RecordFailure(ctx, state, flag, std::wstring(), LastErrorText());
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(*b)) return false;
    }
    return *a == *b;
}

} // namespace

/*
 * DOS header: 64 bytes, the NT headers' position at byte 60. NT headers: the
 * section count and the optional header's size and kind (32- or 64-bit
 * program); the section table follows the optional header, 40 bytes per
 * section; the archive begins where the last section's raw data ends.
 */
int LocatePayload(const wchar_t* path, uint64_t* offset, IUserDialogue& dialogue)
{
    // Only a failing system call is told; a short read or a seek that lands
    // elsewhere means a damaged program file, which ends silently.
    auto systemFailure = [&dialogue] {
        dialogue.ReportSystemError();
        return 1;
    };
    FileHandle file(OpenFile(path, OPENMODE_READ));
    if (!file) return systemFailure();

    uint8_t dos[PE_DOS_HEADER_SIZE];
    int64_t got = ReadFully(file.Get(), dos, sizeof dos);
    if (got < 0) return systemFailure();
    uint32_t ntOffset = 0;
    if (got != static_cast<int64_t>(sizeof dos) || !PeNtHeadersOffset(dos, sizeof dos, &ntOffset)) return 1;

    int64_t at = SeekFile(file.Get(), ntOffset, FROM_BEGIN);
    if (at < 0) return systemFailure();
    if (at != static_cast<int64_t>(ntOffset)) return 1;
    uint8_t nt[PE_NT_PREFIX_SIZE];
    got = ReadFully(file.Get(), nt, sizeof nt);
    if (got < 0) return systemFailure();
    unsigned count = 0;
    uint32_t table = 0;
    if (got != static_cast<int64_t>(sizeof nt) || !PeSectionTable(nt, sizeof nt, &count, &table)) return 1;
    int64_t tablePos = static_cast<int64_t>(ntOffset) + table;
    at = SeekFile(file.Get(), tablePos, FROM_BEGIN);
    if (at < 0) return systemFailure();
    if (at != tablePos) return 1;

    std::vector<uint8_t> sections(static_cast<size_t>(count) * PE_SECTION_HEADER_SIZE);
    got = ReadFully(file.Get(), sections.data(), sections.size());
    if (got < 0) return systemFailure();
    uint32_t end = 0;
    if (got != static_cast<int64_t>(sections.size()) ||
        !PeSectionsEnd(sections.data(), sections.size(), count, &end))
        return 1;
    *offset = end;
    return 0;
}

int CheckHeader(WorkerContext& ctx, ArchiveState& state, IUserDialogue& dialogue)
{
    // An archive that cannot be opened at all is shown with the system's
    // reason: the table's messages all describe a file that was read.
    FileHandle file(OpenFile(state.m_strArchivePath.c_str(), OPENMODE_READ));
    if (!file) {
        int failed = FailWithSystemText(ctx, state);
        dialogue.ReportSystemError();
        return failed;
    }
    int64_t size = FileSizeOf(file.Get());
    if (size < 0) return FailWithSystemText(ctx, state);
    state.m_nFileSize = static_cast<uint64_t>(size);
    if (SeekFile(file.Get(), static_cast<int64_t>(state.m_nPayloadOffset), FROM_BEGIN) !=
        static_cast<int64_t>(state.m_nPayloadOffset))
        return FailWithSystemText(ctx, state);

    uint8_t bytes[ARCHIVE_HEADER_SIZE];
    int64_t got = ReadFully(file.Get(), bytes, sizeof bytes);
    if (got < 0) got = 0;
    switch (ParseArchiveHeader(bytes, static_cast<size_t>(got), &state.m_header)) {
    case FormatStatus::Ok:
        return 0;
    case FormatStatus::Short:
        return RecordFailure(ctx, state, ERR_NO_DATA);
    case FormatStatus::NotArchive:
        return RecordFailure(ctx, state, ERR_NOT_ARCHIVE);
    default: // a version above 102, or one below 100 that never existed
        return RecordFailure(ctx, state, ERR_VERSION);
    }
}

int CheckKey(WorkerContext& ctx, ArchiveState& state)
{
    std::wstring keyText;
    if (state.HasPassword()) {
        keyText = state.m_strPassword.substr(0, PASSWORD_KEY_CHARS);
    } else {
        std::string hex = TimeStampKeyText(state.m_header.m_nTimeStamp);
        keyText.assign(hex.begin(), hex.end());
    }
    SetArchiveKey(keyText.c_str());
    if (TestCheckBlock(state.m_header.m_checkBlock)) return 0;
    return RecordFailure(ctx, state, ERR_PASSWORD);
}

/*
 * Parameter section, right after the 50-byte header: u32 SFX flags; four
 * texts (u16 L + L encrypted bytes): destination, title, run-after command,
 * comment; u32 files; u32 folders; u64 total size; u32 content count; u64
 * size estimate; u16 volume size in MiB; from version 102 on three u64: the
 * tree table, info table and data stream positions.
 */
int ReadParameters(WorkerContext& ctx, ArchiveState& state)
{
    FileHandle file(OpenFile(state.m_strArchivePath.c_str(), OPENMODE_READ));
    if (!file) return FailWithSystemText(ctx, state, ERR_READ);
    int64_t size = FileSizeOf(file.Get());
    uint64_t sectionPos = state.m_nPayloadOffset + ARCHIVE_HEADER_SIZE;
    if (size < 0 || SeekFile(file.Get(), static_cast<int64_t>(sectionPos), FROM_BEGIN) !=
                        static_cast<int64_t>(sectionPos))
        return FailWithSystemText(ctx, state, ERR_READ);
    state.m_nFileSize = static_cast<uint64_t>(size);

    FileByteSource src(file.Get());
    ParameterSection section;
    if (ParseParameterSection(src, state.m_header, sectionPos, state.m_nFileSize, &section) !=
        FormatStatus::Ok)
        return RecordFailure(ctx, state, ERR_READ);

    state.m_nSfxFlags = section.m_nSfxFlags;
    state.m_strDestFolder = ToWide(section.m_strDestFolder);
    state.m_strTitle = ToWide(section.m_strTitle);
    state.m_strRunAfter = ToWide(section.m_strRunAfter);
    state.m_strComment = ToWide(section.m_strComment);
    state.m_nFileCount = section.m_nFileCount;
    state.m_nFolderCount = section.m_nFolderCount;
    state.m_nTotalSize = section.m_nTotalSize;
    state.m_nContentCount = section.m_nContentCount;
    state.m_nSizeEstimate = section.m_nSizeEstimate;
    state.m_nVolumeSize = static_cast<uint64_t>(section.m_nVolumeSizeMB) * VOLUME_UNIT;
    state.m_nTreeOffset = section.m_nTreeOffset;
    state.m_nInfoOffset = section.m_nInfoOffset;
    state.m_nDataOffset = section.m_nDataOffset;
    return 0;
}

OpenOutcome OpenArchive(WorkerContext& ctx, ArchiveState& state, const std::wstring& programPath,
                        IOpenCallback& callback)
{
    bool isExe = true;
    if (state.m_strArchivePath.empty()) {
        state.m_strArchivePath = programPath;
    } else {
        const wchar_t* ext = FindExtension(state.m_strArchivePath.c_str());
        if (!EqualsNoCase(ext, L".exe")) {
            isExe = false;
            if (EqualsNoCase(ext, L".zka")) {
                if (!PathExists(state.m_strArchivePath.c_str())) RecordFailure(ctx, state, ERR_NO_FILE);
            } else {
                RecordFailure(ctx, state, ERR_NOT_ARCHIVE);
            }
        }
    }
    state.m_nPayloadOffset = 0;
    if (isExe && LocatePayload(state.m_strArchivePath.c_str(), &state.m_nPayloadOffset, callback) != 0)
        return OpenOutcome::FAILED; // reported there, or silently for a damaged program file

    bool keyAccepted = false;
    if (state.m_nErrorFlags == 0 && CheckHeader(ctx, state, callback) == 0) {
        if (state.HasPassword()) {
            while (callback.AskPassword(&state.m_strPassword)) {
                if (CheckKey(ctx, state) == 0) {
                    keyAccepted = true;
                    break;
                }
                if (!(state.m_nErrorFlags & ERR_PASSWORD)) break;
                if (state.m_nPasswordAttempt++ >= PASSWORD_TRIES) break;
                state.m_nErrorFlags &= ~ERR_PASSWORD;
            }
        } else {
            keyAccepted = CheckKey(ctx, state) == 0;
        }
    }

    if (state.m_nErrorFlags == 0 && keyAccepted && ReadParameters(ctx, state) == 0) {
        // The workers report their own failures; the opening has none left.
        ctx.Clear();
        callback.RunMainWindow(state);
        return OpenOutcome::OPENED;
    }
    ShowErrorMessage(callback, ctx, state);
    return OpenOutcome::FAILED;
}

} // namespace zk
