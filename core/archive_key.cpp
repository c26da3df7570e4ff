#include "core/archive_key.h"

#include <cstdio>
#include <cstring>

#include "core/byte_io.h"
#include "core/camellia.h"

namespace zk {

namespace {

constexpr size_t KEY_TEXT_AREA = 256;
constexpr unsigned ARCHIVE_KEY_BITS = 128;
constexpr size_t ARCHIVE_KEY_BYTES = ARCHIVE_KEY_BITS / 8;

// The one cipher state of the process. Unlocked: one thread at a time uses
// it (the build thread, or the extractor's opening code and then its worker).
struct ArchiveKeyState {
    CCamellia cipher;
    // The text the schedule was made from, zero-filled behind it.
    char keyText[KEY_TEXT_AREA] = {};
    // Whether keyText describes the schedule; cleared by ClearArchiveKey so
    // that even an identical text builds again.
    bool bKeyTextValid = false;
    uint32_t nBuilds = 0;
};

ArchiveKeyState g_key;

void BuildSchedule(const char* keyText)
{
    uint8_t key[ARCHIVE_KEY_BYTES];
    std::memcpy(key, keyText, ARCHIVE_KEY_BYTES);
    g_key.cipher.SetKey(key, ARCHIVE_KEY_BITS);
    volatile uint8_t* scrub = key;
    for (size_t i = 0; i < ARCHIVE_KEY_BYTES; ++i)
        scrub[i] = 0;
    ++g_key.nBuilds;
}

// Before any key was set the blocks go through the key of the empty text
// rather than through an all-zero subkey table that is no Camellia key.
const CCamellia& Cipher()
{
    if (g_key.cipher.KeyBits() == 0) {
        const char empty[KEY_TEXT_AREA] = {};
        BuildSchedule(empty);
    }
    return g_key.cipher;
}

// Byte length of a zero-terminated UTF-16 text without its terminator. The
// buffer may sit at any address, so units are copied rather than cast.
uint32_t Utf16TextBytes(const void* buffer)
{
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    uint32_t units = 0;
    while (LoadU16(p + 2 * static_cast<size_t>(units)) != 0)
        ++units;
    return 2 * units;
}

// Bytes the block operations cover for a buffer and length as callers pass
// them; 0 for lengths that describe nothing (negative other than -1).
uint32_t CoveredBytes(const void* buffer, int32_t length)
{
    if (buffer == nullptr) return 0;
    if (length == -1) return RoundUp16(Utf16TextBytes(buffer));
    if (length <= 0) return 0;
    return RoundUp16(static_cast<uint32_t>(length));
}

} // namespace

uint32_t RoundUp16(uint32_t n)
{
    return (n + 15u) & ~15u;
}

void SetArchiveKeyBytes(const char* ansiKeyText)
{
    char text[KEY_TEXT_AREA] = {};
    if (ansiKeyText != nullptr) {
        // At most 255 bytes are kept; the key uses only the first 16 anyway.
        size_t n = 0;
        while (n < KEY_TEXT_AREA - 1 && ansiKeyText[n] != '\0')
            ++n;
        std::memcpy(text, ansiKeyText, n);
    }
    if (g_key.bKeyTextValid && std::memcmp(text, g_key.keyText, KEY_TEXT_AREA) == 0) return;

    std::memcpy(g_key.keyText, text, KEY_TEXT_AREA);
    g_key.bKeyTextValid = true;
    BuildSchedule(g_key.keyText);
    volatile char* scrub = text;
    for (size_t i = 0; i < KEY_TEXT_AREA; ++i)
        scrub[i] = 0;
}

void ClearArchiveKey()
{
    volatile char* scrub = g_key.keyText;
    for (size_t i = 0; i < KEY_TEXT_AREA; ++i)
        scrub[i] = 0;
    g_key.bKeyTextValid = false;
}

uint32_t EncryptBlocks(void* buffer, int32_t length)
{
    const uint32_t bytes = CoveredBytes(buffer, length);
    if (bytes != 0) Cipher().EncryptBlocks(static_cast<uint8_t*>(buffer), bytes / CAMELLIA_BLOCK_SIZE);
    return bytes;
}

uint32_t DecryptBlocks(void* buffer, int32_t length)
{
    const uint32_t bytes = CoveredBytes(buffer, length);
    if (bytes != 0) Cipher().DecryptBlocks(static_cast<uint8_t*>(buffer), bytes / CAMELLIA_BLOCK_SIZE);
    return bytes;
}

void BuildPasswordCheck(uint8_t out[PASSWORD_CHECK_SIZE])
{
    // Put together from pieces so that the plain value never sits in the
    // program file as one string next to its encrypted form.
    static const char16_t* const PIECES[4] = {u"word", u"ora ", u"Zelk", u"pass"};
    static const int ORDER[4] = {2, 1, 3, 0};
    size_t pos = 0;
    for (int piece : ORDER) {
        for (const char16_t* c = PIECES[piece]; *c != 0; ++c, pos += 2)
            StoreU16(out + pos, *c);
    }
}

void MakeCheckBlock(uint8_t out[PASSWORD_CHECK_SIZE])
{
    BuildPasswordCheck(out);
    EncryptBlocks(out, PASSWORD_CHECK_SIZE);
}

bool TestCheckBlock(const uint8_t checkBlock[PASSWORD_CHECK_SIZE])
{
    uint8_t plain[PASSWORD_CHECK_SIZE];
    uint8_t expected[PASSWORD_CHECK_SIZE];
    std::memcpy(plain, checkBlock, PASSWORD_CHECK_SIZE);
    DecryptBlocks(plain, PASSWORD_CHECK_SIZE);
    BuildPasswordCheck(expected);
    return std::memcmp(plain, expected, PASSWORD_CHECK_SIZE) == 0;
}

std::string TimeStampKeyText(uint64_t fileTime)
{
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(fileTime >> 32),
                  static_cast<unsigned>(fileTime & 0xFFFFFFFFu));
    return text;
}

uint32_t ArchiveKeyScheduleBuilds()
{
    return g_key.nBuilds;
}

} // namespace zk
