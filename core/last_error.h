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
// the code is 0 or ignoreCode, stores the system's text for it and shows
// "[Error:%d] %s" in a box captioned "Error Message" (system modal, error
// icon, no owner). Returns the code and leaves GetLastError unchanged.
uint32_t ReportLastError(uint32_t ignoreCode = 0);

// The same without a box; also copies the text into out (outChars
// characters, terminator included, cut when longer) when out is given.
// For code 0 or ignoreCode nothing but the code is stored and out is untouched.
uint32_t GetLastErrorText(wchar_t* out = nullptr, uint32_t ignoreCode = 0,
                          size_t outChars = LAST_ERROR_TEXT_CHARS);

// This thread's last error text ("" when the system had none) and code.
const wchar_t* LastErrorText();
uint32_t LastErrorCode();

// What every file wrapper does on failure: ReportLastError when report is
// set, GetLastErrorText otherwise. Returns the code.
uint32_t RecordFailure(bool report);

} // namespace zk
