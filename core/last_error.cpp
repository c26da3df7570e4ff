#include "core/last_error.h"

#include <cwchar>

namespace zk {

namespace {

thread_local uint32_t t_lastErrorCode = 0;
thread_local wchar_t t_lastErrorText[LAST_ERROR_TEXT_CHARS] = {};

} // namespace

uint32_t GetLastErrorText(wchar_t* out, uint32_t ignoreCode, size_t outChars)
{
    const uint32_t code = SystemErrorCode();
    t_lastErrorCode = code;
    if (code == 0 || code == ignoreCode) return code;

    // Without a text of its own, an earlier failure's would mislead the
    // error log: it is emptied instead.
    SystemErrorText(code, t_lastErrorText, LAST_ERROR_TEXT_CHARS);
    if (out && outChars > 0) {
        wcsncpy(out, t_lastErrorText, outChars - 1);
        out[outChars - 1] = L'\0';
    }
    // Reading the text may have set another error.
    SetSystemError(code);
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

} // namespace zk
