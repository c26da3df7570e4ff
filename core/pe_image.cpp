#include "core/pe_image.h"

#include "core/byte_io.h"

namespace zk {

/*
 * DOS header (64 bytes): "MZ" at 0; at 60 the signed 32-bit file offset of
 * the NT headers.
 * NT headers: "PE\0\0"; file header (20 bytes: section count u16 at +2,
 * SizeOfOptionalHeader u16 at +16); then the optional header, whose u16
 * magic is 0x10B (PE32, usually 224 bytes) or 0x20B (PE32+, usually 240).
 * The section table follows the optional header: signature + file header
 * (24 bytes) + SizeOfOptionalHeader.
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

bool PeSectionTable(const uint8_t* ntHeaders, size_t size, unsigned* count, uint32_t* tableOffset)
{
    if (!ntHeaders || size < PE_NT_PREFIX_SIZE) return false;
    if (ntHeaders[0] != 'P' || ntHeaders[1] != 'E' || ntHeaders[2] != 0 || ntHeaders[3] != 0)
        return false;
    unsigned n = LoadU16(ntHeaders + 6);
    if (n == 0 || n > PE_MAX_SECTIONS) return false;
    // The fields up to NumberOfRvaAndSizes: 96 bytes in PE32, 112 in PE32+.
    unsigned optionalSize = LoadU16(ntHeaders + 20);
    switch (LoadU16(ntHeaders + 24)) {
    case PE32_MAGIC:
        if (optionalSize < 96) return false;
        break;
    case PE32PLUS_MAGIC:
        if (optionalSize < 112) return false;
        break;
    default:
        return false;
    }
    *count = n;
    *tableOffset = static_cast<uint32_t>(PE_FILE_HEADER_END + optionalSize);
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
    if (nt > size) return false;
    unsigned count = 0;
    uint32_t table = 0;
    if (!PeSectionTable(image + nt, size - nt, &count, &table)) return false;
    if (size - nt < table) return false;
    size_t first = static_cast<size_t>(nt) + table;
    return PeSectionsEnd(image + first, size - first, count, end);
}

} // namespace zk
