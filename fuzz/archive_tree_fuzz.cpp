// A whole archive head in memory, read the way the extractor reads it: when
// the input starts with "MZ" it is a self-extracting archive whose payload
// begins where the program image's last section ends; then the header, the
// parameter section (texts under the time-stamp key), the tree table walked
// into linked entries, and every entry's info record, each bounded by the
// info table. Every entry whose name and every folder name above it pass the
// name check must resolve to a path inside the destination folder.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/entry_name.h"
#include "core/entry_tree.h"
#include "core/pe_image.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/path_oracle.h"

using namespace zk;

namespace {

constexpr char16_t DEST[] = u"work\\dest";

// The entry's name as the extractor sees it; empty when it cannot be used.
std::u16string EntryName(const std::vector<uint8_t>& name, bool narrow)
{
    ZK_FUZZ_CHECK(name.size() <= TEXT_FIELD_MAX);
    if (narrow) {
        // The code page's conversion is the platform's; ASCII is the same in
        // every code page the builder may have used.
        std::u16string text;
        for (uint8_t b : name) {
            ZK_FUZZ_CHECK(b != 0);
            if (b > 0x7F) return u"";
            text.push_back(b);
        }
        return text;
    }
    ZK_FUZZ_CHECK(name.size() % 2 == 0);
    std::u16string text = NameBytesToUtf16(name);
    ZK_FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
    ZK_FUZZ_CHECK(Utf16ToNameBytes(text) == name);
    return text;
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
    FormatStatus check = CheckTreeTable(tree, treeSize, entries, infoTableSize, minInfo);
    std::vector<TreeLink> links;
    FormatStatus walk = LoadTreeLinks(tree, treeSize, entries, &links);
    // The walk refuses what the check refuses for the table's own reasons;
    // the check alone knows the info table, the walk alone the depth limit.
    if (walk == FormatStatus::Ok) ZK_FUZZ_CHECK(check == FormatStatus::Ok || check == FormatStatus::BadTree);
    if (walk != FormatStatus::Ok) return 0;

    const bool narrow = (header.m_nFlags & AF_NARROW_NAMES) != 0;
    // Path of every entry so far, by link index; empty once a name on the
    // way is refused (the extractor then writes nothing below it).
    std::vector<std::u16string> paths(links.size());
    std::vector<bool> usable(links.size(), false);
    for (size_t i = 0; i < links.size(); ++i) {
        const TreeLink& l = links[i];
        ZK_FUZZ_CHECK(l.m_nParent == NO_ENTRY || l.m_nParent < i);
        uint64_t pos = p.m_nInfoOffset + l.m_nInfoOffset;
        // As the extractor: the record must lie inside the info table.
        if (pos > p.m_nDataOffset || p.m_nDataOffset - pos < minInfo) continue;
        MemoryByteSource recordSrc(data + pos, static_cast<size_t>(p.m_nDataOffset - pos));
        InfoRecord info;
        if (ParseInfoRecord(recordSrc, header, &info) != FormatStatus::Ok) continue;
        ZK_FUZZ_CHECK(recordSrc.Consumed() >= minInfo);
        std::u16string name = EntryName(info.m_name, narrow);
        bool parentUsable = l.m_nParent == NO_ENTRY || usable[l.m_nParent];
        if (!parentUsable || !IsSafeEntryName(name)) continue;
        ZK_FUZZ_CHECK(IsPlainEntryName(name));
        const std::u16string& parent = l.m_nParent == NO_ENTRY ? std::u16string(DEST) : paths[l.m_nParent];
        paths[i] = parent + u"\\" + name;
        usable[i] = true;

        std::vector<std::u16string> destParts, parts;
        ZK_FUZZ_CHECK(fuzz::ResolvePath(DEST, &destParts));
        ZK_FUZZ_CHECK(fuzz::ResolvePath(paths[i], &parts));
        ZK_FUZZ_CHECK(parts.size() == destParts.size() + l.m_nDepth);
        ZK_FUZZ_CHECK(std::equal(destParts.begin(), destParts.end(), parts.begin()));
    }
    return 0;
}
