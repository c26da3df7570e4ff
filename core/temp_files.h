#pragma once
// The temporary folder and reserved temporary file names.

#include <cstdint>
#include <string>

namespace zk {

// Prefix of temporary names when the caller gives none.
inline constexpr const wchar_t* TEMP_PREFIX_DEFAULT = L"ZKR";
// Attempts of CreateTempFileName, 100 ms apart.
constexpr int TEMP_NAME_ATTEMPTS = 17;
constexpr uint32_t TEMP_NAME_RETRY_MS = 100;

// The temporary folder with a trailing "\": the system's temporary path, or
// the TEMP variable when that path is no folder but TEMP is, in their long
// (not 8.3) form; when neither is a folder, the Windows folder's "Temp\".
// False (out untouched) when the long form cannot be had.
bool GetTempFolder(std::wstring& out);

// Reserves a new file "<folder>\<prefix><time high><time low>.TMP" (the
// current file time in upper-case hex, folder in long-path form) by
// creating it; a name already taken is tried again 100 ms later with a fresh
// time. True with the full name in out; false with out empty after
// TEMP_NAME_ATTEMPTS failures.
bool CreateTempFileName(const wchar_t* folder, std::wstring& out, const wchar_t* prefix = nullptr);

namespace detail {
// CreateTempFileName with its clock and its pause given (tests).
bool CreateTempFileNameWith(const wchar_t* folder, std::wstring& out, const wchar_t* prefix,
                            uint64_t (*clock)(), void (*pause)(uint32_t ms));
} // namespace detail

} // namespace zk
