#include "core/archive_format.h"

#include <cstring>

#include "core/archive_key.h"

namespace zk {

namespace {

bool AddU64(uint64_t a, uint64_t b, uint64_t* sum)
{
    if (a > UINT64_MAX - b) return false;
    *sum = a + b;
    return true;
}

bool MulU64(uint64_t a, uint64_t b, uint64_t* product)
{
    if (b != 0 && a > UINT64_MAX / b) return false;
    *product = a * b;
    return true;
}

uint64_t RoundUp16Wide(uint64_t n)
{
    return (n + 15) & ~static_cast<uint64_t>(15);
}

bool KnownVersion(uint16_t version)
{
    return version >= FORMAT_VERSION_OLDEST && version <= FORMAT_VERSION;
}

FormatStatus VersionStatus(uint16_t version)
{
    if (version > FORMAT_VERSION) return FormatStatus::VersionTooNew;
    if (version < FORMAT_VERSION_OLDEST) return FormatStatus::VersionTooOld;
    return FormatStatus::Ok;
}

// Length of a decrypted field's text in bytes: up to the first zero code
// unit (two bytes for UTF-16, one for narrow names) or the end.
size_t TextLength(const uint8_t* field, size_t length, bool narrow)
{
    if (narrow) {
        const void* zero = std::memchr(field, 0, length);
        return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - field) : length;
    }
    size_t units = length / 2;
    for (size_t i = 0; i < units; ++i)
        if (LoadU16(field + 2 * i) == 0) return 2 * i;
    return 2 * units;
}

// u16 L, then L encrypted bytes into a buffer of TEXT_FIELD_MAX bytes,
// decrypted in place with the current key.
FormatStatus ReadEncryptedField(ByteSource& src, uint8_t* field, uint32_t* length)
{
    uint8_t lengthBytes[2];
    if (!src.ReadExact(lengthBytes, 2)) return FormatStatus::Short;
    uint32_t l = LoadU16(lengthBytes);
    // Writers round every field up to whole blocks and cut texts so that a
    // field never exceeds 4096 bytes; anything else is not ours.
    if (l > TEXT_FIELD_MAX || l % 16 != 0) return FormatStatus::BadField;
    if (l != 0) {
        if (!src.ReadExact(field, l)) return FormatStatus::Short;
        DecryptBlocks(field, static_cast<int32_t>(l));
    }
    *length = l;
    return FormatStatus::Ok;
}

FormatStatus ReadTextField(ByteSource& src, std::u16string* text, uint32_t* length)
{
    uint8_t field[TEXT_FIELD_MAX];
    uint32_t l = 0;
    FormatStatus status = ReadEncryptedField(src, field, &l);
    if (status != FormatStatus::Ok) return status;
    *length = l;
    size_t bytes = TextLength(field, l, false);
    text->resize(bytes / 2);
    for (size_t i = 0; i < bytes / 2; ++i)
        (*text)[i] = LoadU16(field + 2 * i);
    return FormatStatus::Ok;
}

} // namespace

bool MemoryByteSource::ReadExact(uint8_t* buffer, size_t n)
{
    if (n > m_nSize - m_nPos) return false;
    if (n != 0) std::memcpy(buffer, m_p + m_nPos, n);
    m_nPos += n;
    return true;
}

/*
 * ArchiveHeader (50 bytes)
 *   0  4   magic "ZELK"
 *   4  u16 version (100, 101 or 102)
 *   6  u64 time stamp, FILETIME UTC; also the key of archives without password
 *  14  u32 archive flags (AF_*)
 *  18  32  check block: PASSWORD_CHECK encrypted as two blocks
 */

void PutArchiveHeader(ByteWriter& w, const ArchiveHeader& header)
{
    w.Bytes(ARCHIVE_MAGIC, ARCHIVE_MAGIC_SIZE);
    w.U16(header.m_nVersion);
    w.U64(header.m_nTimeStamp);
    w.U32(header.m_nFlags);
    w.Bytes(header.m_checkBlock, CHECK_BLOCK_SIZE);
}

