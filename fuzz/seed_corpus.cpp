// Writes the fuzz targets' seed inputs: archive heads laid out the way the
// builder lays them out (an empty file, nested folders, the older versions
// 100 and 101, long texts, a self-extracting front), entry names, program
// images, command lines, settings files, stored data and tree tables. The
// fuzzers mutate from valid inputs instead of guessing a magic, a version and
// consistent offsets by chance.
//
// Usage: fuzz_seed_corpus OUTPUT_FOLDER   (one sub-folder per target)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <lz4.h>
#include <zlib.h>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/byte_io.h"
#include "core/pe_image.h"
#include "core/serial_archive.h"
#include "core/settings_format.h"

using namespace zk;
namespace fs = std::filesystem;

namespace {

fs::path g_out;
int g_failures = 0;

void Write(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes)
{
    fs::path dir = g_out / target;
    fs::create_directories(dir);
    std::ofstream f(dir / name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "fuzz_seed_corpus: cannot write %s/%s\n", target.c_str(), name.c_str());
        ++g_failures;
    }
}

// One entry, listed depth-first; parent is an index into the list.
struct Entry {
    uint8_t kind;
    std::u16string name;
    uint32_t parent; // NO_ENTRY at the top level
    uint64_t size = 0;
};

struct HeadOptions {
    uint16_t version = FORMAT_VERSION;
    uint32_t flags = AF_MARK;
    uint64_t stamp = 0x01DB48A5C3E2F100ull;
    std::u16string dest, title, runAfter, comment;
    std::vector<uint8_t> front; // program image in front of the archive
};

std::vector<uint8_t> NameBytes(const std::u16string& name, bool narrow)
{
    if (!narrow) return Utf16ToNameBytes(name);
    // The low byte of each unit: a seed needs bytes in the narrow layout,
    // not a faithful code page.
    std::vector<uint8_t> b;
    for (char16_t c : name)
        b.push_back(static_cast<uint8_t>(c));
    return b;
}

// Versions 100 and 101: the name in a fixed field of N bytes, of which only
// the whole blocks are encrypted (and read).
void PutLegacyInfoRecord(ByteWriter& w, const InfoRecord& rec, uint32_t archiveFlags)
{
    // The fields before the name are those of the current record.
    InfoRecord front = rec;
    front.m_name.clear();
    std::vector<uint8_t> tmp;
    ByteWriter t(tmp);
    PutInfoRecord(t, front);
    w.Bytes(tmp.data(), 37);
    uint32_t n = LegacyNameFieldSize(archiveFlags);
    std::vector<uint8_t> field(n, 0);
    size_t copy = std::min<size_t>(rec.m_name.size(), n & ~15u);
    std::copy(rec.m_name.begin(), rec.m_name.begin() + copy, field.begin());
    EncryptBlocks(field.data(), static_cast<int32_t>(n & ~15u));
    w.Bytes(field.data(), n);
    w.U64(rec.m_nStoredSize);
    w.Bytes(rec.m_hash, sizeof rec.m_hash);
    w.U8(rec.m_nStartVolume);
    w.U64(rec.m_nDataOffset);
}

// The readers must take every head back, texts and names included: a seed
// they refuse would only teach the fuzzers the refusal. Entries are listed
// depth-first, the order of the info table.
bool ReadsBack(const std::vector<uint8_t>& head, const std::vector<Entry>& entries, const HeadOptions& o)
{
    const uint64_t payload = o.front.size();
    ArchiveHeader h;
    if (ParseArchiveHeader(head.data() + payload, head.size() - payload, &h) != FormatStatus::Ok)
        return false;
    if (!TestCheckBlock(h.m_checkBlock)) return false;
    const uint64_t sectionPos = payload + ARCHIVE_HEADER_SIZE;
    MemoryByteSource src(head.data() + sectionPos, head.size() - sectionPos);
    ParameterSection p;
    if (ParseParameterSection(src, h, sectionPos, head.size(), &p) != FormatStatus::Ok) return false;
    if (p.m_strDestFolder != CutText(o.dest) || p.m_strTitle != CutText(o.title) ||
        p.m_strRunAfter != CutText(o.runAfter) || p.m_strComment != CutText(o.comment))
        return false;
    if (CheckTreeTable(head.data() + p.m_nTreeOffset, p.m_nInfoOffset - p.m_nTreeOffset, entries.size(),
                       p.m_nDataOffset - p.m_nInfoOffset,
                       MinInfoRecordSize(h.m_nVersion, h.m_nFlags)) != FormatStatus::Ok)
        return false;
    uint64_t at = p.m_nInfoOffset;
    for (const Entry& e : entries) {
        MemoryByteSource record(head.data() + at, p.m_nDataOffset - at);
        InfoRecord info;
        if (ParseInfoRecord(record, h, &info) != FormatStatus::Ok) return false;
        if (info.m_name != NameBytes(e.name, (o.flags & AF_NARROW_NAMES) != 0)) return false;
        at += record.Consumed();
    }
    return at == p.m_nDataOffset;
}

