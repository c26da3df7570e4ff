#pragma once
// Number and size texts for the pages and dialogs, trimming, and the
// conversion to and from the thread's ANSI code page.
//
// The Format* routines return a buffer of the calling thread that stays
// valid until the same routine is called again on that thread; another
// thread never overwrites it.

#include <cstdint>
#include <memory>
#include <string>

namespace zk {

// Blank, ideographic space, CR, LF, tab.
inline constexpr const wchar_t* TRIM_CHARS_DEFAULT = L" \u3000\r\n\t";

// Removes the given characters from both ends of text, in place; returns text.
wchar_t* TrimText(wchar_t* text, const wchar_t* chars = TRIM_CHARS_DEFAULT);
void TrimText(std::wstring& text, const wchar_t* chars = TRIM_CHARS_DEFAULT);

// The text (terminator included) in / from the thread's ANSI code page, in
// a new buffer; null on failure.
std::unique_ptr<char[]> WideToThreadAnsi(const wchar_t* text);
std::unique_ptr<wchar_t[]> ThreadAnsiToWide(const char* text);

// Whether two texts are equal when letters are compared by their upper-case
// form, one unit at a time (the system's ordinal comparison).
bool EqualsOrdinalNoCase(const std::wstring& a, const std::wstring& b);

// Orders two names as the shell does: digit runs by their value, letters
// without regard to case. Negative, zero or positive.
int CompareNamesLogically(const wchar_t* a, const wchar_t* b);

// The text vswprintf makes of format and the arguments, however long ("%ls"
// inserts a wchar_t string as it is, "%" in it included). The format itself
// when the text cannot be made (a broken format, or over a quarter million
// characters).
std::wstring FormatText(const wchar_t* format, ...);

// 1234567 gives "1,234,567"; negative values keep their sign in front.
const wchar_t* FormatGroupedInteger(int64_t value);

// The value rounded to the given number of places (halves away from zero),
// the integer part grouped, then "." and exactly that many digits:
// 1.999 with 2 gives "2.00", 1234.5 with 1 gives "1,234.5", -16 with 1
// gives "-16.0". A value that rounds to zero has no minus sign. Places are
// limited to 0..9.
const wchar_t* FormatDecimal(double value, int places);

// Size text modes.
enum : int {
    SIZE_AUTO = 0, // the largest unit whose value is at least 1 (1000 for the step to GB and TB)
    SIZE_BYTES = 1,
    SIZE_KB = 2,
    SIZE_MB = 3,
    SIZE_GB = 4,
    SIZE_TB = 5,
};

// "1,023 B", "2 KB", "5.00 MB", "150 MB", "1.46 GB", ... Each unit is
// computed from the whole count of the unit below (1 KB = 1024 bytes).
// An unknown mode is taken as SIZE_AUTO.
const wchar_t* FormatSizeText(uint64_t bytes, int mode = SIZE_AUTO);

} // namespace zk
