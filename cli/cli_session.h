#pragma once
// What the subcommands share: their messages on stderr, the progress bar,
// the password and the code page, and an archive opened through the
// extraction engine with its whole tree loaded.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_text.h"
#include "cli/terminal.h"
#include "sfx/engine/archive_open.h"
#include "sfx/engine/extract_callback.h"
#include "sfx/engine/extract_session.h"

namespace zk {

// "zelkora: text" on stderr; a note only when the run is not quiet.
void CliError(const std::string& text);
void CliNote(const CliOptions& o, const std::string& text);
// A path as the user reads it (UTF-8).
std::string ShownPath(const std::wstring& path);
// Absolute and normalised: the engines take full paths.
std::wstring FullPath(const std::wstring& path);

// A bar on stderr, repainted from its own thread while a run works; only
// when stderr is a terminal and the run is not quiet.
class CProgressLine {
public:
    using Source = std::function<void(uint64_t* done, uint64_t* total)>;
    CProgressLine(const CliOptions& o, const char* label, Source source);
    ~CProgressLine() { Stop(); }
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;
    // Ends the painting and clears the line; idempotent.
    void Stop();

    // Set while a question waits for its answer: the bar must not paint
    // over it.
    static std::atomic<bool> s_bPaused;

private:
    void Loop();
    void Paint();

    std::string m_strLabel;
    Source m_source;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bStop = false;
};

// The password of -p or --password-file. 0, or 1 after telling why the
// file gave none.
int GivenPassword(const CliOptions& o, bool* given, std::wstring* password);

// --codepage, when given, for names and the key.
void ApplyCodePage(const CliOptions& o);

// The first known failure of an opening's or a run's error flags, in the
// order the extractor tells them; null when none is set.
const char* CliErrorText(uint32_t flags);

// The engines' questions answered for a command line, and the system's
// messages printed as they come.
class CCliDialogue : public IExtractCallback {
public:
    explicit CCliDialogue(const CliOptions& o) : m_options(o) {}

    Answer Ask(const UserMessage& message) override;

    // Every system text told so far, printed once.
    void PrintSystemTexts();
    bool m_bOverwriteRefused = false; // an existing file met without -y, -n or a terminal
    bool m_bDestinationIsFile = false;
    std::wstring m_strExistingFile;
    // Set by the subcommand that runs inside the opened archive.
    std::function<int(ArchiveState&)> m_run;

private:
    Answer AskOverwrite(const std::wstring& question);
    Answer AskOnTerminal(const std::wstring& question);
    // The engine's question ends with the file's path after a full-width
    // colon.
    static std::wstring FileOfQuestion(const std::wstring& text);

    const CliOptions& m_options;
    std::mutex m_lock;
    std::vector<std::wstring> m_listSystemTexts;
    bool m_bKeepAll = false;
};

// Opens options.m_strArchive and runs run inside it; tells why an opening
// failed. The exit code.
int WithOpenArchive(const CliOptions& o, CCliDialogue& dialogue, std::function<int(ArchiveState&)> run);

struct ListedEntry {
    std::wstring m_strPath; // "/"-separated inside the archive
    const EntryNode* m_pNode = nullptr;
};

// The tree's load, as the extractor's analysis does it, and every record
// read, depth-first in archive order. 0, or 1 after telling why.
int LoadWholeTree(const CliOptions& o, CCliDialogue& dialogue, ExtractSession& s, std::vector<ListedEntry>* out);

// The first volume file the entries need that is missing, or empty.
std::wstring MissingVolume(const ArchiveState& st, const std::vector<ListedEntry>& entries);

// After a failed run: the cause in English, the missing volume named.
void TellRunFailure(const CliOptions& o, CCliDialogue& dialogue, ExtractSession& s,
                    const std::vector<ListedEntry>& entries);

} // namespace zk
