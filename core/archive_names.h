#pragma once
// Entry names between the program's UTF-16 and the bytes an archive stores:
// UTF-16LE, or the thread's ANSI code page when the archive has
// AF_NARROW_NAMES. The narrow form needs the platform's conversion, so these
// exist only in the Windows build; builder and extractor share this one
// conversion so that a name comes back as it went in.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
namespace zk {

// False when the name cannot be converted at all. *lossy (optional) tells
// whether the code page had to substitute characters it cannot represent:
// such a name no longer matches the file it came from.
bool EncodeEntryName(std::u16string_view name, bool narrow, std::vector<uint8_t>* bytes,
                     bool* lossy = nullptr);

// Narrow bytes the code page cannot read become its replacement character.
// False only when the system cannot convert at all.
bool DecodeEntryName(const std::vector<uint8_t>& bytes, bool narrow, std::u16string* name);

} // namespace zk
#endif
