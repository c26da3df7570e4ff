#include "core/long_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>

namespace zk {

namespace {

bool StartsWith(const wchar_t* s, const wchar_t* prefix)
{
    return wcsncmp(s, prefix, wcslen(prefix)) == 0;
}

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool IsDeviceForm(const wchar_t* path)
{
    return StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\");
}

// Fully qualified and free of anything the long form would take literally
// ("/", "." and ".." components), so the prefix can be put in front as is.
bool IsPlainAbsolute(const wchar_t* path)
{
    const bool drive = IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
    const bool unc = path[0] == L'\\' && path[1] == L'\\';
    if (!drive && !unc) return false;
    if (wcschr(path, L'/')) return false;
    for (const wchar_t* p = path; (p = wcschr(p, L'\\')) != nullptr;) {
        ++p;
        const size_t dots = wcsspn(p, L".");
        if ((dots == 1 || dots == 2) && (p[dots] == L'\\' || p[dots] == L'\0')) return false;
    }
    return true;
}

// A drive root, looked at after any long-path prefix: "C:\" or "\\?\C:\".

bool Copy(wchar_t* out, size_t outChars, const wchar_t* a, const wchar_t* b)
{
    const size_t la = wcslen(a), lb = wcslen(b);
    if (la + lb + 1 > outChars) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wmemmove(out + la, b, lb + 1);
    wmemcpy(out, a, la);
    return true;
}

// The first steps of ParentFolder and LastComponent: drop a final "\" unless
// the path is a drive root. False when the path is to be returned unchanged.

} // namespace

bool PathExists(const wchar_t* path)
{
    if (!path || !*path) return false;
    return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PathIsFolder(const wchar_t* path)
{
    if (!path || !*path) return false;
    const DWORD attrs = GetFileAttributesW(LongPathForm(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathIsUnc(const wchar_t* path)
{
    if (!path) return false;
    return PathIsUNCW(ShortPathForm(path).c_str()) != FALSE;
}

wchar_t* AddLongPathPrefix(const wchar_t* path, wchar_t* out, size_t outChars)
{
    if (!path || !out || outChars == 0) return nullptr;
    if (IsDeviceForm(path)) return Copy(out, outChars, L"", path) ? out : nullptr;

    std::wstring full;
    if (!IsPlainAbsolute(path)) {
        const DWORD need = GetFullPathNameW(path, 0, nullptr, nullptr);
        if (need == 0) return nullptr;
        full.resize(need);
        const DWORD got = GetFullPathNameW(path, need, full.data(), nullptr);
        if (got == 0 || got >= need) return nullptr;
        full.resize(got);
        path = full.c_str();
        if (IsDeviceForm(path)) return Copy(out, outChars, L"", path) ? out : nullptr;
    }
    if (path[0] == L'\\' && path[1] == L'\\')
        return Copy(out, outChars, L"\\\\?\\UNC\\", path + 2) ? out : nullptr;
    return Copy(out, outChars, L"\\\\?\\", path) ? out : nullptr;
}

std::wstring LongPathForm(const wchar_t* path)
{
    if (!path) return std::wstring();
    std::wstring out(wcslen(path) + MAX_PATH + 16, L'\0');
    for (;;) {
        if (AddLongPathPrefix(path, out.data(), out.size())) {
            out.resize(wcslen(out.c_str()));
            return out;
        }
        // Only a relative path can grow beyond the room above (a long
        // current folder); anything else is a failure of the system call.
        if (GetLastError() != ERROR_FILENAME_EXCED_RANGE || out.size() > 65536) return std::wstring();
        out.resize(out.size() * 2);
    }
}

wchar_t* RemoveExtension(wchar_t* path)
{
    if (!path) return nullptr;
    PathRemoveExtensionW(path);
    return path;
}

const wchar_t* FindExtension(const wchar_t* path)
{
    if (!path) return nullptr;
    return PathFindExtensionW(path);
}

} // namespace zk
