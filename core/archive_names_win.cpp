#include "core/archive_names.h"

#include <windows.h>

#include "core/archive_format.h"

namespace zk {

bool EncodeEntryName(std::u16string_view name, bool narrow, std::vector<uint8_t>* bytes, bool* lossy)
{
    if (lossy) *lossy = false;
    if (!narrow) {
        *bytes = Utf16ToNameBytes(name);
        return true;
    }
    bytes->clear();
    if (name.empty()) return true;
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(name.data());
    int units = static_cast<int>(name.size());
    // No best-fit mapping: a character the code page lacks becomes the
    // default character and is reported, instead of silently turning into a
    // look-alike that names another file.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    int needed = WideCharToMultiByte(ArchiveCodePage(), flags, wide, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    bytes->resize(static_cast<size_t>(needed));
    BOOL usedDefault = FALSE;
    int written = WideCharToMultiByte(ArchiveCodePage(), flags, wide, units,
                                      reinterpret_cast<char*>(bytes->data()), needed, nullptr, &usedDefault);
    if (written != needed) return false;
    if (lossy) *lossy = usedDefault != FALSE;
    return true;
}

bool DecodeEntryName(const std::vector<uint8_t>& bytes, bool narrow, std::u16string* name)
{
    if (!narrow) {
        *name = NameBytesToUtf16(bytes);
        return true;
    }
    name->clear();
    if (bytes.empty()) return true;
    const char* text = reinterpret_cast<const char*>(bytes.data());
    int length = static_cast<int>(bytes.size());
    // Bytes the code page has no character for become its replacement
    // character: the name stays a name (which the caller still checks), and
    // an archive made under another code page still extracts.
    int needed = MultiByteToWideChar(ArchiveCodePage(), 0, text, length, nullptr, 0);
    if (needed <= 0) return false;
    name->resize(static_cast<size_t>(needed));
    int written = MultiByteToWideChar(ArchiveCodePage(), 0, text, length,
                                      reinterpret_cast<wchar_t*>(name->data()), needed);
    return written == needed;
}

} // namespace zk
