#pragma once
// Writes complete archives from a tree held in memory, byte for byte as the
// builder lays them out (version 102), or in the earlier layouts 100 and 101
// that extractors still read. Tests of the extractor build their archives
// (sound and damaged) with it; it uses the format's writers and the
// pipeline's encoders, so what it writes is what the builder would.
//
// Everything here is byte-level: the key is set from ASCII key text, and
// names are ASCII when narrow unless the entry gives its stored bytes.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/memory_files.h"
#include "core/pipeline.h"

namespace zk::test {

struct TestEntry {
    std::u16string m_strName;
    bool m_bFolder = false;
    std::vector<uint8_t> m_data;
    uint8_t m_nMethod = METHOD_LZ4; // for files with data: LZ4, Deflate or stored
    uint32_t m_nAttributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    uint64_t m_nCreationTime = 0x01D0000000000000ull;
    uint64_t m_nAccessTime = 0x01D0000000000000ull;
    uint64_t m_nWriteTime = 0x01D0000000000000ull;
    std::vector<uint8_t> m_rawName; // stored name bytes, when not empty
    std::vector<TestEntry> m_children;
    // The tree record's kind byte, when not the one for a file or folder.
    int m_nKind = -1;
    // The uncompressed size the records give, when not the data's: a builder
    // whose source shrank or grew after it was listed. The stream and the
    // hash hold the data.
    int64_t m_nRecordedSize = -1;

