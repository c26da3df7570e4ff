#pragma once
// The Camellia block cipher (RFC 3713): 128-bit blocks under 128-, 192- or
// 256-bit keys. A block is read as four big-endian 32-bit words and written
// back the same way, so ciphertexts match every other implementation of the
// standard.

#include <cstddef>
#include <cstdint>

namespace zk {

constexpr size_t CAMELLIA_BLOCK_SIZE = 16;

class CCamellia {
public:
    // Builds the encryption and decryption schedules. keyBits is 128, 192 or
    // 256 and key holds keyBits / 8 bytes. Returns 0, or 1 (and changes
    // nothing) for any other key size.
    int SetKey(const uint8_t* key, unsigned keyBits);

    // Key size of the current schedule; 0 before the first SetKey.
    unsigned KeyBits() const { return m_nKeyBits; }

    // One block; in and out may be the same buffer.
    void EncryptBlock(const uint8_t in[CAMELLIA_BLOCK_SIZE], uint8_t out[CAMELLIA_BLOCK_SIZE]) const;
    void DecryptBlock(const uint8_t in[CAMELLIA_BLOCK_SIZE], uint8_t out[CAMELLIA_BLOCK_SIZE]) const;

    // count consecutive blocks in place, each on its own (ECB).
    void EncryptBlocks(uint8_t* data, size_t count) const;
    void DecryptBlocks(uint8_t* data, size_t count) const;

    // Overwrites the schedules (key material should not outlive its use).
    void Wipe();

private:
    // Subkeys in the order the rounds consume them, as 32-bit halves:
    // 2 whitening keys, then per group of six rounds 6 round keys, with a
    // pair of FL keys between groups, and 2 final whitening keys.
    // 128-bit keys: 3 groups, 26 subkeys; 192/256-bit keys: 4 groups, 34.
    static constexpr size_t MAX_SUBKEY_WORDS = 68;
    uint32_t m_enc[MAX_SUBKEY_WORDS] = {};
    uint32_t m_dec[MAX_SUBKEY_WORDS] = {};
    unsigned m_nGroups = 3;
    unsigned m_nKeyBits = 0;
};

} // namespace zk
