#pragma once
// What one extraction run shares: the opened archive, the worker context,
// the progress counters and status text the main window paints, and the
// window itself seen through a small interface so that the workers run (and
// are tested) without it.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/pipeline.h"
#include "core/unique_handle.h"
#include "core/zone_identifier.h"
#include "sfx/archive_state.h"

namespace zk {

// Timer that repaints the progress bar while a worker runs.
constexpr UINT_PTR PROGRESS_TIMER_ID = 32868;

// The main window as the workers see it. Called from the worker thread; the
// window implements each call by posting or sending to itself.
class IExtractorView {
public:
    virtual ~IExtractorView() = default;
    // Owner of the workers' message boxes.
    virtual HWND Owner() = 0;
    // Starts / stops the repaint timer; onDialog: on the main dialog (the
    // analysis) rather than on the progress bar.
    virtual void StartProgressTimer(UINT elapseMs, bool onDialog) = 0;
    virtual void StopProgressTimer() = 0;
    virtual void RepaintProgress() = 0;
    // Fills the folder tree from the root and selects the root item.
    virtual void FillTree() = 0;
    virtual void RefreshSummary() = 0;
    virtual void EnableExtractButton() = 0;
    // No-UI mode: closes the dialog once the running worker has ended.
    virtual void CloseWhenDone() = 0;
    // No-UI mode: the file being written, in the text line.
    virtual void ShowCurrentPath(const std::wstring& path) = 0;
    // The destination folder as typed.
    virtual std::wstring Destination() = 0;
    // The folders from the top level down to the one whose entries the list
    // shows (empty when that is the root); CurrentFolder is null when no
    // folder is current.
    virtual std::vector<EntryNode*> CurrentFolderChain() = 0;
    virtual EntryNode* CurrentFolder() = 0;
};

// Shows a written error log (Notepad; tests record the path instead).
using LogOpener = void (*)(const std::wstring& logPath);
void OpenLogInNotepad(const std::wstring& logPath);

struct ExtractSession {
    explicit ExtractSession(ArchiveState& state, IExtractorView* view = nullptr)
        : m_state(state), m_pView(view)
    {
    }

    ArchiveState& m_state;
    IExtractorView* m_pView;
    WorkerContext m_ctx;
    ProgressCounters m_progress;
    StatusOverride m_status;

    // Per run: the folder entries are written into (long form; the workers
    // never change the process's current directory, so trees deeper than
    // MAX_PATH work too) and the archive's first file.
    std::wstring m_strCurrentDir;
    FileHandle m_archive;
    // The volume files entries are read from, the last one kept open
    // between entries; closed when the run ends.
    std::unique_ptr<IVolumeFiles> m_pVolumes;
    LogOpener m_pOpenLog = &OpenLogInNotepad;
    // Made at the first hashed entry and kept: the system's provider behind
    // it costs milliseconds to acquire, more than hashing a small file.
    std::unique_ptr<IFileHash> m_pHash;
    // Per run: the archive's Mark-of-the-Web, given to every file written.
    ZoneMark m_zoneMark;
};

} // namespace zk
