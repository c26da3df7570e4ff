#include "sfx/ui/file_icons.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cwctype>

namespace zk {

namespace {

// The system list's index for an existing path, or for a path of that kind
// when the path is missing on this machine.
int SystemIconIndex(const wchar_t* path, DWORD fallbackAttributes, HIMAGELIST* list)
{
    SHFILEINFOW info = {};
    auto r = SHGetFileInfoW(path, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    if (!r) {
        r = SHGetFileInfoW(path, fallbackAttributes, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    }
    if (r && list && !*list) *list = reinterpret_cast<HIMAGELIST>(r);
    return r ? info.iIcon : 0;
}

} // namespace

std::wstring IconExtension(const std::wstring& name)
{
    size_t dot = name.find_last_of(L".\\");
    if (dot == std::wstring::npos || name[dot] != L'.') return std::wstring();
    std::wstring ext = name.substr(dot);
    for (wchar_t& c : ext)
        c = static_cast<wchar_t>(std::towlower(c));
    return ext;
}

void CFileIcons::Load()
{
    m_nDrive = SystemIconIndex(L"C:\\", FILE_ATTRIBUTE_DIRECTORY, &m_hList);
    m_nFolder = SystemIconIndex(L"C:\\Program Files", FILE_ATTRIBUTE_DIRECTORY, &m_hList);
    m_nFile = SystemIconIndex(L"C:\\Windows\\System32\\drivers\\etc\\hosts", FILE_ATTRIBUTE_NORMAL, &m_hList);
}

int CFileIcons::ForFile(const std::wstring& name)
{
    std::wstring ext = IconExtension(name);
    if (ext.empty()) return m_nFile;
    auto it = m_mapByExtension.find(ext);
    if (it != m_mapByExtension.end()) return it->second;

    int index = m_nFile;
    wchar_t program[MAX_PATH * 2] = {};
    DWORD chars = static_cast<DWORD>(sizeof program / sizeof program[0]);
    if (SUCCEEDED(AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_EXECUTABLE, ext.c_str(), L"open", program,
                                    &chars)) &&
        program[0]) {
        SHFILEINFOW info = {};
        // Asking for the program's index also adds its icon to the list.
        if (SHGetFileInfoW(program, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
            index = info.iIcon;
    }
    m_mapByExtension.emplace(ext, index);
    return index;
}

} // namespace zk
