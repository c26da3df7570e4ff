#include "ui/pickers.h"

#include "core/long_path.h"

#include <commdlg.h>

#include <cwchar>

namespace zk {

const wchar_t* const FILE_FILTER_DEFAULT = L"text (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

namespace {

constexpr DWORD MODULE_NAME_CHARS = 2047;

thread_local wchar_t t_openName[MODULE_NAME_CHARS + 1];
thread_local wchar_t t_saveName[MODULE_NAME_CHARS + 1];
thread_local wchar_t t_folder[LONG_PATH_CHARS];

} // namespace

const wchar_t* OpenFileDialog(HWND owner, wchar_t* buffer, int* bufferChars, bool multiSelect,
                              const wchar_t* filter)
{
    wchar_t* out = t_openName;
    DWORD outChars = MODULE_NAME_CHARS;
    if (buffer && bufferChars && *bufferChars > 2) {
        out = buffer;
        outChars = static_cast<DWORD>(*bufferChars - 2);
    }
    out[0] = L'\0';

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter ? filter : FILE_FILTER_DEFAULT;
    ofn.lpstrFile = out;
    ofn.nMaxFile = outChars;
    ofn.Flags = multiSelect ? FILE_DIALOG_MULTI_FLAGS : FILE_DIALOG_FLAGS;
    if (!GetOpenFileNameW(&ofn)) return nullptr;
    if (ofn.nFileExtension != 0 && bufferChars) *bufferChars = 0;
    return out;
}

const wchar_t* SaveFileDialog(HWND owner, const wchar_t* filter, const wchar_t* defaultExt,
                              const wchar_t* title, const wchar_t* initialFolder)
{
    t_saveName[0] = L'\0';
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = t_saveName;
    ofn.nMaxFile = MODULE_NAME_CHARS;
    ofn.lpstrDefExt = defaultExt;
    ofn.lpstrTitle = title;
    ofn.lpstrInitialDir = initialFolder;
    ofn.Flags = FILE_DIALOG_FLAGS;
    if (!GetSaveFileNameW(&ofn)) return nullptr;
    return t_saveName;
}

int CALLBACK BrowseNotify(HWND dialog, UINT message, LPARAM param, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        if (data) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), path)) {
            SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

const wchar_t* BrowseForFolder(HWND owner, const wchar_t* title, const wchar_t* initialFolder,
                               BFFCALLBACK proc)
{
    std::wstring initial = initialFolder ? initialFolder : L"";
    if (!initialFolder) SpecialFolderPath(CSIDL_PERSONAL, initial);

    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.pszDisplayName = display;
    bi.lpszTitle = title ? title : BROWSE_TITLE_DEFAULT;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = proc ? proc : BrowseNotify;
    bi.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return nullptr;
    const BOOL ok = SHGetPathFromIDListW(pidl, t_folder);
    CoTaskMemFree(pidl);
    if (!ok || !AddTrailingSlash(t_folder, LONG_PATH_CHARS)) return nullptr;
    return t_folder;
}

bool SpecialFolderPath(int csidl, std::wstring& out)
{
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || !pidl) return false;
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = SHGetPathFromIDListW(pidl, path);
    CoTaskMemFree(pidl);
    if (!ok) return false;
    out = path;
    AddTrailingSlash(out);
    return true;
}

} // namespace zk
