#include "cli/cli_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "builder/engine/build_engine.h"
#include "builder/engine/build_job.h"
#include "builder/engine/build_messages.h"
#include "cli/cli_text.h"
#include "cli/terminal.h"
#include "core/archive_names.h"
#include "core/entry_name.h"
#include "core/exit_codes.h"
#include "core/file_time_win.h"
#include "core/password_file.h"
#include "core/pipeline_platform.h"
#include "core/reporting_files.h"
#include "core/text_convert.h"
#include "core/volume_io.h"
#include "sfx/engine/archive_open.h"
#include "sfx/engine/entry_decoder.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/extract_engine.h"

namespace fs = std::filesystem;

namespace zk {

namespace {

#ifdef _WIN32
constexpr wchar_t PATH_SEPARATOR = L'\\';
constexpr char NULL_DEVICE[] = "NUL";
#else
constexpr wchar_t PATH_SEPARATOR = L'/';
constexpr char NULL_DEVICE[] = "/dev/null";
#endif
constexpr wchar_t STUB_NAME[] = L"ZelkoraSfx.exe";

void Error(const std::string& text)
{
    WriteErr("zelkora: " + text + "\n");
}

void Note(const CliOptions& o, const std::string& text)
{
    if (!o.m_bQuiet) WriteErr("zelkora: " + text + "\n");
}

std::string Shown(const std::wstring& path)
{
    return WideToUtf8(path);
}

std::wstring AbsolutePath(const std::wstring& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) return path;
    return p.lexically_normal().wstring();
}

// ---- progress ---------------------------------------------------------------

// Set while a question waits for its answer: the bar must not paint over it.
std::atomic<bool> g_bAsking{false};

// A bar on stderr, repainted from its own thread while a run works; only
// when stderr is a terminal and the run is not quiet.
class CProgressLine {
public:
    using Source = std::function<void(uint64_t* done, uint64_t* total)>;
    CProgressLine(const CliOptions& o, const char* label, Source source)
        : m_strLabel(label), m_source(std::move(source))
    {
        if (o.m_bQuiet || !StderrIsTerminal()) return;
        m_thread = std::thread([this] { Loop(); });
    }
    ~CProgressLine() { Stop(); }
    void Stop()
    {
        if (!m_thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_bStop = true;
        }
        m_wake.notify_all();
        m_thread.join();
        WriteErr("\r" + std::string(static_cast<size_t>(std::max(TerminalWidth() - 1, 1)), ' ') + "\r");
    }

private:
    void Loop()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_bStop; }))
            Paint();
    }
    void Paint()
    {
        if (g_bAsking) return;
        uint64_t done = 0, total = 0;
        m_source(&done, &total);
        std::string line(1, '\r');
        line += ProgressLineText(m_strLabel, done, total, TerminalWidth() - 1);
        WriteErr(line);
    }

    std::string m_strLabel;
    Source m_source;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bStop = false;
};

// ---- passwords and code page -----------------------------------------------

// The password of -p or --password-file. 0, or 1 after telling why the
// file gave none.
int GivenPassword(const CliOptions& o, bool* given, std::wstring* password)
{
    *given = false;
    if (o.m_bPassword) {
        *given = true;
        *password = o.m_strPassword;
    } else if (!o.m_strPasswordFile.empty()) {
        if (!ReadPasswordFile(AbsolutePath(o.m_strPasswordFile).c_str(), password)) {
            Error(Shown(o.m_strPasswordFile) + ": no password could be read from this file");
            return EXIT_CODE_FAILED;
        }
        *given = true;
    }
    return 0;
}

// Unset, the code page is the platform's default (the system's on Windows,
// 932 elsewhere).
void ApplyCodePage(const CliOptions& o)
{
    if (o.m_bCodePage) SetArchiveCodePage(o.m_nCodePage);
}

// ---- opening ----------------------------------------------------------------

struct ErrorText {
    uint32_t m_nFlag;
    const char* m_pText;
};

// In the order the extractor tells them: the first one set is the cause.
constexpr ErrorText ERROR_TEXTS[] = {
    {ERR_NO_FILE, "the archive does not exist"},
    {ERR_NOT_ARCHIVE, "not a Zelkora archive"},
    {ERR_VERSION, "an archive version this tool cannot read"},
    {ERR_NO_DATA, "the archive holds no data (cut short?)"},
    {ERR_PASSWORD, "wrong password"},
    {ERR_READ, "the archive cannot be read (damaged or cut short)"},
    {ERR_HASH, "hash mismatch: the extracted data is not what was packed"},
    {ERR_READ_ONLY, "a read-only file cannot be overwritten"},
    {ERR_BAD_NAME, "the archive holds a name that would leave the destination or name a device; stopped"},
    {ERR_DAMAGED, "the archive's data is damaged"},
};

