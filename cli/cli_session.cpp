#include "cli/cli_session.h"

#include <algorithm>
#include <filesystem>

#include "core/archive_names.h"
#include "core/exit_codes.h"
#include "core/password_file.h"
#include "core/quiet_answer.h"
#include "core/text_convert.h"
#include "core/volume_io.h"
#include "sfx/engine/entry_loader.h"

namespace fs = std::filesystem;

namespace zk {

std::atomic<bool> CProgressLine::s_bPaused{false};

CProgressLine::CProgressLine(const CliOptions& o, const char* label, Source source)
    : m_strLabel(label), m_source(std::move(source))
{
    if (o.m_bQuiet || !StderrIsTerminal()) return;
    m_thread = std::thread([this] { Loop(); });
}

void CProgressLine::Stop()
{
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    std::string blank(1, '\r');
    blank.append(static_cast<size_t>(std::max(TerminalWidth() - 1, 1)), ' ');
    blank += '\r';
    WriteErr(blank);
}

void CProgressLine::Loop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_bStop; }))
        Paint();
}

void CProgressLine::Paint()
{
    if (s_bPaused) return;
    uint64_t done = 0, total = 0;
    m_source(&done, &total);
    std::string line(1, '\r');
    line += ProgressLineText(m_strLabel, done, total, TerminalWidth() - 1);
    WriteErr(line);
}

void CliError(const std::string& text)
{
    WriteErr("zelkora: " + text + "\n");
}

void CliNote(const CliOptions& o, const std::string& text)
{
    if (!o.m_bQuiet) WriteErr("zelkora: " + text + "\n");
}

std::string ShownPath(const std::wstring& path)
{
#ifdef _WIN32
    return WideToUtf8(path);
#else
    return FsPath(path).string();
#endif
}

std::wstring FullPath(const std::wstring& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(FsPath(path), ec);
    if (ec) return path;
    return WideOf(p.lexically_normal());
}

Answer CCliDialogue::Ask(const UserMessage& message)
{
    switch (message.m_nTopic) {
    case EXTRACT_TOPIC_DEST_EXISTS:
        // Extracting into an existing folder is ordinary on a command
        // line; each existing file is still asked about.
        return ANSWER_OK;
    case EXTRACT_TOPIC_OVERWRITE:
        return AskOverwrite(message.m_strText);
    case EXTRACT_TOPIC_DEST_IS_FILE:
        m_bDestinationIsFile = true;
        return ANSWER_OK;
    default:
        break;
    }
    if (message.m_nSource == SOURCE_SYSTEM) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_listSystemTexts.push_back(message.m_strText);
    }
    return QuietAnswer(message.m_nButtons);
}

void CCliDialogue::PrintSystemTexts()
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (std::wstring t : m_listSystemTexts) {
        while (!t.empty() && (t.back() == L'\r' || t.back() == L'\n' || t.back() == L' '))
            t.pop_back();
        CliError(PrintableText(t));
    }
    m_listSystemTexts.clear();
}

Answer CCliDialogue::AskOverwrite(const std::wstring& question)
{
    if (m_options.m_nOverwrite == OVERWRITE_ALL) return ANSWER_YES;
    if (m_options.m_nOverwrite == OVERWRITE_NONE || m_bKeepAll) return ANSWER_NO;
    if (!StdinIsTerminal()) {
        m_bOverwriteRefused = true;
        m_strExistingFile = FileOfQuestion(question);
        return ANSWER_CANCEL;
    }
    CProgressLine::s_bPaused = true;
    const Answer answer = AskOnTerminal(question);
    CProgressLine::s_bPaused = false;
    return answer;
}

Answer CCliDialogue::AskOnTerminal(const std::wstring& question)
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

std::wstring CCliDialogue::FileOfQuestion(const std::wstring& text)
{
    const size_t colon = text.rfind(L'\uFF1A');
    return colon == std::wstring::npos ? text : text.substr(colon + 1);
}

