#pragma once
// What the extraction workers need from the window that runs them. The main
// dialog implements it (posting to its own thread; questions and the
// program's messages shown there with the dialog as owner, system errors
// without owner where they happen); the tests use FakeExtractCallback.
// Called from the worker thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "core/user_message.h"
#include "sfx/engine/archive_state.h"

namespace zk {

// The workers' questions, so that a caller without a window can answer by
// topic (the builder numbers its own).
enum : uint8_t {
    EXTRACT_TOPIC_NONE,
    EXTRACT_TOPIC_DEST_IS_FILE,
    EXTRACT_TOPIC_DEST_EXISTS,
    EXTRACT_TOPIC_OVERWRITE,
    EXTRACT_TOPIC_FILE_LOCKED
};

class IExtractCallback : public IUserDialogue {
public:
    // Every hook below does nothing unless a window overrides it: a front
    // without a window only answers the questions.

    // The window repaints the counters every nRefreshMs until ProgressStopped;
    // bAnalysis: the analysis's repaint (the whole dialog) rather than the bar's.
    virtual void ProgressStarted(uint32_t /*nRefreshMs*/, bool /*bAnalysis*/) {}
    virtual void ProgressStopped() {}
    // The no-UI window's last picture before it closes.
    virtual void RepaintProgress() {}
    // Fills the folder tree from the root and returns once it is filled: the
    // tree takes the folder names over.
    virtual void FillTree() {}
    virtual void RefreshSummary() {}
    virtual void EnableExtractButton() {}
    // No-UI mode: closes the window once the running worker has ended.
    virtual void CloseWhenDone() {}
    // No-UI mode: the file being written, in the text line.
    virtual void ShowCurrentPath(const std::wstring& /*path*/) {}
};

// What a run extracts, fixed by the window when it starts the worker: the
// user may go on typing and clicking while it runs.
struct ExtractRequest {
    std::wstring m_strDestination;             // as typed
    EntryNode* m_pFolder = nullptr;            // the list's folder (extraction of the selected entries)
    std::vector<EntryNode*> m_listFolderChain; // from the top level down to m_pFolder, the root left out
};

} // namespace zk
