#pragma once
// Opening an archive: where it begins, whether it is one, the password, and
// the parameter section. Each step opens and closes the file itself; no
// handle stays open between them.

#include <cstdint>
#include <string>

#include "core/user_message.h"
#include "sfx/engine/archive_state.h"

namespace zk {

// The password can be typed this many times.
constexpr int PASSWORD_TRIES = 3;
// Characters the password box accepts; the first 16 make the key.
constexpr size_t PASSWORD_MAX_CHARS = 32;
constexpr size_t PASSWORD_KEY_CHARS = 16;

// Where the archive appended to a program file begins: the end of its last
// section. 0 on success, 1 when the file cannot be opened or read (the
// system's reason told to dialogue) or its headers are missing or
// implausible (silent).
int LocatePayload(const wchar_t* path, uint64_t* offset, IUserDialogue& dialogue);

// Reads the 50-byte header at the payload offset of the archive path.
// ERR_NO_DATA when it is not all there, ERR_NOT_ARCHIVE for another magic,
// ERR_VERSION for a version this program cannot read. A file that cannot
// be opened at all is told to dialogue with the system's reason.
int CheckHeader(WorkerContext& ctx, ArchiveState& state, IUserDialogue& dialogue);

// Sets the archive key from the typed password (or, without password, from
// the header's time stamp) and tests the check block: ERR_PASSWORD when it
// does not match.
int CheckKey(WorkerContext& ctx, ArchiveState& state);

// Reads the parameter section and the table offsets: ERR_READ when it is
// short or its counts and offsets do not fit the file.
int ReadParameters(WorkerContext& ctx, ArchiveState& state);

// What the opening needs from the program that runs it: the password box,
// the main window, and its messages (the failure's message, the system's
// errors). The start-up implements it on the hidden window's thread; the
// tests use FakeOpenCallback.
class IOpenCallback : public IUserDialogue {
public:
    // The password box: the typed text (at most PASSWORD_MAX_CHARS
    // characters) lands in *password. False when cancelled.
    virtual bool AskPassword(std::wstring* password) = 0;
    // Runs the main window for the opened archive; returns once it closed.
    virtual void RunMainWindow(ArchiveState& state) = 0;
};

enum class OpenOutcome {
    OPENED, // the main dialog ran
    FAILED, // ended; the message of ErrorFlags (if any) was shown
};

// Everything the hidden window's creation handler does before it destroys
// the window: decides the archive path (the command line's, or the program
// itself), locates the payload of an ".exe", checks the header, asks for the
// password up to three times, reads the parameters, runs the main window,
// and finally tells the message for what failed.
OpenOutcome OpenArchive(WorkerContext& ctx, ArchiveState& state, const std::wstring& programPath,
                        IOpenCallback& callback);

} // namespace zk
