#pragma once
// The archive's entry tree in memory: loaded once by the analysis worker,
// entry information read lazily when a folder is shown or extracted.

#include <cstdint>
#include <memory>

#include "sfx/engine/extract_session.h"

namespace zk {

// Reads the tree table and builds the nodes under the root; folders get
// their names at once. Each node counts one in the progress counters. A
// damaged table or an unreadable record: ERR_READ, 1.
int LoadTree(ExtractSession& s);

// Reads the InfoRecord of a node through an open archive handle, by way of
// the session's window over that handle. Null (with ERR_READ and the context
// failed) when the record lies outside the info table or cannot be read.
std::unique_ptr<EntryInfo> LoadEntryInfo(ExtractSession& s, SysHandle archive, const EntryNode& node);

// Reads the EntryInfo of every child of a folder not holding one yet and
// clears their selection (0 / 1).
int LoadChildrenInfo(ExtractSession& s, EntryNode& folder);

// Orders a folder's children: folders first, then by StrCmpLogicalW of
// their names (children without EntryInfo compare equal); relinks the
// sibling chain and returns the number of children.
size_t SortChildren(EntryNode& folder);

// Sum of the uncompressed sizes of all files below a folder, reading the
// records not held through the session's open archive (and dropping them
// again). 1 on a read failure or when abort is requested.
int SumFolderSize(ExtractSession& s, const EntryNode& folder, uint64_t* sum);

// Frees every node under the root.
void FreeTree(ArchiveState& state);

} // namespace zk