const char* CliErrorText(uint32_t flags)
{
    for (const ErrorText& e : ERROR_TEXTS)
        if (flags & e.m_nFlag) return e.m_pText;
    return nullptr;
}

// The engines' questions answered for a command line, and the system's
// messages printed as they come.
class CCliDialogue : public IExtractCallback {
public:
    explicit CCliDialogue(const CliOptions& o) : m_options(o) {}

    Answer Ask(const UserMessage& message) override
    {
        switch (message.m_nTopic) {
        case EXTRACT_TOPIC_DEST_EXISTS:
            // Extracting into an existing folder is ordinary on a command
            // line; each existing file is still asked about.
            return ANSWER_OK;
        case EXTRACT_TOPIC_OVERWRITE:
            return AskOverwrite(message.m_strText);
        default:
            break;
        }
        if (message.m_nSource == SOURCE_SYSTEM) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_listSystemTexts.push_back(message.m_strText);
        }
        switch (message.m_nButtons) {
        case BUTTONS_OK:
            return ANSWER_OK;
        case BUTTONS_ABORT_RETRY_IGNORE:
            return ANSWER_ABORT;
        case BUTTONS_YES_NO_CANCEL:
            return ANSWER_CANCEL;
        default:
            return ANSWER_CANCEL;
        }
    }
    void ProgressStarted(uint32_t, bool) override {}
    void ProgressStopped() override {}
    void RepaintProgress() override {}
    void FillTree() override {}
    void RefreshSummary() override {}
    void EnableExtractButton() override {}
    void CloseWhenDone() override {}
    void ShowCurrentPath(const std::wstring&) override {}

    // Every system text told so far, printed once.
    void PrintSystemTexts()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (std::wstring t : m_listSystemTexts) {
            while (!t.empty() && (t.back() == L'\r' || t.back() == L'\n' || t.back() == L' '))
                t.pop_back();
            Error(PrintableText(t));
        }
        m_listSystemTexts.clear();
    }
    bool m_bOverwriteRefused = false; // an existing file met without -y, -n or a terminal
    std::wstring m_strExistingFile;
    // Set by the subcommand that runs inside the opened archive.
    std::function<int(ArchiveState&)> m_run;

protected:
    Answer AskOverwrite(const std::wstring& question)
    {
        if (m_options.m_nOverwrite == OVERWRITE_ALL) return ANSWER_YES;
        if (m_options.m_nOverwrite == OVERWRITE_NONE || m_bKeepAll) return ANSWER_NO;
        if (!StdinIsTerminal()) {
            m_bOverwriteRefused = true;
            m_strExistingFile = FileOfQuestion(question);
            return ANSWER_CANCEL;
        }
        g_bAsking = true;
        const Answer answer = AskOnTerminal(question);
        g_bAsking = false;
        return answer;
    }
    Answer AskOnTerminal(const std::wstring& question)
    {
        for (;;) {
            WriteErr("\nzelkora: " + PrintableText(FileOfQuestion(question)) +
                     " exists. Overwrite? [y]es to all, [n]o, [N]one, [q]uit: ");
            std::string line;
            if (!ReadAnswerLine(&line)) return ANSWER_CANCEL;
            if (line == "y" || line == "Y" || line == "yes") return ANSWER_YES;
            if (line == "n" || line == "no") return ANSWER_NO;
            if (line == "N" || line == "none") {
                m_bKeepAll = true;
                return ANSWER_NO;
            }
            if (line == "q" || line == "quit") return ANSWER_CANCEL;
        }
    }
    // The engine's question ends with the file's path after a full-width
    // colon.
    static std::wstring FileOfQuestion(const std::wstring& text)
    {
        const size_t colon = text.rfind(L'\uFF1A');
        return colon == std::wstring::npos ? text : text.substr(colon + 1);
    }

    const CliOptions& m_options;
    std::mutex m_lock;
    std::vector<std::wstring> m_listSystemTexts;
    bool m_bKeepAll = false;
};

// Opens the archive the engine's way and runs the subcommand inside.
class COpenCallback : public IOpenCallback {
public:
    COpenCallback(const CliOptions& o, CCliDialogue& dialogue, bool given, const std::wstring& password)
        : m_options(o), m_dialogue(dialogue), m_bGiven(given), m_strGiven(password)
    {
    }
    Answer Ask(const UserMessage& message) override { return m_dialogue.Ask(message); }
    bool AskPassword(std::wstring* password) override
    {
        ++m_nAsked;
        if (m_bGiven) {
            // A given password is tried once: a script must not loop.
            if (m_nAsked > 1) {
                m_bWrongPassword = true;
                return false;
            }
            *password = m_strGiven;
            return true;
        }
        if (!StdinIsTerminal()) {
            m_bNoPassword = true;
            return false;
        }
        if (m_nAsked > 1) WriteErr("zelkora: wrong password\n");
        return ReadPasswordNoEcho("Password: ", password);
    }
    void RunMainWindow(ArchiveState& state) override { m_nResult = m_dialogue.m_run(state); }

