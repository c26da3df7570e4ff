#include "builder/ui/quiet_build.h"

#include <windows.h>

#include "builder/engine/build_engine.h"
#include "builder/engine/build_job.h"
#include "builder/settings/settings_records.h"
#include "builder/settings/settings_store.h"
#include "builder/ui/file_list_page.h"
#include "builder/ui/options_rules.h"
#include "builder/ui/wizard_flow.h"
#include "core/error_log.h"
#include "core/exit_codes.h"
#include "core/long_path.h"
#include "core/os_info.h"
#include "core/quiet_answer.h"
#include "ui/message_box.h"

namespace {

constexpr wchar_t LOG_NAME[] = L"Zelkora.log";
constexpr wchar_t TEXT_NOTHING_TO_STORE[] = L"保管するファイルがありません";

// Nobody to ask: the careful answer; the engine's log keeps the failure.
class CQuietDialogue : public zk::IUserDialogue {
public:
    zk::Answer Ask(const zk::UserMessage& message) override { return zk::QuietAnswer(message.m_nButtons); }
};

// A failure found before the engine runs, in the engine's log form. Without
// a log only the exit code tells: no box waits for a person in a quiet run.
void LogFailure(const std::wstring& programFolder, const std::wstring& path, const wchar_t* message)
{
    zk::ErrorLog log;
    const std::wstring logPath = programFolder + LOG_NAME;
    if (!log.Open(logPath.c_str())) return;
    if (log.WriteByteOrderMark()) log.WriteFailure(path.c_str(), message);
}

// The sources the wizard's file page would list for these start-up paths.
void AddSources(const StartupResult& start, const CVosmireEnv& env, CVosmirePrm& prm)
{
    const bool includeHidden = env.m_bIncludeHidden != 0;
    for (const std::wstring& path : start.m_arrStartFiles) {
        if (!zk::ListsStartupPath(path, includeHidden)) continue;
        std::unique_ptr<CSourceItem> item = prm.m_shellDesktop.ParseItem(path);
        if (!item) {
            item = std::make_unique<CSourceItem>(path);
        } else if (IsRefusedSourceItem(item->m_nShellAttributes, item->m_nFileAttributes, includeHidden,
                                       zk::OsVersionCode())) {
            continue;
        }
        prm.m_listSources.push_back(std::move(item));
    }
}

} // namespace

int RunQuietBuild(const std::wstring& programFolder, const StartupResult& start,
                  const BuilderOverrides& overrides)
{
    CVosmireEnv env;
    CVosmirePrm prm;
    LoadEnv(programFolder, env);
    ApplyEnvOverrides(overrides, env);
    // The log is how a quiet build reports.
    env.m_bShowLogOnError = 1;
    ApplyArchiveOverrides(overrides, prm);

    AddSources(start, env, prm);
    if (prm.m_listSources.empty()) {
        LogFailure(programFolder, std::wstring(), TEXT_NOTHING_TO_STORE);
        return zk::EXIT_CODE_FAILED;
    }
    if (prm.m_strArchivePath.empty()) {
        prm.m_strArchivePath = zk::ProposeArchiveName(
            prm.m_listSources.front()->GetPath(), start.m_strCmdOutputFolder, env.m_strOutputFolder,
            [](const std::wstring& name) { return zk::PathIsFolder(name.c_str()); },
            [](const std::wstring& name) { return zk::PathExists(name.c_str()); });
    }

    CQuietDialogue dialogue;
    zk::BuildProgress progress;
    zk::BuildFlags flags;
    zk::BuildJob job;
    job.settings = ToBuildSettings(env, prm, programFolder);
    job.pDialogue = &dialogue;
    job.pProgress = &progress;
    job.pFlags = &flags;
    // System failures some calls show where they happen, as boxes.
    zk::MessageBoxFunc previous = zk::SetMessageBoxFunc(
        [](HWND, const wchar_t*, const wchar_t*, UINT flags) { return zk::QuietAnswer(flags); });
    zk::BuildWorker(job);
    zk::SetMessageBoxFunc(previous);
    job.settings.WipePassword();
    const bool built =
        flags.m_nState.load() == zk::BUILD_STATE_FINISHED && flags.m_nResult.load() == zk::BUILD_RESULT_OK;
    return built ? zk::EXIT_CODE_DONE : zk::EXIT_CODE_FAILED;
}
