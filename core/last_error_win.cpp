#include "core/last_error.h"

#include <windows.h>

#include <cwchar>

namespace zk {

namespace {

thread_local uint32_t t_lastErrorCode = 0;
thread_local wchar_t t_lastErrorText[LAST_ERROR_TEXT_CHARS] = {};

// Stores the system's text for code; false when the system has none.
bool StoreSystemText(uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD len = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (len == 0 || !text) {
        // A stale text from an earlier failure would mislead the error log.
        t_lastErrorText[0] = L'\0';
        return false;
    }
    wcsncpy(t_lastErrorText, text, LAST_ERROR_TEXT_CHARS - 1);
    t_lastErrorText[LAST_ERROR_TEXT_CHARS - 1] = L'\0';
    LocalFree(text);
    return true;
}

} // namespace

uint32_t GetLastErrorText(wchar_t* out, uint32_t ignoreCode, size_t outChars)
{
    const uint32_t code = GetLastError();
    t_lastErrorCode = code;
    if (code == 0 || code == ignoreCode) return code;

    StoreSystemText(code);
    if (out && outChars > 0) {
        wcsncpy(out, t_lastErrorText, outChars - 1);
        out[outChars - 1] = L'\0';
    }
    SetLastError(code);
    return code;
}

const wchar_t* LastErrorText()
{
    return t_lastErrorText;
}

uint32_t LastErrorCode()
{
    return t_lastErrorCode;
}

uint32_t RecordFailure()
{
    return GetLastErrorText();
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
