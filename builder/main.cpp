#include "builder/ui/builder_app.h"
#include "builder/ui/wizard_dlg.h"

#include <windows.h>

#include <memory>
#include <string>

#include "builder/ui/command_switches.h"
#include "builder/ui/quiet_build.h"
#include "core/error_log.h"
#include "core/exit_codes.h"
#include "ui/message_box.h"

// Constructed before wWinMain runs, so the DLL search is restricted and COM
// initialised for the whole process, and released after everything else
// has ended.
static CBuilderApp theApp;

static const wchar_t* const APP_CAPTION = L"ゼルコラ";

// A switch that was not understood: a box naming it, or with "--quiet" only
// the log beside the program, which a script can read (and the exit code,
// when even the log cannot be made).
static void ShowBadSwitch(const std::wstring& programFolder, const std::wstring& field, bool quiet)
{
    const std::wstring text = BadBuilderSwitchText(field);
    if (!quiet) {
        zk::ShowMessageBox(nullptr, text.c_str(), APP_CAPTION, MB_OK | MB_ICONERROR);
        return;
    }
    zk::ErrorLog log;
    const std::wstring path = programFolder + L"Zelkora.log";
    if (log.Open(path.c_str()) && log.WriteByteOrderMark()) log.WriteFailure(L"", text.c_str());
}

// The builder lives exactly as long as its wizard: the application object
// prepares the process, the wizard runs modally, and the process ends.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // Without its own path the program cannot find its settings or the
    // extractor: it ends without a window.
    if (theApp.Prepare() != 0) return 1;

    BuilderOverrides overrides;
    std::wstring badSwitch;
    if (!ParseBuilderSwitches(theApp.m_start.m_arrSwitches, overrides, &badSwitch)) {
        ShowBadSwitch(theApp.m_strProgramFolder, badSwitch, overrides.m_bQuiet);
        return zk::EXIT_CODE_BAD_SWITCH;
    }
    if (overrides.m_bHelp) {
        zk::ShowMessageBox(nullptr, BUILDER_HELP_TEXT, APP_CAPTION, MB_OK | MB_ICONINFORMATION);
        return zk::EXIT_CODE_DONE;
    }
    if (overrides.m_bQuiet) return RunQuietBuild(theApp.m_strProgramFolder, theApp.m_start, overrides);

    auto wizard = std::make_unique<CWizardDlg>();
    wizard->m_strProgramFolder = theApp.m_strProgramFolder;
    wizard->m_hUxTheme = theApp.m_hUxTheme;
    wizard->m_arrStartFiles = theApp.m_start.m_arrStartFiles;
    wizard->m_strCmdOutputFolder = theApp.m_start.m_strCmdOutputFolder;
    wizard->m_nStayOnFilePage = theApp.m_start.m_nStayOnFilePage;
    wizard->m_overrides = overrides;
    wizard->DoModal(nullptr);
    const bool built = wizard->LastBuildSucceeded();
    // The wizard goes before the application object releases COM.
    wizard.reset();
    return built ? zk::EXIT_CODE_DONE : zk::EXIT_CODE_FAILED;
}
