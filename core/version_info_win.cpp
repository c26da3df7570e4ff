#include "core/version_info.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace zk {

namespace {

// Written at start-up, read by every thread after.
std::mutex g_versionLock;
VersionInfo g_version;

std::wstring QueryString(std::vector<BYTE>& block, WORD language, WORD codePage, const wchar_t* name)
{
    wchar_t key[128];
    swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
    void* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(block.data(), key, &value, &chars) || !value || chars == 0) return std::wstring();
    // The count may or may not include the terminator.
    std::wstring text(static_cast<const wchar_t*>(value), chars);
    text.resize(wcslen(text.c_str()));
    return text;
}

} // namespace

bool LoadVersionInfo(HMODULE module)
{
    VersionInfo info;
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD len = GetModuleFileNameW(module, path, MAX_PATH * 4);
    DWORD handle = 0;
    const DWORD size = len > 0 && len < MAX_PATH * 4 ? GetFileVersionInfoSizeW(path, &handle) : 0;
    std::vector<BYTE> block(size);
    const bool have = size > 0 && GetFileVersionInfoW(path, 0, size, block.data());
    if (have) {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed &&
            fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
            wchar_t text[64];
            swprintf(text, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                     HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
            info.fileVersion = text;
            info.fileVersionMajor = std::to_wstring(HIWORD(fixed->dwFileVersionMS));
            info.fileVersionMinor = std::to_wstring(LOWORD(fixed->dwFileVersionMS));
        }
        WORD* pairs = nullptr;
        UINT pairBytes = 0;
        if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pairs),
                           &pairBytes) &&
            pairs && pairBytes >= 2 * sizeof(WORD)) {
            info.language = pairs[0];
            info.codePage = pairs[1];
        }
        const WORD lang = info.language, cp = info.codePage;
        info.companyName = QueryString(block, lang, cp, L"CompanyName");
        info.legalCopyright = QueryString(block, lang, cp, L"LegalCopyRight");
        // Resource compilers write the key as "LegalCopyright"; look that up
        // too in case the system compares keys by case.
        if (info.legalCopyright.empty())
            info.legalCopyright = QueryString(block, lang, cp, L"LegalCopyright");
        info.productName = QueryString(block, lang, cp, L"ProductName");
        info.productVersion = QueryString(block, lang, cp, L"ProductVersion");
        info.originalFileName = QueryString(block, lang, cp, L"OriginalFileName");
        info.fileDescription = QueryString(block, lang, cp, L"FileDescription");
        info.fileVersionString = QueryString(block, lang, cp, L"FileVersion");
        info.internalName = QueryString(block, lang, cp, L"InternalName");
    }
    std::lock_guard<std::mutex> lock(g_versionLock);
    g_version = std::move(info);
    return have;
}

const VersionInfo& ModuleVersionInfo()
{
    return g_version;
}
const wchar_t* VersionInternalName()
{
    return g_version.internalName.c_str();
}
const wchar_t* VersionProductVersion()
{
    return g_version.productVersion.c_str();
}
const wchar_t* VersionLegalCopyright()
{
    return g_version.legalCopyright.c_str();
}
const wchar_t* VersionFileVersion()
{
    return g_version.fileVersion.c_str();
}

} // namespace zk
