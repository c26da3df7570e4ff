#pragma once
// Turns the chosen files and folders into the build's work file (one info
// record per entry, depth-first) and the in-memory tree that later becomes
// the tree table.

#include <cstdint>
#include <string>
#include <vector>

#include "core/archive_format.h"
#include "core/file_io.h"

namespace zk {

struct BuildContext;

constexpr uint32_t NO_INFO_OFFSET = 0xFFFFFFFFu;

// One stored entry. Nodes are made in collection order; the engine frees
// them with FreeTree when the build ends.
struct SourceNode {
    uint8_t nKind = 0;                     // NODE_FOLDER or NODE_FILE
    uint32_t nTreeOffset = 0;              // assigned after the data phase
    uint32_t nInfoOffset = NO_INFO_OFFSET; // position of the record in the work file
    SourceNode* pNext = nullptr;
    SourceNode* pFirstChild = nullptr;
};

// Frees every node below (not including) the given node and clears its
// child link. Works without recursion on sibling lists.
void FreeTree(SourceNode* pNode);

// An info record while the build works on it. Only the last path component
// of strName is ever stored. The data phase keeps the name collection read
// from the file system, so a rewritten record keeps its length.
struct BuildRecord {
    InfoRecord info;
    std::wstring strName;
    SourceNode* pNode = nullptr;
    // Byte length of the record in the work file (0 until it was written or
    // read); a rewrite must keep it.
    uint32_t nEncodedSize = 0;
};

// Result of ClassifyEntry.
// A symbolic link is never followed: it is left out and shown as such.
enum : int { ENTRY_SKIP = 0, ENTRY_FILE = 1, ENTRY_FOLDER = 2, ENTRY_LINK = 3 };

int ClassifyEntry(const BuildContext& ctx, const FileListing& entry);

// A record filled from a directory entry; the data offset is the stream
// position reached so far.
BuildRecord NewInfoRecord(const BuildContext& ctx, const FileListing& entry);

// Writes the record at the work file's record position (SeekWork) and stores
// that position in the record's node. The bytes may reach the file only
// later: a write the file refuses fails the call that writes them back.
// 0 success, 1 failure.
int WriteInfoRecord(BuildContext& ctx, BuildRecord& record);

// Reads the record at the given work-file position (the record position is
// left after it). 0 success, 1 failure.
int ReadInfoRecord(BuildContext& ctx, uint32_t nInfoOffset, BuildRecord& record);

// The whole collection: every kept source item becomes a top-level node
// below the root; the work file holds every record when it returns.
// 0 success, 1 failure (failing path and message are set, or the build was
// cancelled).
int CollectSources(BuildContext& ctx, const std::vector<std::wstring>& sources, SourceNode& root);

// The contents of one folder and of every folder below it, depth-first.
// The walk keeps its open folders on the heap: its stack use does not grow
// with the depth of the tree. A listing that ends with an error other than
// "no more files" fails the collection with the system's text.
int CollectFolder(BuildContext& ctx, const std::wstring& folderPath, SourceNode& folderNode);

// True when a path names the archive being built, one of its volume files
// or the build's work file: those are never stored.
bool IsBuildOutput(const BuildContext& ctx, const std::wstring& path);

} // namespace zk
