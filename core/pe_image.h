#pragma once
// Where a program image's last section ends. A self-extracting archive starts
// exactly there, so the extractor program itself must end there too. Both
// 32-bit (PE32) and 64-bit (PE32+) extractors can be the front of an archive.

#include <cstddef>
#include <cstdint>

namespace zk {

// Sizes the reader consumes from the front of a program file.
constexpr size_t PE_DOS_HEADER_SIZE = 64;
// Signature, file header and the optional header's magic: all the reader
// needs of the NT headers to find the section table.
constexpr size_t PE_NT_PREFIX_SIZE = 26;
constexpr size_t PE_FILE_HEADER_END = 24; // signature + file header
constexpr size_t PE_SECTION_HEADER_SIZE = 40;
constexpr uint16_t PE32_MAGIC = 0x10B;
constexpr uint16_t PE32PLUS_MAGIC = 0x20B;
// The optional headers as linkers write them (with 16 data directories).
constexpr size_t PE32_OPTIONAL_HEADER_SIZE = 224;
constexpr size_t PE32PLUS_OPTIONAL_HEADER_SIZE = 240;
// The loader refuses more; anything above is a damaged or hostile header.
constexpr unsigned PE_MAX_SECTIONS = 96;

// Offset of the NT headers from a 64-byte DOS header: the signed 32-bit value
// at byte 60. Fails (false) for a missing "MZ" or a negative offset.
bool PeNtHeadersOffset(const uint8_t* dosHeader, size_t size, uint32_t* offset);

// Number of section headers and where their table starts, counted from the
// NT headers (24 + SizeOfOptionalHeader), read from the first
// PE_NT_PREFIX_SIZE bytes. Fails without the "PE\0\0" signature, with a
// count of 0 or above PE_MAX_SECTIONS, with an optional header that is
// neither PE32 nor PE32+, or one declared too short for its own fields.
bool PeSectionTable(const uint8_t* ntHeaders, size_t size, unsigned* count, uint32_t* tableOffset);

// Largest PointerToRawData + SizeOfRawData over count 40-byte section headers.
// A sum that does not fit 32 bits fails.
bool PeSectionsEnd(const uint8_t* sections, size_t size, unsigned count, uint32_t* end);

// All of the above over a whole image held in memory.
bool PeImageEnd(const uint8_t* image, size_t size, uint32_t* end);

} // namespace zk
