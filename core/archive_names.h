#pragma once
// Entry names between the program's UTF-16 and the bytes an archive stores:
// UTF-16LE, or the archive code page when the archive has AF_NARROW_NAMES.
// Builder and extractor share this one conversion so that a name comes back
// as it went in; the key derivation (SetArchiveKey) uses the same code page.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// The code page of narrow names and of the password's bytes. Unset, it is
// the platform's default: on Windows the thread's ANSI code page (the value
// CP_THREAD_ACP, 3, which the system resolves per thread), elsewhere 932
// (Shift_JIS as Windows writes it). A value set here overrides both; 0
// returns to the default.
constexpr uint32_t CODE_PAGE_THREAD_ANSI = 3;
constexpr uint32_t CODE_PAGE_DEFAULT_NATIVE = 932;
void SetArchiveCodePage(uint32_t codePage);
uint32_t ArchiveCodePage();

// False when the name cannot be converted at all. *lossy (optional) tells
// whether the code page had to substitute characters it cannot represent:
// such a name no longer matches the file it came from.
bool EncodeEntryName(std::u16string_view name, bool narrow, std::vector<uint8_t>* bytes,
                     bool* lossy = nullptr);

// Narrow bytes the code page cannot read become its replacement character.
// False only when the system cannot convert at all.
bool DecodeEntryName(const std::vector<uint8_t>& bytes, bool narrow, std::u16string* name);

} // namespace zk
