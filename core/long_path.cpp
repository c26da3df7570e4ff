// The path texts' own rules: prefixes, slashes, components. The same on
// every platform, since the engines keep Windows' path form everywhere.

#include "core/long_path.h"

#include <cwchar>

namespace zk {

namespace {

bool IsUncWord(const wchar_t* p)
{
    return (p[0] == L'U' || p[0] == L'u') && (p[1] == L'N' || p[1] == L'n') &&
           (p[2] == L'C' || p[2] == L'c') && p[3] == L'\\';
}

bool StartsWith(const wchar_t* s, const wchar_t* prefix)
{
    return wcsncmp(s, prefix, wcslen(prefix)) == 0;
}

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "\\?\UNC\" in any letter case: the system compares it that way.
bool IsLongUncForm(const wchar_t* path)
{
    return StartsWith(path, L"\\\\?\\") && IsUncWord(path + 4);
}

// A drive root, looked at after any long-path prefix: "C:\" or "\\?\C:\".
bool IsDriveRoot(const wchar_t* path)
{
    if (GetLongPathPrefixLength(path) == 4) path += 4;
    return IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\' && path[3] == L'\0';
}

// The first steps of ParentFolder and LastComponent: drop a final "\" unless
// the path is a drive root. False when the path is to be returned unchanged.
bool DropFinalSlash(wchar_t* path)
{
    const size_t len = wcslen(path);
    if (len == 0) return true;
    if (path[len - 1] == L'\\') {
        if (IsDriveRoot(path)) return false;
        path[len - 1] = L'\0';
        return true;
    }
    return path[len - 1] != L':';
}

} // namespace

int GetLongPathPrefixLength(const wchar_t* path)
{
    if (!path) return -1;
    if (path[0] != L'\\') return 0;
    if (IsLongUncForm(path)) return 8;
    return StartsWith(path, L"\\\\?\\") ? 4 : 0;
}

wchar_t* RemoveLongPathPrefix(wchar_t* path)
{
    const int prefix = GetLongPathPrefixLength(path);
    if (prefix <= 0) return path;
    if (prefix == 8) {
        // "\\?\UNC\srv" -> "\\srv": keep the first two backslashes.
        wmemmove(path + 2, path + 8, wcslen(path + 8) + 1);
    } else {
        wmemmove(path, path + prefix, wcslen(path + prefix) + 1);
    }
    return path;
}

std::wstring ShortPathForm(const wchar_t* path)
{
    if (!path) return std::wstring();
    std::wstring s(path);
    RemoveLongPathPrefix(s.data());
    s.resize(wcslen(s.c_str()));
    return s;
}

wchar_t* AddTrailingSlash(wchar_t* path, size_t pathChars)
{
    if (!path) return nullptr;
    const size_t len = wcslen(path);
    if (len == 0 || path[len - 1] == L'\\') return path;
    if (len + 2 > pathChars) return nullptr;
    path[len] = L'\\';
    path[len + 1] = L'\0';
    return path;
}

void AddTrailingSlash(std::wstring& path)
{
    if (!path.empty() && path.back() != L'\\') path += L'\\';
}

wchar_t* RemoveTrailingSlash(wchar_t* path)
{
    if (!path) return nullptr;
    const size_t len = wcslen(path);
    if (len == 0 || path[len - 1] != L'\\') return path;
    if (len < 3 || path[len - 2] != L':') path[len - 1] = L'\0';
    return path;
}

void RemoveTrailingSlash(std::wstring& path)
{
    RemoveTrailingSlash(path.data());
    path.resize(wcslen(path.c_str()));
}

wchar_t* ParentFolder(wchar_t* path)
{
    if (!path) return nullptr;
    if (!DropFinalSlash(path)) return path;
    wchar_t* last = wcsrchr(path, L'\\');
    if (last) {
        last[1] = L'\0';
    } else {
        path[0] = L'\0';
    }
    return path;
}

std::wstring ParentFolder(const std::wstring& path)
{
    std::wstring s(path);
    ParentFolder(s.data());
    s.resize(wcslen(s.c_str()));
    return s;
}

wchar_t* LastComponent(wchar_t* path)
{
    if (!path) return nullptr;
    if (!DropFinalSlash(path)) return path;
    const wchar_t* last = wcsrchr(path, L'\\');
    if (last) wmemmove(path, last + 1, wcslen(last + 1) + 1);
    return path;
}

std::wstring LastComponent(const std::wstring& path)
{
    std::wstring s(path);
    LastComponent(s.data());
    s.resize(wcslen(s.c_str()));
    return s;
}

} // namespace zk
