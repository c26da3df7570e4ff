#include "core/last_error.h"

#include <windows.h>

#include <cwchar>

namespace zk {

bool SystemErrorText(uint32_t code, wchar_t* out, size_t outChars)
{
    if (outChars == 0) return false;
    out[0] = L'\0';
    wchar_t* text = nullptr;
    const DWORD len = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (len == 0 || !text) return false;
    wcsncpy(out, text, outChars - 1);
    out[outChars - 1] = L'\0';
    LocalFree(text);
    return true;
}

uint32_t SystemErrorCode()
{
    return GetLastError();
}

void SetSystemError(uint32_t code)
{
    SetLastError(code);
}

} // namespace zk
