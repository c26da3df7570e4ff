#pragma once
// The last system error: its code and text are kept per thread, so that the
// build thread's failure text is not overwritten by the window thread (and
// the reverse) before it reaches the error log.

#include <cstddef>
#include <cstdint>

namespace zk {

// Room for the system's text of one error code (characters, terminator included).
constexpr size_t LAST_ERROR_TEXT_CHARS = 2048;

// Takes GetLastError and stores it as this thread's last error code. Unless
// the code is 0 or ignoreCode, stores the system's text for it and also
// copies the text into out (outChars characters, terminator included, cut
// when longer) when out is given; for code 0 or ignoreCode nothing but the
// code is stored and out is untouched. Returns the code and leaves
// GetLastError unchanged. Showing it is the caller's choice
// (IUserDialogue::ReportSystemError, ShowSystemError in the window layer).
uint32_t GetLastErrorText(wchar_t* out = nullptr, uint32_t ignoreCode = 0,
                          size_t outChars = LAST_ERROR_TEXT_CHARS);

// This thread's last error text ("" when the system had none) and code.
const wchar_t* LastErrorText();
uint32_t LastErrorCode();

// What every file wrapper does on failure: GetLastErrorText. Returns the code.
uint32_t RecordFailure();

// The system's error code of this thread as the platform keeps it
// (GetLastError on Windows, errno elsewhere), and setting it, so that a
// failure found by our own checks reads like the system's own.
uint32_t SystemErrorCode();
void SetSystemError(uint32_t code);
// The system's text for code into out (outChars characters, terminator
// included, cut when longer); false, with out empty, when it has none.
bool SystemErrorText(uint32_t code, wchar_t* out, size_t outChars);

// The codes our code sets or tests, in the platform's numbering. Where POSIX
// has no exact counterpart the nearest errno stands in.
#ifdef _WIN32
constexpr uint32_t SYSERR_NONE = 0;
constexpr uint32_t SYSERR_FILE_NOT_FOUND = 2;
constexpr uint32_t SYSERR_PATH_NOT_FOUND = 3;
constexpr uint32_t SYSERR_ACCESS_DENIED = 5;
constexpr uint32_t SYSERR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t SYSERR_INVALID_DATA = 13;
constexpr uint32_t SYSERR_NO_MORE_FILES = 18;
constexpr uint32_t SYSERR_SHARING_VIOLATION = 32;
constexpr uint32_t SYSERR_BAD_NETPATH = 53;
constexpr uint32_t SYSERR_DISK_FULL = 112;
constexpr uint32_t SYSERR_ALREADY_EXISTS = 183;
constexpr uint32_t SYSERR_FILENAME_EXCED_RANGE = 206;
constexpr uint32_t SYSERR_FILE_TOO_LARGE = 223;
constexpr uint32_t SYSERR_DIRECTORY = 267;
constexpr uint32_t SYSERR_ARITHMETIC_OVERFLOW = 534;
constexpr uint32_t SYSERR_NO_UNICODE_TRANSLATION = 1113;
constexpr uint32_t SYSERR_WRITE_FAULT = 29;
constexpr uint32_t SYSERR_INVALID_NAME = 123;
#else
constexpr uint32_t SYSERR_NONE = 0;
constexpr uint32_t SYSERR_FILE_NOT_FOUND = 2;          // ENOENT
constexpr uint32_t SYSERR_PATH_NOT_FOUND = 2;          // ENOENT
constexpr uint32_t SYSERR_ACCESS_DENIED = 13;          // EACCES
constexpr uint32_t SYSERR_NOT_ENOUGH_MEMORY = 12;      // ENOMEM
constexpr uint32_t SYSERR_INVALID_DATA = 22;           // EINVAL
constexpr uint32_t SYSERR_NO_MORE_FILES = 61;          // ENODATA
constexpr uint32_t SYSERR_SHARING_VIOLATION = 16;      // EBUSY
constexpr uint32_t SYSERR_BAD_NETPATH = 2;             // ENOENT
constexpr uint32_t SYSERR_DISK_FULL = 28;              // ENOSPC
constexpr uint32_t SYSERR_ALREADY_EXISTS = 17;         // EEXIST
constexpr uint32_t SYSERR_FILENAME_EXCED_RANGE = 36;   // ENAMETOOLONG
constexpr uint32_t SYSERR_FILE_TOO_LARGE = 27;         // EFBIG
constexpr uint32_t SYSERR_DIRECTORY = 20;              // ENOTDIR
constexpr uint32_t SYSERR_ARITHMETIC_OVERFLOW = 75;    // EOVERFLOW
constexpr uint32_t SYSERR_NO_UNICODE_TRANSLATION = 84; // EILSEQ
constexpr uint32_t SYSERR_WRITE_FAULT = 5;             // EIO
constexpr uint32_t SYSERR_INVALID_NAME = 22;           // EINVAL
#endif

} // namespace zk
