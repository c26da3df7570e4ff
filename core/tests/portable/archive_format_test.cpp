#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/byte_io.h"

namespace {

using namespace zk;

constexpr uint64_t kStamp = 0x01DB48A5C3E2F100ull;

void UseTimeStampKey(uint64_t stamp)
{
    SetArchiveKeyBytes(TimeStampKeyText(stamp).c_str());
}

// One entry as collection finds it: listed depth-first, each naming its
// folder by index (NO_ENTRY at the top level).
struct Source {
    uint8_t kind;
    std::u16string name;
    uint64_t size;
    uint32_t parent;
};

struct Archive {
    std::vector<uint8_t> bytes;
    uint64_t payload = 0;
    ParameterSection params;
    TreeLayout layout;
    std::vector<uint32_t> infoOffsets; // per source
};

// Entries in collection order with their folders; returns links by index.
std::vector<TreeEntry> Link(const std::vector<std::pair<uint8_t, uint32_t>>& kindAndParent, uint32_t* first)
{
    std::vector<TreeEntry> e(kindAndParent.size());
    std::vector<uint32_t> last(e.size(), NO_ENTRY);
    uint32_t lastTop = NO_ENTRY;
    *first = NO_ENTRY;
    for (uint32_t i = 0; i < e.size(); ++i) {
        e[i].m_nKind = kindAndParent[i].first;
        e[i].m_nInfoOffset = 100 * i;
        uint32_t parent = kindAndParent[i].second;
        uint32_t& prev = parent == NO_ENTRY ? lastTop : last[parent];
        if (prev == NO_ENTRY)
            (parent == NO_ENTRY ? *first : e[parent].m_nFirstChild) = i;
        else
            e[prev].m_nNextSibling = i;
        prev = i;
    }
    return e;
}

// Writes a whole version-102 archive the way the builder lays it out; the
// data stream holds each file's bytes unchanged (the framing is not the
// records' business).
Archive BuildArchive(const std::vector<Source>& sources, uint64_t payload = 0, ParameterSection params = {})
{
    UseTimeStampKey(kStamp);
    Archive a;
    a.payload = payload;

    std::vector<std::pair<uint8_t, uint32_t>> shape;
    for (const Source& src : sources)
        shape.emplace_back(src.kind, src.parent);
    uint32_t first = NO_ENTRY;
    std::vector<TreeEntry> tree = Link(shape, &first);
    std::vector<uint8_t> info;
    ByteWriter iw(info);
    uint64_t stream = 0;
    params.m_nFileCount = params.m_nFolderCount = params.m_nContentCount = 0;
    params.m_nTotalSize = 0;
    for (uint32_t i = 0; i < sources.size(); ++i) {
        const Source& s = sources[i];
        tree[i].m_nInfoOffset = static_cast<uint32_t>(info.size());
        a.infoOffsets.push_back(tree[i].m_nInfoOffset);

        InfoRecord rec;
        rec.m_nMethod = s.size ? METHOD_LZ4 : METHOD_STORED;
        rec.m_nSize = s.size;
        rec.m_nAttributes = s.kind == NODE_FOLDER ? 0x10 : 0x20;
        rec.m_name = Utf16ToNameBytes(s.name);
        rec.m_nStoredSize = s.size;
        rec.m_nDataOffset = stream;
        stream += s.size;
        EXPECT_EQ(PutInfoRecord(iw, rec), FormatStatus::Ok);
        if (s.kind == NODE_FOLDER) {
            ++params.m_nFolderCount;
        } else {
            ++params.m_nFileCount;
            params.m_nTotalSize += s.size;
            if (s.size) ++params.m_nContentCount;
        }
    }
    params.m_nSizeEstimate = params.m_nTotalSize;
    EXPECT_TRUE(LayOutTree(tree, first, &a.layout));

    a.bytes.assign(payload, 0xE8);
    ByteWriter w(a.bytes);
    ArchiveHeader h;
    h.m_nTimeStamp = kStamp;
    h.m_nFlags = AF_MARK;
    MakeCheckBlock(h.m_checkBlock);
    PutArchiveHeader(w, h);
    EXPECT_TRUE(PlaceTables(params, w.Size(), info.size()));
    a.params = params;
    PutParameterSection(w, params);
    for (const TreeRecord& r : a.layout.m_records)
        PutTreeRecord(w, r);
    w.Bytes(info.data(), info.size());
    for (const Source& s : sources)
        w.Zeros(s.size);
    return a;
}

struct ReadBack {
    ArchiveHeader header;
    ParameterSection params;
    std::vector<TreeRecord> tree;
    std::vector<InfoRecord> infos; // in tree-table order
};

// Reads an archive as the extractor does, every table bounded by the file.
FormatStatus ReadArchive(const std::vector<uint8_t>& file, uint64_t payload, ReadBack* out)
{
    if (payload > file.size()) return FormatStatus::Short;
    FormatStatus s = ParseArchiveHeader(file.data() + payload, file.size() - payload, &out->header);
    if (s != FormatStatus::Ok) return s;
    UseTimeStampKey(out->header.m_nTimeStamp);
    uint64_t sectionPos = payload + ARCHIVE_HEADER_SIZE;
    MemoryByteSource src(file.data() + sectionPos, file.size() - sectionPos);
    s = ParseParameterSection(src, out->header, sectionPos, file.size(), &out->params);
    if (s != FormatStatus::Ok) return s;
    const ParameterSection& p = out->params;
    uint64_t count = static_cast<uint64_t>(p.m_nFileCount) + p.m_nFolderCount;
    uint64_t infoTable = p.m_nDataOffset - p.m_nInfoOffset;
    s = CheckTreeTable(file.data() + p.m_nTreeOffset, p.m_nInfoOffset - p.m_nTreeOffset, count, infoTable,
                       MinInfoRecordSize(out->header.m_nVersion, out->header.m_nFlags));
    if (s != FormatStatus::Ok) return s;
    for (uint64_t i = 0; i < count; ++i) {
        TreeRecord rec;
        s = ParseTreeRecord(file.data() + p.m_nTreeOffset + TREE_RECORD_SIZE * i, TREE_RECORD_SIZE, &rec);
        if (s != FormatStatus::Ok) return s;
        out->tree.push_back(rec);
        uint64_t at = p.m_nInfoOffset + rec.m_nInfo;
        MemoryByteSource recordSrc(file.data() + at, p.m_nDataOffset - at);
        InfoRecord info;
        s = ParseInfoRecord(recordSrc, out->header, &info);
        if (s != FormatStatus::Ok) return s;
        out->infos.push_back(info);
    }
    return FormatStatus::Ok;
}

// The bytes a writer makes, for comparing a parsed record with its source.
template <typename Put, typename Record> std::vector<uint8_t> BytesOf(Put put, const Record& record)
{
    std::vector<uint8_t> b;
    ByteWriter w(b);
    put(w, record);
    return b;
}

// A tree table's bytes.
std::vector<uint8_t> Table(const std::vector<TreeRecord>& records)
{
    std::vector<uint8_t> b;
    ByteWriter w(b);
    for (const TreeRecord& r : records)
        PutTreeRecord(w, r);
    return b;
}

// ---- whole archives ------------------------------------------------------

TEST(ArchiveLayout, SingleEmptyFile)
{
    Archive a = BuildArchive({{NODE_FILE, u"empty.txt", 0, NO_ENTRY}});
    ReadBack r;
    ASSERT_EQ(ReadArchive(a.bytes, 0, &r), FormatStatus::Ok);
    EXPECT_EQ(r.params.m_nFileCount, 1u);
    EXPECT_EQ(r.params.m_nFolderCount, 0u);
    EXPECT_EQ(r.params.m_nTotalSize, 0u);
    EXPECT_EQ(r.params.m_nContentCount, 0u);
    std::vector<uint8_t> tree(a.bytes.begin() + r.params.m_nTreeOffset,
                              a.bytes.begin() + r.params.m_nInfoOffset);
    EXPECT_EQ(tree, std::vector<uint8_t>(13, 0));
    ASSERT_EQ(r.infos.size(), 1u);
    EXPECT_EQ(r.infos[0].m_nMethod, METHOD_STORED);
    EXPECT_EQ(r.infos[0].m_nStoredSize, 0u);
    EXPECT_EQ(NameBytesToUtf16(r.infos[0].m_name), u"empty.txt");
    EXPECT_EQ(r.params.m_nDataOffset, a.bytes.size());
}

TEST(ArchiveLayout, FolderWithTwoFilesAndAnEmptySubfolder)
{
    Archive a = BuildArchive({{NODE_FOLDER, u"photos", 0, NO_ENTRY},
                              {NODE_FILE, u"a.jpg", 5, 0},
                              {NODE_FILE, u"b.jpg", 7, 0},
                              {NODE_FOLDER, u"empty", 0, 0}});
    ReadBack r;
    ASSERT_EQ(ReadArchive(a.bytes, 0, &r), FormatStatus::Ok);
    std::vector<uint8_t> tree(a.bytes.begin() + r.params.m_nTreeOffset,
                              a.bytes.begin() + r.params.m_nInfoOffset);
    EXPECT_EQ(tree, Table({{NODE_FOLDER, 0, 13, a.infoOffsets[0]},
                           {NODE_FILE, 26, 0, a.infoOffsets[1]},
                           {NODE_FILE, 39, 0, a.infoOffsets[2]},
                           {NODE_FOLDER, 0, 0, a.infoOffsets[3]}}));
    EXPECT_EQ(r.params.m_nFileCount, 2u);
    EXPECT_EQ(r.params.m_nFolderCount, 2u);
    EXPECT_EQ(r.params.m_nContentCount, 2u);
    EXPECT_EQ(r.params.m_nTotalSize, 12u);
    ASSERT_EQ(r.infos.size(), 4u);
    EXPECT_EQ(r.infos[2].m_nDataOffset, 5u);
    EXPECT_EQ(NameBytesToUtf16(r.infos[3].m_name), u"empty");
    EXPECT_EQ(r.params.m_nDataOffset + 12, a.bytes.size());
}

TEST(ArchiveLayout, AllTextsEmptyGiveA66ByteSectionAndTreeAt116)
{
    UseTimeStampKey(kStamp);
    ParameterSection p;
    p.m_nFileCount = 1;
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    ASSERT_TRUE(PlaceTables(p, 50, 88));
    size_t volumeField = PutParameterSection(w, p);
    EXPECT_EQ(bytes.size(), 66u);
    EXPECT_EQ(ParameterSectionSize(p), 66u);
    EXPECT_EQ(volumeField, 40u);
    EXPECT_EQ(p.m_nTreeOffset, 116u);
    EXPECT_EQ(p.m_nInfoOffset, 129u);
    EXPECT_EQ(p.m_nDataOffset, 217u);
    for (size_t at : {4, 6, 8, 10})
        EXPECT_EQ(LoadU16(&bytes[at]), 0u) << at;
}

TEST(ArchiveLayout, SelfExtractingArchiveStoresOffsetsPastTheProgram)
{
    const uint64_t program = 0x5A00;
    Archive a = BuildArchive({{NODE_FOLDER, u"d", 0, NO_ENTRY}, {NODE_FILE, u"f", 3, 0}}, program);
    ReadBack r;
    ASSERT_EQ(ReadArchive(a.bytes, program, &r), FormatStatus::Ok);
    EXPECT_EQ(r.params.m_nTreeOffset, program + 116);
    for (uint64_t offset : {r.params.m_nTreeOffset, r.params.m_nInfoOffset, r.params.m_nDataOffset})
        EXPECT_GT(offset, program);
    EXPECT_EQ(r.params.m_nDataOffset + 3, a.bytes.size());

    // The same archive bytes without the program in front are not readable.
    std::vector<uint8_t> cut(a.bytes.begin() + program, a.bytes.end());
    ReadBack moved;
    EXPECT_EQ(ReadArchive(cut, 0, &moved), FormatStatus::BadOffsets);
}

TEST(ArchiveLayout, CheckBlockOfAnArchiveWithoutPasswordOpensWithItsTimeStamp)
{
    Archive a = BuildArchive({{NODE_FILE, u"x", 1, NO_ENTRY}});
    SetArchiveKeyBytes("some other key");
    ArchiveHeader h;
    ASSERT_EQ(ParseArchiveHeader(a.bytes.data(), a.bytes.size(), &h), FormatStatus::Ok);
    EXPECT_EQ(h.m_nFlags & AF_PASSWORD, 0u);
    EXPECT_FALSE(TestCheckBlock(h.m_checkBlock));
    UseTimeStampKey(h.m_nTimeStamp);
    EXPECT_TRUE(TestCheckBlock(h.m_checkBlock));
    UseTimeStampKey(h.m_nTimeStamp + 1);
    EXPECT_FALSE(TestCheckBlock(h.m_checkBlock));
}

// ---- the header ----------------------------------------------------------

TEST(ArchiveHeaderRecord, WritesFiftyBytesAndReadsThemBack)
{
    ArchiveHeader h;
    h.m_nTimeStamp = 0x0102030405060708ull;
    h.m_nFlags = AF_PASSWORD | AF_HASH | AF_NARROW_NAMES | AF_DEFLATE | AF_MARK;
    for (size_t i = 0; i < CHECK_BLOCK_SIZE; ++i)
        h.m_checkBlock[i] = static_cast<uint8_t>(0xA0 + i);
    std::vector<uint8_t> b = BytesOf(PutArchiveHeader, h);
    ASSERT_EQ(b.size(), ARCHIVE_HEADER_SIZE);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "ZELK");
    EXPECT_EQ(LoadU16(&b[4]), 102u);
    EXPECT_EQ(LoadU64(&b[6]), h.m_nTimeStamp);
    EXPECT_EQ(LoadU32(&b[14]), 0x11000103u);
    EXPECT_EQ(b[18], 0xA0);
    EXPECT_EQ(b[49], 0xA0 + 31);

