#include <string>

#include "core/archive_key.h"
#include "core/archive_names.h"
#include "core/native_text_posix.h"
#include "core/secure_wipe.h"

namespace zk {

// A character the code page lacks becomes "?", which is what Windows
// gives for most of them; Windows maps a few others to look-alikes, which
// iconv does not know.
int SetArchiveKey(const wchar_t* keyText)
{
    if (keyText == nullptr) keyText = L"";
    std::string bytes;
    if (!WideToCodePage(ArchiveCodePage(), keyText, &bytes, nullptr)) {
        SecureWipe(bytes.data(), bytes.size());
        return 1;
    }
    SetArchiveKeyBytes(bytes.c_str());
    SecureWipe(bytes.data(), bytes.size());
    return 0;
}

} // namespace zk
