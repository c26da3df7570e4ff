#pragma once
// The archive's records: header, parameter section, tree table and info
// table, byte for byte. Writers produce the exact bytes the builder stores;
// readers take untrusted bytes (the extractor opens archives from anyone)
// and fail with a FormatStatus instead of reading outside what they were
// given or allocating what a length field asks for.
//
// Every stored text goes through the archive key (core/archive_key.h): the
// writers encrypt and the readers decrypt with whatever key is current, so
// the caller sets the key first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_io.h"

namespace zk {

// Versions: the builder writes FORMAT_VERSION; 100 and 101 (fixed-size name
// fields, no stored table offsets) are still read.
constexpr uint16_t FORMAT_VERSION = 102;
constexpr uint16_t FORMAT_VERSION_OLDEST = 100;

// Archive flags (header offset 14).
constexpr uint32_t AF_PASSWORD = 0x1;       // data streams are encrypted; ask for a password
constexpr uint32_t AF_HASH = 0x2;           // every file carries its SHA-256
constexpr uint32_t AF_HIDDEN = 0x4;         // hidden and temporary files were included
constexpr uint32_t AF_NARROW_NAMES = 0x100; // names in the ANSI code page instead of UTF-16LE
constexpr uint32_t AF_LONG_NAMES = 0x800;   // doubles the fixed name field of versions 100/101
constexpr uint32_t AF_DEFLATE = 0x1000000;  // compression kind chosen for the build
constexpr uint32_t AF_MARK = 0x10000000;    // always set by the builder

// Extractor options (first field of the parameter section).
constexpr uint32_t SF_SHOW_LIST = 0x1;
constexpr uint32_t SF_NO_UI = 0x2;

// How an entry's data is stored.
constexpr uint8_t METHOD_STORED = 0; // no data: folders and empty files
constexpr uint8_t METHOD_LZ4 = 1;
constexpr uint8_t METHOD_DEFLATE = 2;

// Tree record kinds; readers take anything but NODE_FOLDER as a file.
constexpr uint8_t NODE_FILE = 0;
constexpr uint8_t NODE_FOLDER = 1;

constexpr size_t ARCHIVE_MAGIC_SIZE = 4;
constexpr uint8_t ARCHIVE_MAGIC[ARCHIVE_MAGIC_SIZE] = {'Z', 'E', 'L', 'K'};
constexpr size_t CHECK_BLOCK_SIZE = 32;
constexpr size_t ARCHIVE_HEADER_SIZE = 50;
constexpr size_t TREE_RECORD_SIZE = 13;
constexpr size_t INFO_RECORD_FIXED_SIZE = 88;        // everything but the name bytes
constexpr size_t LEGACY_INFO_RECORD_FIXED_SIZE = 86; // versions 100/101: plus the N-byte name field

// Texts: at most 2046 UTF-16 units, so an encrypted field holds at most 4096
// bytes; that is also the largest field a reader accepts.
constexpr size_t TEXT_MAX_UNITS = 2046;
constexpr uint32_t TEXT_FIELD_MAX = 4096;

// Parameter section: flags, four text lengths, the counters and the volume
// size (fields 1 to 11 without the text bytes), then the three u64 offsets.
constexpr size_t PARAMETER_FIXED_SIZE_LEGACY = 4 + 4 * 2 + 4 + 4 + 8 + 4 + 8 + 2; // 42
constexpr size_t PARAMETER_OFFSETS_SIZE = 24;
constexpr size_t PARAMETER_FIXED_SIZE = PARAMETER_FIXED_SIZE_LEGACY + PARAMETER_OFFSETS_SIZE; // 66
constexpr size_t PARAMETER_MAX_SIZE = PARAMETER_FIXED_SIZE + 4 * TEXT_FIELD_MAX;

constexpr uint64_t VOLUME_UNIT = 1048576; // the volume-size field counts MiB

enum class FormatStatus : uint8_t {
    Ok = 0,
    Short,         // the bytes ended before the record did (a short read)
    NotArchive,    // the magic is not "ZELK"
    VersionTooNew, // above FORMAT_VERSION
    VersionTooOld, // below FORMAT_VERSION_OLDEST: no such archive was ever written
    BadField,      // a length no writer produces: not a multiple of 16, or above 4096
                   // (writers: a name too long for a field)
    BadOffsets,    // table offsets or counts that disagree with the section or the file
    BadTree,       // tree links out of range, looping or shared
};

// Where the bytes of the incremental readers come from: the extractor reads
// the parameter section and single info records straight from the archive
// file, tests and the builder from memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads exactly n bytes; false when fewer were available or reading failed.
    virtual bool ReadExact(uint8_t* buffer, size_t n) = 0;
};

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : m_p(data), m_nSize(size) {}
    bool ReadExact(uint8_t* buffer, size_t n) override;
    size_t Consumed() const { return m_nPos; }

