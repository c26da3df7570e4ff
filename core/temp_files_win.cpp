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

void PauseMs(uint32_t ms)
{
    Sleep(ms);
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

bool CreateTempFileName(const wchar_t* folder, std::wstring& out, const wchar_t* prefix)
{
    return detail::CreateTempFileNameWith(folder, out, prefix, CurrentFileTime, PauseMs);
}

bool detail::CreateTempFileNameWith(const wchar_t* folder, std::wstring& out, const wchar_t* prefix,
                                    uint64_t (*clock)(), void (*pause)(uint32_t ms))
{
    out.clear();
    if (!folder) return false;
    std::wstring base = LongPathForm(folder);
    if (base.empty()) return false;
    AddTrailingSlash(base);
    base += prefix ? prefix : TEMP_PREFIX_DEFAULT;

    for (int attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        if (attempt > 0) pause(TEMP_NAME_RETRY_MS);
        const uint64_t now = clock();
        wchar_t stamp[32];
        swprintf(stamp, 32, L"%08X%08X.TMP", static_cast<unsigned>(now >> 32), static_cast<unsigned>(now));
        const std::wstring name = base + stamp;
        // CREATE_NEW both tests and reserves the name in one step.
        FileHandle h(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (h) {
            out = name;
            return true;
        }
    }
    return false;
}

} // namespace zk