    int m_nResult = EXIT_CODE_FAILED;
    bool m_bNoPassword = false;
    bool m_bWrongPassword = false;

private:
    const CliOptions& m_options;
    CCliDialogue& m_dialogue;
    bool m_bGiven;
    std::wstring m_strGiven;
    int m_nAsked = 0;
};

// Opens options.m_strArchive and runs run inside it; tells why an opening
// failed. The exit code.
int WithOpenArchive(const CliOptions& o, CCliDialogue& dialogue, std::function<int(ArchiveState&)> run)
{
    ApplyCodePage(o);
    bool given = false;
    std::wstring password;
    if (GivenPassword(o, &given, &password) != 0) return EXIT_CODE_FAILED;
    dialogue.m_run = std::move(run);
    ArchiveState state;
    state.m_strArchivePath = AbsolutePath(o.m_strArchive);
    WorkerContext ctx;
    COpenCallback callback(o, dialogue, given, password);
    const OpenOutcome outcome = OpenArchive(ctx, state, state.m_strArchivePath, callback);
    std::fill(password.begin(), password.end(), L'\0');
    std::fill(state.m_strPassword.begin(), state.m_strPassword.end(), L'\0');
    if (outcome == OpenOutcome::OPENED) return callback.m_nResult;
    dialogue.PrintSystemTexts();
    if (callback.m_bNoPassword) {
        Error(Shown(o.m_strArchive) + ": the archive needs a password: give -p or --password-file");
    } else if (callback.m_bWrongPassword) {
        Error(Shown(o.m_strArchive) + ": wrong password");
    } else if (const char* text = CliErrorText(state.m_nErrorFlags)) {
        Error(Shown(o.m_strArchive) + ": " + text);
    } else {
        Error(Shown(o.m_strArchive) + ": cannot be opened as a Zelkora archive");
    }
    return EXIT_CODE_FAILED;
}

// ---- the tree -----------------------------------------------------------

struct ListedEntry {
    std::wstring m_strPath; // "/"-separated inside the archive
    const EntryNode* m_pNode = nullptr;
};

// Loads every record below folder, depth-first in archive order. 0 / 1.
int LoadAll(ExtractSession& s, EntryNode& folder, const std::wstring& prefix, std::vector<ListedEntry>* out)
{
    if (LoadChildrenInfo(s, folder) != 0) return 1;
    for (EntryNode* c = folder.m_pFirstChild; c; c = c->m_pNextSibling) {
        const std::wstring path = prefix + c->m_pInfo->m_strName;
        if (out) out->push_back({path, c});
        if (c->IsFolder() && LoadAll(s, *c, path + L"/", out) != 0) return 1;
    }
    return 0;
}

// The tree's load, as the extractor's analysis does it. 0 / 1.
int LoadWholeTree(ExtractSession& s, std::vector<ListedEntry>* out)
{
    s.m_ctx.m_nRunning = 1;
    int result = LoadTree(s);
    if (result == 0) result = LoadAll(s, s.m_state.m_root, std::wstring(), out);
    s.m_ctx.m_nRunning = 0;
    if (result != 0) RecordFailure(s.m_ctx, s.m_state, ERR_READ);
    return result;
}

// The first volume file an entry needs that is missing, or empty.
std::wstring MissingVolume(const ArchiveState& st, const std::vector<ListedEntry>& entries)
{
    if (st.m_nVolumeSize == 0) return std::wstring();
    uint64_t lastVolume = 0;
    for (const ListedEntry& e : entries) {
        const EntryInfo& info = *e.m_pNode->m_pInfo;
        if (info.m_nStoredSize == 0) continue;
        const uint64_t end = st.m_nDataOffset + info.m_nDataOffset + info.m_nStoredSize - 1;
        lastVolume = std::max(lastVolume, end / st.m_nVolumeSize);
    }
    for (uint64_t k = 1; k <= lastVolume && k < 256; ++k) {
        const std::wstring name = ToWide(VolumeName(ToU16(st.m_strArchivePath), static_cast<uint32_t>(k)));
        std::error_code ec;
        if (!fs::exists(fs::path(name), ec)) return name;
    }
    return std::wstring();
}

