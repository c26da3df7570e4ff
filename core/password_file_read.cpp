#include "core/password_file.h"

#include <vector>

#include "core/file_io.h"
#include "core/text_convert.h"

namespace zk {

bool ReadPasswordFile(const wchar_t* path, std::wstring* password)
{
    if (!path || !*path) return false;
    FileHandle file(OpenFile(path, OPENMODE_READ));
    if (!file) return false;
    // One byte more than allowed tells a file that is too large.
    std::vector<uint8_t> bytes(PASSWORD_FILE_MAX_BYTES + 1);
    const int64_t total = ReadFully(file.Get(), bytes.data(), bytes.size());
    if (total < 0 || total > static_cast<int64_t>(PASSWORD_FILE_MAX_BYTES)) return false;
    std::u16string text;
    if (!PasswordFromFileBytes(bytes.data(), static_cast<size_t>(total), &text)) return false;
    *password = ToWide(text);
    return true;
}

} // namespace zk
