#pragma once
// The archive's Mark-of-the-Web, carried over to every file a run writes.

#include <string>

#include "sfx/engine/extract_session.h"

namespace zk {

// Reads the mark of the archive's first file for this run.
void LoadArchiveZoneMark(ExtractSession& s);

// Gives a written file (long form; shown: as the user reads it) the
// archive's mark, when it has one. A mark that cannot be written leaves the
// file as it is and becomes a notice in the error log: the file's data is
// whole, so the run goes on.
void MarkExtractedFile(ExtractSession& s, const std::wstring& path, const std::wstring& shown);

} // namespace zk
