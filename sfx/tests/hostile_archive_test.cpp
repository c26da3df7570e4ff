// Archives made to hurt the extractor: each carries one defect, and each
// must end with a clear message, without a crash or a hang, and with
// nothing written outside the destination folder.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/byte_io.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

constexpr wchar_t MSG_BAD_NAME[] = L"書庫に不正なファイル名が含まれているため中止します";
constexpr wchar_t MSG_UNREADABLE[] = L"書庫データが格納されていません";
constexpr wchar_t MSG_DAMAGED[] = L"書庫データが壊れています";

struct HostileResult {
    int m_nResult = 0;
    std::vector<std::wstring> m_boxes;
    std::vector<std::wstring> m_outside; // anything the run left outside box\out
    std::vector<std::wstring> m_inside;  // what it left inside
};

// Writes the archive, opens it, loads the tree and extracts everything into
// <scratch>\box\out; a name that climbed out would land in box or above.
HostileResult ExtractHostile(const TestArchive& arc)
{
    HostileResult r;
    SfxScratch dir;
    if (!WriteArchive(arc, dir / L"h.zka")) {
        r.m_nResult = -1;
        return r;
    }
    CreateDirectoryW((dir / L"box").c_str(), nullptr);
    {
        OpenedArchive a(dir / L"h.zka");
        r.m_nResult = a.m_bOpened ? a.ExtractAll(dir / L"box\\out") : -2;
        r.m_boxes = a.m_callback.m_dialogue.Texts();
    }
    for (const std::wstring& p : SfxScratch::List(dir.Path())) {
        if (p.rfind(L"h.zka", 0) == 0 || p == L"box" || p == L"box\\out") continue;
        if (p.rfind(L"box\\out\\", 0) == 0)
            r.m_inside.push_back(p.substr(8));
        else
            r.m_outside.push_back(p);
    }
    return r;
}

void ExpectRefused(const HostileResult& r, const wchar_t* message, const std::string& what)
{
    EXPECT_EQ(r.m_nResult, 1) << what;
    EXPECT_EQ(r.m_boxes, std::vector<std::wstring>{message}) << what;
    EXPECT_TRUE(r.m_outside.empty()) << what << ": "
                                     << (r.m_outside.empty()
                                             ? ""
                                             : std::string(r.m_outside[0].begin(), r.m_outside[0].end()));
}

std::string Narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s)
        out += c < 0x20 ? '^' : static_cast<char>(c);
    return out;
}

TEST(HostileArchive, UnusableNamesStopBeforeAnythingIsWritten)
{
    const std::u16string names[] = {
        u"",         u".",        u"..",     u"..\\escape.txt", u"sub/evil.txt", u"C:evil",
        u"a:stream", u"bell\x07", u"CON",    u"nul.txt",        u"COM1 .log",    u"lpt9",
        u"AUX.",     u"....",     u"a.txt.", u"a.txt "};
    for (const std::u16string& bad : names) {
        for (bool folder : {false, true}) {
            TestEntry entry = folder ? TestEntry::Folder(bad, {TestEntry::File(u"inner.txt", Bytes("in"))})
                                     : TestEntry::File(bad, Bytes("evil"));
            TestArchive arc = BuildTestArchive({TestEntry::File(u"before.txt", Bytes("ok")), entry,
                                                TestEntry::File(u"after.txt", Bytes("late"))},
                                               {});
            HostileResult r = ExtractHostile(arc);
            std::string what = Narrow(bad) + (folder ? " (folder)" : " (file)");
            ExpectRefused(r, MSG_BAD_NAME, what);
            EXPECT_EQ(r.m_inside, std::vector<std::wstring>{L"before.txt"}) << what;
        }
    }
}

// The tree table of [a.txt, f/ (x.txt, y.txt)]: a.txt at 0, f at 13, x.txt
// at 26, y.txt at 39.
TestArchive SmallTree(uint16_t version = FORMAT_VERSION)
{
    TestArchiveOptions o;
    o.m_nVersion = version;
    return BuildTestArchive({TestEntry::File(u"a.txt", Bytes("a")),
                             TestEntry::Folder(u"f", {TestEntry::File(u"x.txt", Bytes("x")),
                                                      TestEntry::File(u"y.txt", Bytes("y"))})},
                            o);
}

uint8_t* TreeRecordAt(TestArchive& arc, uint32_t relative)
{
    return arc.m_volumes[0].data() + arc.m_params.m_nTreeOffset + relative;
}

