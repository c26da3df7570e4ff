// The archive header and the parameter section, as the extractor reads them
// from a ".zka" (archive at the file's first byte), the texts decrypted with
// the key of the header's own time stamp. A section that parses must keep
// the promises its readers rely on, and must come back unchanged (texts cut
// as the builder cuts them) through the writer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/archive_format.h"
#include "core/byte_io.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

namespace {

void CheckText(const std::u16string& text)
{
    // A field holds at most 4096 bytes, and the text stops at its first zero.
    ZK_FUZZ_CHECK(text.size() <= TEXT_FIELD_MAX / 2);
    ZK_FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
}

// Writes the section again as a version-102 archive and reads it back.
void CheckRewrite(const ArchiveHeader& header, const ParameterSection& p)
{
    ArchiveHeader h = header;
    h.m_nVersion = FORMAT_VERSION;
    ParameterSection q = p;
    ZK_FUZZ_CHECK(PlaceTables(q, ARCHIVE_HEADER_SIZE, p.m_nDataOffset - p.m_nInfoOffset));
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    PutArchiveHeader(w, h);
    PutParameterSection(w, q);
    ZK_FUZZ_CHECK(bytes.size() == ARCHIVE_HEADER_SIZE + ParameterSectionSize(q));

    ArchiveHeader h2;
    ZK_FUZZ_CHECK(ParseArchiveHeader(bytes.data(), bytes.size(), &h2) == FormatStatus::Ok);
    MemoryByteSource src(bytes.data() + ARCHIVE_HEADER_SIZE, bytes.size() - ARCHIVE_HEADER_SIZE);
    ParameterSection r;
    ZK_FUZZ_CHECK(ParseParameterSection(src, h2, ARCHIVE_HEADER_SIZE, q.m_nDataOffset, &r) ==
                  FormatStatus::Ok);
    ZK_FUZZ_CHECK(src.Consumed() == bytes.size() - ARCHIVE_HEADER_SIZE);
    ZK_FUZZ_CHECK(r.m_strDestFolder == CutText(p.m_strDestFolder));
    ZK_FUZZ_CHECK(r.m_strTitle == CutText(p.m_strTitle));
    ZK_FUZZ_CHECK(r.m_strRunAfter == CutText(p.m_strRunAfter));
    ZK_FUZZ_CHECK(r.m_strComment == CutText(p.m_strComment));
    ZK_FUZZ_CHECK(r.m_nSfxFlags == p.m_nSfxFlags && r.m_nFileCount == p.m_nFileCount &&
                  r.m_nFolderCount == p.m_nFolderCount && r.m_nTotalSize == p.m_nTotalSize &&
                  r.m_nContentCount == p.m_nContentCount && r.m_nSizeEstimate == p.m_nSizeEstimate &&
                  r.m_nVolumeSizeMB == p.m_nVolumeSizeMB);
    ZK_FUZZ_CHECK(r.m_nTreeOffset == q.m_nTreeOffset && r.m_nInfoOffset == q.m_nInfoOffset &&
                  r.m_nDataOffset == q.m_nDataOffset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ArchiveHeader header;
    FormatStatus status = ParseArchiveHeader(data, size, &header);
    if (status == FormatStatus::VersionTooNew || status == FormatStatus::VersionTooOld) {
        // The section reader must refuse a version it cannot lay out even
        // when a caller skipped the header's own check.
        header.m_nVersion = LoadU16(data + ARCHIVE_MAGIC_SIZE);
        MemoryByteSource src(data + ARCHIVE_HEADER_SIZE, size - ARCHIVE_HEADER_SIZE);
        ParameterSection p;
        ZK_FUZZ_CHECK(ParseParameterSection(src, header, ARCHIVE_HEADER_SIZE, size, &p) == status);
        return 0;
    }
    if (status != FormatStatus::Ok) return 0;
    ZK_FUZZ_CHECK(size >= ARCHIVE_HEADER_SIZE);

    fuzz::UseTimeStampKey(header.m_nTimeStamp);
    TestCheckBlock(header.m_checkBlock);

    MemoryByteSource src(data + ARCHIVE_HEADER_SIZE, size - ARCHIVE_HEADER_SIZE);
    ParameterSection p;
    if (ParseParameterSection(src, header, ARCHIVE_HEADER_SIZE, size, &p) != FormatStatus::Ok) return 0;

    ZK_FUZZ_CHECK(src.Consumed() <= PARAMETER_MAX_SIZE);
    for (const std::u16string* text : {&p.m_strDestFolder, &p.m_strTitle, &p.m_strRunAfter, &p.m_strComment})
        CheckText(*text);
    // The tables follow the section without a gap and end inside the file;
    // the extractor seeks to these offsets without further checks.
    uint64_t entries = static_cast<uint64_t>(p.m_nFileCount) + p.m_nFolderCount;
    ZK_FUZZ_CHECK(p.m_nTreeOffset == ARCHIVE_HEADER_SIZE + src.Consumed());
    ZK_FUZZ_CHECK(p.m_nInfoOffset >= p.m_nTreeOffset &&
                  p.m_nInfoOffset - p.m_nTreeOffset == entries * TREE_RECORD_SIZE);
    ZK_FUZZ_CHECK(p.m_nDataOffset >= p.m_nInfoOffset && p.m_nDataOffset <= size);
    ZK_FUZZ_CHECK(p.m_nDataOffset - p.m_nInfoOffset >=
                  entries * MinInfoRecordSize(header.m_nVersion, header.m_nFlags));

    CheckRewrite(header, p);
    return 0;
}
