#pragma once
// The archive key and the block operations every stored text, the check
// block and (with a password) the data streams go through. One cipher state
// per process: the build thread or the extractor's one worker uses it at a
// time.

#include <cstdint>
#include <string>

namespace zk {

// Smallest multiple of 16 that is at least n; 0 gives 0.
uint32_t RoundUp16(uint32_t n);

// Sets the key from a key text already converted to the ANSI code page
// (zero-terminated). Only the first 16 bytes make the key (zero-padded);
// the schedule is rebuilt only when the text differs from the stored one.
// At most 255 bytes of the text are stored and compared; null counts as "".
void SetArchiveKeyBytes(const char* ansiKeyText);

// Forgets the stored key text, so the next SetArchiveKey* always rebuilds.
// The schedule itself stays usable. Called when a build ends and by
// FreeWorkBuffers, which owns the key-text area's lifetime.
void ClearArchiveKey();

// Encrypt / decrypt ceil(length / 16) blocks in place; length -1 means the
// buffer holds a zero-terminated UTF-16 text (its byte length without the
// terminator is used). The buffer must reach RoundUp16 of the length: the
// pad bytes after the data are encrypted along with it. Return RoundUp16 of
// the length; 0 (nothing touched) for a null buffer or another negative
// length. Before any key was set the key of the empty text is used.
uint32_t EncryptBlocks(void* buffer, int32_t length);
uint32_t DecryptBlocks(void* buffer, int32_t length);

// The 32 bytes whose encrypted form is an archive's check block.
constexpr uint32_t PASSWORD_CHECK_SIZE = 32;
void BuildPasswordCheck(uint8_t out[PASSWORD_CHECK_SIZE]);

// Encrypts PASSWORD_CHECK with the current key (the builder's check block).
void MakeCheckBlock(uint8_t out[PASSWORD_CHECK_SIZE]);

// True when the check block decrypts to PASSWORD_CHECK with the current key.
bool TestCheckBlock(const uint8_t checkBlock[PASSWORD_CHECK_SIZE]);

// Key text of an archive without password: "%08x%08x" of the time stamp's
// high and low 32 bits.
std::string TimeStampKeyText(uint64_t fileTime);

// How many key schedules have been built (lets tests see that an unchanged
// key text is not rebuilt).
uint32_t ArchiveKeyScheduleBuilds();

} // namespace zk

#ifdef _WIN32
namespace zk {
// Converts the UTF-16 key text (password, or the time-stamp text) with the
// archive code page (ArchiveCodePage, core/archive_names.h), terminator
// included, then SetArchiveKeyBytes.
// Builder and extractor use this one conversion. Returns 0, or 1 when the
// conversion fails (the key is then left as it was). Null counts as "".
int SetArchiveKey(const wchar_t* keyText);
} // namespace zk
#endif
