#pragma once
// The extractor's walk over an archive's tree table. The table comes from an
// untrusted file, so the walk is iterative and visits each record at most
// once: links outside the table, links that do not fall on a record, loops,
// records reached twice, children under a file and trees deeper than a path
// can hold are all refused before a single node is used.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/archive_format.h"

namespace zk {

// A folder chain deeper than this cannot be written under any destination:
// every level costs at least two characters of a path of at most 2047.
constexpr uint32_t TREE_MAX_DEPTH = 1024;

// One loaded record. Indices refer to the vector LoadTreeLinks fills;
// NO_ENTRY marks a missing link (and the parent of top-level entries).
struct TreeLink {
    uint8_t m_nKind = NODE_FILE;
    uint32_t m_nRecordOffset = 0; // tree-relative position of the record
    uint32_t m_nInfoOffset = 0;   // info-relative position of its InfoRecord
    uint32_t m_nParent = NO_ENTRY;
    uint32_t m_nFirstChild = NO_ENTRY;
    uint32_t m_nNextSibling = NO_ENTRY;
    uint32_t m_nDepth = 1; // top-level entries are at depth 1
};

// Walks the table of entryCount records (table holds at least 13 x
// entryCount bytes) from the record at 0: each record, then its children,
// then its next sibling. out receives the records in that order, so every
// parent precedes its children. An archive without entries gives an empty
// tree. Fails with BadTree for a damaged or hostile table and with Short when
// the table is smaller than entryCount records.
FormatStatus LoadTreeLinks(const uint8_t* table, size_t size, uint64_t entryCount,
                           std::vector<TreeLink>* out);

} // namespace zk
