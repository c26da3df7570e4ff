#pragma once
// Path texts and their long form. Every routine that touches the file system
// converts its path with AddLongPathPrefix / LongPathForm first, so paths
// longer than MAX_PATH work everywhere.
//
// Long forms: "\\?\C:\dir\file" for drive paths and "\\?\UNC\srv\share\file"
// for UNC paths. The short form of the latter is "\\srv\share\file": the
// routines below that strip the prefix give it back, so the result always
// names the same file as the input.
//
// Routines taking a path accept a null pointer and then return null, 0 or false.

#include <cstddef>
#include <string>

namespace zk {

// Paths hold up to this many characters (terminator included).
constexpr size_t PATH_CHARS = 2048;
// Room for a path of PATH_CHARS plus the longest prefix ("\\?\UNC\").
constexpr size_t LONG_PATH_CHARS = PATH_CHARS + 8;

// -1 for null; 8 for "\\?\UNC\"; 4 for any other "\\?\" path; 0 otherwise
// (plain paths and "\\.\" device paths). For the UNC form the short form is
// "\\" followed by what comes after the prefix (see ShortPathForm).
int GetLongPathPrefixLength(const wchar_t* path);

// Whether the path names an existing file or folder / an existing folder /
// a UNC path. Each looks at the file the path names, whatever its form.
bool PathExists(const wchar_t* path);
bool PathIsFolder(const wchar_t* path);
bool PathIsUnc(const wchar_t* path);

// The long form of path into out (outChars characters, terminator included);
// returns out, or null for a null path or when the result does not fit.
// "\\?\" and "\\.\" paths are copied unchanged; "\\srv\share\x" becomes
// "\\?\UNC\srv\share\x"; "C:\x" becomes "\\?\C:\x". Relative paths and
// paths with "/" or "." / ".." components are made absolute first, because
// the long form is taken literally by the system.
wchar_t* AddLongPathPrefix(const wchar_t* path, wchar_t* out, size_t outChars = LONG_PATH_CHARS);
std::wstring LongPathForm(const wchar_t* path);
inline std::wstring LongPathForm(const std::wstring& path)
{
    return LongPathForm(path.c_str());
}

// Removes the long-path prefix in place ("\\?\UNC\srv\x" becomes "\\srv\x");
// returns path.
wchar_t* RemoveLongPathPrefix(wchar_t* path);
std::wstring ShortPathForm(const wchar_t* path);
inline std::wstring ShortPathForm(const std::wstring& path)
{
    return ShortPathForm(path.c_str());
}

// Appends "\" to a non-empty path that lacks it. The buffer form needs
// pathChars characters of room and returns null when "\" does not fit.
wchar_t* AddTrailingSlash(wchar_t* path, size_t pathChars);
void AddTrailingSlash(std::wstring& path);

// Removes a final "\" except that of a drive root ("C:\"): a lone "\"
// becomes "".
wchar_t* RemoveTrailingSlash(wchar_t* path);
void RemoveTrailingSlash(std::wstring& path);

// The folder part with its "\": C:\a\b.txt gives C:\a\, C:\a\ gives C:\;
// C:\ and C: stay; a text without "\" gives "". In place; returns path.
wchar_t* ParentFolder(wchar_t* path);
std::wstring ParentFolder(const std::wstring& path);

// The last component: C:\a\b.txt gives b.txt, C:\a\ gives a; C:\ and C:
// stay. In place; returns path.
wchar_t* LastComponent(wchar_t* path);
std::wstring LastComponent(const std::wstring& path);

// PathRemoveExtensionW / PathFindExtensionW (the extension with its ".", or
// the end of the text when there is none).
wchar_t* RemoveExtension(wchar_t* path);
const wchar_t* FindExtension(const wchar_t* path);

} // namespace zk
