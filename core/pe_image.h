#pragma once
// Where a program image's last section ends. A self-extracting archive starts
// exactly there, so the extractor program itself must end there too.

#include <cstddef>
#include <cstdint>

namespace zk {

// Sizes the reader consumes from the front of a program file.
constexpr size_t PE_DOS_HEADER_SIZE = 64;
constexpr size_t PE_NT_HEADERS_SIZE = 248; // signature, file header, 32-bit optional header
constexpr size_t PE_SECTION_HEADER_SIZE = 40;
// The loader refuses more; anything above is a damaged or hostile header.
constexpr unsigned PE_MAX_SECTIONS = 96;

// Offset of the NT headers from a 64-byte DOS header: the signed 32-bit value
// at byte 60. Fails (false) for a missing "MZ" or a negative offset.
bool PeNtHeadersOffset(const uint8_t* dosHeader, size_t size, uint32_t* offset);

// Number of section headers announced by the 248 bytes of NT headers. Fails
// without the "PE\0\0" signature or with a count of 0 or above PE_MAX_SECTIONS.
bool PeSectionCount(const uint8_t* ntHeaders, size_t size, unsigned* count);

// Largest PointerToRawData + SizeOfRawData over count 40-byte section headers.
// A sum that does not fit 32 bits fails.
bool PeSectionsEnd(const uint8_t* sections, size_t size, unsigned count, uint32_t* end);

// All of the above over a whole image held in memory (the sections follow the
// 248 bytes of NT headers directly).
bool PeImageEnd(const uint8_t* image, size_t size, uint32_t* end);

} // namespace zk
