#include "core/shortcut.h"

#include "core/last_error.h"
#include "core/unique_handle_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace zk {

namespace {

using CoInitializeFn = HRESULT(WINAPI*)(LPVOID);
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
using CoUninitializeFn = void(WINAPI*)();

// Releases a COM interface on every way out.
template <class T> struct ComRef {
    T* p = nullptr;
    ~ComRef()
    {
        if (p) p->Release();
    }
};

} // namespace

int ResolveShortcut(const wchar_t* linkPath, wchar_t* target, int targetChars, wchar_t* args, int argsChars,
                    wchar_t* workDir, int workDirChars, int* showCmd)
{
    if (!linkPath || !target || targetChars <= 0) return 0;
    target[0] = L'\0';

    // By full path: an ole32.dll planted beside the program must not be loaded.
    wchar_t systemDir[MAX_PATH] = {};
    const UINT len = GetSystemDirectoryW(systemDir, MAX_PATH);
    ModuleHandle ole;
    if (len > 0 && len < MAX_PATH)
        ole.Reset(LoadLibraryW((std::wstring(systemDir) + L"\\ole32.dll").c_str()));
    if (!ole) {
        GetLastErrorText();
        return -1;
    }
    auto coInitialize = reinterpret_cast<CoInitializeFn>(GetProcAddress(ole.Get(), "CoInitialize"));
    auto coCreateInstance =
        reinterpret_cast<CoCreateInstanceFn>(GetProcAddress(ole.Get(), "CoCreateInstance"));
    auto coUninitialize = reinterpret_cast<CoUninitializeFn>(GetProcAddress(ole.Get(), "CoUninitialize"));
    if (!coInitialize || !coCreateInstance || !coUninitialize) {
        GetLastErrorText();
        return -1;
    }

    // S_FALSE (already initialised) also needs its CoUninitialize; a thread
    // in another apartment mode keeps its own and is not undone.
    const HRESULT init = coInitialize(nullptr);
    int result = 0;
    {
        ComRef<IShellLinkW> link;
        ComRef<IPersistFile> file;
        if (SUCCEEDED(coCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(&link.p))) &&
            SUCCEEDED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))) &&
            SUCCEEDED(file.p->Load(linkPath, STGM_READ))) {
            // A target that moved is looked for; one that cannot be found
            // still yields the path stored in the shortcut.
            link.p->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);
            const HRESULT got = link.p->GetPath(target, targetChars, nullptr, SLGP_UNCPRIORITY);
            // S_FALSE means no file-system path (a shortcut to a shell item).
            result = got == S_OK && target[0] != L'\0' ? 1 : 0;
            if (got != S_OK) target[0] = L'\0';
            if (args && argsChars > 0 && FAILED(link.p->GetArguments(args, argsChars))) args[0] = L'\0';
            if (workDir && workDirChars > 0 && FAILED(link.p->GetWorkingDirectory(workDir, workDirChars))) {
                workDir[0] = L'\0';
            }
            if (showCmd && FAILED(link.p->GetShowCmd(showCmd))) *showCmd = SW_SHOWNORMAL;
        }
    }
    if (SUCCEEDED(init)) coUninitialize();
    return result;
}

} // namespace zk