TEST(HostileArchive, DamagedTreesAreRefusedWhole)
{
    struct Case {
        const char* m_pWhat;
        std::function<void(TestArchive&)> m_damage;
    } cases[] = {
        {"folder that contains itself", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 13) + 5, 13); }},
        {"sibling loop", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 39) + 1, 26); }},
        {"link beyond the table", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 0) + 1, 13 * 1000); }},
        {"link between records", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 0) + 1, 14); }},
        {"link far away", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 13) + 5, 0xFFFFFFF0); }},
        {"file with children", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 0) + 5, 26); }},
        {"entry reached twice", [](TestArchive& a) { StoreU32(TreeRecordAt(a, 26) + 1, 13); }},
        {"folder info outside the info table",
         [](TestArchive& a) { StoreU32(TreeRecordAt(a, 13) + 9, 0x7FFFFFF0); }},
    };
    for (const Case& c : cases) {
        TestArchive arc = SmallTree();
        ASSERT_TRUE(arc.m_bOk);
        c.m_damage(arc);
        HostileResult r = ExtractHostile(arc);
        ExpectRefused(r, MSG_UNREADABLE, c.m_pWhat);
        EXPECT_TRUE(r.m_inside.empty()) << c.m_pWhat;
    }

    // Version 101 computes its tables from the counts: one file less than
    // the tree links is a link outside the table.
    TestArchive fewer = SmallTree(101);
    ASSERT_TRUE(fewer.m_bOk);
    StoreU32(fewer.m_volumes[0].data() + fewer.m_nParameterPos + 12, 2);
    ExpectRefused(ExtractHostile(fewer), MSG_UNREADABLE, "more nodes than counted");
}

TEST(HostileArchive, TreeDeeperThanAnyPathIsRefused)
{
    TestEntry node = TestEntry::File(u"bottom.txt", Bytes("b"));
    for (int i = 0; i < 1100; ++i)
        node = TestEntry::Folder(u"d", {node});
    TestArchive arc = BuildTestArchive({node}, {});
    ASSERT_TRUE(arc.m_bOk);
    HostileResult r = ExtractHostile(arc);
    ExpectRefused(r, MSG_UNREADABLE, "1100 levels");
    EXPECT_TRUE(r.m_inside.empty());
}

// Info record of a file, version 102: method 1, size 8 at +1, attributes
// +9, times +13, name length +37, name, then stored size, hash, start
// volume and data offset.
struct InfoFields {
    uint8_t* m_pRecord;
    size_t m_nName;
    uint8_t* Size() { return m_pRecord + 1; }
    uint8_t* NameLength() { return m_pRecord + 37; }
    uint8_t* StoredSize() { return m_pRecord + 39 + m_nName; }
    uint8_t* StartVolume() { return m_pRecord + 39 + m_nName + 40; }
    uint8_t* DataOffset() { return m_pRecord + 39 + m_nName + 41; }
};

InfoFields Fields(TestArchive& arc, size_t entry)
{
    return {arc.m_volumes[0].data() + arc.m_infoPos[entry],
            RoundUp16(static_cast<uint32_t>(arc.m_info[entry].m_name.size()))};
}

