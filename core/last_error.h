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

} // namespace zk