private:
    const uint8_t* m_p;
    size_t m_nSize;
    size_t m_nPos = 0;
};

struct ArchiveHeader {
    uint16_t m_nVersion = FORMAT_VERSION;
    uint64_t m_nTimeStamp = 0; // FILETIME (UTC) of the build's start
    uint32_t m_nFlags = 0;
    uint8_t m_checkBlock[CHECK_BLOCK_SIZE] = {};
};

struct ParameterSection {
    uint32_t m_nSfxFlags = 0;
    std::u16string m_strDestFolder;
    std::u16string m_strTitle;
    std::u16string m_strRunAfter;
    std::u16string m_strComment;
    uint32_t m_nFileCount = 0;
    uint32_t m_nFolderCount = 0;
    uint64_t m_nTotalSize = 0;
    uint32_t m_nContentCount = 0;
    uint64_t m_nSizeEstimate = 0;
    uint16_t m_nVolumeSizeMB = 0; // 0 = not split
    // Absolute positions in the archive's first file. Stored from version
    // 102 on, computed by the reader for 100 and 101.
    uint64_t m_nTreeOffset = 0;
    uint64_t m_nInfoOffset = 0;
    uint64_t m_nDataOffset = 0;
};

struct TreeRecord {
    uint8_t m_nKind = NODE_FILE;
    uint32_t m_nNextSibling = 0; // tree-relative; 0 = none
    uint32_t m_nFirstChild = 0;  // tree-relative; 0 = none
    uint32_t m_nInfo = 0;        // info-relative offset of the entry's InfoRecord
};

struct InfoRecord {
    uint8_t m_nMethod = METHOD_STORED;
    uint64_t m_nSize = 0; // uncompressed
    uint32_t m_nAttributes = 0;
    uint64_t m_nCreationTime = 0;
    uint64_t m_nAccessTime = 0;
    uint64_t m_nWriteTime = 0;
    // The entry's own name as stored, without terminator: UTF-16LE bytes, or
    // ANSI code-page bytes when the archive has AF_NARROW_NAMES. Converting
    // is the caller's business (core/archive_names.h).
    std::vector<uint8_t> m_name;
    uint64_t m_nStoredSize = 0;
    uint8_t m_hash[32] = {};
    uint8_t m_nStartVolume = 0;
    uint64_t m_nDataOffset = 0; // relative to the data stream
};

// ---- header -------------------------------------------------------------

void PutArchiveHeader(ByteWriter& w, const ArchiveHeader& header);
// Checks, in this order: 50 bytes present, magic, version.
FormatStatus ParseArchiveHeader(const uint8_t* data, size_t size, ArchiveHeader* out);

// ---- parameter section --------------------------------------------------

// Bytes PutParameterSection writes for these texts (texts cut as written).
size_t ParameterSectionSize(const ParameterSection& section);

// Sets the three table offsets of a version-102 archive whose parameter
// section starts at sectionPos: the tree table follows the section, the info
// table the tree table, the data stream the info table. False when the
// numbers do not fit 64 bits.
bool PlaceTables(ParameterSection& section, uint64_t sectionPos, uint64_t infoTableSize);

// Writes all fields, the texts encrypted with the current key. Returns the
// position of the u16 volume-size field relative to the section's start, so
// that the builder can raise it in place.
size_t PutParameterSection(ByteWriter& w, const ParameterSection& section);

// Reads the section that starts at absolute position sectionPos in a first
// file of fileSize bytes (the header says version and flags). Texts are
// decrypted with the current key. Version 102: the stored offsets must name
// the tables right after the section, 13 bytes per entry for the tree and at
// least 88 per entry for the info table, all inside the file. Versions 100
// and 101: the offsets are computed, and must lie inside the file too.
FormatStatus ParseParameterSection(ByteSource& src, const ArchiveHeader& header, uint64_t sectionPos,
                                   uint64_t fileSize, ParameterSection* out);

// ---- encrypted text fields ----------------------------------------------

// u16 L + L encrypted bytes holding `bytes` (at most TEXT_FIELD_MAX) and
// zero filler. False when the bytes do not fit a field.
bool PutEncryptedField(ByteWriter& w, const uint8_t* bytes, size_t n);
// A parameter text: cut to TEXT_MAX_UNITS, then as above.
void PutTextField(ByteWriter& w, std::u16string_view text);
// Cuts a text to what a field holds, never splitting a surrogate pair.
std::u16string_view CutText(std::u16string_view text);

