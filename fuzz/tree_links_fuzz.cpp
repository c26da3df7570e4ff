// The extractor's walk over a tree table, and the name check every entry
// passes before anything is written under it. The walk must agree with the
// table check of the format code, and what it returns must be a tree: every
// record once, parents before their children, links and depths consistent.
//
// Input: u16 entry count, then the table.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/archive_format.h"
#include "core/byte_io.h"
#include "core/entry_tree.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    uint64_t count = LoadU16(data);
    const uint8_t* table = data + 2;
    size_t tableSize = size - 2;

    std::vector<TreeLink> links;
    FormatStatus status = LoadTreeLinks(table, tableSize, count, &links);
    FormatStatus check = CheckTreeTable(table, tableSize, count, UINT64_MAX, 0);
    if (status != FormatStatus::Ok) {
        // Only the depth limit is the walk's own.
        if (status != FormatStatus::BadTree) ZK_FUZZ_CHECK(status == check);
        return 0;
    }
    ZK_FUZZ_CHECK(check == FormatStatus::Ok);
    ZK_FUZZ_CHECK(links.size() <= count);
    if (count == 0) {
        ZK_FUZZ_CHECK(links.empty());
        return 0;
    }
    ZK_FUZZ_CHECK(!links.empty() && links[0].m_nRecordOffset == 0 && links[0].m_nParent == NO_ENTRY);
    std::vector<bool> seen(static_cast<size_t>(count), false);
    for (size_t i = 0; i < links.size(); ++i) {
        const TreeLink& l = links[i];
        ZK_FUZZ_CHECK(l.m_nRecordOffset % TREE_RECORD_SIZE == 0 &&
                      l.m_nRecordOffset / TREE_RECORD_SIZE < count);
        ZK_FUZZ_CHECK(!seen[l.m_nRecordOffset / TREE_RECORD_SIZE]);
        seen[l.m_nRecordOffset / TREE_RECORD_SIZE] = true;
        TreeRecord rec;
        ParseTreeRecord(table + l.m_nRecordOffset, TREE_RECORD_SIZE, &rec);
        ZK_FUZZ_CHECK(rec.m_nKind == l.m_nKind && rec.m_nInfo == l.m_nInfoOffset);
        ZK_FUZZ_CHECK(l.m_nDepth >= 1 && l.m_nDepth <= TREE_MAX_DEPTH);
        if (l.m_nParent == NO_ENTRY) {
            ZK_FUZZ_CHECK(l.m_nDepth == 1);
        } else {
            ZK_FUZZ_CHECK(l.m_nParent < i && links[l.m_nParent].m_nKind == NODE_FOLDER);
            ZK_FUZZ_CHECK(l.m_nDepth == links[l.m_nParent].m_nDepth + 1);
        }
        if (l.m_nFirstChild != NO_ENTRY) {
            ZK_FUZZ_CHECK(l.m_nFirstChild > i && l.m_nFirstChild < links.size());
            ZK_FUZZ_CHECK(links[l.m_nFirstChild].m_nParent == i);
            ZK_FUZZ_CHECK(links[l.m_nFirstChild].m_nRecordOffset == rec.m_nFirstChild);
        } else {
            ZK_FUZZ_CHECK(rec.m_nFirstChild == 0);
        }
        if (l.m_nNextSibling != NO_ENTRY) {
            ZK_FUZZ_CHECK(l.m_nNextSibling > i && l.m_nNextSibling < links.size());
            ZK_FUZZ_CHECK(links[l.m_nNextSibling].m_nParent == l.m_nParent);
            ZK_FUZZ_CHECK(links[l.m_nNextSibling].m_nRecordOffset == rec.m_nNextSibling);
        } else {
            ZK_FUZZ_CHECK(rec.m_nNextSibling == 0);
        }
    }
    return 0;
}
