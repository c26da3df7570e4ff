#pragma once
// The password dialog (resource 130): one edit box that shows what is typed
// and takes at most 32 characters, "確認" and "取り消し".

#include <windows.h>

#include <string>

namespace zk {

// Shows the dialog owned by owner; the typed text lands in *password.
// IDOK or IDCANCEL.
int AskPasswordDialog(HWND owner, std::wstring* password);

} // namespace zk