    ArchiveHeader back;
    ASSERT_EQ(ParseArchiveHeader(b.data(), b.size(), &back), FormatStatus::Ok);
    EXPECT_EQ(BytesOf(PutArchiveHeader, back), b);
}

TEST(ArchiveHeaderRecord, AcceptsVersions100To102AfterLengthAndMagic)
{
    struct Case {
        uint16_t version;
        FormatStatus expected;
    } cases[] = {
        {0, FormatStatus::VersionTooOld},
        {99, FormatStatus::VersionTooOld},
        {100, FormatStatus::Ok},
        {101, FormatStatus::Ok},
        {102, FormatStatus::Ok},
        {103, FormatStatus::VersionTooNew},
        {0xFFFF, FormatStatus::VersionTooNew},
    };
    ArchiveHeader h, out;
    for (const Case& c : cases) {
        h.m_nVersion = c.version;
        std::vector<uint8_t> b = BytesOf(PutArchiveHeader, h);
        EXPECT_EQ(ParseArchiveHeader(b.data(), b.size(), &out), c.expected) << c.version;
    }
    // Too short beats a bad version, a bad magic too.
    std::vector<uint8_t> b = BytesOf(PutArchiveHeader, h);
    for (size_t n = 0; n < ARCHIVE_HEADER_SIZE; ++n)
        EXPECT_EQ(ParseArchiveHeader(b.data(), n, &out), FormatStatus::Short) << n;
    b[3] = 'Z';
    EXPECT_EQ(ParseArchiveHeader(b.data(), b.size(), &out), FormatStatus::NotArchive);
}