    static TestEntry File(std::u16string name, std::vector<uint8_t> data, uint8_t method = METHOD_LZ4)
    {
        TestEntry e;
        e.m_strName = std::move(name);
        e.m_data = std::move(data);
        e.m_nMethod = method;
        return e;
    }
    static TestEntry Folder(std::u16string name, std::vector<TestEntry> children = {})
    {
        TestEntry e;
        e.m_strName = std::move(name);
        e.m_bFolder = true;
        e.m_nAttributes = 0x10; // FILE_ATTRIBUTE_DIRECTORY
        e.m_children = std::move(children);
        return e;
    }
};

struct TestArchiveOptions {
    std::string m_strPassword; // ASCII; empty: no password
    bool m_bHash = false;      // needs m_pHash
    IFileHash* m_pHash = nullptr;
    uint16_t m_nVersion = FORMAT_VERSION;
    bool m_bNarrowNames = false;
    bool m_bLongNames = false;
    uint16_t m_nVolumeSizeMB = 0;
    uint64_t m_nTimeStamp = 0x01DB123456789ABCull;
    uint32_t m_nSfxFlags = 0;
    std::u16string m_strDestFolder, m_strTitle, m_strRunAfter, m_strComment;
    std::vector<uint8_t> m_prefix; // the extractor program in front of a self-extracting archive
    uint32_t m_nBlockSize = 1u << 20;
    CompressLevel m_nLevel = CompressLevel::STANDARD;
};

// Where things ended up, for tests that damage them.
struct TestArchive {
    std::vector<std::vector<uint8_t>> m_volumes; // [0] the first file, then ".1", ".2", ...
    uint64_t m_nHeaderPos = 0;
    uint64_t m_nParameterPos = 0;
    ParameterSection m_params;
    // Per entry in depth-first order (a folder, then its contents): the
    // absolute position of its info record in the first file, of its tree
    // record, and the record as written.
    std::vector<uint64_t> m_infoPos;
    std::vector<uint64_t> m_treePos;
    std::vector<InfoRecord> m_info;
    bool m_bOk = false;
};

namespace detail {

struct Flat {
    const TestEntry* m_pEntry;
    TreeEntry m_tree;
};

inline uint32_t Flatten(const std::vector<TestEntry>& list, std::vector<Flat>& out)
{
    uint32_t first = NO_ENTRY, previous = NO_ENTRY;
    for (const TestEntry& e : list) {
        uint32_t self = static_cast<uint32_t>(out.size());
        out.push_back({&e, {}});
        uint8_t kind = e.m_bFolder ? NODE_FOLDER : NODE_FILE;
        if (e.m_nKind >= 0) kind = static_cast<uint8_t>(e.m_nKind);
        out[self].m_tree.m_nKind = kind;
        if (previous == NO_ENTRY)
            first = self;
        else
            out[previous].m_tree.m_nNextSibling = self;
        previous = self;
        uint32_t child = Flatten(e.m_children, out);
        out[self].m_tree.m_nFirstChild = child;
    }
    return first;
}

inline uint64_t RecordedSize(const TestEntry& e)
{
    return e.m_nRecordedSize >= 0 ? static_cast<uint64_t>(e.m_nRecordedSize) : e.m_data.size();
}

inline std::vector<uint8_t> NameBytes(const TestEntry& e, bool narrow)
{
    if (!e.m_rawName.empty()) return e.m_rawName;
    if (!narrow) return Utf16ToNameBytes(e.m_strName);
    std::vector<uint8_t> bytes;
    for (char16_t c : e.m_strName)
        bytes.push_back(static_cast<uint8_t>(c));
    return bytes;
}

// Versions 100 and 101: a fixed name field of n bytes. Old writers
// encrypted the name padded to whole blocks and kept the first n bytes.
inline void PutLegacyInfoRecord(ByteWriter& w, const InfoRecord& r, uint32_t n)
{
    w.U8(r.m_nMethod);
    w.U64(r.m_nSize);
    w.U32(r.m_nAttributes);
    w.U64(r.m_nCreationTime);
    w.U64(r.m_nAccessTime);
    w.U64(r.m_nWriteTime);
    std::vector<uint8_t> field(RoundUp16(n), 0);
    std::memcpy(field.data(), r.m_name.data(), std::min<size_t>(r.m_name.size(), n));
    EncryptBlocks(field.data(), static_cast<int32_t>(field.size()));
    w.Bytes(field.data(), n);
    w.U64(r.m_nStoredSize);
    w.Bytes(r.m_hash, 32);
    w.U8(r.m_nStartVolume);
    w.U64(r.m_nDataOffset);
}

} // namespace detail

inline TestArchive BuildTestArchive(const std::vector<TestEntry>& top, const TestArchiveOptions& o)
{
    TestArchive out;
    const bool legacy = o.m_nVersion < FORMAT_VERSION;
    std::vector<detail::Flat> flat;
    uint32_t first = detail::Flatten(top, flat);
    std::vector<TreeEntry> entries;
    for (const auto& f : flat)
        entries.push_back(f.m_tree);

    ArchiveHeader header;
    header.m_nVersion = o.m_nVersion;
    header.m_nTimeStamp = o.m_nTimeStamp;
    header.m_nFlags = AF_MARK | (o.m_strPassword.empty() ? 0 : AF_PASSWORD) | (o.m_bHash ? AF_HASH : 0) |
                      (o.m_bNarrowNames ? AF_NARROW_NAMES : 0) | (o.m_bLongNames ? AF_LONG_NAMES : 0);
    std::string keyText = o.m_strPassword.empty() ? TimeStampKeyText(o.m_nTimeStamp) : o.m_strPassword;
    SetArchiveKeyBytes(keyText.c_str());
    MakeCheckBlock(header.m_checkBlock);

    // Info records, in depth-first order, with their final sizes.
    std::vector<uint32_t> order = DepthFirstOrder(entries, first);
    std::vector<InfoRecord> info(flat.size());
    std::vector<uint32_t> infoOffset(flat.size());
    const uint32_t legacyName = LegacyNameFieldSize(header.m_nFlags);
    uint64_t infoSize = 0;
    for (uint32_t i : order) {
        const TestEntry& e = *flat[i].m_pEntry;
        InfoRecord& r = info[i];
        r.m_nMethod = (e.m_bFolder || e.m_data.empty()) ? METHOD_STORED : e.m_nMethod;
        r.m_nSize = e.m_bFolder ? 0 : detail::RecordedSize(e);
        r.m_nAttributes = e.m_nAttributes;
        r.m_nCreationTime = e.m_nCreationTime;
        r.m_nAccessTime = e.m_nAccessTime;
        r.m_nWriteTime = e.m_nWriteTime;
        r.m_name = detail::NameBytes(e, o.m_bNarrowNames);
        infoOffset[i] = static_cast<uint32_t>(infoSize);
        entries[i].m_nInfoOffset = infoOffset[i];
        infoSize += legacy ? LEGACY_INFO_RECORD_FIXED_SIZE + legacyName : InfoRecordSize(r.m_name.size());
    }
    TreeLayout layout;
    if (!LayOutTree(entries, first, &layout)) return out;

    ParameterSection& p = out.m_params;
    p.m_nSfxFlags = o.m_nSfxFlags;
    p.m_strDestFolder = o.m_strDestFolder;
    p.m_strTitle = o.m_strTitle;
    p.m_strRunAfter = o.m_strRunAfter;
    p.m_strComment = o.m_strComment;
    for (const auto& f : flat) {
        if (f.m_pEntry->m_bFolder) {
            ++p.m_nFolderCount;
        } else {
            ++p.m_nFileCount;
            p.m_nTotalSize += detail::RecordedSize(*f.m_pEntry);
            if (!f.m_pEntry->m_data.empty()) ++p.m_nContentCount;
        }
    }
    p.m_nSizeEstimate = p.m_nTotalSize;
    p.m_nVolumeSizeMB = o.m_nVolumeSizeMB;

    // The head: program, header, parameters, room for the tables.
    std::vector<uint8_t> head = o.m_prefix;
    ByteWriter w(head);
    out.m_nHeaderPos = head.size();
    PutArchiveHeader(w, header);
    out.m_nParameterPos = head.size();
    if (legacy) {
        uint64_t afterVolume = out.m_nParameterPos + ParameterSectionSize(p) - PARAMETER_OFFSETS_SIZE;
        if (!LegacyTableOffsets(afterVolume, flat.size(), header.m_nFlags, &p.m_nTreeOffset, &p.m_nInfoOffset,
                                &p.m_nDataOffset))
            return out;
        PutParameterSection(w, p);
        head.resize(head.size() - PARAMETER_OFFSETS_SIZE);
    } else {
        if (!PlaceTables(p, out.m_nParameterPos, infoSize)) return out;
        PutParameterSection(w, p);
    }
    head.resize(static_cast<size_t>(p.m_nDataOffset), 0);

    // The data stream, through the builder's encoders and volume writer.
    MemoryVolumeFiles files;
    auto volume0Data = files.File(u"arc");
    *volume0Data = head;
    MemoryFile volume0(volume0Data);
    volume0.SeekTo(head.size());
    VolumeSet set;
    set.m_pFiles = &files;
    set.m_strArchivePath = u"arc";
    set.m_nVolumeSize = static_cast<uint64_t>(o.m_nVolumeSizeMB) * VOLUME_UNIT;
    set.m_nDataOffset = p.m_nDataOffset;
    VolumeWriter writer;
    PipelineContext ctx;
    writer.Start(set, &volume0, &ctx.m_failure);
    std::unique_ptr<PipelineBuffers> buffers = PipelineBuffers::Allocate(o.m_nBlockSize);
    if (!buffers) return out;
    ctx.m_pBuffers = buffers.get();
    ctx.m_pWriter = &writer;
    ctx.m_pHash = o.m_bHash ? o.m_pHash : nullptr;
    ctx.m_pCipher = o.m_strPassword.empty() ? nullptr : &ArchiveKeyCipher();
    ctx.m_nLevel = o.m_nLevel;
    for (uint32_t i : order) {
        const TestEntry& e = *flat[i].m_pEntry;
        InfoRecord& r = info[i];
        r.m_nDataOffset = writer.m_nStreamBytes;
        uint8_t start = 0;
        if (!StartVolume(set.m_nDataOffset, r.m_nDataOffset, set.m_nVolumeSize, &start)) return out;
        r.m_nStartVolume = start;
        if (e.m_bFolder || e.m_data.empty()) continue;
        if (r.m_nMethod == METHOD_STORED) {
            std::vector<uint8_t> bytes = e.m_data;
            if (ctx.m_pCipher) {
                bytes.resize(RoundUp16(static_cast<uint32_t>(bytes.size())), 0);
                EncryptBlocks(bytes.data(), static_cast<int32_t>(bytes.size()));
            }
            if (ctx.m_pHash) {
                ctx.m_pHash->Begin();
                ctx.m_pHash->Update(e.m_data.data(), static_cast<uint32_t>(e.m_data.size()));
                ctx.m_pHash->End(r.m_hash);
            }
            if (WriteStream(writer, bytes.data(), static_cast<uint32_t>(bytes.size())) != 0) return out;
            r.m_nStoredSize = bytes.size();
            continue;
        }
        auto source = std::make_shared<std::vector<uint8_t>>(e.m_data);
        MemoryFile sourceFile(source);
        ctx.m_pSource = &sourceFile;
        PipelineEntry pe;
        pe.m_nUncompressedSize = e.m_data.size();
        pe.m_nDataOffset = r.m_nDataOffset;
        pe.m_nStartVolume = start;
        if (HashBegin(ctx) != 0) return out;
        int failed = r.m_nMethod == METHOD_DEFLATE ? DeflateEncodeEntry(ctx, pe) : Lz4EncodeEntry(ctx, pe);
        if (failed || HashEnd(ctx, r.m_hash) != 0) return out;
        r.m_nStoredSize = pe.m_nStoredSize;
        ctx.m_pSource = nullptr;
    }
    writer.CloseExtraVolume();

    // The tables, written into the head's room.
    std::vector<uint8_t>& first0 = *volume0Data;
    std::vector<uint8_t> tree;
    ByteWriter tw(tree);
    for (const TreeRecord& rec : layout.m_records)
        PutTreeRecord(tw, rec);
    std::memcpy(first0.data() + p.m_nTreeOffset, tree.data(), tree.size());
    for (uint32_t i : order) {
        std::vector<uint8_t> rec;
        ByteWriter rw(rec);
        if (legacy)
            detail::PutLegacyInfoRecord(rw, info[i], legacyName);
        else if (PutInfoRecord(rw, info[i]) != FormatStatus::Ok)
            return out;
        std::memcpy(first0.data() + p.m_nInfoOffset + infoOffset[i], rec.data(), rec.size());
        out.m_infoPos.push_back(p.m_nInfoOffset + infoOffset[i]);
        out.m_treePos.push_back(p.m_nTreeOffset + layout.m_treeOffset[i]);
        out.m_info.push_back(info[i]);
    }

    out.m_volumes.push_back(first0);
    for (uint32_t k = 1; files.Exists(VolumeName(u"arc", k)); ++k)
        out.m_volumes.push_back(*files.File(VolumeName(u"arc", k)));
    out.m_bOk = true;
    return out;
}

} // namespace zk::test