// ---- tree table ---------------------------------------------------------

void PutTreeRecord(ByteWriter& w, const TreeRecord& record);
FormatStatus ParseTreeRecord(const uint8_t* data, size_t size, TreeRecord* out);

// Walks a whole tree table held in memory (entryCount records) from the
// record at 0, as the extractor does, and fails unless every link is a
// multiple of 13 inside the table, no record is reached twice (which rules
// out loops), files have no children, and every info offset leaves room for
// a record inside an info table of infoTableSize bytes. An empty archive
// (no entries) passes with an empty table.
FormatStatus CheckTreeTable(const uint8_t* table, size_t size, uint64_t entryCount, uint64_t infoTableSize,
                            uint32_t minInfoRecordSize);

// ---- info table ---------------------------------------------------------

// Size of the fixed name field of versions 100 and 101.
uint32_t LegacyNameFieldSize(uint32_t archiveFlags);
// Smallest InfoRecord a reader can meet in an archive of this version.
uint32_t MinInfoRecordSize(uint16_t version, uint32_t archiveFlags);
// Bytes PutInfoRecord writes for a name of nameBytes bytes.
uint64_t InfoRecordSize(size_t nameBytes);

// Writes a version-102 record, the name encrypted with the current key.
// Fails (BadField) for a name of more than TEXT_FIELD_MAX bytes.
FormatStatus PutInfoRecord(ByteWriter& w, const InfoRecord& record);

// Reads one record of an archive with this header. The name is decrypted and
// cut at its first zero code unit (a zero byte for narrow names). Version
// 100 stores every compressed entry's method as non-zero: it becomes LZ4.
// A source that ends where the info table ends keeps a damaged record from
// reading into the data stream. On failure *out is left as it was (so are
// the outputs of every other Parse* function).
FormatStatus ParseInfoRecord(ByteSource& src, const ArchiveHeader& header, InfoRecord* out);

// UTF-16 names as bytes and back (the narrow form needs the platform's code
// page, see core/archive_names.h).
std::vector<uint8_t> Utf16ToNameBytes(std::u16string_view name);
std::u16string NameBytesToUtf16(const std::vector<uint8_t>& bytes);

// A name the extractor may use as one path component: not empty, not "." or
// "..", and free of separators, drive colons and control characters. A
// hostile archive could otherwise climb out of the destination folder.
bool IsPlainEntryName(std::u16string_view name);

// ---- layout rules -------------------------------------------------------

constexpr uint32_t NO_ENTRY = 0xFFFFFFFF;

// The entry tree as collected, one element per entry, linked by index:
// siblings in chosen (top level) or enumeration order.
struct TreeEntry {
    uint8_t m_nKind = NODE_FILE;
    uint32_t m_nInfoOffset = 0;
    uint32_t m_nFirstChild = NO_ENTRY;
    uint32_t m_nNextSibling = NO_ENTRY;
};

struct TreeLayout {
    std::vector<uint32_t> m_treeOffset; // per entry: tree-relative offset
    std::vector<uint32_t> m_writeOrder; // entry index of the record at 13 × i
    std::vector<TreeRecord> m_records;  // the table, in writing order
};

// Assigns tree offsets: every entry of the top-level list in order, then,
// list by list, the children of each entry that has any, recursively. Fails
// for links out of range, a loop, an entry reached twice, or a table too
// large for 32-bit offsets. With no entries (firstTopLevel NO_ENTRY) the
// layout is empty.
bool LayOutTree(const std::vector<TreeEntry>& entries, uint32_t firstTopLevel, TreeLayout* out);

// Depth-first order of the entries (a folder, then everything inside it,
// then its next sibling): the order of the info table. Empty on bad links.
std::vector<uint32_t> DepthFirstOrder(const std::vector<TreeEntry>& entries, uint32_t firstTopLevel);

// Offsets of versions 100 and 101, computed from the position right after
// the volume-size field. False when they do not fit 64 bits.
bool LegacyTableOffsets(uint64_t afterVolumeField, uint64_t entryCount, uint32_t archiveFlags,
                        uint64_t* treeOffset, uint64_t* infoOffset, uint64_t* dataOffset);

// Index of the volume file in which an entry's data begins; 0 when not
// split. False when the index does not fit the u8 field (or overflows).
bool StartVolume(uint64_t dataOffset, uint64_t entryDataOffset, uint64_t volumeSizeBytes, uint8_t* volume);

} // namespace zk
