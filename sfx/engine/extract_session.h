#pragma once
// What one extraction run shares: the opened archive, the worker context,
// the progress counters and status text the main window paints, what the
// run was asked to extract, and the window itself seen through a small
// interface so that the workers run (and are tested) without it.

#include <memory>
#include <string>
#include <vector>

#include "core/pipeline.h"
#include "core/unique_handle.h"
#include "core/volume_io.h"
#include "core/zone_identifier.h"
#include "sfx/engine/archive_file.h"
#include "sfx/engine/archive_state.h"
#include "sfx/engine/extract_callback.h"

namespace zk {

// Decodes a run's files ahead of their writing (sfx/engine/entry_decoder.h).
class EntryAhead;
struct EntryAheadDeleter {
    void operator()(EntryAhead* ahead) const;
};

struct ExtractSession {
    explicit ExtractSession(ArchiveState& state, IExtractCallback* callback = nullptr)
        : m_state(state), m_pCallback(callback)
    {
    }

    ArchiveState& m_state;
    IExtractCallback* m_pCallback;
    WorkerContext m_ctx;
    ProgressCounters m_progress;
    StatusOverride m_status;
    // What the running worker extracts, given when it was started.
    ExtractRequest m_request;

    // Per run: the folder entries are written into (long form; the workers
    // never change the process's current directory, so trees deeper than
    // MAX_PATH work too) and the archive's first file.
    std::wstring m_strCurrentDir;
    FileHandle m_archive;
    // The info records of m_archive, read through a window (one thread).
    InfoTableReader m_infoTable;
    // The volume files entries are read from, the last one kept open
    // between entries; closed when the run ends.
    std::unique_ptr<IVolumeFiles> m_pVolumes;
    // Where entries are read from through m_pVolumes, made with it: every
    // entry of a run reads from the same place.
    VolumeSet m_volumeSet;
    // Made at the first hashed entry and kept: the system's provider behind
    // it costs milliseconds to acquire, more than hashing a small file.
    std::unique_ptr<IFileHash> m_pHash;
    // Per run: the archive's Mark-of-the-Web, given to every file written.
    ZoneMark m_zoneMark;
    // Decode ahead and hash beside the writing even when the archive's
    // files are small on average, where handing each file over costs more
    // than it saves (tests set it to run the threaded path on small
    // archives).
    bool m_bAheadForSmallFiles = false;
    // Per run, with more than one thread: the thread decoding the next
    // files. Last, so that it stops before anything it reads goes away.
    std::unique_ptr<EntryAhead, EntryAheadDeleter> m_pAhead;
};

} // namespace zk
