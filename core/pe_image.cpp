#include "core/pe_image.h"

#include "core/byte_io.h"

namespace zk {

/*
 * DOS header (64 bytes): "MZ" at 0; at 60 the signed 32-bit file offset of
 * the NT headers.
 * NT headers (248 bytes): "PE\0\0"; file header (20 bytes, section count u16
 * at +2); 32-bit optional header (224 bytes).
 * Section header (40 bytes): SizeOfRawData u32 at 16, PointerToRawData u32
 * at 20.
 */

bool PeNtHeadersOffset(const uint8_t* dosHeader, size_t size, uint32_t* offset)
{
    if (!dosHeader || size < PE_DOS_HEADER_SIZE) return false;
    if (dosHeader[0] != 'M' || dosHeader[1] != 'Z') return false;
    int32_t lfanew = LoadI32(dosHeader + 60);
    if (lfanew < 0) return false;
    *offset = static_cast<uint32_t>(lfanew);
    return true;
}

bool PeSectionCount(const uint8_t* ntHeaders, size_t size, unsigned* count)
{
    if (!ntHeaders || size < PE_NT_HEADERS_SIZE) return false;
    if (ntHeaders[0] != 'P' || ntHeaders[1] != 'E' || ntHeaders[2] != 0 || ntHeaders[3] != 0)
        return false;
    unsigned n = LoadU16(ntHeaders + 6);
    if (n == 0 || n > PE_MAX_SECTIONS) return false;
    *count = n;
    return true;
}

bool PeSectionsEnd(const uint8_t* sections, size_t size, unsigned count, uint32_t* end)
{
    if (!sections || count == 0 || count > PE_MAX_SECTIONS) return false;
    if (size / PE_SECTION_HEADER_SIZE < count) return false;
    uint32_t best = 0;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* s = sections + i * PE_SECTION_HEADER_SIZE;
        uint64_t sum = static_cast<uint64_t>(LoadU32(s + 16)) + LoadU32(s + 20);
        if (sum > UINT32_MAX) return false;
        if (sum > best) best = static_cast<uint32_t>(sum);
    }
    *end = best;
    return true;
}

bool PeImageEnd(const uint8_t* image, size_t size, uint32_t* end)
{
    uint32_t nt = 0;
    if (!PeNtHeadersOffset(image, size, &nt)) return false;
    if (nt > size || size - nt < PE_NT_HEADERS_SIZE) return false;
    unsigned count = 0;
    if (!PeSectionCount(image + nt, size - nt, &count)) return false;
    size_t first = static_cast<size_t>(nt) + PE_NT_HEADERS_SIZE;
    return PeSectionsEnd(image + first, size - first, count, end);
}

} // namespace zk