// ---- text fields ---------------------------------------------------------

TEST(TextField, LengthIsTheTextRoundedToBlocksAndEveryUnitComesBack)
{
    UseTimeStampKey(kStamp);
    struct Case {
        size_t units;
        uint16_t length;
        size_t unitsBack;
    } cases[] = {
        {0, 0, 0}, {1, 16, 1}, {7, 16, 7}, {8, 16, 8}, {9, 32, 9}, {2046, 4096, 2046}, {3000, 4096, 2046},
    };
    for (const Case& c : cases) {
        std::u16string text(c.units, u'\0');
        for (size_t i = 0; i < c.units; ++i)
            text[i] = static_cast<char16_t>(0x3041 + i % 80);
        std::vector<uint8_t> b = BytesOf(PutTextField, std::u16string_view(text));
        ASSERT_EQ(b.size(), 2u + c.length) << c.units;
        EXPECT_EQ(LoadU16(b.data()), c.length);

        // Decrypted, the field is the text and zeros after it.
        std::vector<uint8_t> plain(b.begin() + 2, b.end());
        if (!plain.empty()) {
            EXPECT_NE(0, std::memcmp(plain.data(), Utf16ToNameBytes(text).data(), 2 * c.unitsBack))
                << "texts are stored encrypted";
            DecryptBlocks(plain.data(), static_cast<int32_t>(plain.size()));
        }
        std::vector<uint8_t> expected = Utf16ToNameBytes(std::u16string_view(text).substr(0, c.unitsBack));
        expected.resize(c.length, 0);
        EXPECT_EQ(plain, expected) << c.units;

        ParameterSection p;
        p.m_strComment = text;
        ASSERT_TRUE(PlaceTables(p, 50, 0));
        std::vector<uint8_t> section = BytesOf(PutParameterSection, p);
        MemoryByteSource src(section.data(), section.size());
        ParameterSection back;
        ASSERT_EQ(ParseParameterSection(src, ArchiveHeader{}, 50, 50 + section.size(), &back),
                  FormatStatus::Ok);
        EXPECT_EQ(back.m_strComment, text.substr(0, c.unitsBack)) << c.units;
        EXPECT_EQ(src.Consumed(), section.size());
    }
}