FormatStatus ParseArchiveHeader(const uint8_t* data, size_t size, ArchiveHeader* out)
{
    if (!data || size < ARCHIVE_HEADER_SIZE) return FormatStatus::Short;
    if (std::memcmp(data, ARCHIVE_MAGIC, ARCHIVE_MAGIC_SIZE) != 0) return FormatStatus::NotArchive;
    ArchiveHeader h;
    ByteReader r(data + ARCHIVE_MAGIC_SIZE, ARCHIVE_HEADER_SIZE - ARCHIVE_MAGIC_SIZE);
    h.m_nVersion = r.U16();
    h.m_nTimeStamp = r.U64();
    h.m_nFlags = r.U32();
    std::memcpy(h.m_checkBlock, r.Bytes(CHECK_BLOCK_SIZE), CHECK_BLOCK_SIZE);
    FormatStatus status = VersionStatus(h.m_nVersion);
    if (status != FormatStatus::Ok) return status;
    *out = h;
    return FormatStatus::Ok;
}

// ---- encrypted text fields ----------------------------------------------

std::u16string_view CutText(std::u16string_view text)
{
    if (text.size() <= TEXT_MAX_UNITS) return text;
    size_t n = TEXT_MAX_UNITS;
    // Half a surrogate pair would leave an unpaired unit at the end.
    if (text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    return text.substr(0, n);
}

bool PutEncryptedField(ByteWriter& w, const uint8_t* bytes, size_t n)
{
    if (n > TEXT_FIELD_MAX) return false;
    // Zero filler: with room left the text is followed by a zero code unit.
    uint8_t field[TEXT_FIELD_MAX] = {};
    if (n != 0) std::memcpy(field, bytes, n);
    uint32_t l = RoundUp16(static_cast<uint32_t>(n));
    if (l != 0) EncryptBlocks(field, static_cast<int32_t>(l));
    w.U16(static_cast<uint16_t>(l));
    w.Bytes(field, l);
    return true;
}

void PutTextField(ByteWriter& w, std::u16string_view text)
{
    std::vector<uint8_t> bytes = Utf16ToNameBytes(CutText(text));
    PutEncryptedField(w, bytes.data(), bytes.size()); // always fits once cut
}

/*
 * ParameterSection, right after the header
 *   u32       SFX option flags (SF_*)
 *   u16 + L   destination folder  \
 *   u16 + L   window title         | encrypted UTF-16LE texts, L a multiple
 *   u16 + L   run-after command    | of 16 and at most 4096
 *   u16 + L   comment             /
 *   u32       file count
 *   u32       folder count
 *   u64       total size (uncompressed)
 *   u32       content count (files whose size is not 0)
 *   u64       size estimate
 *   u16       volume size in MiB, 0 = not split
 * version 102 only:
 *   u64       tree offset  = position right after this field
 *   u64       info offset  = tree offset + 13 x (files + folders)
 *   u64       data offset  = info offset + size of the info table
 * Versions 100 and 101 end after the volume size and compute the offsets:
 * tree right after it, info 13 bytes per entry later, data (86 + N) bytes per
 * entry after that, N the fixed name field (LegacyNameFieldSize).
 */

size_t ParameterSectionSize(const ParameterSection& section)
{
    size_t size = PARAMETER_FIXED_SIZE;
    for (const std::u16string* text :
         {&section.m_strDestFolder, &section.m_strTitle, &section.m_strRunAfter, &section.m_strComment})
        size += RoundUp16(static_cast<uint32_t>(2 * CutText(*text).size()));
    return size;
}

bool PlaceTables(ParameterSection& section, uint64_t sectionPos, uint64_t infoTableSize)
{
    uint64_t entries = static_cast<uint64_t>(section.m_nFileCount) + section.m_nFolderCount;
    uint64_t tree = 0, info = 0, data = 0, treeSize = 0;
    if (!AddU64(sectionPos, ParameterSectionSize(section), &tree)) return false;
    if (!MulU64(entries, TREE_RECORD_SIZE, &treeSize) || !AddU64(tree, treeSize, &info)) return false;
    if (!AddU64(info, infoTableSize, &data)) return false;
    section.m_nTreeOffset = tree;
    section.m_nInfoOffset = info;
    section.m_nDataOffset = data;
    return true;
}

size_t PutParameterSection(ByteWriter& w, const ParameterSection& section)
{
    size_t start = w.Size();
    w.U32(section.m_nSfxFlags);
    PutTextField(w, section.m_strDestFolder);
    PutTextField(w, section.m_strTitle);
    PutTextField(w, section.m_strRunAfter);
    PutTextField(w, section.m_strComment);
    w.U32(section.m_nFileCount);
    w.U32(section.m_nFolderCount);
    w.U64(section.m_nTotalSize);
    w.U32(section.m_nContentCount);
    w.U64(section.m_nSizeEstimate);
    size_t volumeField = w.Size() - start;
    w.U16(section.m_nVolumeSizeMB);
    w.U64(section.m_nTreeOffset);
    w.U64(section.m_nInfoOffset);
    w.U64(section.m_nDataOffset);
    return volumeField;
}

FormatStatus ParseParameterSection(ByteSource& src, const ArchiveHeader& header, uint64_t sectionPos,
                                   uint64_t fileSize, ParameterSection* out)
{
    if (!KnownVersion(header.m_nVersion)) return VersionStatus(header.m_nVersion);
    // Keeps every sum below free of overflow: the section is at most
    // PARAMETER_MAX_SIZE bytes.
    if (sectionPos > fileSize || sectionPos > UINT64_MAX - PARAMETER_MAX_SIZE)
        return FormatStatus::BadOffsets;

    ParameterSection p;
    uint64_t consumed = 0;
    uint8_t flags[4];
    if (!src.ReadExact(flags, sizeof flags)) return FormatStatus::Short;
    p.m_nSfxFlags = LoadU32(flags);
    consumed += sizeof flags;

    for (std::u16string* text : {&p.m_strDestFolder, &p.m_strTitle, &p.m_strRunAfter, &p.m_strComment}) {
        uint32_t l = 0;
        FormatStatus status = ReadTextField(src, text, &l);
        if (status != FormatStatus::Ok) return status;
        consumed += 2 + l;
    }

    uint8_t counts[PARAMETER_FIXED_SIZE_LEGACY - 4 - 4 * 2];
    if (!src.ReadExact(counts, sizeof counts)) return FormatStatus::Short;
    consumed += sizeof counts;
    ByteReader r(counts, sizeof counts);
    p.m_nFileCount = r.U32();
    p.m_nFolderCount = r.U32();
    p.m_nTotalSize = r.U64();
    p.m_nContentCount = r.U32();
    p.m_nSizeEstimate = r.U64();
    p.m_nVolumeSizeMB = r.U16();

    uint64_t entries = static_cast<uint64_t>(p.m_nFileCount) + p.m_nFolderCount;
    uint64_t afterVolumeField = sectionPos + consumed;
    if (header.m_nVersion >= 102) {
        uint8_t offsets[PARAMETER_OFFSETS_SIZE];
        if (!src.ReadExact(offsets, sizeof offsets)) return FormatStatus::Short;
        ByteReader o(offsets, sizeof offsets);
        p.m_nTreeOffset = o.U64();
        p.m_nInfoOffset = o.U64();
        p.m_nDataOffset = o.U64();
        // The tables follow the section without a gap, so stored offsets
        // that say otherwise belong to another position of these bytes or
        // to a damaged section. entries is below 2^33: no product overflows.
        if (p.m_nTreeOffset != afterVolumeField + PARAMETER_OFFSETS_SIZE) return FormatStatus::BadOffsets;
        if (p.m_nInfoOffset < p.m_nTreeOffset ||
            p.m_nInfoOffset - p.m_nTreeOffset != entries * TREE_RECORD_SIZE)
            return FormatStatus::BadOffsets;
        if (p.m_nDataOffset < p.m_nInfoOffset ||
            (p.m_nDataOffset - p.m_nInfoOffset) / INFO_RECORD_FIXED_SIZE < entries)
            return FormatStatus::BadOffsets;
    } else if (!LegacyTableOffsets(afterVolumeField, entries, header.m_nFlags, &p.m_nTreeOffset,
                                   &p.m_nInfoOffset, &p.m_nDataOffset)) {
        return FormatStatus::BadOffsets;
    }
    // The head lies wholly in the first file.
    if (p.m_nDataOffset > fileSize) return FormatStatus::BadOffsets;
    *out = std::move(p);
    return FormatStatus::Ok;
}

/*
 * TreeRecord (13 bytes)
 *   0  u8  kind: NODE_FOLDER (1) or anything else for a file
 *   1  u32 next sibling, tree-relative; 0 = none
 *   5  u32 first child, tree-relative; 0 = none (files, empty folders)
 *   9  u32 info-relative offset of the entry's InfoRecord
 * The top-level list starts at 0, so 0 is never a link and can mean none.
 */

void PutTreeRecord(ByteWriter& w, const TreeRecord& record)
{
    w.U8(record.m_nKind);
    w.U32(record.m_nNextSibling);
    w.U32(record.m_nFirstChild);
    w.U32(record.m_nInfo);
}

FormatStatus ParseTreeRecord(const uint8_t* data, size_t size, TreeRecord* out)
{
    if (!data || size < TREE_RECORD_SIZE) return FormatStatus::Short;
    ByteReader r(data, TREE_RECORD_SIZE);
    out->m_nKind = r.U8();
    out->m_nNextSibling = r.U32();
    out->m_nFirstChild = r.U32();
    out->m_nInfo = r.U32();
    return FormatStatus::Ok;
}

FormatStatus CheckTreeTable(const uint8_t* table, size_t size, uint64_t entryCount, uint64_t infoTableSize,
                            uint32_t minInfoRecordSize)
{
    if (entryCount == 0) return FormatStatus::Ok;
    if (!table || entryCount > size / TREE_RECORD_SIZE) return FormatStatus::Short;
    size_t count = static_cast<size_t>(entryCount);
    std::vector<bool> reached(count, false);
    // An explicit stack: a hostile archive may nest folders as deep as it
    // has records, which would exhaust the call stack of a recursive walk.
    std::vector<size_t> pending{0};
    while (!pending.empty()) {
        size_t index = pending.back();
        pending.pop_back();
        if (reached[index]) return FormatStatus::BadTree;
        reached[index] = true;
        TreeRecord rec;
        ParseTreeRecord(table + index * TREE_RECORD_SIZE, TREE_RECORD_SIZE, &rec);
        if (static_cast<uint64_t>(rec.m_nInfo) + minInfoRecordSize > infoTableSize)
            return FormatStatus::BadTree;
        if (rec.m_nKind != NODE_FOLDER && rec.m_nFirstChild != 0) return FormatStatus::BadTree;
        for (uint32_t link : {rec.m_nNextSibling, rec.m_nFirstChild}) {
            if (link == 0) continue;
            if (link % TREE_RECORD_SIZE != 0 || link / TREE_RECORD_SIZE >= entryCount)
                return FormatStatus::BadTree;
            pending.push_back(link / TREE_RECORD_SIZE);
        }
    }
    return FormatStatus::Ok;
}

/*
 * InfoRecord, version 102 (88 + L bytes)
 *    0  u8   method (METHOD_*)
 *    1  u64  uncompressed size
 *    9  u32  attributes           \
 *   13  u64  creation time         | the first 28 bytes of the directory
 *   21  u64  last-access time      | entry the system lists
 *   29  u64  last-write time      /
 *   37  u16  L, then L encrypted bytes: the name, zero-filled
 *   39+L u64 stored size
 *   47+L 32  SHA-256 of the content (zero without AF_HASH or for empty files)
 *   79+L u8  start volume
 *   80+L u64 data offset, relative to the data stream
 * Versions 100 and 101 have no L: the name is a fixed field of N bytes
 * (LegacyNameFieldSize), so a record is 86 + N bytes.
 */

uint32_t LegacyNameFieldSize(uint32_t archiveFlags)
{
    uint32_t n = (archiveFlags & AF_NARROW_NAMES) ? 260 : 520;
    return (archiveFlags & AF_LONG_NAMES) ? 2 * n : n;
}

uint32_t MinInfoRecordSize(uint16_t version, uint32_t archiveFlags)
{
    if (version >= 102) return INFO_RECORD_FIXED_SIZE;
    return LEGACY_INFO_RECORD_FIXED_SIZE + LegacyNameFieldSize(archiveFlags);
}

uint64_t InfoRecordSize(size_t nameBytes)
{
    return INFO_RECORD_FIXED_SIZE + RoundUp16Wide(nameBytes);
}

FormatStatus PutInfoRecord(ByteWriter& w, const InfoRecord& record)
{
    if (record.m_name.size() > TEXT_FIELD_MAX) return FormatStatus::BadField;
    w.U8(record.m_nMethod);
    w.U64(record.m_nSize);
    w.U32(record.m_nAttributes);
    w.U64(record.m_nCreationTime);
    w.U64(record.m_nAccessTime);
    w.U64(record.m_nWriteTime);
    PutEncryptedField(w, record.m_name.data(), record.m_name.size());
    w.U64(record.m_nStoredSize);
    w.Bytes(record.m_hash, sizeof record.m_hash);
    w.U8(record.m_nStartVolume);
    w.U64(record.m_nDataOffset);
    return FormatStatus::Ok;
}

FormatStatus ParseInfoRecord(ByteSource& src, const ArchiveHeader& header, InfoRecord* out)
{
    if (!KnownVersion(header.m_nVersion)) return VersionStatus(header.m_nVersion);
    InfoRecord rec;
    uint8_t head[37];
    if (!src.ReadExact(head, sizeof head)) return FormatStatus::Short;
    ByteReader r(head, sizeof head);
    rec.m_nMethod = r.U8();
    rec.m_nSize = r.U64();
    rec.m_nAttributes = r.U32();
    rec.m_nCreationTime = r.U64();
    rec.m_nAccessTime = r.U64();
    rec.m_nWriteTime = r.U64();

    uint8_t field[TEXT_FIELD_MAX];
    uint32_t nameField = 0;
    if (header.m_nVersion >= 102) {
        FormatStatus status = ReadEncryptedField(src, field, &nameField);
        if (status != FormatStatus::Ok) return status;
    } else {
        uint32_t n = LegacyNameFieldSize(header.m_nFlags);
        if (!src.ReadExact(field, n)) return FormatStatus::Short;
        // Fields of 260 and 520 bytes end in part of a block whose other
        // bytes were never stored, so that block cannot be decrypted: only
        // the whole blocks carry the name.
        nameField = n & ~15u;
        DecryptBlocks(field, static_cast<int32_t>(nameField));
    }
    size_t nameBytes = TextLength(field, nameField, (header.m_nFlags & AF_NARROW_NAMES) != 0);
    rec.m_name.assign(field, field + nameBytes);

    uint8_t tail[8 + 32 + 1 + 8];
    if (!src.ReadExact(tail, sizeof tail)) return FormatStatus::Short;
    ByteReader t(tail, sizeof tail);
    rec.m_nStoredSize = t.U64();
    std::memcpy(rec.m_hash, t.Bytes(sizeof rec.m_hash), sizeof rec.m_hash);
    rec.m_nStartVolume = t.U8();
    rec.m_nDataOffset = t.U64();
    if (header.m_nVersion == 100 && rec.m_nMethod != METHOD_STORED) rec.m_nMethod = METHOD_LZ4;
    *out = std::move(rec);
    return FormatStatus::Ok;
}

std::vector<uint8_t> Utf16ToNameBytes(std::u16string_view name)
{
    std::vector<uint8_t> bytes(2 * name.size());
    for (size_t i = 0; i < name.size(); ++i)
        StoreU16(&bytes[2 * i], name[i]);
    return bytes;
}

std::u16string NameBytesToUtf16(const std::vector<uint8_t>& bytes)
{
    std::u16string name(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < name.size(); ++i)
        name[i] = LoadU16(&bytes[2 * i]);
    return name;
}

bool IsPlainEntryName(std::u16string_view name)
{
    if (name.empty()) return false;
    bool onlyDotsAndSpaces = true;
    for (char16_t c : name) {
        if (c < 0x20) return false;
        switch (c) {
        case u'\\':
        case u'/':
        case u':':
        case u'*':
        case u'?':
        case u'"':
        case u'<':
        case u'>':
        case u'|':
            return false;
        default:
            break;
        }
        if (c != u'.' && c != u' ') onlyDotsAndSpaces = false;
    }
    // ".", ".." and their variants with trailing dots or spaces, which the
    // system trims to the same thing.
    return !onlyDotsAndSpaces;
}

// ---- layout rules -------------------------------------------------------

bool LayOutTree(const std::vector<TreeEntry>& entries, uint32_t firstTopLevel, TreeLayout* out)
{
    TreeLayout layout;
    size_t n = entries.size();
    if (firstTopLevel == NO_ENTRY) {
        if (n != 0) return false;
        *out = std::move(layout);
        return true;
    }
    // Every offset, the last one included, must fit the u32 link fields.
    if (n > UINT32_MAX / TREE_RECORD_SIZE) return false;
    layout.m_treeOffset.assign(n, NO_ENTRY);
    std::vector<bool> placed(n, false);
    // Sibling lists still to place, the next one on top; the order matches
    // placing a list and then recursing into each child list in turn.
    std::vector<uint32_t> lists{firstTopLevel};
    std::vector<uint32_t> parents;
    while (!lists.empty()) {
        uint32_t head = lists.back();
        lists.pop_back();
        parents.clear();
        for (uint32_t e = head; e != NO_ENTRY; e = entries[e].m_nNextSibling) {
            if (e >= n || placed[e]) return false;
            placed[e] = true;
            layout.m_treeOffset[e] = static_cast<uint32_t>(TREE_RECORD_SIZE * layout.m_writeOrder.size());
            layout.m_writeOrder.push_back(e);
            if (entries[e].m_nFirstChild != NO_ENTRY) {
                if (entries[e].m_nKind != NODE_FOLDER) return false;
                parents.push_back(entries[e].m_nFirstChild);
            }
        }
        lists.insert(lists.end(), parents.rbegin(), parents.rend());
    }
    if (layout.m_writeOrder.size() != n) return false;

    auto link = [&](uint32_t e) { return e == NO_ENTRY ? 0u : layout.m_treeOffset[e]; };
    layout.m_records.reserve(n);
    for (uint32_t e : layout.m_writeOrder) {
        const TreeEntry& entry = entries[e];
        TreeRecord rec;
        rec.m_nKind = entry.m_nKind;
        rec.m_nNextSibling = link(entry.m_nNextSibling);
        rec.m_nFirstChild = link(entry.m_nFirstChild);
        rec.m_nInfo = entry.m_nInfoOffset;
        layout.m_records.push_back(rec);
    }
    *out = std::move(layout);
    return true;
}

std::vector<uint32_t> DepthFirstOrder(const std::vector<TreeEntry>& entries, uint32_t firstTopLevel)
{
    std::vector<uint32_t> order;
    if (firstTopLevel == NO_ENTRY) return order;
    std::vector<bool> seen(entries.size(), false);
    std::vector<uint32_t> pending{firstTopLevel};
    while (!pending.empty()) {
        uint32_t e = pending.back();
        pending.pop_back();
        if (e >= entries.size() || seen[e]) return {};
        seen[e] = true;
        order.push_back(e);
        // The sibling waits below the children: a folder's contents come
        // before whatever follows the folder.
        if (entries[e].m_nNextSibling != NO_ENTRY) pending.push_back(entries[e].m_nNextSibling);
        if (entries[e].m_nFirstChild != NO_ENTRY) pending.push_back(entries[e].m_nFirstChild);
    }
    return order;
}

bool LegacyTableOffsets(uint64_t afterVolumeField, uint64_t entryCount, uint32_t archiveFlags,
                        uint64_t* treeOffset, uint64_t* infoOffset, uint64_t* dataOffset)
{
    uint64_t treeSize = 0, infoSize = 0, info = 0, data = 0;
    uint64_t recordSize = LEGACY_INFO_RECORD_FIXED_SIZE + LegacyNameFieldSize(archiveFlags);
    if (!MulU64(entryCount, TREE_RECORD_SIZE, &treeSize) || !AddU64(afterVolumeField, treeSize, &info))
        return false;
    if (!MulU64(entryCount, recordSize, &infoSize) || !AddU64(info, infoSize, &data)) return false;
    *treeOffset = afterVolumeField;
    *infoOffset = info;
    *dataOffset = data;
    return true;
}

bool StartVolume(uint64_t dataOffset, uint64_t entryDataOffset, uint64_t volumeSizeBytes, uint8_t* volume)
{
    if (volumeSizeBytes == 0) {
        *volume = 0;
        return true;
    }
    uint64_t position = 0;
    if (!AddU64(dataOffset, entryDataOffset, &position)) return false;
    uint64_t index = position / volumeSizeBytes;
    if (index > UINT8_MAX) return false;
    *volume = static_cast<uint8_t>(index);
    return true;
}

} // namespace zk
