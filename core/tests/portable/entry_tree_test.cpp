#include <gtest/gtest.h>

#include <vector>

#include "core/entry_tree.h"

namespace zk {
namespace {

struct Rec {
    uint8_t kind;
    uint32_t next, child, info;
};

std::vector<uint8_t> Table(const std::vector<Rec>& recs)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    for (const Rec& r : recs) {
        w.U8(r.kind);
        w.U32(r.next);
        w.U32(r.child);
        w.U32(r.info);
    }
    return out;
}

FormatStatus Load(const std::vector<Rec>& recs, std::vector<TreeLink>* links, uint64_t count = UINT64_MAX)
{
    std::vector<uint8_t> t = Table(recs);
    return LoadTreeLinks(t.data(), t.size(), count == UINT64_MAX ? recs.size() : count, links);
}

// docs/ (a.txt, sub/ (b.txt)), c.txt: records in the builder's breadth-wise
// order, loaded depth first with children before siblings.
TEST(EntryTree, LoadsChildrenBeforeSiblings)
{
    std::vector<Rec> recs = {
        {NODE_FOLDER, 13, 26, 0},  // 0: docs
        {NODE_FILE, 0, 0, 300},    // 13: c.txt
        {NODE_FILE, 39, 0, 100},   // 26: a.txt
        {NODE_FOLDER, 0, 52, 150}, // 39: sub
        {NODE_FILE, 0, 0, 200},    // 52: b.txt
    };
    std::vector<TreeLink> links;
    ASSERT_EQ(Load(recs, &links), FormatStatus::Ok);
    std::vector<uint32_t> order;
    for (const TreeLink& l : links)
        order.push_back(l.m_nRecordOffset);
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 26, 39, 52, 13}));
    EXPECT_EQ(links[0].m_nFirstChild, 1u);
    EXPECT_EQ(links[0].m_nNextSibling, 4u);
    EXPECT_EQ(links[1].m_nNextSibling, 2u);
    EXPECT_EQ(links[2].m_nFirstChild, 3u);
    EXPECT_EQ(links[3].m_nParent, 2u);
    EXPECT_EQ(links[3].m_nDepth, 3u);
    EXPECT_EQ(links[3].m_nInfoOffset, 200u);
    EXPECT_EQ(links[4].m_nParent, NO_ENTRY);

    EXPECT_EQ(LoadTreeLinks(nullptr, 0, 0, &links), FormatStatus::Ok);
    EXPECT_TRUE(links.empty());
}

TEST(EntryTree, RefusesDamagedAndHostileTables)
{
    struct Case {
        const char* m_pWhat;
        std::vector<Rec> m_recs;
        uint64_t m_nCount;
        FormatStatus m_status;
    } cases[] = {
        {"child is its own folder",
         {{NODE_FOLDER, 0, 13, 0}, {NODE_FOLDER, 0, 13, 0}},
         2,
         FormatStatus::BadTree},
        {"sibling loop",
         {{NODE_FILE, 13, 0, 0}, {NODE_FILE, 26, 0, 0}, {NODE_FILE, 13, 0, 0}},
         3,
         FormatStatus::BadTree},
        {"link beyond the table", {{NODE_FILE, 13, 0, 0}, {NODE_FILE, 130, 0, 0}}, 2, FormatStatus::BadTree},
        {"link between records", {{NODE_FILE, 14, 0, 0}, {NODE_FILE, 0, 0, 0}}, 2, FormatStatus::BadTree},
        {"record shared by two folders",
         {{NODE_FOLDER, 13, 26, 0}, {NODE_FOLDER, 0, 26, 0}, {NODE_FILE, 0, 0, 0}},
         3,
         FormatStatus::BadTree},
        {"file with children", {{NODE_FILE, 0, 13, 0}, {NODE_FILE, 0, 0, 0}}, 2, FormatStatus::BadTree},
        {"more records linked than counted",
         {{NODE_FILE, 13, 0, 0}, {NODE_FILE, 0, 0, 0}},
         1,
         FormatStatus::BadTree},
        {"count larger than the table", {{NODE_FILE, 0, 0, 0}}, 2, FormatStatus::Short},
        {"huge link", {{NODE_FILE, 0xFFFFFFF7, 0, 0}}, 1, FormatStatus::BadTree},
    };
    for (const Case& c : cases) {
        std::vector<TreeLink> links;
        EXPECT_EQ(Load(c.m_recs, &links, c.m_nCount), c.m_status) << c.m_pWhat;
    }
}

TEST(EntryTree, DepthIsBounded)
{
    // A chain of folders, each the only child of the one before.
    auto chain = [](uint32_t depth) {
        std::vector<Rec> recs;
        for (uint32_t i = 0; i < depth; ++i)
            recs.push_back({NODE_FOLDER, 0, i + 1 < depth ? (i + 1) * 13 : 0, 0});
        return recs;
    };
    std::vector<TreeLink> links;
    EXPECT_EQ(Load(chain(TREE_MAX_DEPTH), &links), FormatStatus::Ok);
    EXPECT_EQ(links.back().m_nDepth, TREE_MAX_DEPTH);
    EXPECT_EQ(Load(chain(TREE_MAX_DEPTH + 1), &links), FormatStatus::BadTree);
    // A long sibling list is no deeper than one level and loads without
    // recursion.
    std::vector<Rec> flat;
    for (uint32_t i = 0; i < 100000; ++i)
        flat.push_back({NODE_FILE, i + 1 < 100000 ? (i + 1) * 13 : 0, 0, 0});
    EXPECT_EQ(Load(flat, &links), FormatStatus::Ok);
    EXPECT_EQ(links.size(), 100000u);
}

} // namespace
} // namespace zk