// The password of -p or --password-file. 0, or 1 after telling why the
// file gave none.
int GivenPassword(const CliOptions& o, bool* given, std::wstring* password)
{
    *given = false;
    if (o.m_bPassword) {
        *given = true;
        *password = o.m_strPassword;
    } else if (!o.m_strPasswordFile.empty()) {
        if (!ReadPasswordFile(FullPath(o.m_strPasswordFile).c_str(), password)) {
            CliError(ShownPath(o.m_strPasswordFile) + ": no password could be read from this file");
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

namespace {

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
    {ERR_BAD_NAME, "the archive holds an unsafe name (one that would leave the destination, names a device "
                   "or cannot exist on disk); stopped"},
    {ERR_DAMAGED, "the archive's data is damaged"},
};

// Opens the archive the engine's way and runs the subcommand inside.
class COpenCallback : public IOpenCallback {
public:
    COpenCallback(CCliDialogue& dialogue, bool given, const std::wstring& password)
        : m_dialogue(dialogue), m_bGiven(given), m_strGiven(password)
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
    CCliDialogue& m_dialogue;
    bool m_bGiven;
    std::wstring m_strGiven;
    int m_nAsked = 0;
};

// Loads every record below folder, depth-first in archive order. 0 / 1.
// The folders still to descend into are kept on the heap: a hostile archive
// may nest as deep as it likes.
int LoadAll(ExtractSession& s, EntryNode& folder, std::vector<ListedEntry>* out)
{
    struct Pending {
        EntryNode* m_pNext; // the next child to list in this folder
        std::wstring m_strPrefix;
    };
    if (LoadChildrenInfo(s, folder) != 0) return 1;
    std::vector<Pending> stack{{folder.m_pFirstChild, std::wstring()}};
    while (!stack.empty()) {
        EntryNode* c = stack.back().m_pNext;
        if (!c) {
            stack.pop_back();
            continue;
        }
        stack.back().m_pNext = c->m_pNextSibling;
        const std::wstring path = stack.back().m_strPrefix + c->m_pInfo->m_strName;
        if (out) out->push_back({path, c});
        if (c->IsFolder()) {
            if (LoadChildrenInfo(s, *c) != 0) return 1;
            stack.push_back({c->m_pFirstChild, path + L"/"});
        }
    }
    return 0;
}

} // namespace

const char* CliErrorText(uint32_t flags)
{
    for (const ErrorText& e : ERROR_TEXTS)
        if (flags & e.m_nFlag) return e.m_pText;
    return nullptr;
}

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
    state.m_strArchivePath = FullPath(o.m_strArchive);
    WorkerContext ctx;
    COpenCallback callback(dialogue, given, password);
    const OpenOutcome outcome = OpenArchive(ctx, state, state.m_strArchivePath, callback);
    std::fill(password.begin(), password.end(), L'\0');
    std::fill(state.m_strPassword.begin(), state.m_strPassword.end(), L'\0');
    if (outcome == OpenOutcome::OPENED) return callback.m_nResult;
    dialogue.PrintSystemTexts();
    if (callback.m_bNoPassword) {
        CliError(ShownPath(o.m_strArchive) + ": the archive needs a password: give -p or --password-file");
    } else if (callback.m_bWrongPassword) {
        CliError(ShownPath(o.m_strArchive) + ": wrong password");
    } else if (const char* text = CliErrorText(state.m_nErrorFlags)) {
        CliError(ShownPath(o.m_strArchive) + ": " + text);
    } else {
        CliError(ShownPath(o.m_strArchive) + ": cannot be opened as a Zelkora archive");
    }
    return EXIT_CODE_FAILED;
}

int LoadWholeTree(const CliOptions& o, CCliDialogue& dialogue, ExtractSession& s, std::vector<ListedEntry>* out)
{
    s.m_ctx.m_nRunning = 1;
    int result = LoadTree(s);
    if (result == 0) result = LoadAll(s, s.m_state.m_root, out);
    s.m_ctx.m_nRunning = 0;
    if (result == 0) return 0;
    RecordFailure(s.m_ctx, s.m_state, ERR_READ);
    TellRunFailure(o, dialogue, s, *out);
    return 1;
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
        if (!fs::exists(FsPath(name), ec)) return name;
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
        CliError("volume " + ShownPath(missing) + " is missing: keep every volume beside the archive");
        return;
    }
    if (dialogue.m_bDestinationIsFile) {
        CliError(ShownPath(s.m_request.m_strDestination) + ": is a file: the destination must be a folder");
        return;
    }
    if (dialogue.m_bOverwriteRefused) {
        CliError(PrintableText(dialogue.m_strExistingFile) +
                 ": exists, and nobody can be asked: give -y to overwrite or -n to keep existing files");
        return;
    }
    std::string text = s.m_ctx.m_strFailingPath.empty() ? ShownPath(o.m_strArchive)
                                                        : PrintableText(s.m_ctx.m_strFailingPath);
    const char* cause = CliErrorText(s.m_state.m_nErrorFlags);
    CliError(text + ": " + (cause ? cause : "failed"));
}

} // namespace zk
