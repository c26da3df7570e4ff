// Paths outside Windows: the long form of a path is the path itself, and
// there are no server shares.

#include "core/long_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cwchar>

#include "core/native_text_posix.h"

namespace zk {

bool PathExists(const wchar_t* path)
{
    if (!path || !*path) return false;
    struct stat st;
    // A link names something even when it leads nowhere.
    return lstat(NativePath(path).c_str(), &st) == 0;
}

bool PathIsFolder(const wchar_t* path)
{
    if (!path || !*path) return false;
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathIsUnc(const wchar_t*)
{
    return false;
}

wchar_t* AddLongPathPrefix(const wchar_t* path, wchar_t* out, size_t outChars)
{
    if (!path || !out || outChars == 0) return nullptr;
    const size_t len = wcslen(path);
    if (len + 1 > outChars) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    wmemmove(out, path, len + 1);
    return out;
}

std::wstring LongPathForm(const wchar_t* path)
{
    return path ? std::wstring(path) : std::wstring();
}

const wchar_t* FindExtension(const wchar_t* path)
{
    if (!path) return nullptr;
    const wchar_t* dot = nullptr;
    const wchar_t* p = path;
    for (; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            dot = nullptr;
        else if (*p == L'.')
            dot = p;
        // As the shell has it: an extension holds no blank.
        else if (*p == L' ')
            dot = nullptr;
    }
    return dot ? dot : p;
}

wchar_t* RemoveExtension(wchar_t* path)
{
    if (!path) return nullptr;
    wchar_t* ext = const_cast<wchar_t*>(FindExtension(path));
    *ext = L'\0';
    return path;
}

} // namespace zk
