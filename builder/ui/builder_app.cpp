#include "builder/ui/builder_app.h"

#include <commctrl.h>

#include <cstdlib>
#include <vector>

#include "core/long_path.h"
#include "core/os_info.h"
#include "core/system_dlls.h"
#include "core/version_info.h"
#include "builder/ui/message_style.h"
#include "ui/worker_dialogue.h"

zk::Answer CStartupDialogue::Ask(const zk::UserMessage& message)
{
    return zk::AnswerFromButton(zk::ShowUserMessage(nullptr, message, BUILDER_MESSAGE_STYLE, {}));
}

CBuilderApp::CBuilderApp()
    : m_startup(zk::CAppStartup::COM_APARTMENT, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES)
{
}

CBuilderApp::~CBuilderApp()
{
    if (m_hUxTheme) FreeLibrary(m_hUxTheme);
}

int CBuilderApp::LoadProgramInfo()
{
    // A cut path would give a wrong folder, and settings would be written
    // into it.
    if (!zk::CAppStartup::ProgramPath(&m_strExePath)) return 1;
    m_strProgramFolder = zk::ParentFolder(m_strExePath);
    zk::AddTrailingSlash(m_strProgramFolder);

    zk::LoadVersionInfo(nullptr);
    if (!zk::LoadOsInfo()) zk::ShowSystemError();

    if (zk::OsVersionCode() >= 10 && !m_hUxTheme) m_hUxTheme = zk::SystemModule(L"UxTheme.dll");
    return 0;
}

void CBuilderApp::ReadStartup(const std::wstring& commandLine, int argc, const StartupProbe& probe)
{
    ReadCommandLine(commandLine, argc, probe, m_start);
}

int CBuilderApp::Prepare()
{
    if (LoadProgramInfo() != 0) return 1;
    ReadStartup(GetCommandLineW(), __argc, SystemStartupProbe(m_handoff));
    return 0;
}
