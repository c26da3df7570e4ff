#include "builder/quiet_build.h"

#include <windows.h>

#include "builder/build_engine.h"
#include "builder/file_list_page.h"
#include "builder/options_rules.h"
#include "builder/settings_store.h"
#include "builder/wizard_flow.h"
#include "core/error_log.h"
#include "core/exit_codes.h"
#include "core/long_path.h"
#include "core/message_box.h"
#include "core/quiet_answer.h"
#include "core/os_info.h"

namespace {

constexpr wchar_t LOG_NAME[] = L"Zelkora.log";
constexpr wchar_t CAPTION[] = L"ゼルコラ";
constexpr wchar_t TEXT_NOTHING_TO_STORE[] = L"保管するファイルがありません";

// The engine reports through its owner; without a window there is nothing
// to show.
class CQuietOwner : public zk::CBuildOwner {
public:
    explicit CQuietOwner(std::wstring programFolder) : m_strProgramFolder(std::move(programFolder)) {}
    std::wstring ProgramFolder() const override { return m_strProgramFolder; }
    void StartProgressTimer() override {}
    void StopProgressTimer() override {}
    void SetProgressTotal(uint64_t, uint64_t) override {}
    void SetCompressProgress(uint64_t) override {}
    void SetVerifyProgress(uint64_t) override {}
    void ShowCounters(const zk::BuildCounters&) override {}
    void ShowSettingsSummary() override {}
    void SetPhaseText(const std::wstring&) override {}
    void SetBuildStatistics(const zk::BuildStatistics&) override {}

private:
    std::wstring m_strProgramFolder;
};

// A failure found before the engine runs, in the engine's log form.
void LogFailure(const std::wstring& programFolder, const std::wstring& path, const wchar_t* message)
{
    zk::ErrorLog log;
    const std::wstring logPath = programFolder + LOG_NAME;
    if (log.Create(logPath.c_str(), nullptr, CAPTION) && log.WriteByteOrderMark())
        log.WriteFailure(path.c_str(), message);
}

// The sources the wizard's file page would list for these start-up paths.
void AddSources(const StartupResult& start, CQuietOwner& owner)
{
    const bool includeHidden = owner.m_env.m_bIncludeHidden != 0;
    for (const std::wstring& path : start.m_arrStartFiles) {
        if (!zk::ListsStartupPath(path, includeHidden)) continue;
        std::unique_ptr<CSourceItem> item = owner.m_prm.m_shellDesktop.ParseItem(path);
        if (!item) {
            item = std::make_unique<CSourceItem>(path);
        } else if (IsRefusedSourceItem(item->m_nShellAttributes, item->m_nFileAttributes, includeHidden,
                                       zk::OsVersionCode())) {
            continue;
        }
        owner.m_prm.m_listSources.push_back(std::move(item));
    }
}

} // namespace

int RunQuietBuild(const std::wstring& programFolder, const StartupResult& start,
                  const BuilderOverrides& overrides)
{
    CQuietOwner owner(programFolder);
    LoadEnv(programFolder, owner.m_env);
    ApplyEnvOverrides(overrides, owner.m_env);
    // The log is how a quiet build reports.
    owner.m_env.m_bShowLogOnError = 1;
    ApplyArchiveOverrides(overrides, owner.m_prm);

    AddSources(start, owner);
    if (owner.m_prm.m_listSources.empty()) {
        LogFailure(programFolder, start.m_arrStartFiles.empty() ? std::wstring() : start.m_arrStartFiles[0],
                   TEXT_NOTHING_TO_STORE);
        return zk::EXIT_CODE_FAILED;
    }
    if (owner.m_prm.m_strArchivePath.empty()) {
        owner.m_prm.m_strArchivePath = zk::ProposeArchiveName(
            owner.m_prm.m_listSources.front()->GetPath(), start.m_strCmdOutputFolder,
            owner.m_env.m_strOutputFolder,
            [](const std::wstring& name) { return zk::PathIsFolder(name.c_str()); },
            [](const std::wstring& name) { return zk::PathExists(name.c_str()); });
    }

    zk::MessageBoxFunc previous = zk::SetMessageBoxFunc(
        [](HWND, const wchar_t*, const wchar_t*, UINT flags) { return zk::QuietAnswer(flags); });
    zk::BuildWorker(&owner);
    zk::SetMessageBoxFunc(previous);
    const bool built = owner.m_nBuildState.load() == zk::BUILD_STATE_FINISHED &&
                       owner.m_nBuildResult.load() == zk::BUILD_RESULT_OK;
    return built ? zk::EXIT_CODE_DONE : zk::EXIT_CODE_FAILED;
}
