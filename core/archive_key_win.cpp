#include <windows.h>

#include <string>

#include "core/archive_key.h"
#include "core/archive_names.h"

namespace zk {

int SetArchiveKey(const wchar_t* keyText)
{
    if (keyText == nullptr) keyText = L"";
    // Default flags: characters the code page lacks are replaced the way the
    // system does it, identically in builder and extractor.
    const int size = WideCharToMultiByte(ArchiveCodePage(), 0, keyText, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return 1;
    std::string ansi(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(ArchiveCodePage(), 0, keyText, -1, ansi.data(), size, nullptr, nullptr) != size) {
        SecureZeroMemory(ansi.data(), ansi.size());
        return 1;
    }
    SetArchiveKeyBytes(ansi.c_str());
    SecureZeroMemory(ansi.data(), ansi.size());
    return 0;
}

} // namespace zk
