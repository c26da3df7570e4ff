#pragma once
// The builder's wizard window: five pages one at a time, the header and
// guidance line, the five buttons, the build thread and its watch timer.

#include "builder/engine/build_job.h"
#include "builder/settings/settings_records.h"
#include "builder/ui/command_switches.h"
#include "builder/ui/controls.h"
#include "builder/ui/message_style.h"
#include "builder/ui/progress_texts.h"
#include "builder/ui/wizard_flow.h"
#include "builder/ui/wizard_page.h"
#include "ui/dialog.h"
#include "ui/worker_dialogue.h"

#include <commctrl.h>

#include <array>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CWelcomePage;
class CFileListPage;
class COptionsPage;
class CProgressPage;
class CCompletionPage;

class CWizardDlg : public zk::CDialog, public IWizardHost {
public:
    CWizardDlg();
    ~CWizardDlg() override;

    // Start-up result, copied in before the wizard runs.
    std::vector<std::wstring> m_arrStartFiles;
    std::wstring m_strCmdOutputFolder;
    int m_nStayOnFilePage = 0;
    // The command line's switches: settings for this run only.
    BuilderOverrides m_overrides;
    // Whether the last build finished and succeeded: the exit code.
    bool LastBuildSucceeded() const
    {
        return m_build.m_nState.load() == zk::BUILD_STATE_FINISHED &&
               m_build.m_nResult.load() == zk::BUILD_RESULT_OK;
    }
    // Folder of the program with a trailing "\", and the theme library
    // (null when not loaded).
    std::wstring m_strProgramFolder;
    HMODULE m_hUxTheme = nullptr;

    // The settings records, for the whole run.
    ::CVosmireEnv m_env;
    ::CVosmirePrm m_prm;

    int m_nPage = 0;
    // Whether "次へ >" / "開始 >" may be pressed on the file and options pages.
    int m_bMayAdvance = 0;
    HIMAGELIST m_hSysImageList = nullptr;
    HICON m_hIcon = nullptr;

    void GoToPage(int step);
    void UpdateButtons();

    // "%s Ver %s" of the internal name and product version, and the legal
    // notice, from the program's version resource.
    std::wstring VersionLabel() const;
    std::wstring LegalNotice() const override;
    // The settings of the build as the summary and the report show them.
    zk::SettingsValues CurrentSettingsValues() const override;

    CFileListPage* FilePage() const;
    COptionsPage* OptionsPage() const;
    CProgressPage* ProgressPage() const;
    CCompletionPage* CompletionPage() const;

    // The running or last build's progress, which the progress page paints
    // on its timer.
    const zk::BuildProgress& Progress() const override { return m_progress; }

    // IWizardHost, for the pages.
    ::CVosmireEnv& Env() override { return m_env; }
    ::CVosmirePrm& Prm() override { return m_prm; }
    HWND HostWindow() const override { return Hwnd(); }
    void SetMayAdvance(bool may) override
    {
        m_bMayAdvance = may ? 1 : 0;
        UpdateButtons();
    }
    HIMAGELIST SystemImageList() const override { return m_hSysImageList; }
    HMODULE UxTheme() const override { return m_hUxTheme; }
    const std::wstring& CmdOutputFolder() const override { return m_strCmdOutputFolder; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND ctl) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void CreatePages();
    void LayOut();
    void SetHeaderTexts();
    void StartBuild();
    void OnBuildTimer();
    void OnReloadOrSave();
    void OnSettings();
    void OpenErrorLog();
    void OpenOutputFolder();
    void DeleteUnfinishedArchive();
    // "中止", or Escape during a build.
    void OnAbortPressed();
    void ShowAbout();
    bool BuildRunning() const;

    std::array<std::unique_ptr<CWizardPage>, zk::PAGE_COUNT> m_pages;
    zk::CHeaderStatic m_headerBand{false};
    zk::CHeaderStatic m_headerTitle{true};
    zk::CHeaderStatic m_headerDesc{false};
    // The build: its state and result bytes, its progress, the dialogue
    // that shows its messages on this window's thread, and the job the
    // build thread works on (left alone here until the state is finished).
    zk::BuildFlags m_build;
    zk::BuildProgress m_progress;
    zk::CWorkerDialogue m_dialogue{*this, BUILDER_MESSAGE_STYLE};
    zk::BuildJob m_job;
    std::thread m_buildThread;
    // Escape or the close box during a build: the build is asked to stop and
    // the wizard closes once the thread has ended.
    bool m_bCloseAfterBuild = false;
    // The user asked the running build to stop (the request is repeated
    // until the build thread has seen it).
    bool m_bAbortRequested = false;
    bool m_bPagesReady = false;
};