std::vector<uint8_t> BuildHead(const std::vector<Entry>& entries, const HeadOptions& o)
{
    SetArchiveKeyBytes(TimeStampKeyText(o.stamp).c_str());
    const bool narrow = (o.flags & AF_NARROW_NAMES) != 0;
    const bool legacy = o.version < 102;

    std::vector<TreeEntry> tree(entries.size());
    std::vector<uint32_t> lastChild(entries.size(), NO_ENTRY);
    uint32_t first = NO_ENTRY, lastTop = NO_ENTRY;
    ParameterSection p;
    p.m_strDestFolder = o.dest;
    p.m_strTitle = o.title;
    p.m_strRunAfter = o.runAfter;
    p.m_strComment = o.comment;
    std::vector<uint8_t> info, stream;
    ByteWriter iw(info);
    for (uint32_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        tree[i].m_nKind = e.kind;
        tree[i].m_nInfoOffset = static_cast<uint32_t>(info.size());
        uint32_t& prev = e.parent == NO_ENTRY ? lastTop : lastChild[e.parent];
        if (prev == NO_ENTRY)
            (e.parent == NO_ENTRY ? first : tree[e.parent].m_nFirstChild) = i;
        else
            tree[prev].m_nNextSibling = i;
        prev = i;

        InfoRecord rec;
        rec.m_nMethod = e.size ? METHOD_LZ4 : METHOD_STORED;
        rec.m_nSize = e.size;
        rec.m_nAttributes = e.kind == NODE_FOLDER ? 0x10 : 0x20;
        rec.m_nWriteTime = o.stamp;
        rec.m_name = NameBytes(e.name, narrow);
        rec.m_nStoredSize = e.size;
        rec.m_nDataOffset = stream.size();
        stream.resize(stream.size() + e.size, 0x5A);
        if (legacy)
            PutLegacyInfoRecord(iw, rec, o.flags);
        else
            PutInfoRecord(iw, rec);
        if (e.kind == NODE_FOLDER) {
            ++p.m_nFolderCount;
        } else {
            ++p.m_nFileCount;
            p.m_nTotalSize += e.size;
            if (e.size) ++p.m_nContentCount;
        }
    }
    p.m_nSizeEstimate = p.m_nTotalSize;
    TreeLayout layout;
    if (!LayOutTree(tree, first, &layout)) {
        std::fprintf(stderr, "fuzz_seed_corpus: bad entry list\n");
        ++g_failures;
    }

    std::vector<uint8_t> out = o.front;
    ByteWriter w(out);
    ArchiveHeader h;
    h.m_nVersion = o.version;
    h.m_nTimeStamp = o.stamp;
    h.m_nFlags = o.flags;
    MakeCheckBlock(h.m_checkBlock);
    PutArchiveHeader(w, h);
    PlaceTables(p, w.Size(), info.size());
    PutParameterSection(w, p);
    if (legacy) out.resize(out.size() - PARAMETER_OFFSETS_SIZE);
    for (const TreeRecord& r : layout.m_records)
        PutTreeRecord(w, r);
    w.Bytes(info.data(), info.size());
    w.Bytes(stream.data(), stream.size());
    if (!ReadsBack(out, entries, o)) {
        std::fprintf(stderr, "fuzz_seed_corpus: the readers refuse a generated archive head\n");
        ++g_failures;
    }
    return out;
}