// After a failed run: the cause in English, the missing volume named.
void TellRunFailure(const CliOptions& o, CCliDialogue& dialogue, ExtractSession& s,
                    const std::vector<ListedEntry>& entries)
{
    dialogue.PrintSystemTexts();
    const std::wstring missing = MissingVolume(s.m_state, entries);
    if (!missing.empty()) {
        Error("volume " + Shown(missing) + " is missing: keep every volume beside the archive");
        return;
    }
    if (dialogue.m_bOverwriteRefused) {
        Error(PrintableText(dialogue.m_strExistingFile) +
              ": exists, and nobody can be asked: give -y to overwrite or -n to keep existing files");
        return;
    }
    std::string text =
        s.m_ctx.m_strFailingPath.empty() ? Shown(o.m_strArchive) : PrintableText(s.m_ctx.m_strFailingPath);
    const char* cause = CliErrorText(s.m_state.m_nErrorFlags);
    Error(text + ": " + (cause ? cause : "failed"));
}

uint64_t FileTimeOf(const FILETIME& ft)
{
    return FileTimeValue(ft);
}

const char* MethodText(uint8_t method)
{
    switch (method) {
    case METHOD_LZ4:
        return "lz4";
    case METHOD_DEFLATE:
        return "deflate";
    default:
        return "stored";
    }
}

// ---- list -------------------------------------------------------------------

