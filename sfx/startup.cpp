#include "sfx/startup.h"

#include <ole2.h>

#include <clocale>
#include <utility>
#include <vector>

#include "core/exit_codes.h"
#include "core/last_error.h"
#include "core/message_box.h"
#include "core/version_info.h"
#include "sfx/command_line.h"
#include "sfx/error_message.h"
#include "sfx/password_dialog.h"
#include "sfx/quiet_extract.h"
#include "sfx/resource.h"
#include "sfx/sfx_switches.h"
#include "sfx/system_dlls.h"

namespace zk {

namespace {

constexpr size_t RESOURCE_TEXT_CHARS = 100;
constexpr DWORD PROGRAM_PATH_CHARS = 4096;

MainDialogRunner& MainDialog()
{
    static MainDialogRunner runner;
    return runner;
}

std::wstring g_strProgramPath;
SfxSwitches g_switches;
HiddenWindowCalls g_hiddenWindowCalls;
// Set once the creation handler ran: the window is destroyed inside it, so
// a null window from CreateWindowExW alone does not tell a failure.
bool g_bCreationHandled = false;

LRESULT CALLBACK HiddenWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE: {
        g_bCreationHandled = true;
        ArchiveState& state = TheArchiveState();
        WorkerContext ctx;
        const bool quiet = g_switches.m_bQuiet;
        OpenArchive(
            wnd, ctx, state, g_strProgramPath,
            SwitchPasswordPrompt(g_switches, state, quiet ? &QuietPasswordPrompt : &AskPasswordDialog),
            [quiet](ArchiveState& opened) {
                if (quiet)
                    RunQuietExtraction(opened);
                else if (MainDialog())
                    MainDialog()(opened);
            });
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
    ReportLastError();
    return 0;
}

} // namespace

void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return;
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Also drops the current folder from the search where the call above
    // is missing.
    SetDllDirectoryW(L"");
    BindSystemDlls();
}

void SetMainDialogRunner(MainDialogRunner runner)
{
    MainDialog() = std::move(runner);
}

int RunExtractor(HINSTANCE instance)
{
    RestrictDllSearch();

    wchar_t title[RESOURCE_TEXT_CHARS + 1] = L"ZelkoraSfx";
    wchar_t className[RESOURCE_TEXT_CHARS + 1] = L"ZELKORASFX";
    LoadStringW(instance, IDS_SFX_TITLE, title, RESOURCE_TEXT_CHARS);
    LoadStringW(instance, IDS_SFX_CLASS, className, RESOURCE_TEXT_CHARS);

    wchar_t country[64] = L"";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, country, 64) > 0)
        _wsetlocale(LC_ALL, country);

    // The product version names the main window.
    LoadVersionInfo(instance);

    std::vector<wchar_t> path(PROGRAM_PATH_CHARS);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), PROGRAM_PATH_CHARS);
    if (n == 0 || n >= PROGRAM_PATH_CHARS) {
        if (n != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
        ReportLastError();
        return EXIT_CODE_FAILED;
    }
    g_strProgramPath.assign(path.data(), n);
    const SfxCommandLine line = ParseSfxArguments(SplitSfxCommandLine(GetCommandLineW()));
    ArchiveState& state = TheArchiveState();
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

    if (g_switches.m_bQuiet) BeginQuietRun();
    RunHiddenWindow(instance, className, title);
    if (g_switches.m_bQuiet) EndQuietRun(state);
    return state.m_bAllExtracted ? EXIT_CODE_DONE : EXIT_CODE_FAILED;
}

HiddenWindowCalls SetHiddenWindowCalls(const HiddenWindowCalls& calls)
{
    return std::exchange(g_hiddenWindowCalls, calls);
}

int RunHiddenWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title)
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
    HRESULT com = OleInitialize(nullptr);
    g_hiddenWindowCalls.m_pCreateWindow(0, className, title, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    // Kept before OleUninitialize can change it.
    DWORD error = GetLastError();
    if (SUCCEEDED(com)) OleUninitialize();
    if (!g_bCreationHandled) {
        SetLastError(error);
        return ReportWindowFailure();
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace zk