// The smallest image the extractor accepts as its own front: DOS header, NT
// headers and section headers, with the last section ending at the image's
// last byte.
std::vector<uint8_t> ProgramImage(const std::vector<std::pair<uint32_t, uint32_t>>& sections, uint32_t gap,
                                  bool is64 = false)
{
    uint32_t nt = PE_DOS_HEADER_SIZE + gap;
    size_t optional = is64 ? PE32PLUS_OPTIONAL_HEADER_SIZE : PE32_OPTIONAL_HEADER_SIZE;
    size_t table = PE_FILE_HEADER_END + optional;
    std::vector<uint8_t> img(nt + table + PE_SECTION_HEADER_SIZE * sections.size(), 0);
    img[0] = 'M';
    img[1] = 'Z';
    StoreU32(&img[60], nt);
    img[nt] = 'P';
    img[nt + 1] = 'E';
    StoreU16(&img[nt + 4], is64 ? 0x8664 : 0x14C); // x86-64 or i386
    StoreU16(&img[nt + 6], static_cast<uint16_t>(sections.size()));
    StoreU16(&img[nt + 20], static_cast<uint16_t>(optional));
    StoreU16(&img[nt + 24], is64 ? PE32PLUS_MAGIC : PE32_MAGIC);
    uint32_t end = 0;
    for (size_t i = 0; i < sections.size(); ++i) {
        uint8_t* s = &img[nt + table + PE_SECTION_HEADER_SIZE * i];
        std::snprintf(reinterpret_cast<char*>(s), 8, ".s%zu", i);
        StoreU32(s + 16, sections[i].first);  // SizeOfRawData
        StoreU32(s + 20, sections[i].second); // PointerToRawData
        end = std::max(end, sections[i].first + sections[i].second);
    }
    img.resize(std::max<size_t>(img.size(), end), 0xCC);
    return img;
}

void ArchiveHeads()
{
    const uint32_t T = NO_ENTRY;
    std::vector<Entry> emptyFile{{NODE_FILE, u"empty.txt", T}};
    std::vector<Entry> nested{
        {NODE_FOLDER, u"photos", T}, {NODE_FILE, u"a.jpg", 0, 40}, {NODE_FILE, u"b.jpg", 0, 3},
        {NODE_FOLDER, u"empty", 0},  {NODE_FOLDER, u"2024", 0},    {NODE_FILE, u"写真.png", 4, 7},
        {NODE_FOLDER, u"deeper", 4}, {NODE_FILE, u"x", 6},         {NODE_FILE, u"readme.txt", T, 12},
    };

    std::vector<std::pair<std::string, std::vector<uint8_t>>> heads;
    HeadOptions o;
    heads.emplace_back("no-entries", BuildHead({}, o));
    heads.emplace_back("single-empty-file", BuildHead(emptyFile, o));
    o.dest = u"C:\\出力";
    o.title = u"写真";
    o.comment = u"8 units";
    heads.emplace_back("nested-folders", BuildHead(nested, o));

    HeadOptions longTexts;
    longTexts.dest = std::u16string(2046, u'd');
    longTexts.title = std::u16string(8, u't'); // exactly one block, no zero unit
    longTexts.runAfter = std::u16string(3000, u'r');
    longTexts.comment = std::u16string(2045, u'c') + u"\U0001F600";
    heads.emplace_back("long-texts", BuildHead(emptyFile, longTexts));

    HeadOptions flags;
    flags.flags = AF_MARK | AF_PASSWORD | AF_HASH | AF_HIDDEN | AF_DEFLATE;
    heads.emplace_back("flags", BuildHead(nested, flags));
    flags.flags = AF_MARK | AF_NARROW_NAMES;
    heads.emplace_back("narrow-names", BuildHead(nested, flags));

    for (uint16_t version : {100, 101}) {
        for (uint32_t extra : {0u, AF_NARROW_NAMES, AF_LONG_NAMES, AF_NARROW_NAMES | AF_LONG_NAMES}) {
            HeadOptions legacy;
            legacy.version = version;
            legacy.flags = AF_MARK | extra;
            legacy.title = u"old";
            heads.emplace_back("v" + std::to_string(version) + "-flags-" + std::to_string(extra),
                               BuildHead(nested, legacy));
        }
    }

    HeadOptions sfx;
    sfx.front = ProgramImage({{0x200, 0x200}, {0x400, 0x400}}, 0x40);
    heads.emplace_back("self-extracting", BuildHead(nested, sfx));

    for (const auto& [name, bytes] : heads) {
        Write("archive_head_fuzz", name, bytes);
        Write("archive_tree_fuzz", name, bytes);
    }
}

void EntryNames()
{
    const std::u16string names[] = {u"a.txt",  u"写真.png", u"..",  u".",      u"a\\b",      u"c:x",
                                    u"dir/..", u"  .",      u"con", u"name. ", u"\U0001F600"};
    int i = 0;
    for (const std::u16string& name : names) {
        std::vector<uint8_t> in{0};
        std::vector<uint8_t> b = Utf16ToNameBytes(name);
        in.insert(in.end(), b.begin(), b.end());
        Write("entry_name_fuzz", "utf16-" + std::to_string(i++), in);
    }
    Write("entry_name_fuzz", "narrow", {1, 'a', 'b', 0x95, 0x5C, '.', 't', 'x', 't'});
    std::vector<uint8_t> full(1 + 16, 'n');
    full[0] = 0;
    Write("entry_name_fuzz", "one-block", full);
}

