#include "core/archive_names.h"

#include "core/archive_format.h"
#include "core/native_text_posix.h"
#include "core/text_convert.h"

namespace zk {

bool EncodeEntryName(std::u16string_view name, bool narrow, std::vector<uint8_t>* bytes, bool* lossy)
{
    if (lossy) *lossy = false;
    if (!narrow) {
        *bytes = Utf16ToNameBytes(name);
        return true;
    }
    std::string narrowText;
    // A character the code page lacks becomes "?" and is reported: a
    // look-alike would name another file.
    if (!WideToCodePage(ArchiveCodePage(), ToWide(std::u16string(name)), &narrowText, lossy)) return false;
    bytes->assign(narrowText.begin(), narrowText.end());
    return true;
}

bool DecodeEntryName(const std::vector<uint8_t>& bytes, bool narrow, std::u16string* name)
{
    if (!narrow) {
        *name = NameBytesToUtf16(bytes);
        return true;
    }
    std::wstring wide;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!CodePageToWide(ArchiveCodePage(), text, &wide)) return false;
    *name = ToU16(wide);
    return true;
}

} // namespace zk