std::string PadRight(std::string text, size_t width)
{
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string PadLeft(const std::string& text, size_t width)
{
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

int PrintList(const CliOptions& o, ArchiveState& st, const std::vector<ListedEntry>& entries)
{
    const uint32_t flags = st.m_header.m_nFlags;
    const bool split = st.m_nVolumeSize != 0;
    const std::wstring method = (flags & AF_DEFLATE) ? L"deflate" : L"lz4";
    if (o.m_bJson) {
        CJsonWriter json;
        json.BeginObject();
        json.String("archive", o.m_strArchive);
        json.Number("format_version", st.m_header.m_nVersion);
        json.String("method", method);
        json.Bool("password", (flags & AF_PASSWORD) != 0);
        json.Bool("hashes", (flags & AF_HASH) != 0);
        json.Bool("hidden_files", (flags & AF_HIDDEN) != 0);
        json.Bool("narrow_names", (flags & AF_NARROW_NAMES) != 0);
        json.Number("volume_size", st.m_nVolumeSize);
        json.String("created", Utf8ToWide(FormatFileTime(st.m_header.m_nTimeStamp, true)));
        json.String("title", st.m_strTitle);
        json.String("comment", st.m_strComment);
        json.String("default_destination", st.m_strDestFolder);
        json.Bool("show_list", (st.m_nSfxFlags & SF_SHOW_LIST) != 0);
        json.Bool("no_ui", (st.m_nSfxFlags & SF_NO_UI) != 0);
        json.Number("files", st.m_nFileCount);
        json.Number("folders", st.m_nFolderCount);
        json.Number("total_size", st.m_nTotalSize);
        json.BeginArray("entries");
        for (const ListedEntry& e : entries) {
            const EntryInfo& info = *e.m_pNode->m_pInfo;
            json.BeginObject();
            json.String("path", e.m_strPath);
            json.String("type", e.m_pNode->IsFolder() ? L"folder" : L"file");
            json.Number("size", info.m_nSize);
            json.Number("stored_size", info.m_nStoredSize);
            json.String("method", Utf8ToWide(MethodText(info.m_nMethod)));
            json.String("modified", Utf8ToWide(FormatFileTime(FileTimeOf(info.m_ftWrite), true)));
            json.String("attributes", Utf8ToWide(FormatAttributes(info.m_nAttributes)));
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        WriteOut(json.Text());
        return EXIT_CODE_DONE;
    }
    std::string out;
    out += "Archive:      " + Shown(o.m_strArchive) + "\n";
    out += "Format:       version " + std::to_string(st.m_header.m_nVersion) + "\n";
    out += "Method:       " + WideToUtf8(method) + "\n";
    out += std::string("Password:     ") + ((flags & AF_PASSWORD) ? "yes" : "no") + "\n";
    out += std::string("Hashes:       ") + ((flags & AF_HASH) ? "SHA-256" : "none") + "\n";
    out += "Volumes:      " +
           (split ? "split, " + FormatSize(st.m_nVolumeSize) + " each" : std::string("one file")) + "\n";
    out += "Created:      " + FormatFileTime(st.m_header.m_nTimeStamp) + " UTC\n";
    if (!st.m_strTitle.empty()) out += "Title:        " + PrintableText(st.m_strTitle) + "\n";
    if (!st.m_strComment.empty()) out += "Comment:      " + PrintableText(st.m_strComment) + "\n";
    if (!st.m_strDestFolder.empty()) out += "Destination:  " + PrintableText(st.m_strDestFolder) + "\n";
    std::string flagText;
    if (st.m_nSfxFlags & SF_SHOW_LIST) flagText += " show-list";
    if (st.m_nSfxFlags & SF_NO_UI) flagText += " no-ui";
    if (flags & AF_HIDDEN) flagText += " hidden-files";
    if (flags & AF_NARROW_NAMES) flagText += " narrow-names";
    out += "Flags:       " + (flagText.empty() ? std::string(" none") : flagText) + "\n";
    out += "Contents:     " + std::to_string(st.m_nFileCount) + " files, " +
           std::to_string(st.m_nFolderCount) + " folders, " + FormatSize(st.m_nTotalSize) + "\n\n";
    out += "        Size       Stored  Modified (UTC)       Attr   Path\n";
    for (const ListedEntry& e : entries) {
        const EntryInfo& info = *e.m_pNode->m_pInfo;
        const bool folder = e.m_pNode->IsFolder();
        out += PadLeft(folder ? "" : std::to_string(info.m_nSize), 12) + " ";
        out += PadLeft(folder ? "" : std::to_string(info.m_nStoredSize), 12) + "  ";
        out += PadRight(FormatFileTime(FileTimeOf(info.m_ftWrite)), 19) + "  ";
        out += FormatAttributes(info.m_nAttributes) + "  ";
        out += PrintableText(e.m_strPath) + (folder ? "/" : "") + "\n";
    }
    WriteOut(out);
    return EXIT_CODE_DONE;
}

// ---- test -----------------------------------------------------------------

// Decodes one file entry into nothing and checks its hash. 0 / 1 with the
// failure recorded.
int TestEntry(ExtractSession& s, const ListedEntry& e, FILE* sink)
{
    const EntryInfo& info = *e.m_pNode->m_pInfo;
    if (!IsSafeEntryName(ToU16(info.m_strName)))
        return RecordFailure(s.m_ctx, s.m_state, ERR_BAD_NAME, e.m_strPath);
    if (e.m_pNode->IsFolder() || info.m_nSize == 0) return 0;
    IFileHash* hash = nullptr;
    if (s.m_state.m_header.m_nFlags & AF_HASH) {
        if (!s.m_pHash) s.m_pHash = ReportingHash(MakeSystemSha256(), *s.m_pCallback);
        hash = s.m_pHash.get();
        if (hash->Begin() != 0) return RecordFailure(s.m_ctx, s.m_state, 0, e.m_strPath);
    }
    const EntryDataResult result = DecodeEntryData(s, info, sink, hash);
    uint8_t digest[32] = {};
    if (hash && hash->End(digest) != 0) return RecordFailure(s.m_ctx, s.m_state, 0, e.m_strPath);
    switch (result) {
    case EntryDataResult::OK:
        break;
    case EntryDataResult::DAMAGED:
        return RecordFailure(s.m_ctx, s.m_state, ERR_DAMAGED, e.m_strPath);
    default:
        return RecordFailure(s.m_ctx, s.m_state, ERR_READ, e.m_strPath);
    }
    if (hash && std::memcmp(digest, info.m_hash, sizeof digest) != 0)
        return RecordFailure(s.m_ctx, s.m_state, ERR_HASH, e.m_strPath);
    return 0;
}

int TestOpened(const CliOptions& o, CCliDialogue& dialogue, ArchiveState& st)
{
    ExtractSession s(st, &dialogue);
    std::vector<ListedEntry> entries;
    if (LoadWholeTree(s, &entries) != 0) {
        TellRunFailure(o, dialogue, s, entries);
        return EXIT_CODE_FAILED;
    }
    FILE* sink = std::fopen(NULL_DEVICE, "wb");
    if (!sink) {
        Error("cannot open the null device");
        return EXIT_CODE_FAILED;
    }
    s.m_progress.m_nTotal = st.m_nTotalSize;
    uint32_t failures = 0;
    {
        CProgressLine bar(o, "testing", [&](uint64_t* done, uint64_t* total) {
            *done = s.m_progress.m_nDone;
            *total = s.m_progress.m_nTotal;
        });
        for (const ListedEntry& e : entries) {
            s.m_ctx.ClearResults();
            st.m_nErrorFlags = 0;
            if (TestEntry(s, e, sink) == 0) continue;
            ++failures;
            bar.Stop();
            dialogue.PrintSystemTexts();
            const char* cause = CliErrorText(st.m_nErrorFlags);
            Error(PrintableText(e.m_strPath) + ": " + (cause ? cause : "failed"));
            // Without the volume nothing further can be read.
            const std::wstring missing = MissingVolume(st, entries);
            if (!missing.empty()) {
                Error("volume " + Shown(missing) + " is missing: keep every volume beside the archive");
                break;
            }
        }
    }
    std::fclose(sink);
    s.m_pVolumes.reset();
    if (failures) {
        Error(std::to_string(failures) + " of " + std::to_string(entries.size()) + " entries failed");
        return EXIT_CODE_FAILED;
    }
    Note(o, "all " + std::to_string(entries.size()) + " entries are sound");
    return EXIT_CODE_DONE;
}

// ---- extract ----------------------------------------------------------------

// The archive's name without its extension, beside it.
std::wstring DefaultDestination(const std::wstring& archivePath)
{
    fs::path p(archivePath);
    p.replace_extension();
    return p.wstring();
}

struct SelectionGroup {
    EntryNode* m_pFolder = nullptr;
    std::vector<EntryNode*> m_listChain; // from the top level down to m_pFolder
    std::vector<EntryNode*> m_listSelected;
};

// The entries named on the command line, grouped by the folder that holds
// them. 0, or 1 after naming a path the archive does not hold.
int ResolveSelection(const CliOptions& o, ArchiveState& st, std::vector<SelectionGroup>* groups)
{
    for (const std::wstring& path : o.m_listPaths) {
        const std::vector<std::wstring> parts = SplitEntryPath(path);
        EntryNode* folder = &st.m_root;
        std::vector<EntryNode*> chain;
        EntryNode* found = nullptr;
        for (size_t i = 0; i < parts.size(); ++i) {
            found = nullptr;
            for (EntryNode* c = folder->m_pFirstChild; c; c = c->m_pNextSibling)
                if (c->m_pInfo && c->m_pInfo->m_strName == parts[i]) found = c;
            if (!found || (i + 1 < parts.size() && !found->IsFolder())) {
                found = nullptr;
                break;
            }
            if (i + 1 < parts.size()) {
                chain.push_back(found);
                folder = found;
            }
        }
        if (!found) {
            Error(Shown(path) + ": not in the archive");
            return EXIT_CODE_FAILED;
        }
        auto group = std::find_if(groups->begin(), groups->end(),
                                  [&](const SelectionGroup& g) { return g.m_pFolder == folder; });
        if (group == groups->end()) {
            groups->push_back({folder, chain, {}});
            group = groups->end() - 1;
        }
        if (std::find(group->m_listSelected.begin(), group->m_listSelected.end(), found) ==
            group->m_listSelected.end())
            group->m_listSelected.push_back(found);
    }
    return 0;
}

int ExtractOpened(const CliOptions& o, CCliDialogue& dialogue, ArchiveState& st)
{
    ExtractSession s(st, &dialogue);
    std::vector<ListedEntry> entries;
    if (LoadWholeTree(s, &entries) != 0) {
        TellRunFailure(o, dialogue, s, entries);
        return EXIT_CODE_FAILED;
    }
    std::vector<SelectionGroup> groups;
    if (ResolveSelection(o, st, &groups) != 0) return EXIT_CODE_FAILED;
    const std::wstring destination = AbsolutePath(
        o.m_strDestination.empty() ? DefaultDestination(st.m_strArchivePath) : o.m_strDestination);
    bool failed = false;
    {
        CProgressLine bar(o, "extracting", [&](uint64_t* done, uint64_t* total) {
            *done = s.m_progress.m_nDone;
            *total = s.m_progress.m_nTotal;
        });
        if (groups.empty()) {
            s.m_request.m_strDestination = destination;
            s.m_ctx.Clear();
            s.m_ctx.m_nRunning = 1;
            ExtractAllWorker(s);
            failed = s.m_ctx.m_nFailed != 0 || s.m_ctx.m_nAbort != 0;
        }
        for (const SelectionGroup& g : groups) {
            if (LoadChildrenInfo(s, *g.m_pFolder) != 0) {
                failed = true;
                break;
            }
            for (EntryNode* n : g.m_listSelected)
                n->m_bSelected = 1;
            s.m_request.m_strDestination = destination;
            s.m_request.m_pFolder = g.m_pFolder;
            s.m_request.m_listFolderChain = g.m_listChain;
            s.m_ctx.Clear();
            s.m_ctx.m_nRunning = 1;
            ExtractSelectedWorker(s);
            if (s.m_ctx.m_nFailed || s.m_ctx.m_nAbort) {
                failed = true;
                break;
            }
        }
    }
    for (const ErrorLogRecord& notice : s.m_ctx.m_listNotices)
        Error("note: " + PrintableText(notice.m_strPath) + ": " + PrintableText(notice.m_strMessage));
    if (failed) {
        TellRunFailure(o, dialogue, s, entries);
        return EXIT_CODE_FAILED;
    }
    Note(o, "extracted into " + Shown(destination));
    return EXIT_CODE_DONE;
}

// ---- pack -------------------------------------------------------------------

struct SourceCheck {
    std::vector<std::string> m_listRefused; // "path: reason"
    std::vector<std::wstring> m_listLinks;  // sources that are links themselves
};

bool IsHiddenName(const fs::path& p, bool includeHidden)
{
#ifdef _WIN32
    (void)p;
    (void)includeHidden;
    return false; // the engine reads the hidden attribute itself
#else
    const std::string name = p.filename().string();
    return !includeHidden && !name.empty() && name[0] == '.';
#endif
}

// Walks a source without following links for the names Windows cannot hold.
// A link's own name does not count: the engine's collection skips links
// below a source and tells of each.
void CheckSource(const fs::path& source, bool includeHidden, SourceCheck* check)
{
    std::error_code ec;
    const std::string problem = WindowsNameProblem(source.filename().wstring());
    if (!problem.empty()) check->m_listRefused.push_back(Shown(source.wstring()) + ": " + problem);
    if (!fs::is_directory(fs::symlink_status(source, ec))) return;
    fs::recursive_directory_iterator it(source, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (IsHiddenName(p, includeHidden)) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink(ec)) continue;
        const std::string why = WindowsNameProblem(p.filename().wstring());
        if (!why.empty()) check->m_listRefused.push_back(Shown(p.wstring()) + ": " + why);
    }
}

// The folder the build engine takes the extractor from. 0, or 1 after
// telling that none was found. A stub under another name is copied into a
// temporary folder under the engine's name; *temporary is then to be
// removed.
int FindStubFolder(const CliOptions& o, std::wstring* folder, fs::path* temporary)
{
    std::error_code ec;
    if (!o.m_strStub.empty()) {
        const fs::path stub = fs::absolute(fs::path(o.m_strStub), ec);
        if (!fs::is_regular_file(stub, ec)) {
            Error(Shown(o.m_strStub) + ": the extractor program given with --stub does not exist");
            return EXIT_CODE_FAILED;
        }
        if (stub.filename() == fs::path(STUB_NAME)) {
            *folder = stub.parent_path().wstring();
            return 0;
        }
        *temporary =
            fs::temp_directory_path(ec) /
            ("zelkora-stub-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(*temporary, ec);
        if (ec || !fs::copy_file(stub, *temporary / STUB_NAME, ec)) {
            Error(Shown(o.m_strStub) + ": cannot be copied to a temporary folder");
            return EXIT_CODE_FAILED;
        }
        *folder = temporary->wstring();
        return 0;
    }
    const fs::path self = fs::path(ProgramPath()).parent_path();
    const fs::path candidates[] = {self, self.parent_path() / "share" / "zelkora"};
    for (const fs::path& c : candidates) {
        if (fs::is_regular_file(c / STUB_NAME, ec)) {
            *folder = c.wstring();
            return 0;
        }
    }
    Error("ZelkoraSfx.exe was not found beside zelkora or in " + Shown(candidates[1].wstring()) +
          ": give it with --stub PATH, or write a .zka archive");
    return EXIT_CODE_FAILED;
}

class CBuildDialogue : public IUserDialogue {
public:
    Answer Ask(const UserMessage& message) override
    {
        if (message.m_nSource == SOURCE_SYSTEM) Error(PrintableText(message.m_strText));
        // Nobody sits at a build: a locked file or an unreadable folder
        // fails it instead of being retried or skipped, and a volume size
        // is never raised behind the user's back.
        switch (message.m_nButtons) {
        case BUTTONS_OK:
            return ANSWER_OK;
        case BUTTONS_ABORT_RETRY_IGNORE:
            return ANSWER_ABORT;
        case BUTTONS_YES_NO_CANCEL:
            return ANSWER_NO;
        default:
            return ANSWER_CANCEL;
        }
    }
};

bool EndsWithExe(const std::wstring& path)
{
    if (path.size() < 4) return false;
    std::wstring ext = path.substr(path.size() - 4);
    for (wchar_t& c : ext)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return ext == L".exe";
}

} // namespace

int RunList(const CliOptions& o)
{
    CCliDialogue dialogue(o);
    return WithOpenArchive(o, dialogue, [&](ArchiveState& st) {
        ExtractSession s(st, &dialogue);
        std::vector<ListedEntry> entries;
        if (LoadWholeTree(s, &entries) != 0) {
            TellRunFailure(o, dialogue, s, entries);
            return EXIT_CODE_FAILED;
        }
        return PrintList(o, st, entries);
    });
}

int RunTest(const CliOptions& o)
{
    CCliDialogue dialogue(o);
    return WithOpenArchive(o, dialogue, [&](ArchiveState& st) { return TestOpened(o, dialogue, st); });
}

int RunExtract(const CliOptions& o)
{
    CCliDialogue dialogue(o);
    return WithOpenArchive(o, dialogue, [&](ArchiveState& st) { return ExtractOpened(o, dialogue, st); });
}

int RunPack(const CliOptions& o)
{
    ApplyCodePage(o);
    std::error_code ec;
    SourceCheck check;
    std::vector<std::wstring> sources;
    for (const std::wstring& source : o.m_listPaths) {
        const fs::path p = fs::path(AbsolutePath(source));
        const fs::file_status status = fs::symlink_status(p, ec);
        if (!fs::exists(status)) {
            Error(Shown(source) + ": does not exist");
            return EXIT_CODE_FAILED;
        }
        if (fs::is_symlink(status)) {
            check.m_listLinks.push_back(p.wstring());
            continue;
        }
        CheckSource(p, o.m_bHidden, &check);
        sources.push_back(p.wstring());
    }
    if (!check.m_listRefused.empty()) {
        Error("names that Windows cannot hold; nothing was packed:");
        for (const std::string& r : check.m_listRefused)
            WriteErr("  " + r + "\n");
        return EXIT_CODE_FAILED;
    }
    for (const std::wstring& link : check.m_listLinks)
        Note(o, "skipped symbolic link " + Shown(link));
    if (sources.empty()) {
        Error("nothing to pack");
        return EXIT_CODE_FAILED;
    }

    BuildSettings settings;
    fs::path temporary;
    if (EndsWithExe(o.m_strOutput)) {
        if (FindStubFolder(o, &settings.m_strProgramFolder, &temporary) != 0) return EXIT_CODE_FAILED;
        if (settings.m_strProgramFolder.back() != PATH_SEPARATOR)
            settings.m_strProgramFolder += PATH_SEPARATOR;
    }
    bool given = false;
    if (GivenPassword(o, &given, &settings.m_strPassword) != 0) return EXIT_CODE_FAILED;
    settings.m_strArchivePath = AbsolutePath(o.m_strOutput);
    settings.m_bVerify = !o.m_bNoVerify;
    settings.m_bHash = !o.m_bNoHash;
    settings.m_bIncludeHidden = o.m_bHidden;
    settings.m_nCompressKind = o.m_nCompressKind;
    settings.m_nCompressLevel = o.m_nCompressLevel;
    settings.m_nSplitMB = o.m_nSplitMB;
    settings.m_nSfxFlags = (o.m_bShowList ? SF_SHOW_LIST : 0) | (o.m_bNoUi ? SF_NO_UI : 0);
    settings.m_strSfxDestFolder = o.m_strSfxDest;
    settings.m_strSfxTitle = o.m_strTitle;
    settings.m_strSfxComment = o.m_strComment;
    settings.m_listSources = sources;

    CBuildDialogue dialogue;
    BuildProgress progress;
    BuildFlags flags;
    BuildJob job;
    job.settings = std::move(settings);
    job.pDialogue = &dialogue;
    job.pProgress = &progress;
    job.pFlags = &flags;
    {
        CProgressLine bar(o, "packing", [&](uint64_t* done, uint64_t* total) {
            const BuildProgressSnapshot snap = progress.Snapshot();
            *total = snap.nTotal;
            *done = snap.nVerifyDone ? snap.nVerifyDone : snap.nCompressDone;
        });
        BuildWorker(job);
    }
    job.settings.WipePassword();
    if (!temporary.empty()) fs::remove_all(temporary, ec);
    const bool built =
        flags.m_nState.load() == BUILD_STATE_FINISHED && flags.m_nResult.load() == BUILD_RESULT_OK;
    if (!built) {
        std::string text =
            job.strFailingPath.empty() ? Shown(o.m_strOutput) : PrintableText(job.strFailingPath);
        if (flags.m_nResult.load() == BUILD_RESULT_ABORTED && job.strFailureMessage.empty()) {
            Error(text + ": nothing to pack");
        } else {
            Error(text + ": the build failed" +
                  (job.strFailureMessage.empty() ? std::string()
                                                 : ": " + PrintableText(job.strFailureMessage)));
        }
        return EXIT_CODE_FAILED;
    }
    Note(o, "packed " + std::to_string(job.stats.nFileCount) + " files, " +
                std::to_string(job.stats.nFolderCount) + " folders (" + FormatSize(job.stats.nTotalSize) +
                ") into " + Shown(o.m_strOutput));
    return EXIT_CODE_DONE;
}

int RunCli(const std::vector<std::wstring>& args)
{
    CliOptions o;
    std::string error;
    if (ParseCliArgs(args, &o, &error) != 0) {
        Error(error);
        WriteErr("Try 'zelkora --help'.\n");
        return EXIT_CODE_BAD_SWITCH;
    }
    if (o.m_bHelp) {
        WriteOut(CliHelpText(o.m_nCommand));
        return EXIT_CODE_DONE;
    }
    if (o.m_bVersion) {
        WriteOut(CliVersionText());
        return EXIT_CODE_DONE;
    }
    switch (o.m_nCommand) {
    case CliCommand::LIST:
        return RunList(o);
    case CliCommand::TEST:
        return RunTest(o);
    case CliCommand::EXTRACT:
        return RunExtract(o);
    case CliCommand::PACK:
        return RunPack(o);
    default:
        return EXIT_CODE_BAD_SWITCH;
    }
}

} // namespace zk
