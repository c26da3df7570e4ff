#pragma once
// The extractor's workers: tree analysis, extraction of everything and of
// the entries selected in the list, and what they share: the destination
// check, folder creation, file writing with its questions, attributes and
// times, and the error log.

#include <cstdint>
#include <string>
#include <vector>

#include "sfx/engine/extract_session.h"

namespace zk {

// "C:\" and the like: a letter, ":" and "\" and nothing else.
bool IsDriveRootText(const std::wstring& text);

// The destination as checked and created: one trailing "\" removed unless
// it is a drive root.
std::wstring DestinationForCheck(std::wstring text);

// Before anything is extracted: a drive root is taken as it is; an existing
// file stops the run; an existing folder is extracted into only when the
// user agrees. 0 to go on; 1 stopped (abort and failed set, no error flag).
int CheckDestination(ExtractSession& s, const std::wstring& destination);

// Creates every missing folder of path (a drive path or a UNC path below
// its share). 0 on success, 1 after a failure told to dialogue.
int CreateFolderChain(const std::wstring& path, IUserDialogue& dialogue);

// The folders CreateFolderChain makes sure of, outermost first: every
// prefix of path ending before a "\\", and path itself; never a drive or a
// server share.
std::vector<std::wstring> FolderChainSteps(const std::wstring& path);

// Extract a folder (its children in sibling order, then its attributes and
// times) or one file into the session's current folder. 0 / 1.
int ExtractFolder(ExtractSession& s, EntryNode& node);
int ExtractFile(ExtractSession& s, EntryNode& node);

// Sets the attributes, then the three times (folders included). 0 / 1.
int ApplyAttributesAndTimes(ExtractSession& s, const std::wstring& path, uint32_t attributes,
                            uint64_t creation, uint64_t access, uint64_t write);

// The workers. Each returns its failed flag and clears running last.
int AnalysisWorker(ExtractSession& s);
int ExtractAllWorker(ExtractSession& s);
int ExtractSelectedWorker(ExtractSession& s);

using WorkerProc = int (*)(ExtractSession&);
// Sets running, clears the rest of the context and starts the worker on its
// own thread with request; a worker may start the next one as it ends
// (running then stays set throughout). False (running cleared again) when no thread could
// be started.
bool StartWorker(ExtractSession& s, WorkerProc worker, ExtractRequest request);

// After a run that failed (not by the user's abort) or that has notices:
// "<archive path without extension>.log" with the notices and then the
// failing path and the message, in UTF-16LE; the window then shows it. A
// log that cannot be created is told to dialogue. Not in no-UI mode. 0 / 1.
bool ErrorLogWanted(const ExtractSession& s);
int WriteErrorLog(ExtractSession& s, IUserDialogue& dialogue);

} // namespace zk
