#pragma once
// "--quiet": the extractor without any window, for scripts. The archive is
// opened as usual (the hidden window is never shown); instead of the main
// window, everything is extracted on this thread. Every message the program
// would show is answered the careful way and kept, and what went wrong
// ends up in the error log beside the archive.

#include <mutex>
#include <string>
#include <vector>

#include "core/error_log.h"
#include "ui/message_box.h"
#include "sfx/engine/archive_open.h"
#include "sfx/engine/sfx_switches.h"

namespace zk {

class CQuietRun : public IOpenCallback {
public:
    // From now on boxes are not shown either: each is kept and answered
    // carefully.
    explicit CQuietRun(const SfxSwitches& switches);
    ~CQuietRun() override;
    CQuietRun(const CQuietRun&) = delete;
    CQuietRun& operator=(const CQuietRun&) = delete;

    // Kept for the log; the careful answer.
    Answer Ask(const UserMessage& message) override;
    // Nobody to ask: the password of the switches, else an empty one, which
    // fails with the wrong-password message.
    bool AskPassword(std::wstring* password) override;
    // Extracts everything into the destination the window would have shown
    // (the "--dest" switch's, else the archive's default).
    void RunMainWindow(ArchiveState& state) override;

    // At the end: the log beside the archive, when there is something to
    // tell.
    void WriteLog(const ArchiveState& state);

private:
    void Keep(const std::wstring& path, const std::wstring& text);

    SfxSwitches m_switches;
    std::mutex m_lock;
    std::vector<ErrorLogRecord> m_listRecords;
    MessageBoxFunc m_previous;
};

// A switch that was not understood, in the log instead of a box.
void LogQuietFailure(const std::wstring& archivePath, const std::wstring& message);

} // namespace zk
