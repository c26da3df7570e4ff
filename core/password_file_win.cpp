#include "core/password_file.h"

#include <windows.h>

#include <vector>

#include "core/long_path.h"
#include "core/unique_handle.h"

namespace zk {

bool ReadPasswordFile(const wchar_t* path, std::wstring* password)
{
    if (!path || !*path) return false;
    FileHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // One byte more than allowed tells a file that is too large.
    std::vector<uint8_t> bytes(PASSWORD_FILE_MAX_BYTES + 1);
    DWORD total = 0;
    for (DWORD got = 1; got > 0 && total < bytes.size(); total += got) {
        if (!ReadFile(file.Get(), bytes.data() + total, static_cast<DWORD>(bytes.size()) - total, &got,
                      nullptr))
            return false;
    }
    if (total > PASSWORD_FILE_MAX_BYTES) return false;
    std::u16string text;
    if (!PasswordFromFileBytes(bytes.data(), total, &text)) return false;
    password->assign(text.begin(), text.end());
    return true;
}

} // namespace zk
