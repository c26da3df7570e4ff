#include "sfx/engine/archive_file.h"

#include "core/file_io.h"

namespace zk {

bool FileByteSource::ReadExact(uint8_t* buffer, size_t n)
{
    if (n == 0) return true;
    return ReadFully(m_h, buffer, n, false) == static_cast<int64_t>(n);
}

std::wstring ToWide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}
std::u16string ToU16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace zk