TEST(HostileArchive, InfoRecordsAndDataOutsideTheArchive)
{
    struct Case {
        const char* m_pWhat;
        uint8_t m_nMethod;
        uint16_t m_nVolumeMB;
        std::function<void(TestArchive&)> m_damage;
        const wchar_t* m_pMessage;
    } cases[] = {
        {"file info outside the info table", METHOD_LZ4, 0,
         [](TestArchive& a) { StoreU32(a.m_volumes[0].data() + a.m_treePos[1] + 9, 0xFFFFFF00); },
         MSG_UNREADABLE},
        {"name longer than its buffer", METHOD_LZ4, 0,
         [](TestArchive& a) { StoreU16(Fields(a, 1).NameLength(), 0xFFF0); }, MSG_UNREADABLE},
        {"stored size beyond the file", METHOD_LZ4, 0,
         [](TestArchive& a) { StoreU64(Fields(a, 1).StoredSize(), 1ull << 40); }, MSG_DAMAGED},
        {"stored size short of the data", METHOD_DEFLATE, 0,
         [](TestArchive& a) { StoreU64(Fields(a, 1).StoredSize(), 20); }, MSG_DAMAGED},
        {"data offset beyond the file", METHOD_LZ4, 0,
         [](TestArchive& a) { StoreU64(Fields(a, 1).DataOffset(), 1ull << 40); }, MSG_DAMAGED},
        {"data offset that wraps around", METHOD_STORED, 0,
         [](TestArchive& a) { StoreU64(Fields(a, 1).DataOffset(), ~0ull - 5); }, MSG_DAMAGED},
        {"start volume that does not exist", METHOD_LZ4, 1,
         [](TestArchive& a) { *Fields(a, 1).StartVolume() = 200; }, MSG_DAMAGED},
        {"block length above the buffer", METHOD_LZ4, 0,
         [](TestArchive& a) {
             StoreU32(a.m_volumes[0].data() + a.m_params.m_nDataOffset + a.m_info[1].m_nDataOffset,
                      0x7FFFFFF0);
         },
         MSG_DAMAGED},
        {"corrupt deflate stream", METHOD_DEFLATE, 0,
         [](TestArchive& a) {
             uint8_t* d = a.m_volumes[0].data() + a.m_params.m_nDataOffset + a.m_info[1].m_nDataOffset;
             for (int i = 2; i < 40; ++i)
                 d[i] ^= 0x5A;
         },
         MSG_DAMAGED},
        {"archive cut inside the data", METHOD_LZ4, 0,
         [](TestArchive& a) { a.m_volumes[0].resize(a.m_volumes[0].size() - 300); }, MSG_DAMAGED},
    };
    for (const Case& c : cases) {
        TestArchiveOptions o;
        o.m_nVolumeSizeMB = c.m_nVolumeMB;
        TestArchive arc = BuildTestArchive({TestEntry::File(u"first.txt", Bytes("first")),
                                            TestEntry::File(u"victim.txt", TextBytes(50000), c.m_nMethod),
                                            TestEntry::File(u"last.txt", Bytes("last"))},
                                           o);
        ASSERT_TRUE(arc.m_bOk) << c.m_pWhat;
        c.m_damage(arc);
        HostileResult r = ExtractHostile(arc);
        ExpectRefused(r, c.m_pMessage, c.m_pWhat);
        EXPECT_EQ(std::count(r.m_inside.begin(), r.m_inside.end(), L"last.txt"), 0) << c.m_pWhat;
    }
}

} // namespace
} // namespace zk::test

namespace zk::test {
namespace {

// Random damage anywhere in the head and the first data bytes: whatever the
// extractor makes of it, it ends, and writes only inside the destination.
TEST(HostileArchive, RandomDamageNeverEscapesTheDestination)
{
    TestArchiveOptions o;
    o.m_strComment = u"comment";
    TestArchive sound = BuildTestArchive(
        {TestEntry::Folder(u"a", {TestEntry::File(u"x.txt", TextBytes(3000)),
                                  TestEntry::Folder(u"b", {TestEntry::File(u"y.bin", RandomBytes(2000, 9),
                                                                           METHOD_DEFLATE)})}),
         TestEntry::File(u"z.txt", TextBytes(500), METHOD_STORED)},
        o);
    ASSERT_TRUE(sound.m_bOk);
    const size_t headEnd = static_cast<size_t>(sound.m_params.m_nDataOffset) + 64;

    auto answer = [](const UserMessage& m) {
        switch (m.m_nButtons) {
        case BUTTONS_RETRY_CANCEL:
            return ANSWER_CANCEL;
        case BUTTONS_YES_NO_CANCEL:
            return ANSWER_YES;
        default:
            return ANSWER_OK;
        }
    };
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 120; ++round) {
        TestArchive damaged = sound;
        std::vector<uint8_t>& bytes = damaged.m_volumes[0];
        int flips = 1 + next() % 4;
        for (int i = 0; i < flips; ++i) {
            size_t at =
                static_cast<size_t>(sound.m_nParameterPos) + next() % (headEnd - sound.m_nParameterPos);
            bytes[at] = static_cast<uint8_t>(next());
        }
        SfxScratch dir;
        ASSERT_TRUE(WriteArchive(damaged, dir / L"r.zka"));
        CreateDirectoryW((dir / L"box").c_str(), nullptr);
        {
            OpenedArchive a(dir / L"r.zka");
            a.m_callback.m_dialogue.SetAnswerer(answer);
            if (a.m_bOpened) a.ExtractAll(dir / L"box\\out");
        }
        for (const std::wstring& p : SfxScratch::List(dir.Path()))
            EXPECT_TRUE(p == L"r.zka" || p == L"box" || p.rfind(L"box\\out", 0) == 0)
                << "round " << round << ": " << std::string(p.begin(), p.end());
    }
}

} // namespace
} // namespace zk::test
