#include "core/last_error.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "core/native_text_posix.h"

namespace zk {

static_assert(SYSERR_FILE_NOT_FOUND == ENOENT && SYSERR_ACCESS_DENIED == EACCES &&
              SYSERR_NOT_ENOUGH_MEMORY == ENOMEM && SYSERR_INVALID_DATA == EINVAL &&
              SYSERR_NO_MORE_FILES == ENODATA && SYSERR_SHARING_VIOLATION == EBUSY &&
              SYSERR_DISK_FULL == ENOSPC && SYSERR_ALREADY_EXISTS == EEXIST &&
              SYSERR_FILENAME_EXCED_RANGE == ENAMETOOLONG && SYSERR_FILE_TOO_LARGE == EFBIG &&
              SYSERR_DIRECTORY == ENOTDIR && SYSERR_ARITHMETIC_OVERFLOW == EOVERFLOW &&
              SYSERR_NO_UNICODE_TRANSLATION == EILSEQ && SYSERR_WRITE_FAULT == EIO);

namespace {

thread_local uint32_t t_lastErrorCode = 0;
thread_local wchar_t t_lastErrorText[LAST_ERROR_TEXT_CHARS] = {};

void StoreSystemText(uint32_t code)
{
    char text[512] = {};
    // The GNU form returns the text, which need not be the buffer.
    const char* message = strerror_r(static_cast<int>(code), text, sizeof text);
    const std::wstring wide = WideFromUtf8(message ? message : "");
    wcsncpy(t_lastErrorText, wide.c_str(), LAST_ERROR_TEXT_CHARS - 1);
    t_lastErrorText[LAST_ERROR_TEXT_CHARS - 1] = L'\0';
}

} // namespace

uint32_t GetLastErrorText(wchar_t* out, uint32_t ignoreCode, size_t outChars)
{
    const uint32_t code = static_cast<uint32_t>(errno);
    t_lastErrorCode = code;
    if (code == 0 || code == ignoreCode) return code;

    StoreSystemText(code);
    if (out && outChars > 0) {
        wcsncpy(out, t_lastErrorText, outChars - 1);
        out[outChars - 1] = L'\0';
    }
    errno = static_cast<int>(code);
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
    return static_cast<uint32_t>(errno);
}

void SetSystemError(uint32_t code)
{
    errno = static_cast<int>(code);
}

} // namespace zk
