#include "builder/ui/builder_app.h"
#include "builder/ui/wizard_dlg.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

// Constructed before wWinMain runs, so COM is initialised for the whole
// process and released after everything else has ended.
static CBuilderApp theApp;

// The builder lives exactly as long as its wizard: the application object
// prepares the process, the wizard runs modally, and the process ends.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // Without its own path the program cannot find its settings or the
    // extractor: it ends without a window.
    if (theApp.Prepare() != 0) return 1;

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    auto wizard = std::make_unique<CWizardDlg>();
    wizard->m_strProgramFolder = theApp.m_strProgramFolder;
    wizard->m_hUxTheme = theApp.m_hUxTheme;
    wizard->m_arrStartFiles = theApp.m_start.m_arrStartFiles;
    wizard->m_strCmdOutputFolder = theApp.m_start.m_strCmdOutputFolder;
    wizard->m_nStayOnFilePage = theApp.m_start.m_nStayOnFilePage;
    wizard->DoModal(nullptr);
    // The wizard goes before the application object releases COM.
    wizard.reset();
    return 0;
}
