#pragma once
// The builder's application object: prepares the process before the wizard
// window exists (COM, program folder, version and OS information, the
// visual-theme library, the paths to pack) and lives as long as the process.

#include <windows.h>

#include <string>

#include "builder/settings/startup.h"
#include "core/user_message.h"
#include "ui/app_startup.h"

// Messages before the wizard exists: boxes without an owner, on the calling
// thread, as the builder shows them.
class CStartupDialogue : public zk::IUserDialogue {
public:
    zk::Answer Ask(const zk::UserMessage& message) override;
};

class CBuilderApp {
public:
    // DLL search, COM for the window thread and the common controls.
    CBuilderApp();
    ~CBuilderApp();
    CBuilderApp(const CBuilderApp&) = delete;
    CBuilderApp& operator=(const CBuilderApp&) = delete;

    // Everything before the wizard: program path and folder, version and OS
    // information, UxTheme, the command line (and the shell's block when it
    // names one). Returns 0, or 1 when the program's own path cannot be had,
    // in which case the process ends without a window.
    int Prepare();

    // The start-up steps that need the system, apart from the command line.
    int LoadProgramInfo();
    // Reads `commandLine` (`argc` arguments as the C runtime counted them)
    // into m_start through `probe`.
    void ReadStartup(const std::wstring& commandLine, int argc, const StartupProbe& probe);

    std::wstring m_strExePath;
    std::wstring m_strProgramFolder; // with a trailing "\"
    HMODULE m_hUxTheme = nullptr;    // loaded on Vista and later, else null
    CStartupDialogue m_dialogue;
    CShellHandoff m_handoff{m_dialogue};
    StartupResult m_start; // copied into the wizard before it runs

private:
    zk::CAppStartup m_startup;
};
