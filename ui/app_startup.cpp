#include "ui/app_startup.h"

#include <commctrl.h>
#include <ole2.h>

#include <vector>

#include "core/last_error.h"
#include "core/long_path.h"
#include "core/system_dlls.h"

namespace zk {

CAppStartup::CAppStartup(ComKind com, DWORD commonControls) : m_nCom(com)
{
    RestrictDllSearch();
    // S_FALSE (already initialised on this thread) also needs its undo.
    const HRESULT init = com == COM_OLE ? OleInitialize(nullptr) : CoInitialize(nullptr);
    m_bComInitialised = SUCCEEDED(init);
    INITCOMMONCONTROLSEX controls{sizeof(controls), commonControls};
    InitCommonControlsEx(&controls);
}

CAppStartup::~CAppStartup()
{
    if (!m_bComInitialised) return;
    if (m_nCom == COM_OLE)
        OleUninitialize();
    else
        CoUninitialize();
}

bool CAppStartup::ProgramPath(std::wstring* path)
{
    std::vector<wchar_t> buffer(PATH_CHARS);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) {
        if (n != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
        GetLastErrorText();
        return false;
    }
    if (path) path->assign(buffer.data(), n);
    return true;
}

} // namespace zk
