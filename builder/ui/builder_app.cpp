#include "builder/ui/builder_app.h"

#include <objbase.h>

#include <cstdlib>
#include <vector>

#include "core/long_path.h"
#include "core/os_info.h"
#include "core/version_info.h"
#include "builder/ui/message_style.h"

zk::Answer CStartupDialogue::Ask(const zk::UserMessage& message)
{
    return zk::AnswerFromButton(zk::ShowUserMessage(nullptr, message, BUILDER_MESSAGE_STYLE, {}));
}

CBuilderApp::CBuilderApp()
{
    m_bComInitialised = SUCCEEDED(CoInitialize(nullptr));
}

CBuilderApp::~CBuilderApp()
{
    if (m_hUxTheme) FreeLibrary(m_hUxTheme);
    if (m_bComInitialised) CoUninitialize();
}

int CBuilderApp::LoadProgramInfo()
{
    std::vector<wchar_t> path(zk::PATH_CHARS);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    // A full buffer means the path was cut: a folder derived from it would
    // be wrong, and settings would be written into it.
    if (n == 0 || n >= path.size()) return 1;
    m_strExePath.assign(path.data(), n);
    m_strProgramFolder = zk::ParentFolder(m_strExePath);
    zk::AddTrailingSlash(m_strProgramFolder);

    zk::LoadVersionInfo(nullptr);
    zk::LoadOsInfo(true);

    if (zk::OsVersionCode() >= 10 && !m_hUxTheme) {
        wchar_t system[MAX_PATH];
        UINT len = GetSystemDirectoryW(system, MAX_PATH);
        if (len != 0 && len < MAX_PATH)
            m_hUxTheme = LoadLibraryW((std::wstring(system) + L"\\UxTheme.dll").c_str());
    }
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
