// A whole archive head in memory, read the way the extractor reads it: when
// the input starts with "MZ" it is a self-extracting archive whose payload
// begins where the program image's last section ends; then the header, the
// parameter section (texts under the time-stamp key), the tree table and
// every entry's info record, each record bounded by the info table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/pe_image.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

namespace {

void CheckName(const std::vector<uint8_t>& name, bool narrow)
{
    ZK_FUZZ_CHECK(name.size() <= TEXT_FIELD_MAX);
    if (narrow) {
        for (uint8_t b : name)
            ZK_FUZZ_CHECK(b != 0);
        return;
    }
    ZK_FUZZ_CHECK(name.size() % 2 == 0);
    std::u16string text = NameBytesToUtf16(name);
    ZK_FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
    ZK_FUZZ_CHECK(Utf16ToNameBytes(text) == name);
    IsPlainEntryName(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint64_t payload = 0;
    if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
        uint32_t end = 0;
        if (!PeImageEnd(data, size, &end) || end > size) return 0;
        payload = end;
    }
    ArchiveHeader header;
    if (ParseArchiveHeader(data + payload, size - payload, &header) != FormatStatus::Ok) return 0;
    // The check block is not required to match: a damaged one only stops the
    // extractor earlier, and the readers below must hold up either way.
    fuzz::UseTimeStampKey(header.m_nTimeStamp);

    uint64_t sectionPos = payload + ARCHIVE_HEADER_SIZE;
    MemoryByteSource src(data + sectionPos, size - sectionPos);
    ParameterSection p;
    if (ParseParameterSection(src, header, sectionPos, size, &p) != FormatStatus::Ok) return 0;
    ZK_FUZZ_CHECK(p.m_nTreeOffset <= p.m_nInfoOffset && p.m_nInfoOffset <= p.m_nDataOffset &&
                  p.m_nDataOffset <= size);

    uint64_t entries = static_cast<uint64_t>(p.m_nFileCount) + p.m_nFolderCount;
    uint64_t infoTableSize = p.m_nDataOffset - p.m_nInfoOffset;
    uint32_t minInfo = MinInfoRecordSize(header.m_nVersion, header.m_nFlags);
    const uint8_t* tree = data + p.m_nTreeOffset;
    size_t treeSize = static_cast<size_t>(p.m_nInfoOffset - p.m_nTreeOffset);
    if (CheckTreeTable(tree, treeSize, entries, infoTableSize, minInfo) != FormatStatus::Ok) return 0;
    if (entries == 0) return 0;

    // The extractor's walk: a record, its children, then its next sibling.
    // CheckTreeTable promised that this ends, stays inside both tables and
    // never meets a record twice.
    const bool narrow = (header.m_nFlags & AF_NARROW_NAMES) != 0;
    std::vector<bool> seen(static_cast<size_t>(entries), false);
    std::vector<uint32_t> pending{0};
    while (!pending.empty()) {
        uint32_t offset = pending.back();
        pending.pop_back();
        ZK_FUZZ_CHECK(offset % TREE_RECORD_SIZE == 0 && offset / TREE_RECORD_SIZE < entries);
        size_t index = offset / TREE_RECORD_SIZE;
        ZK_FUZZ_CHECK(!seen[index]);
        seen[index] = true;

        TreeRecord rec;
        ZK_FUZZ_CHECK(ParseTreeRecord(tree + offset, treeSize - offset, &rec) == FormatStatus::Ok);
        ZK_FUZZ_CHECK(rec.m_nKind == NODE_FOLDER || rec.m_nFirstChild == 0);
        ZK_FUZZ_CHECK(static_cast<uint64_t>(rec.m_nInfo) + minInfo <= infoTableSize);

        MemoryByteSource recordSrc(data + p.m_nInfoOffset + rec.m_nInfo, infoTableSize - rec.m_nInfo);
        InfoRecord info;
        if (ParseInfoRecord(recordSrc, header, &info) == FormatStatus::Ok) {
            ZK_FUZZ_CHECK(recordSrc.Consumed() >= minInfo);
            if (header.m_nVersion == 100) ZK_FUZZ_CHECK(info.m_nMethod <= METHOD_LZ4);
            CheckName(info.m_name, narrow);
        }

        if (rec.m_nNextSibling != 0) pending.push_back(rec.m_nNextSibling);
        if (rec.m_nFirstChild != 0) pending.push_back(rec.m_nFirstChild);
    }
    return 0;
}
