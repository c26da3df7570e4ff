#include "sfx/ui/startup.h"

#include <commctrl.h>

#include <clocale>
#include <memory>
#include <utility>
#include <vector>

#include "core/exit_codes.h"
#include "core/last_error.h"
#include "ui/message_box.h"
#include "core/version_info.h"
#include "sfx/engine/command_line.h"
#include "sfx/engine/error_message.h"
#include "sfx/engine/sfx_switches.h"
#include "sfx/ui/main_dialog.h"
#include "sfx/ui/password_dialog.h"
#include "sfx/ui/quiet_extract.h"
#include "sfx/ui/resource.h"
#include "ui/app_startup.h"
#include "ui/worker_dialogue.h"

namespace zk {

namespace {

constexpr size_t RESOURCE_TEXT_CHARS = 100;

std::wstring g_strProgramPath;
SfxSwitches g_switches;
// Set while a "--quiet" run opens the archive in place of the window's callback.
CQuietRun* g_pQuietRun = nullptr;
HiddenWindowCalls g_hiddenWindowCalls;
// Set once the creation handler ran: the window is destroyed inside it, so
// a null window from CreateWindowExW alone does not tell a failure.
bool g_bCreationHandled = false;

// The opening's messages and password box, owned by the hidden window and
// shown on its thread; then the main window.
class COpenCallback : public IOpenCallback {
public:
    COpenCallback(HWND window, HINSTANCE instance) : m_hWnd(window), m_hInstance(instance) {}

    Answer Ask(const UserMessage& message) override
    {
        return AnswerFromButton(ShowUserMessage(m_hWnd, message, {ERROR_CAPTION, QUESTION_CAPTION, 0}, {}));
    }
    bool AskPassword(std::wstring* password) override
    {
        if (g_switches.m_bPassword) {
            *password = g_switches.m_strPassword;
            return true;
        }
        return AskPasswordDialog(m_hWnd, password) == IDOK;
    }
    void RunMainWindow(ArchiveState& state) override { RunMainDialog(m_hInstance, state); }

private:
    HWND m_hWnd;
    HINSTANCE m_hInstance;
};

LRESULT CALLBACK HiddenWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE: {
        g_bCreationHandled = true;
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
        ArchiveState* state = static_cast<ArchiveState*>(create->lpCreateParams);
        if (state) {
            COpenCallback callback(wnd, create->hInstance);
            WorkerContext ctx;
            OpenArchive(ctx, *state, g_strProgramPath,
                        g_pQuietRun ? static_cast<IOpenCallback&>(*g_pQuietRun) : callback);
        }
        DestroyWindow(wnd);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

// The hidden window could not be made: the system's reason, then the end.
int ReportWindowFailure()
{
    // Window creation that fails without a code has run out of the
    // system's window resources.
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    GetLastErrorText();
    ShowSystemError();
    return 0;
}

} // namespace

int RunExtractor(HINSTANCE instance)
{
    CAppStartup startup(CAppStartup::COM_OLE, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES);

    wchar_t title[RESOURCE_TEXT_CHARS + 1] = L"ZelkoraSfx";
    wchar_t className[RESOURCE_TEXT_CHARS + 1] = L"ZELKORASFX";
    LoadStringW(instance, IDS_SFX_TITLE, title, RESOURCE_TEXT_CHARS);
    LoadStringW(instance, IDS_SFX_CLASS, className, RESOURCE_TEXT_CHARS);

    wchar_t country[64] = L"";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, country, 64) > 0)
        _wsetlocale(LC_ALL, country);

    // The product version names the main window.
    LoadVersionInfo(instance);

    if (!CAppStartup::ProgramPath(&g_strProgramPath)) {
        ShowSystemError();
        return EXIT_CODE_FAILED;
    }
    const SfxCommandLine line = ParseSfxArguments(SplitSfxCommandLine(GetCommandLineW()));
    ArchiveState state;
    state.m_strArchivePath = line.m_strArchivePath;
    if (!line.m_strBadSwitch.empty()) {
        const std::wstring text = BadSfxSwitchText(line.m_strBadSwitch);
        if (line.m_switches.m_bQuiet)
            LogQuietFailure(state.m_strArchivePath.empty() ? g_strProgramPath : state.m_strArchivePath, text);
        else
            ShowMessageBox(nullptr, text.c_str(), ERROR_CAPTION, MB_OK | MB_ICONERROR);
        return EXIT_CODE_BAD_SWITCH;
    }
    if (line.m_switches.m_bHelp) {
        ShowMessageBox(nullptr, SFX_HELP_TEXT, title, MB_OK | MB_ICONINFORMATION);
        return EXIT_CODE_DONE;
    }
    g_switches = line.m_switches;
    ApplySfxSwitches(g_switches, state);

    std::unique_ptr<CQuietRun> quiet;
    if (g_switches.m_bQuiet) quiet = std::make_unique<CQuietRun>(g_switches);
    g_pQuietRun = quiet.get();
    RunHiddenWindow(instance, className, title, &state);
    if (quiet) quiet->WriteLog(state);
    g_pQuietRun = nullptr;
    return state.m_bAllExtracted ? EXIT_CODE_DONE : EXIT_CODE_FAILED;
}

HiddenWindowCalls SetHiddenWindowCalls(const HiddenWindowCalls& calls)
{
    return std::exchange(g_hiddenWindowCalls, calls);
}

int RunHiddenWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title, ArchiveState* state)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &HiddenWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SFX));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className;
    if (!g_hiddenWindowCalls.m_pRegisterClass(&wc)) return ReportWindowFailure();

    g_bCreationHandled = false;
    g_hiddenWindowCalls.m_pCreateWindow(0, className, title, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, state);
    if (!g_bCreationHandled) return ReportWindowFailure();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace zk
