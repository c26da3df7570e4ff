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

bool SystemErrorText(uint32_t code, wchar_t* out, size_t outChars)
{
    if (outChars == 0) return false;
    char text[512] = {};
    // The GNU form returns the text, which need not be the buffer.
    const char* message = strerror_r(static_cast<int>(code), text, sizeof text);
    const std::wstring wide = WideFromUtf8(message ? message : "");
    wcsncpy(out, wide.c_str(), outChars - 1);
    out[outChars - 1] = L'\0';
    return !wide.empty();
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
