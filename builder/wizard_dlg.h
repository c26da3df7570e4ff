#pragma once
// The builder's wizard window: five pages one at a time, the header and
// guidance line, the five buttons, the build thread and its watch timer.

#include "builder/build_owner.h"
#include "builder/command_switches.h"
#include "builder/controls.h"
#include "ui/dialog.h"
#include "builder/progress_texts.h"
#include "builder/wizard_flow.h"
#include "builder/wizard_page.h"

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

class CWizardDlg : public zk::CDialog, public zk::CBuildOwner {
public:
    CWizardDlg();
    ~CWizardDlg() override;

    // Start-up result, copied in before the wizard runs.
    std::vector<std::wstring> m_arrStartFiles;
    std::wstring m_strBaseFolder;
    std::wstring m_strCmdOutputFolder;
    int m_nStayOnFilePage = 0;
    // The command line's switches: settings for this run only.
    BuilderOverrides m_overrides;
    // Folder of the program with a trailing "\", and the theme library
    // (null when not loaded).
    std::wstring m_strProgramFolder;
    HMODULE m_hUxTheme = nullptr;

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
    std::wstring LegalNotice() const;
    // The settings of the build as the summary and the report show them.
    zk::SettingsValues CurrentSettingsValues() const;

    CFileListPage* FilePage() const;
    COptionsPage* OptionsPage() const;
    CProgressPage* ProgressPage() const;
    CCompletionPage* CompletionPage() const;

    // CBuildOwner: called by the build thread; they only store values that
    // the progress page paints from its timer.
    std::wstring ProgramFolder() const override { return m_strProgramFolder; }
    void StartProgressTimer() override;
    void StopProgressTimer() override;
    void SetProgressTotal(uint64_t nDone, uint64_t nTotal) override;
    void SetCompressProgress(uint64_t nDone) override;
    void SetVerifyProgress(uint64_t nDone) override;
    void ShowCounters(const zk::BuildCounters& counters) override;
    void ShowSettingsSummary() override;
    void SetPhaseText(const std::wstring& text) override;
    void SetBuildStatistics(const zk::BuildStatistics& stats) override;

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
    std::thread m_buildThread;
    // Escape or the close box during a build: the build is asked to stop and
    // the wizard closes once the thread has ended.
    bool m_bCloseAfterBuild = false;
    // The user asked the running build to stop (the request is repeated
    // until the build thread has seen it).
    bool m_bAbortRequested = false;
    bool m_bPagesReady = false;
};