TEST(TextField, ReaderStopsAtTheFirstZeroUnit)
{
    UseTimeStampKey(kStamp);
    ParameterSection p;
    p.m_strTitle = std::u16string(u"ab\0c", 4);
    ASSERT_TRUE(PlaceTables(p, 50, 0));
    std::vector<uint8_t> b = BytesOf(PutParameterSection, p);
    EXPECT_EQ(LoadU16(&b[6]), 16u);
    MemoryByteSource src(b.data(), b.size());
    ParameterSection back;
    ASSERT_EQ(ParseParameterSection(src, ArchiveHeader{}, 50, 50 + b.size(), &back), FormatStatus::Ok);
    EXPECT_EQ(back.m_strTitle, u"ab");
}

TEST(TextField, CuttingNeverSplitsASurrogatePair)
{
    std::u16string text(TEXT_MAX_UNITS - 1, u'a');
    text += u"\U0001F600";
    EXPECT_EQ(CutText(text).size(), TEXT_MAX_UNITS - 1);
    text = std::u16string(TEXT_MAX_UNITS - 2, u'a') + u"\U0001F600" + u"b";
    EXPECT_EQ(CutText(text).size(), TEXT_MAX_UNITS);
}

// ---- parameter section ---------------------------------------------------

TEST(ParameterSectionRecord, RoundTripKeepsEveryField)
{
    UseTimeStampKey(kStamp);
    ParameterSection p;
    p.m_nSfxFlags = SF_SHOW_LIST | SF_NO_UI;
    p.m_strDestFolder = u"C:\\展開先";
    p.m_strTitle = u"写真";
    p.m_strRunAfter = u"setup.exe /quiet";
    p.m_strComment = u"コメント\r\n二行目";
    p.m_nFileCount = 7;
    p.m_nFolderCount = 3;
    p.m_nTotalSize = 0x123456789ull;
    p.m_nContentCount = 6;
    p.m_nSizeEstimate = 0x123456789ull;
    p.m_nVolumeSizeMB = 700;
    const uint64_t start = 1000 + 50;
    ASSERT_TRUE(PlaceTables(p, start, 10 * 120));
    std::vector<uint8_t> b;
    ByteWriter w(b);
    size_t volumeField = PutParameterSection(w, p);
    EXPECT_EQ(b.size(), ParameterSectionSize(p));
    EXPECT_EQ(LoadU16(&b[volumeField]), 700u);
    EXPECT_EQ(p.m_nTreeOffset, start + b.size());
    EXPECT_EQ(volumeField + 2 + 24, b.size());

    MemoryByteSource src(b.data(), b.size());
    ParameterSection q;
    ASSERT_EQ(ParseParameterSection(src, ArchiveHeader{}, start, p.m_nDataOffset, &q), FormatStatus::Ok);
    EXPECT_EQ(q.m_strComment, p.m_strComment);
    EXPECT_EQ(BytesOf(PutParameterSection, q), b);
}

// ---- tree table ----------------------------------------------------------