void ProgramImages()
{
    Write("pe_image_fuzz", "two-sections", ProgramImage({{0x200, 0x200}, {0x400, 0x400}}, 0x40));
    Write("pe_image_fuzz", "unordered", ProgramImage({{0x600, 0x1000}, {0x200, 0x400}, {0x100, 0x600}}, 0));
    Write("pe_image_fuzz", "pe32plus", ProgramImage({{0x400, 0x400}, {0x200, 0x800}}, 0x80, true));
    std::vector<uint8_t> stub = ProgramImage({{0x200, 0x200}}, 0x40);
    stub.resize(PE_DOS_HEADER_SIZE + 0x40 + PE_FILE_HEADER_END + PE32_OPTIONAL_HEADER_SIZE + PE_SECTION_HEADER_SIZE);
    Write("pe_image_fuzz", "headers-only", stub);
}

// ---- command line and hand-off block ---------------------------------------

void SplitterLines()
{
    const std::u16string lines[] = {
        u" C:\\a.txt \"C:\\with blank\\b.txt\" -O \"C:\\out dir\"",
        u" \"say \"\"hi\"\"\" plain  \"\" end",
        u"\t\"tab\tseparated\"\tx\r\ny",
        u" \"unterminated",
    };
    int i = 0;
    for (const std::u16string& line : lines) {
        std::vector<uint8_t> in = Utf16ToNameBytes(line);
        Write("quoted_field_splitter_fuzz", "line-" + std::to_string(i++), in);
    }
}

// ---- stored data ---------------------------------------------------------

// LZ4 records as the builder writes them: blocks of blockSize bytes, each
// compressed with the one before as dictionary, then a record of length 0.
std::vector<uint8_t> Lz4Records(const std::vector<uint8_t>& data, uint32_t blockSize)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    LZ4_stream_t stream;
    LZ4_initStream(&stream, sizeof stream);
    std::vector<uint8_t> ring(2 * static_cast<size_t>(blockSize));
    std::vector<char> block(LZ4_compressBound(static_cast<int>(blockSize)));
    size_t half = 0;
    for (size_t pos = 0; pos < data.size(); pos += blockSize, half ^= 1) {
        size_t n = std::min<size_t>(blockSize, data.size() - pos);
        uint8_t* piece = ring.data() + half * blockSize;
        std::copy(data.begin() + pos, data.begin() + pos + n, piece);
        int len = LZ4_compress_fast_continue(&stream, reinterpret_cast<const char*>(piece), block.data(),
                                             static_cast<int>(n), static_cast<int>(block.size()), 1);
        w.U32(static_cast<uint32_t>(len));
        w.Bytes(block.data(), static_cast<size_t>(len));
    }
    w.U32(0);
    return out;
}

std::vector<uint8_t> ZlibStream(const std::vector<uint8_t>& data)
{
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, data.data(), static_cast<uLong>(data.size()), 9);
    out.resize(n);
    return out;
}

void StoredData()
{
    std::vector<uint8_t> data;
    for (int i = 0; i < 600; ++i) {
        const char* words[] = {"zelkora ", "archive ", "volume ", "\x01\x02\x03 "};
        const char* word = words[(i * 7) % 4];
        data.insert(data.end(), word, word + std::strlen(word));
    }
    const uint32_t blockSizes[8] = {16, 32, 64, 256, 1024, 4096, 16384, 65536};
    for (uint8_t bs : {0, 3, 5, 7}) {
        for (uint8_t enc : {0, 4}) {
            auto put = [&](const char* kind, uint8_t method, const std::vector<uint8_t>& stored) {
                std::vector<uint8_t> in{static_cast<uint8_t>(method | enc | (bs << 3))};
                ByteWriter w(in);
                w.U32(static_cast<uint32_t>(data.size()));
                w.Bytes(stored.data(), stored.size());
                Write("block_decoder_fuzz",
                      std::string(kind) + "-" + std::to_string(bs) + "-" + std::to_string(enc), in);
            };
            put("stored", METHOD_STORED, data);
            put("lz4", METHOD_LZ4, Lz4Records(data, blockSizes[bs]));
            put("deflate", METHOD_DEFLATE, ZlibStream(data));
        }
    }
    // pipeline_roundtrip_fuzz: mode, shape, then the source; LZ4 sources
    // beyond 64 KiB so that blocks chain.
    std::vector<uint8_t> big;
    while (big.size() < 70000)
        big.insert(big.end(), data.begin(), data.end());
    for (uint8_t mode : {0x00, 0x01, 0x03, 0x05, 0x0A, 0x21, 0x2C, 0x45, 0x62, 0x7F}) {
        for (uint8_t shape : {0x00, 0x4D}) {
            const std::vector<uint8_t>& src = (mode & 1) && shape ? big : data;
            std::vector<uint8_t> in{mode, shape};
            in.insert(in.end(), src.begin(), src.end());
            Write("pipeline_roundtrip_fuzz", "m" + std::to_string(mode) + "-s" + std::to_string(shape), in);
        }
    }
    // decoder_fuzz encodes the first half of the payload itself (mode bit 7)
    // and damages the result with the second half.
    for (uint8_t mode : {0x81, 0x82, 0x85, 0x86}) {
        std::vector<uint8_t> in{mode, 0, 0, 0, 0};
        in.insert(in.end(), data.begin(), data.begin() + 1000);
        in.insert(in.end(), 997, 0); // zero masks: no damage
        in.insert(in.end(), {0x10, 0x00, 0x01});
        Write("decoder_fuzz", "encoded-" + std::to_string(mode), in);
    }
}

