#pragma once
// A password handed over in a file, so that it never appears on a command
// line (where other users' process lists can show it): the file's first
// line, in UTF-8 (with or without its byte-order mark) or UTF-16 with a
// byte-order mark.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zk {

// A password file is a line or two; a larger file is refused.
constexpr size_t PASSWORD_FILE_MAX_BYTES = 64 * 1024;

// The first line of the file's bytes (up to CR, LF or the end). False for
// text that is not valid in its encoding, an odd UTF-16 length, or an empty
// first line.
bool PasswordFromFileBytes(const uint8_t* bytes, size_t size, std::u16string* password);

// Reads the password file at path. False when it cannot be read, is larger
// than PASSWORD_FILE_MAX_BYTES or holds no password.
bool ReadPasswordFile(const wchar_t* path, std::wstring* password);

} // namespace zk