TEST(TreeLayoutRule, PlacesEachSiblingListBeforeDescendingIntoItsChildren)
{
    // 0 A/  1 A/A1/  2 A/A1/x  3 A/A2  4 B/  5 B/B1  6 C
    uint32_t first = 0;
    auto e = Link({{NODE_FOLDER, NO_ENTRY},
                   {NODE_FOLDER, 0},
                   {NODE_FILE, 1},
                   {NODE_FILE, 0},
                   {NODE_FOLDER, NO_ENTRY},
                   {NODE_FILE, 4},
                   {NODE_FILE, NO_ENTRY}},
                  &first);
    TreeLayout t;
    ASSERT_TRUE(LayOutTree(e, first, &t));
    // Top level A B C, then A's list A1 A2, then A1's x, then B's B1.
    EXPECT_EQ(t.m_writeOrder, (std::vector<uint32_t>{0, 4, 6, 1, 3, 2, 5}));
    EXPECT_EQ(t.m_treeOffset, (std::vector<uint32_t>{0, 39, 65, 52, 13, 78, 26}));
    std::vector<uint8_t> table = Table(t.m_records);
    EXPECT_EQ(table, Table({{1, 13, 39, 0},
                            {1, 26, 78, 400},
                            {0, 0, 0, 600},
                            {1, 52, 65, 100},
                            {0, 0, 0, 300},
                            {0, 0, 0, 200},
                            {0, 0, 0, 500}}));
    EXPECT_EQ(DepthFirstOrder(e, first), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6}));

    // The table the rule produces passes the reader's walk.
    EXPECT_EQ(CheckTreeTable(table.data(), table.size(), 7, 700, 88), FormatStatus::Ok);
}

TEST(TreeLayoutRule, RefusesLinksThatAreNotATree)
{
    uint32_t first = 0;
    auto good = Link({{NODE_FOLDER, NO_ENTRY}, {NODE_FILE, 0}, {NODE_FILE, NO_ENTRY}}, &first);
    TreeLayout t;
    ASSERT_TRUE(LayOutTree(good, first, &t));

    auto loop = good;
    loop[1].m_nNextSibling = 1;
    auto outOfRange = good;
    outOfRange[2].m_nNextSibling = 9;
    auto shared = good;
    shared[2].m_nNextSibling = 1; // reached as a child and as a sibling
    auto fileWithChild = good;
    fileWithChild[2].m_nFirstChild = 1;
    fileWithChild[0].m_nFirstChild = NO_ENTRY;
    auto unreachable = good;
    unreachable[0].m_nNextSibling = NO_ENTRY;
    for (const auto* bad : {&loop, &outOfRange, &shared, &fileWithChild, &unreachable})
        EXPECT_FALSE(LayOutTree(*bad, first, &t));
    EXPECT_TRUE(DepthFirstOrder(loop, first).empty());
    EXPECT_TRUE(DepthFirstOrder(outOfRange, first).empty());

    EXPECT_TRUE(LayOutTree({}, NO_ENTRY, &t));
    EXPECT_TRUE(t.m_records.empty());
}

