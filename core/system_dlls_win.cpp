#include "core/system_dlls.h"

#include <string>

namespace zk {

HMODULE SystemModule(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring path = std::wstring(folder) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

namespace {

HMODULE VersionDll()
{
    static HMODULE module = SystemModule(L"version.dll");
    return module;
}

template <class Fn> Fn VersionCall(const char* name)
{
    HMODULE module = VersionDll();
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
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
    VersionDll();
}

} // namespace zk

// version.dll is not one of the DLLs the system always takes from its own
// folder. Imported the usual way it would be resolved before the program
// runs, from the program's folder first: a self-extracting archive saved
// into a downloads folder next to a planted version.dll would run that DLL.
// These definitions take the place of the import library's, so the program
// has no import from version.dll and the calls reach the system's copy.
extern "C" {

BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data)
{
    auto fn = zk::VersionCall<BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID)>("GetFileVersionInfoW");
    if (!fn) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return fn(file, handle, size, data);
}

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle)
{
    auto fn = zk::VersionCall<DWORD(WINAPI*)(LPCWSTR, LPDWORD)>("GetFileVersionInfoSizeW");
    if (!fn) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return fn(file, handle);
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length)
{
    auto fn = zk::VersionCall<BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT)>("VerQueryValueW");
    if (!fn) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return fn(block, subBlock, buffer, length);
}

} // extern "C"