// ---- settings files --------------------------------------------------------

void SettingsFiles()
{
    EnvFields env;
    env.flags[ENV_VERIFY] = 1;
    env.flags[ENV_HASH] = 1;
    env.flags[ENV_USE_EXCLUSIONS] = 1;
    env.workFolder = u"C:\\作業";
    env.outputFolder = std::u16string(300, u'o'); // the 16-bit length form
    env.exclusions = {u"*.tmp", u"Thumbs.db", u""};
    MemorySink envSink;
    SerialArchive envOut(envSink);
    WriteEnvFields(envOut, env);
    envOut.Flush();
    Write("settings_fuzz", "env", envSink.m_bytes);

    PrmFields prm;
    prm.sourcePaths = {u"C:\\photos", u"D:\\文書\\a.txt"};
    prm.archivePath = u"C:\\out\\photos.exe";
    prm.splitMB = 700;
    prm.sfxTitle = u"写真";
    MemorySink prmSink;
    SerialArchive prmOut(prmSink);
    WritePrmFields(prmOut, prm);
    prmOut.Flush();
    Write("settings_fuzz", "sav", prmSink.m_bytes);

    // An older environment file: schema 100, ANSI strings without the mark.
    std::vector<uint8_t> old{100, 0, 0, 0};
    old.insert(old.end(), 12, 1);
    for (const char* s : {"C:\\work", ""}) {
        old.push_back(static_cast<uint8_t>(std::strlen(s)));
        old.insert(old.end(), s, s + std::strlen(s));
    }
    old.insert(old.end(), {0, 0, 0, 0});
    Write("settings_fuzz", "env-schema-100", old);
}

// ---- tree tables -------------------------------------------------------------

void TreeTables()
{
    // The shape of a small nested archive.
    std::vector<TreeEntry> nested(6);
    nested[0] = {NODE_FOLDER, 0, 1, 5};
    nested[1] = {NODE_FILE, 100, NO_ENTRY, 2};
    nested[2] = {NODE_FOLDER, 200, 3, NO_ENTRY};
    nested[3] = {NODE_FILE, 300, NO_ENTRY, 4};
    nested[4] = {NODE_FILE, 400, NO_ENTRY, NO_ENTRY};
    nested[5] = {NODE_FILE, 500, NO_ENTRY, NO_ENTRY};
    // Chains of folders below and beyond the depth the walk accepts.
    auto chainOf = [](uint32_t n) {
        std::vector<TreeEntry> chain(n);
        for (uint32_t i = 0; i < n; ++i)
            chain[i] = {NODE_FOLDER, 88 * i, i + 1 < n ? i + 1 : NO_ENTRY, NO_ENTRY};
        return chain;
    };
    const std::vector<TreeEntry> shortChain = chainOf(40), deepChain = chainOf(1100);
    int k = 0;
    for (const std::vector<TreeEntry>* entries :
         std::initializer_list<const std::vector<TreeEntry>*>{&nested, &shortChain, &deepChain}) {
        TreeLayout layout;
        if (!LayOutTree(*entries, 0, &layout)) ++g_failures;
        std::vector<uint8_t> in;
        ByteWriter w(in);
        w.U16(static_cast<uint16_t>(entries->size()));
        for (const TreeRecord& r : layout.m_records)
            PutTreeRecord(w, r);
        Write("tree_links_fuzz", "table-" + std::to_string(k++), in);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_corpus OUTPUT_FOLDER\n");
        return 2;
    }
    g_out = argv[1];
    ArchiveHeads();
    EntryNames();
    ProgramImages();
    SplitterLines();
    StoredData();
    SettingsFiles();
    TreeTables();
    return g_failures == 0 ? 0 : 1;
}
