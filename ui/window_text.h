#pragma once
// The text of any window, whatever its length.

#include <windows.h>

#include <string>

namespace zk {

std::wstring WindowText(HWND hwnd);

} // namespace zk
