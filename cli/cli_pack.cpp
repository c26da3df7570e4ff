#include "cli/cli_run.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "cli/cli_session.h"
#include "cli/engine_texts.h"
#include "core/exit_codes.h"
#include "core/quiet_answer.h"
#include "builder/engine/build_engine.h"
#include "builder/engine/build_job.h"

namespace fs = std::filesystem;

namespace zk {

namespace {

// The engines' separator on every platform (see FsPath).
constexpr wchar_t PATH_SEPARATOR = L'\\';
constexpr wchar_t STUB_NAME[] = L"ZelkoraSfx.exe";

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
    const std::string problem = WindowsNameProblem(WideOf(source.filename()));
    if (!problem.empty()) check->m_listRefused.push_back(ShownPath(WideOf(source)) + ": " + problem);
    if (!fs::is_directory(fs::symlink_status(source, ec))) return;
    fs::recursive_directory_iterator it(source, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (IsHiddenName(p, includeHidden)) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink(ec)) continue;
        const std::string why = WindowsNameProblem(WideOf(p.filename()));
        if (!why.empty()) check->m_listRefused.push_back(ShownPath(WideOf(p)) + ": " + why);
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
        const fs::path stub = fs::absolute(FsPath(o.m_strStub), ec);
        if (!fs::is_regular_file(stub, ec)) {
            CliError(ShownPath(o.m_strStub) + ": the extractor program given with --stub does not exist");
            return EXIT_CODE_FAILED;
        }
        if (stub.filename() == fs::path(STUB_NAME)) {
            *folder = WideOf(stub.parent_path());
            return 0;
        }
        *temporary =
            fs::temp_directory_path(ec) /
            ("zelkora-stub-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(*temporary, ec);
        if (ec || !fs::copy_file(stub, *temporary / STUB_NAME, ec)) {
            CliError(ShownPath(o.m_strStub) + ": cannot be copied to a temporary folder");
            return EXIT_CODE_FAILED;
        }
        *folder = WideOf(*temporary);
        return 0;
    }
    const fs::path self = FsPath(ProgramPath()).parent_path();
    const fs::path candidates[] = {self, self.parent_path() / "share" / "zelkora"};
    for (const fs::path& c : candidates) {
        if (fs::is_regular_file(c / STUB_NAME, ec)) {
            *folder = WideOf(c);
            return 0;
        }
    }
    CliError("ZelkoraSfx.exe was not found beside zelkora or in " + ShownPath(WideOf(candidates[1])) +
             ": give it with --stub PATH, or write a .zka archive");
    return EXIT_CODE_FAILED;
}

class CBuildDialogue : public IUserDialogue {
public:
    Answer Ask(const UserMessage& message) override
    {
        if (message.m_nSource == SOURCE_SYSTEM) CliError(PrintableText(ToolText(message.m_strText)));
        // Nobody sits at a build: a locked file or an unreadable folder
        // fails it instead of being retried or skipped, and a volume size
        // is never raised behind the user's back.
        return QuietAnswer(message.m_nButtons);
    }
};

// Keeps what the collection skipped, to be told once the bar has gone.
class CPackProgress : public BuildProgress {
public:
    void ShowSkippedLink(const std::wstring& path) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_listLinks.push_back(path);
    }
    std::vector<std::wstring> SkippedLinks()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_listLinks;
    }

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_listLinks;
};

bool EndsWithExe(const std::wstring& path)
{
    static const wchar_t EXE[] = L".exe";
    if (path.size() < 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        wchar_t c = path[path.size() - 4 + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != EXE[i]) return false;
    }
    return true;
}

} // namespace

int RunPack(const CliOptions& o)
{
    ApplyCodePage(o);
    std::error_code ec;
    SourceCheck check;
    std::vector<std::wstring> sources;
    for (const std::wstring& source : o.m_listPaths) {
        const fs::path p = FsPath(FullPath(source));
        const fs::file_status status = fs::symlink_status(p, ec);
        if (!fs::exists(status)) {
            CliError(ShownPath(source) + ": does not exist");
            return EXIT_CODE_FAILED;
        }
        if (fs::is_symlink(status)) {
            check.m_listLinks.push_back(WideOf(p));
            continue;
        }
        CheckSource(p, o.m_bHidden, &check);
        sources.push_back(WideOf(p));
    }
    if (!check.m_listRefused.empty()) {
        CliError("names that Windows cannot hold; nothing was packed:");
        for (const std::string& r : check.m_listRefused)
            WriteErr("  " + r + "\n");
        return EXIT_CODE_FAILED;
    }
    for (const std::wstring& link : check.m_listLinks)
        CliNote(o, "skipped symbolic link " + ShownPath(link));
    if (sources.empty()) {
        CliError("nothing to pack");
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
    settings.m_strArchivePath = FullPath(o.m_strOutput);
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
    CPackProgress progress;
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
    for (const std::wstring& link : progress.SkippedLinks())
        CliNote(o, "skipped symbolic link " + ShownPath(link));
    if (!temporary.empty()) fs::remove_all(temporary, ec);
    const bool built =
        flags.m_nState.load() == BUILD_STATE_FINISHED && flags.m_nResult.load() == BUILD_RESULT_OK;
    if (!built) {
        std::string text =
            job.strFailingPath.empty() ? ShownPath(o.m_strOutput) : PrintableText(Utf8ToWide(ShownPath(job.strFailingPath)));
        if (flags.m_nResult.load() == BUILD_RESULT_ABORTED && job.strFailureMessage.empty()) {
            CliError(text + ": nothing to pack");
        } else {
            CliError(text + ": the build failed" +
                     (job.strFailureMessage.empty() ? std::string()
                                                    : ": " + PrintableText(ToolText(job.strFailureMessage))));
        }
        return EXIT_CODE_FAILED;
    }
    CliNote(o, "packed " + std::to_string(job.stats.nFileCount) + " files, " +
                   std::to_string(job.stats.nFolderCount) + " folders (" + FormatSize(job.stats.nTotalSize) +
                   ") into " + ShownPath(o.m_strOutput));
    return EXIT_CODE_DONE;
}

} // namespace zk
