#include "core/entry_tree.h"

namespace zk {

FormatStatus LoadTreeLinks(const uint8_t* table, size_t size, uint64_t entryCount, std::vector<TreeLink>* out)
{
    out->clear();
    if (entryCount == 0) return FormatStatus::Ok;
    if (size / TREE_RECORD_SIZE < entryCount) return FormatStatus::Short;
    const uint64_t tableBytes = entryCount * TREE_RECORD_SIZE;

    // A record still to be read: where it is, which folder holds it and the
    // entry before it in that folder (NO_ENTRY for a first child).
    struct Pending {
        uint32_t m_nOffset;
        uint32_t m_nParent;
        uint32_t m_nPrevious;
    };
    std::vector<Pending> stack;
    std::vector<bool> seen(static_cast<size_t>(entryCount), false);
    stack.push_back({0, NO_ENTRY, NO_ENTRY});

    while (!stack.empty()) {
        Pending p = stack.back();
        stack.pop_back();
        if (p.m_nOffset % TREE_RECORD_SIZE != 0 || p.m_nOffset >= tableBytes) return FormatStatus::BadTree;
        size_t index = p.m_nOffset / TREE_RECORD_SIZE;
        if (seen[index]) return FormatStatus::BadTree;
        seen[index] = true;

        TreeRecord record;
        if (ParseTreeRecord(table + p.m_nOffset, TREE_RECORD_SIZE, &record) != FormatStatus::Ok)
            return FormatStatus::BadTree;

        TreeLink link;
        link.m_nKind = record.m_nKind;
        link.m_nRecordOffset = p.m_nOffset;
        link.m_nInfoOffset = record.m_nInfo;
        link.m_nParent = p.m_nParent;
        link.m_nDepth = p.m_nParent == NO_ENTRY ? 1 : (*out)[p.m_nParent].m_nDepth + 1;
        if (link.m_nDepth > TREE_MAX_DEPTH) return FormatStatus::BadTree;

        uint32_t self = static_cast<uint32_t>(out->size());
        if (p.m_nPrevious != NO_ENTRY)
            (*out)[p.m_nPrevious].m_nNextSibling = self;
        else if (p.m_nParent != NO_ENTRY)
            (*out)[p.m_nParent].m_nFirstChild = self;
        out->push_back(link);

        // The sibling waits below the child, so the child's whole subtree is
        // read first.
        if (record.m_nNextSibling != 0) stack.push_back({record.m_nNextSibling, p.m_nParent, self});
        if (record.m_nFirstChild != 0) {
            if (record.m_nKind != NODE_FOLDER) return FormatStatus::BadTree;
            stack.push_back({record.m_nFirstChild, self, NO_ENTRY});
        }
    }
    return FormatStatus::Ok;
}

} // namespace zk
