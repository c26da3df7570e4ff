#include "core/shell_item.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace zk {

bool ShellKnowsPath(const std::wstring& path)
{
    if (path.empty()) return false;
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return false;
    // Drive letters A: and B: are parsed without asking for attributes, so
    // that an empty floppy drive is not spun up.
    const bool floppy = path.size() >= 2 && path[1] == L':' && (path[0] == L'A' || path[0] == L'B');
    std::vector<wchar_t> name(path.begin(), path.end());
    name.push_back(L'\0');
    PIDLIST_RELATIVE pidl = nullptr;
    ULONG attributes = 0xF64FC17F;
    const HRESULT hr = desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &pidl,
                                                 floppy ? nullptr : &attributes);
    desktop->Release();
    const bool known = SUCCEEDED(hr) && pidl != nullptr;
    ILFree(pidl);
    return known;
}

bool HasAssociatedProgram(const std::wstring& path)
{
    wchar_t program[MAX_PATH] = {};
    return reinterpret_cast<INT_PTR>(FindExecutableW(path.c_str(), nullptr, program)) > 32 && program[0] != 0;
}

ShellThreadScope::ShellThreadScope()
    : m_bInitialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
{
}

ShellThreadScope::~ShellThreadScope()
{
    if (m_bInitialised) CoUninitialize();
}

} // namespace zk
