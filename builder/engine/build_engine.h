#pragma once
// The build engine: one archive from the job's settings and sources, on the
// calling thread (the wizard's build thread). It never touches a window: it
// reports through the job's progress and asks and tells through the job's
// dialogue.

#include <cstdint>
#include <string>

#include "builder/engine/build_context.h"
#include "builder/engine/build_job.h"
#include "builder/engine/source_collection.h"

namespace zk {

// The whole build: returns 0 (the thread's exit code). The outcome is in
// *job.pFlags once its state is finished; the statistics, a raised volume
// size and the failure are in the job. The job's password is wiped.
unsigned BuildWorker(BuildJob& job);

// ---- the steps, each 0 success / 1 failure (the failure is recorded) ----------

// The head: a volume count the data could never fit, the header and
// parameter section (with the question to raise the volume size), zeros
// where the tables go.
int CheckVolumeCount(BuildContext& ctx, uint64_t workSize);
int WriteHead(BuildContext& ctx, uint64_t workSize);
int WritePlaceholders(BuildContext& ctx, uint64_t workSize);

// The data phase: every kept source item in list order, in step with the
// top-level nodes; a folder's contents follow through WriteChildren, which
// walks every folder below it with its open folders on the heap (the depth
// of the tree costs no stack).
int WriteEntries(BuildContext& ctx, SourceNode& root);
int WriteChildren(BuildContext& ctx, const std::wstring& folderPath, SourceNode& folderNode);

// The stored data of one file; the record receives method, stored size and
// hash. `path` is where the file is read from.
int ProcessFile(BuildContext& ctx, BuildRecord& record, const std::wstring& path);

// Tree-relative offsets from counter on: every entry of a child list in list
// order, then the lists below those entries in the same order, recursively;
// counter ends after the last record. 1 for a tree too large for 32-bit
// offsets. WriteTreeTable writes the records in exactly this order.
int AssignTreeOffsets(SourceNode& node, uint32_t& counter);
int WriteTreeTable(BuildContext& ctx, SourceNode& node);
// The tree table, the info table copied from the work file, then the magic.
int WriteTables(BuildContext& ctx, SourceNode& root);

} // namespace zk
