#include "sfx/engine/entry_loader.h"

#include <algorithm>
#include <vector>

#include "core/archive_names.h"
#include "core/entry_tree.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/text_format.h"
#include "sfx/engine/archive_file.h"

namespace zk {

void FreeTree(ArchiveState& state)
{
    state.m_root.m_pFirstChild = nullptr;
    state.m_root.m_pInfo.reset();
    state.m_root.m_nFirstChildOffset = FIRST_RECORD;
    state.m_listNodes.clear();
    state.m_bTreeLoaded = false;
}

namespace {

/*
 * Tree table: 13 bytes per entry (u8 kind, u32 next sibling, u32 first
 * child, u32 info offset), links relative to the table, 0 = none; the
 * top-level list starts with the record at 0.
 */
int ReadTreeLinks(ExtractSession& s, SysHandle file, std::vector<TreeLink>* links)
{
    ArchiveState& st = s.m_state;
    uint64_t count = st.EntryCount();
    if (count == 0) return 0;
    // The parameters were checked against the file, so the table fits in
    // it; a table too large for memory fails like a damaged one.
    uint64_t bytes = count * TREE_RECORD_SIZE;
    if (bytes > st.m_nFileSize || st.m_nTreeOffset > st.m_nFileSize - bytes || bytes > SIZE_MAX / 2)
        return RecordFailure(s.m_ctx, st, ERR_READ);
    std::vector<uint8_t> table;
    try {
        table.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return RecordFailure(s.m_ctx, st, ERR_READ);
    }
    if (ReadFullyAt(file, st.m_nTreeOffset, table.data(), table.size()) != static_cast<int64_t>(table.size()))
        return RecordFailure(s.m_ctx, st, ERR_READ);
    if (LoadTreeLinks(table.data(), table.size(), count, links) != FormatStatus::Ok)
        return RecordFailure(s.m_ctx, st, ERR_READ);
    return 0;
}

// One node per link, linked as the table says, under the root; the nodes in
// the table's order.
std::vector<EntryNode*> BuildNodes(ArchiveState& st, const std::vector<TreeLink>& links)
{
    std::vector<EntryNode*> nodes(links.size());
    st.m_listNodes.reserve(links.size());
    for (size_t i = 0; i < links.size(); ++i) {
        auto node = std::make_unique<EntryNode>();
        // Every kind but a folder's is a file; none of them may pass for the
        // root, whose kind only the root holds.
        node->m_nKind = links[i].m_nKind == NODE_FOLDER ? NODE_FOLDER : NODE_FILE;
        node->m_nRecordOffset = links[i].m_nRecordOffset;
        node->m_nInfoOffset = links[i].m_nInfoOffset;
        nodes[i] = node.get();
        st.m_listNodes.push_back(std::move(node));
    }
    // Parents precede their children in the walk's order, so every link
    // points at a node that already exists.
    for (size_t i = 0; i < links.size(); ++i) {
        const TreeLink& l = links[i];
        if (l.m_nFirstChild != NO_ENTRY) nodes[i]->m_pFirstChild = nodes[l.m_nFirstChild];
        if (l.m_nNextSibling != NO_ENTRY) nodes[i]->m_pNextSibling = nodes[l.m_nNextSibling];
    }
    st.m_root.m_pFirstChild = nodes.empty() ? nullptr : nodes[0];
    st.m_root.m_nFirstChildOffset = 0;
    return nodes;
}

/*
 * InfoRecord: u8 method; u64 size; u32 attributes; u64 creation, access and
 * write times; the name (version 102: u16 L + L encrypted bytes; 100 and
 * 101: a fixed encrypted field of N bytes); u64 stored size; 32-byte SHA-256;
 * u8 start volume; u64 data offset.
 */
std::unique_ptr<EntryInfo> ReadEntryInfo(ExtractSession& s, InfoTableReader& table, const EntryNode& node)
{
    ArchiveState& st = s.m_state;
    uint64_t pos = st.m_nInfoOffset + node.m_nInfoOffset;
    uint32_t minSize = MinInfoRecordSize(st.m_header.m_nVersion, st.m_header.m_nFlags);
    // The info table ends where the data stream begins.
    if (pos < st.m_nInfoOffset || pos > st.m_nDataOffset || st.m_nDataOffset - pos < minSize) {
        RecordFailure(s.m_ctx, s.m_state, ERR_READ);
        return nullptr;
    }
    RecordWindow& window = table.Window();
    window.Seek(pos);
    InfoRecord record;
    if (ParseInfoRecord(window, st.m_header, &record) != FormatStatus::Ok) {
        RecordFailure(s.m_ctx, s.m_state, ERR_READ);
        return nullptr;
    }

    auto info = std::make_unique<EntryInfo>();
    info->m_nMethod = record.m_nMethod;
    info->m_nSize = record.m_nSize;
    info->m_nAttributes = record.m_nAttributes;
    info->m_nCreationTime = record.m_nCreationTime;
    info->m_nAccessTime = record.m_nAccessTime;
    info->m_nWriteTime = record.m_nWriteTime;
    info->m_nStoredSize = record.m_nStoredSize;
    std::copy(std::begin(record.m_hash), std::end(record.m_hash), info->m_hash);
    info->m_nStartVolume = record.m_nStartVolume;
    info->m_nDataOffset = record.m_nDataOffset;
    // A name the system cannot convert at all stays empty, which extraction
    // refuses like any other unusable name.
    std::u16string name;
    if (DecodeEntryName(record.m_name, (st.m_header.m_nFlags & AF_NARROW_NAMES) != 0, &name))
        info->m_strName = ToWide(name);
    return info;
}

} // namespace

int LoadTree(ExtractSession& s)
{
    ArchiveState& st = s.m_state;
    FreeTree(st);
    FileHandle file(OpenFile(st.m_strArchivePath.c_str(), OPENMODE_READ));
    if (!file) {
        GetLastErrorText();
        return RecordFailure(s.m_ctx, st, ERR_READ, std::wstring(), LastErrorText());
    }
    std::vector<TreeLink> links;
    if (ReadTreeLinks(s, file.Get(), &links) != 0) return 1;
    InfoTableReader table(file.Get(), st.m_nFileSize);
    for (EntryNode* node : BuildNodes(st, links)) {
        if (node->IsFolder()) {
            std::unique_ptr<EntryInfo> info = ReadEntryInfo(s, table, *node);
            if (!info) return 1;
            node->m_strName = std::move(info->m_strName);
        }
        s.m_progress.m_nDone += 1;
    }
    st.m_bTreeLoaded = true;
    return 0;
}

std::unique_ptr<EntryInfo> LoadEntryInfo(ExtractSession& s, SysHandle archive, const EntryNode& node)
{
    if (s.m_infoTable.Handle() != archive) s.m_infoTable.Attach(archive, s.m_state.m_nFileSize);
    return ReadEntryInfo(s, s.m_infoTable, node);
}

int LoadChildrenInfo(ExtractSession& s, EntryNode& folder)
{
    FileHandle file(OpenFile(s.m_state.m_strArchivePath.c_str(), OPENMODE_READ));
    if (!file) return RecordFailure(s.m_ctx, s.m_state, ERR_READ);
    InfoTableReader table(file.Get(), s.m_state.m_nFileSize);
    for (EntryNode* child = folder.m_pFirstChild; child; child = child->m_pNextSibling) {
        if (!child->m_pInfo) {
            child->m_pInfo = ReadEntryInfo(s, table, *child);
            if (!child->m_pInfo) return 1;
        }
        child->m_bSelected = 0;
    }
    return 0;
}

size_t SortChildren(EntryNode& folder)
{
    std::vector<EntryNode*> children;
    for (EntryNode* c = folder.m_pFirstChild; c; c = c->m_pNextSibling)
        children.push_back(c);
    // Merge sort: stays well-behaved even though entries without
    // information compare equal to everything.
    std::stable_sort(children.begin(), children.end(), [](const EntryNode* a, const EntryNode* b) {
        if (a->IsFolder() != b->IsFolder()) return a->IsFolder();
        if (!a->m_pInfo || !b->m_pInfo) return false;
        return CompareNamesLogically(a->m_pInfo->m_strName.c_str(), b->m_pInfo->m_strName.c_str()) < 0;
    });
    folder.m_pFirstChild = children.empty() ? nullptr : children[0];
    for (size_t i = 0; i < children.size(); ++i)
        children[i]->m_pNextSibling = i + 1 < children.size() ? children[i + 1] : nullptr;
    return children.size();
}

int SumFolderSize(ExtractSession& s, const EntryNode& folder, uint64_t* sum)
{
    *sum = 0;
    // Iterative: the depth of the tree is bounded when it is loaded, but a
    // stack of pending nodes costs nothing.
    std::vector<const EntryNode*> pending;
    for (const EntryNode* c = folder.m_pFirstChild; c; c = c->m_pNextSibling)
        pending.push_back(c);
    while (!pending.empty()) {
        if (s.m_ctx.m_nAbort) {
            s.m_ctx.m_nFailed = 1;
            return 1;
        }
        const EntryNode* node = pending.back();
        pending.pop_back();
        if (node->IsFolder()) {
            for (const EntryNode* c = node->m_pFirstChild; c; c = c->m_pNextSibling)
                pending.push_back(c);
            continue;
        }
        if (node->m_pInfo) {
            *sum += node->m_pInfo->m_nSize;
        } else {
            std::unique_ptr<EntryInfo> info = LoadEntryInfo(s, s.m_archive.Get(), *node);
            if (!info) return 1;
            *sum += info->m_nSize;
        }
    }
    return 0;
}

} // namespace zk
