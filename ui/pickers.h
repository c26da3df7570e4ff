#pragma once
// File and folder choosers and the shell's special folders. The folder
// chooser uses the new dialog style, which needs COM on the calling thread.
//
// Results that are not written to a caller's buffer live in a buffer of the
// calling thread, valid until the same routine runs again on that thread.

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace zk {

// "text (*.txt)", "*.txt", "All files (*.*)", "*.*".
extern const wchar_t* const FILE_FILTER_DEFAULT;
inline constexpr const wchar_t* BROWSE_TITLE_DEFAULT = L"フォルダを選んでください";

// Flags of both file dialogs: explorer style, file must exist, keep the
// current folder, hide read-only; plus multi-selection when asked.
constexpr DWORD FILE_DIALOG_FLAGS = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
constexpr DWORD FILE_DIALOG_MULTI_FLAGS = FILE_DIALOG_FLAGS | OFN_ALLOWMULTISELECT;

// Open-file dialog. With a buffer, the result goes there (*bufferChars
// characters; 2 are kept free for the list terminator of a multiple
// selection), else into this thread's buffer of 2047 characters. When the
// chosen name has an extension *bufferChars is set to 0. Null on cancel.
const wchar_t* OpenFileDialog(HWND owner, wchar_t* buffer, int* bufferChars, bool multiSelect,
                              const wchar_t* filter = nullptr);

// Save-file dialog with the caller's filter (double-zero-terminated list),
// default extension, title and initial folder (each may be null). Null on cancel.
const wchar_t* SaveFileDialog(HWND owner, const wchar_t* filter, const wchar_t* defaultExt,
                              const wchar_t* title, const wchar_t* initialFolder);

// Folder chooser (file-system folders only). title null: BROWSE_TITLE_DEFAULT;
// initialFolder null: the user's documents folder. Without a procedure of the
// caller, BrowseNotify selects the initial folder and shows the selected
// folder's path as status text. The chosen folder with a trailing "\", or
// null on cancel.
const wchar_t* BrowseForFolder(HWND owner, const wchar_t* title, const wchar_t* initialFolder,
                               BFFCALLBACK proc = nullptr);

// The built-in notification procedure of BrowseForFolder; data is the
// initial folder (const wchar_t*).
int CALLBACK BrowseNotify(HWND dialog, UINT message, LPARAM param, LPARAM data);

// A special folder (CSIDL_*) with a trailing "\"; false when the shell has none.
bool SpecialFolderPath(int csidl, std::wstring& out);

} // namespace zk
