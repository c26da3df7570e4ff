#include "core/temp_files.h"

#include "core/file_time.h"
#include "core/long_path.h"
#include "core/unique_handle.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

namespace zk {

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

bool GetTempFolder(std::wstring& out)
{
    wchar_t temp[PATH_CHARS] = {};
    const DWORD len = GetTempPathW(PATH_CHARS, temp);
    const bool gotTemp = len > 0 && len < PATH_CHARS;
    std::wstring candidate = gotTemp ? temp : L"";

    wchar_t env[PATH_CHARS] = {};
    const DWORD envLen = GetEnvironmentVariableW(L"TEMP", env, PATH_CHARS);
    const bool envSet = envLen > 0 && envLen < PATH_CHARS;

    if (!gotTemp || (!IsFolder(candidate) && envSet && !IsFolder(env))) {
        wchar_t windows[MAX_PATH] = {};
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, SHGFP_TYPE_CURRENT, windows)))
            return false;
        out = windows;
        AddTrailingSlash(out);
        out += L"Temp\\";
        return true;
    }
    if (!IsFolder(candidate) && envSet) candidate = env;

    std::vector<wchar_t> longName(PATH_CHARS);
    const DWORD got = GetLongPathNameW(candidate.c_str(), longName.data(), PATH_CHARS);
    if (got == 0 || got >= PATH_CHARS) return false;
    out = longName.data();
    AddTrailingSlash(out);
    return true;
}

} // namespace zk
