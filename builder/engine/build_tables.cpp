// The tables behind the head: the tree table from the in-memory tree, the
// info table from the work file, and last the magic.

#include <vector>

#include "builder/engine/build_engine.h"
#include "core/last_error.h"

namespace zk {

namespace {

// The work file, copied verbatim to where the info table goes.
int CopyInfoTable(BuildContext& ctx)
{
    if (FlushWork(ctx) != 0) return 1;
    if (SeekFile(ctx.work.Get(), 0, FROM_BEGIN) != 0) {
        SystemFailure(ctx, ctx.strWorkPath);
        return 1;
    }
    if (SeekVolume0(ctx, ctx.nInfoOffset) != 0) return 1;
    std::vector<uint8_t> piece(COPY_PIECE);
    for (;;) {
        const int64_t got = ReadFully(ctx.work.Get(), piece.data(), piece.size());
        if (got < 0) {
            SystemFailure(ctx, ctx.strWorkPath);
            return 1;
        }
        if (got == 0) return 0;
        if (WriteVolume0(ctx, piece.data(), static_cast<size_t>(got)) != 0) return 1;
        if (ctx.Cancelled()) return 1;
    }
}

} // namespace

int AssignTreeOffsets(SourceNode& node, uint32_t& counter)
{
    // Number the nodes (the tree offset field holds the number until the
    // layout is known), then let the format place them.
    std::vector<SourceNode*> nodes;
    std::vector<SourceNode*> pending;
    if (node.pFirstChild) pending.push_back(node.pFirstChild);
    while (!pending.empty()) {
        SourceNode* list = pending.back();
        pending.pop_back();
        for (SourceNode* n = list; n; n = n->pNext) {
            n->nTreeOffset = static_cast<uint32_t>(nodes.size());
            nodes.push_back(n);
            if (n->pFirstChild) pending.push_back(n->pFirstChild);
        }
    }
    std::vector<TreeEntry> entries(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        entries[i].m_nKind = nodes[i]->nKind;
        entries[i].m_nInfoOffset = nodes[i]->nInfoOffset;
        entries[i].m_nFirstChild = nodes[i]->pFirstChild ? nodes[i]->pFirstChild->nTreeOffset : NO_ENTRY;
        entries[i].m_nNextSibling = nodes[i]->pNext ? nodes[i]->pNext->nTreeOffset : NO_ENTRY;
    }
    TreeLayout layout;
    if (!LayOutTree(entries, node.pFirstChild ? node.pFirstChild->nTreeOffset : NO_ENTRY, &layout)) return 1;
    for (size_t i = 0; i < nodes.size(); ++i)
        nodes[i]->nTreeOffset = counter + layout.m_treeOffset[i];
    counter += static_cast<uint32_t>(TREE_RECORD_SIZE * nodes.size());
    return 0;
}

int WriteTreeTable(BuildContext& ctx, SourceNode& node)
{
    // Sibling lists still to write, the next one on top: a list, then the
    // lists below its entries in their order, depth-first. Kept on the heap
    // like the walks of the collection and the data phase.
    std::vector<SourceNode*> lists;
    if (node.pFirstChild) lists.push_back(node.pFirstChild);
    std::vector<SourceNode*> below;
    std::vector<uint8_t> bytes;
    while (!lists.empty()) {
        SourceNode* head = lists.back();
        lists.pop_back();
        below.clear();
        bytes.clear();
        for (SourceNode* child = head; child; child = child->pNext) {
            if (ctx.Cancelled()) return 1;
            // Records go out in the order their offsets were given: the
            // record of an entry lies exactly where the links point.
            if (child->nTreeOffset != ctx.nTreeWritten) {
                SetSystemError(SYSERR_INVALID_DATA);
                GetLastErrorText();
                ctx.dialogue.ReportSystemError();
                return 1;
            }
            TreeRecord record;
            record.m_nKind = child->nKind;
            record.m_nNextSibling = child->pNext ? child->pNext->nTreeOffset : 0;
            record.m_nFirstChild = child->pFirstChild ? child->pFirstChild->nTreeOffset : 0;
            record.m_nInfo = child->nInfoOffset;
            ByteWriter w(bytes);
            PutTreeRecord(w, record);
            ctx.nTreeWritten += TREE_RECORD_SIZE;
            if (child->pFirstChild) below.push_back(child->pFirstChild);
        }
        if (!WriteFully(ctx.volume0.Get(), bytes.data(), bytes.size())) {
            ctx.dialogue.ReportSystemError();
            return 1;
        }
        lists.insert(lists.end(), below.rbegin(), below.rend());
    }
    return 0;
}

// The tree table, then the work file copied verbatim as the info
// table, then the magic that makes the archive readable.
int WriteTables(BuildContext& ctx, SourceNode& root)
{
    uint32_t counter = 0;
    if (AssignTreeOffsets(root, counter) != 0) {
        SystemFailure(ctx, ctx.strArchivePath, SYSERR_INVALID_DATA);
        return 1;
    }
    ctx.nTreeWritten = 0;
    if (SeekVolume0(ctx, ctx.nTreeOffset) != 0) return 1;
    if (WriteTreeTable(ctx, root) != 0) {
        Fail(ctx, ctx.strArchivePath);
        return 1;
    }
    if (CopyInfoTable(ctx) != 0) return 1;
    // The mark is what makes the file an archive: it goes on disk only after
    // everything it vouches for, so that a flush that fails leaves a file
    // the extractor refuses rather than one that looks complete.
    if (FlushVolume0(ctx) != 0) return 1;
    if (SeekVolume0(ctx, ctx.nHeaderPos) != 0 || WriteVolume0(ctx, ARCHIVE_MAGIC, ARCHIVE_MAGIC_SIZE) != 0)
        return 1;
    if (FlushVolume0(ctx) != 0) return 1;
    return SeekVolume0(ctx, ctx.nDataEnd);
}

} // namespace zk