TEST(TreeTableCheck, RejectsHostileLinks)
{
    // A folder at 0 holding 13 and 26; info records of 100 bytes.
    const std::vector<uint8_t> ok = Table({{1, 0, 13, 0}, {0, 26, 0, 100}, {0, 0, 0, 200}});
    EXPECT_EQ(CheckTreeTable(ok.data(), ok.size(), 3, 300, 88), FormatStatus::Ok);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint64_t infoTable;
        FormatStatus expected;
    } cases[] = {
        {"sibling loop", Table({{1, 0, 13, 0}, {0, 13, 0, 100}, {0, 0, 0, 200}}), 300, FormatStatus::BadTree},
        {"folder inside itself", Table({{1, 0, 13, 0}, {1, 0, 13, 100}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"shared record", Table({{1, 26, 13, 0}, {0, 26, 0, 100}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"link past the table", Table({{1, 0, 39, 0}, {0, 26, 0, 100}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"link inside a record", Table({{1, 0, 14, 0}, {0, 26, 0, 100}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"largest link", Table({{1, 0, 0xFFFFFFF7u, 0}, {0, 26, 0, 100}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"file with a child", Table({{0, 0, 13, 0}, {0, 26, 0, 100}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"info record past the table", ok, 287, FormatStatus::BadTree},
        {"info offset near 4 GiB", Table({{1, 0, 13, 0}, {0, 26, 0, 0xFFFFFFF0u}, {0, 0, 0, 200}}), 300,
         FormatStatus::BadTree},
        {"table shorter than the count", std::vector<uint8_t>(ok.begin(), ok.end() - 1), 300,
         FormatStatus::Short},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckTreeTable(c.bytes.data(), c.bytes.size(), 3, c.infoTable, 88), c.expected) << c.what;
}

// ---- info records --------------------------------------------------------

TEST(InfoRecordLayout, FieldsSitWhereTheReaderExpectsThem)
{
    UseTimeStampKey(kStamp);
    InfoRecord rec;
    rec.m_nMethod = METHOD_DEFLATE;
    rec.m_nSize = 0x1122334455ull;
    rec.m_nAttributes = 0x21;
    rec.m_nCreationTime = 1;
    rec.m_nAccessTime = 2;
    rec.m_nWriteTime = 3;
    rec.m_name = Utf16ToNameBytes(u"報告書2024.docx"); // 12 units: 24 bytes, L = 32
    rec.m_nStoredSize = 0x99887766ull;
    for (size_t i = 0; i < 32; ++i)
        rec.m_hash[i] = static_cast<uint8_t>(i * 7);
    rec.m_nStartVolume = 4;
    rec.m_nDataOffset = 0xABCDEF012ull;
    std::vector<uint8_t> b;
    ByteWriter w(b);
    ASSERT_EQ(PutInfoRecord(w, rec), FormatStatus::Ok);
    ASSERT_EQ(b.size(), 88u + 32u);
    EXPECT_EQ(InfoRecordSize(rec.m_name.size()), b.size());
    EXPECT_EQ(b[0], METHOD_DEFLATE);
    EXPECT_EQ(LoadU64(&b[1]), rec.m_nSize);
    EXPECT_EQ(LoadU32(&b[9]), 0x21u);
    EXPECT_EQ(LoadU64(&b[29]), 3u);
    EXPECT_EQ(LoadU16(&b[37]), 32u);
    EXPECT_EQ(LoadU64(&b[39 + 32]), rec.m_nStoredSize);
    EXPECT_EQ(b[47 + 32 + 31], 31 * 7);
    EXPECT_EQ(b[79 + 32], 4);
    EXPECT_EQ(LoadU64(&b[80 + 32]), rec.m_nDataOffset);

    MemoryByteSource src(b.data(), b.size());
    InfoRecord back;
    ASSERT_EQ(ParseInfoRecord(src, ArchiveHeader{}, &back), FormatStatus::Ok);
    EXPECT_EQ(src.Consumed(), b.size());
    EXPECT_EQ(back.m_name, rec.m_name);
    EXPECT_EQ(BytesOf(PutInfoRecord, back), b);
}

TEST(InfoRecordLayout, WriterRefusesNamesLongerThanAField)
{
    InfoRecord rec;
    rec.m_name.assign(TEXT_FIELD_MAX + 1, 'a');
    std::vector<uint8_t> b;
    ByteWriter w(b);
    EXPECT_EQ(PutInfoRecord(w, rec), FormatStatus::BadField);
    EXPECT_TRUE(b.empty());
}

// ---- versions 100 and 101 -------------------------------------------------

struct LegacyEntry {
    uint8_t kind;
    std::vector<uint8_t> name;
    uint8_t method;
};

// Bytes of an old archive: no stored offsets, fixed name fields whose
// encrypted part covers the name's whole blocks only.
std::vector<uint8_t> BuildLegacyArchive(uint16_t version, uint32_t flags,
                                        const std::vector<LegacyEntry>& entries)
{
    UseTimeStampKey(kStamp);
    std::vector<uint8_t> b;
    ByteWriter w(b);
    ArchiveHeader h;
    h.m_nVersion = version;
    h.m_nTimeStamp = kStamp;
    h.m_nFlags = flags;
    MakeCheckBlock(h.m_checkBlock);
    PutArchiveHeader(w, h);
    w.U32(SF_SHOW_LIST);
    PutTextField(w, u"C:\\out");
    PutTextField(w, u"");
    PutTextField(w, u"");
    PutTextField(w, u"old");
    w.U32(static_cast<uint32_t>(entries.size()) - 1);
    w.U32(1);
    w.U64(0);
    w.U32(0);
    w.U64(0);
    w.U16(0);
    // One folder holding the other entries, in sibling order.
    uint32_t n = LegacyNameFieldSize(flags);
    for (uint32_t i = 0; i < entries.size(); ++i) {
        uint32_t next = (i == 0 || i + 1 == entries.size()) ? 0 : 13 * (i + 1);
        PutTreeRecord(w, {entries[i].kind, next, i == 0 ? 13u : 0u, (86 + n) * i});
    }
    for (const LegacyEntry& e : entries) {
        w.U8(e.method);
        w.U64(e.method ? 10 : 0);
        w.Zeros(28);
        std::vector<uint8_t> field(RoundUp16(n), 0);
        std::memcpy(field.data(), e.name.data(), e.name.size());
        EncryptBlocks(field.data(), static_cast<int32_t>(RoundUp16(static_cast<uint32_t>(e.name.size()))));
        // Whatever lies in the partial last block must not reach the name.
        for (uint32_t i = n & ~15u; i < n; ++i)
            field[i] = 0x41;
        w.Bytes(field.data(), n);
        w.U64(e.method ? 10 : 0);
        w.Zeros(32);
        w.U8(0);
        w.U64(0);
    }
    return b;
}

TEST(LegacyVersions, ReadWithComputedOffsetsAndFixedNameFields)
{
    struct Case {
        uint16_t version;
        uint32_t flags;
        uint32_t nameField;
    } cases[] = {
        {100, 0, 520},
        {101, AF_LONG_NAMES, 1040},
        {101, AF_NARROW_NAMES, 260},
        {100, AF_NARROW_NAMES | AF_LONG_NAMES, 520},
    };
    for (const Case& c : cases) {
        bool narrow = c.flags & AF_NARROW_NAMES;
        auto name = [&](std::u16string_view s) {
            return narrow ? std::vector<uint8_t>(s.begin(), s.end()) : Utf16ToNameBytes(s);
        };
        // The longest name a field can give back fills all its whole blocks.
        size_t fullBytes = c.nameField & ~15u;
        std::vector<uint8_t> full = narrow ? std::vector<uint8_t>(fullBytes, 'z')
                                           : Utf16ToNameBytes(std::u16string(fullBytes / 2, u'ぜ'));
        std::vector<uint8_t> file = BuildLegacyArchive(
            c.version, c.flags,
            {{NODE_FOLDER, name(u"dir"), 0}, {NODE_FILE, name(u"x.bin"), 3}, {NODE_FILE, full, 2}});
        ReadBack r;
        ASSERT_EQ(ReadArchive(file, 0, &r), FormatStatus::Ok) << c.version << " " << c.flags;
        EXPECT_EQ(r.params.m_nSfxFlags, SF_SHOW_LIST);
        EXPECT_EQ(r.params.m_strDestFolder, u"C:\\out");
        EXPECT_EQ(r.params.m_strComment, u"old");
        uint64_t afterVolume = 50 + 42 + 16 + 16;
        EXPECT_EQ(r.params.m_nTreeOffset, afterVolume);
        EXPECT_EQ(r.params.m_nInfoOffset, afterVolume + 3 * 13);
        EXPECT_EQ(r.params.m_nDataOffset, afterVolume + 3 * 13 + 3 * (86 + c.nameField));
        EXPECT_EQ(r.params.m_nDataOffset, file.size());
        ASSERT_EQ(r.infos.size(), 3u);
        EXPECT_EQ(r.infos[0].m_name, name(u"dir"));
        EXPECT_EQ(r.infos[1].m_name, name(u"x.bin"));
        EXPECT_EQ(r.infos[2].m_name, full);
        // Version 100 knew only LZ4.
        EXPECT_EQ(r.infos[1].m_nMethod, c.version == 100 ? METHOD_LZ4 : 3);
        EXPECT_EQ(r.infos[2].m_nMethod, c.version == 100 ? METHOD_LZ4 : METHOD_DEFLATE);
        EXPECT_EQ(r.infos[1].m_nStoredSize, 10u);
    }
}

TEST(LegacyVersions, OffsetRuleAndCountsBeyondTheFile)
{
    uint64_t tree = 0, info = 0, data = 0;
    ASSERT_TRUE(LegacyTableOffsets(200, 5, AF_NARROW_NAMES, &tree, &info, &data));
    EXPECT_EQ(tree, 200u);
    EXPECT_EQ(info, 265u);
    EXPECT_EQ(data, 265u + 5 * 346);
    EXPECT_FALSE(LegacyTableOffsets(UINT64_MAX - 10, 1, 0, &tree, &info, &data));
    EXPECT_FALSE(LegacyTableOffsets(0, UINT64_MAX / 13, 0, &tree, &info, &data));

    std::vector<uint8_t> file = BuildLegacyArchive(101, 0, {{NODE_FOLDER, Utf16ToNameBytes(u"d"), 0}});
    const size_t fileCount = 50 + 4 + (2 + 16) + 2 + 2 + (2 + 16);
    StoreU32(&file[fileCount], 0xFFFFFFFFu);
    StoreU32(&file[fileCount + 4], 0xFFFFFFFFu);
    ReadBack r;
    EXPECT_EQ(ReadArchive(file, 0, &r), FormatStatus::BadOffsets);
}

// ---- hostile input -------------------------------------------------------

TEST(HostileArchive, EveryTruncationFailsCleanly)
{
    Archive a = BuildArchive({{NODE_FOLDER, u"d", 0, NO_ENTRY}, {NODE_FILE, u"名前.txt", 4, 0}});
    for (size_t n = 0; n < a.params.m_nDataOffset; ++n) {
        std::vector<uint8_t> cut(a.bytes.begin(), a.bytes.begin() + n);
        ReadBack r;
        FormatStatus s = ReadArchive(cut, 0, &r);
        EXPECT_TRUE(s == FormatStatus::Short || s == FormatStatus::BadOffsets) << n;
    }
    // Inside the parameter section the reader itself runs out of bytes.
    for (size_t n = ARCHIVE_HEADER_SIZE; n < a.params.m_nTreeOffset; ++n) {
        MemoryByteSource src(a.bytes.data() + 50, n - 50);
        ParameterSection p;
        EXPECT_EQ(ParseParameterSection(src, ArchiveHeader{}, 50, UINT64_MAX, &p), FormatStatus::Short) << n;
    }
}

TEST(HostileArchive, DamagedFieldsFailWithTheirReason)
{
    Archive base = BuildArchive({{NODE_FOLDER, u"d", 0, NO_ENTRY}, {NODE_FILE, u"f", 4, 0}});
    const ParameterSection& p = base.params;
    const size_t section = 50;
    const size_t counts = section + 4 + 4 * 2; // all texts empty
    const size_t offsets = counts + 30;
    const size_t firstName = p.m_nInfoOffset + 37;

    struct Case {
        const char* what;
        uint64_t at;
        int width;
        uint64_t value;
        FormatStatus expected;
    } cases[] = {
        {"text length 65535", section + 4, 2, 65535, FormatStatus::BadField},
        {"text length not whole blocks", section + 6, 2, 17, FormatStatus::BadField},
        {"text length past 4096", section + 8, 2, 4112, FormatStatus::BadField},
        {"text longer than the file", section + 10, 2, 4096, FormatStatus::Short},
        {"counts that overflow the offsets", counts, 4, 0xFFFFFFFF, FormatStatus::BadOffsets},
        {"folder count off by one", counts + 4, 4, 2, FormatStatus::BadOffsets},
        {"tree offset moved", offsets, 8, p.m_nTreeOffset + 13, FormatStatus::BadOffsets},
        {"info offset before the tree", offsets + 8, 8, 0, FormatStatus::BadOffsets},
        {"data offset before the info table", offsets + 16, 8, p.m_nInfoOffset + 100,
         FormatStatus::BadOffsets},
        {"data offset past the file", offsets + 16, 8, base.bytes.size() + 1, FormatStatus::BadOffsets},
        {"data offset at the top", offsets + 16, 8, UINT64_MAX, FormatStatus::BadOffsets},
        {"tree link past the table", p.m_nTreeOffset + 5, 4, 26, FormatStatus::BadTree},
        {"info record past the table", p.m_nTreeOffset + 13 + 9, 4, 0x7FFFFFFF, FormatStatus::BadTree},
        {"name length 65535", firstName, 2, 65535, FormatStatus::BadField},
        {"name beyond the buffer", firstName, 2, 4096, FormatStatus::Short},
        {"header version 103", 4, 2, 103, FormatStatus::VersionTooNew},
        {"magic", 0, 4, 0x4B4C455Bu, FormatStatus::NotArchive},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = base.bytes;
        uint8_t* at = &b[static_cast<size_t>(c.at)];
        if (c.width == 2) StoreU16(at, static_cast<uint16_t>(c.value));
        if (c.width == 4) StoreU32(at, static_cast<uint32_t>(c.value));
        if (c.width == 8) StoreU64(at, c.value);
        ReadBack r;
        EXPECT_EQ(ReadArchive(b, 0, &r), c.expected) << c.what;
    }

    // Offsets that agree with each other but not with where the tables are.
    std::vector<uint8_t> shifted = base.bytes;
    for (size_t i = 0; i < 3; ++i)
        StoreU64(&shifted[offsets + 8 * i], LoadU64(&shifted[offsets + 8 * i]) - 1);
    ReadBack r;
    EXPECT_EQ(ReadArchive(shifted, 0, &r), FormatStatus::BadOffsets);

    ParameterSection out;
    MemoryByteSource src(base.bytes.data() + 50, base.bytes.size() - 50);
    EXPECT_EQ(ParseParameterSection(src, ArchiveHeader{}, UINT64_MAX - 100, UINT64_MAX, &out),
              FormatStatus::BadOffsets);
    EXPECT_EQ(ParseParameterSection(src, ArchiveHeader{}, 50, 40, &out), FormatStatus::BadOffsets);
}

TEST(HostileArchive, InfoRecordCutAnywhereIsShort)
{
    UseTimeStampKey(kStamp);
    InfoRecord rec;
    rec.m_name = Utf16ToNameBytes(u"abcdefghijklmnopq");
    std::vector<uint8_t> b;
    ByteWriter w(b);
    ASSERT_EQ(PutInfoRecord(w, rec), FormatStatus::Ok);
    for (const ArchiveHeader& h : {ArchiveHeader{102, 0, 0, {}}, ArchiveHeader{101, 0, AF_LONG_NAMES, {}}}) {
        for (size_t n = 0; n < b.size(); ++n) {
            MemoryByteSource src(b.data(), n);
            InfoRecord out;
            EXPECT_EQ(ParseInfoRecord(src, h, &out), FormatStatus::Short) << h.m_nVersion << " " << n;
        }
    }
}

// ---- pure rules ----------------------------------------------------------

TEST(StartVolumeRule, CountsWholeVolumesFromTheFirstByte)
{
    const uint64_t mib = VOLUME_UNIT;
    struct Case {
        uint64_t data, entry, volume;
        bool ok;
        uint8_t expected;
    } cases[] = {
        {5000, 123456789, 0, true, 0},          {5000, mib - 5001, mib, true, 0},
        {5000, mib - 5000, mib, true, 1},       {5000, 3 * mib, mib, true, 3},
        {0, 255 * 5 * mib, 5 * mib, true, 255}, {0, 256 * 5 * mib - 1, 5 * mib, true, 255},
        {0, 256 * 5 * mib, 5 * mib, false, 0},  {UINT64_MAX, 1, mib, false, 0},
    };
    for (const Case& c : cases) {
        uint8_t v = 0xEE;
        EXPECT_EQ(StartVolume(c.data, c.entry, c.volume, &v), c.ok) << c.entry;
        if (c.ok) {
            EXPECT_EQ(v, c.expected) << c.entry;
        }
    }
}

TEST(EntryNames, OnlyPlainComponentsAreAccepted)
{
    for (std::u16string_view ok : {u"a.txt", u"写真", u"..a", u"a..", u".profile", u"x y"})
        EXPECT_TRUE(IsPlainEntryName(ok)) << std::string(ok.begin(), ok.end());
    for (std::u16string_view bad : {u"", u".", u"..", u"...", u". .", u"a\\b", u"..\\x", u"a/b", u"C:",
                                    u"x:stream", u"a\tb", u"a?", u"a*"})
        EXPECT_FALSE(IsPlainEntryName(bad)) << std::string(bad.begin(), bad.end());
    std::u16string nul(u"a");
    nul += u'\0';
    EXPECT_FALSE(IsPlainEntryName(nul));
}

} // namespace
